// write_variant_action.h - CWriteVariantAction, "writeVariantById": one value
// written to one variable. The reply is read for "success" and, when the
// platform refuses, for its message.
#pragma once

#include "opc_request.h"

#include <string>

class CWriteVariantAction : public COPCRequest {
public:
    CWriteVariantAction(); // no status text
    CWriteVariantAction(const std::string &id, const std::string &value, const std::string &projectId);

    // Inputs, sent unencoded.
    std::string id;        // the variable key, device id ":" variable id
    std::string value;     // the value text
    std::string projectId; // the project of the device

    // The platform's "msg" of the reply (GBK), empty when there is none.
    std::string Message() const;

protected:
    void AddParams() override;
};
