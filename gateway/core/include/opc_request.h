// opc_request.h - COPCRequest, one platform operation at "/opc.do": the body
// starts with reqCode, the reply's "success" decides, and failures are
// reported to the status bar, the log and the standard output. The platform
// actions derive from it.
#pragma once

#include "json_request.h"

#include <string>

class COPCRequest : public CJsonRequest {
public:
    // statusText: shown at once through PostStatusText; null for none.
    COPCRequest(const std::string &reqCode, const char *statusText);

    // True only when the transfer worked, the reply was JSON and its
    // "success" member was true.
    bool Request() override;
    // "reqCode=<reqCode>", then AddParams().
    void Prepare() override;
    // JSON parse, then the "success" check and OnResponse().
    bool ParseResponse(const std::string &reply) override;

    bool Success() const { return m_success; }
    bool Parsed() const { return m_parsed; }
    // The reply was JSON but of a form the action could not take.
    bool Malformed() const { return m_malformed; }
    const std::string &ReqCode() const { return m_reqCode; }
    const std::string &StatusText() const { return m_statusText; }

    // A member of object (root when null) as text, converted from UTF-8 to
    // GBK; unconvertible characters are dropped. Null or missing gives "";
    // an array or object throws Json::LogicError.
    std::string GetString(const Json::Value *object, const char *member) const;
    std::string GetString(const char *member) const { return GetString(nullptr, member); }

protected:
    virtual void OnSessionFailed() {}
    virtual void OnPostFailed() {}
    virtual void AddParams() {}
    virtual void OnResponse() {}
    // Called by OnResponse when the reply's members are not of the form it
    // reads: the request then fails with "解析数据异常", which also becomes
    // the error text.
    void MarkMalformed();

private:
    bool m_success = false;
    bool m_parsed = false;
    bool m_malformed = false;
    std::string m_reqCode;
    std::string m_statusText;
};
