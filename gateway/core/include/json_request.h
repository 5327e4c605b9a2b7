// json_request.h - CJsonRequest, a request whose reply is parsed as JSON.
#pragma once

#include "basic_http_request.h"

#include <json/value.h>

class CJsonRequest : public CBasicHttpRequest {
public:
    // An empty reply prints "response size=0", an unparsable one prints
    // itself; both return false. Otherwise the reply is in Root().
    bool ParseResponse(const std::string &reply) override;

    const Json::Value &Root() const { return m_root; }

protected:
    Json::Value m_root;
};
