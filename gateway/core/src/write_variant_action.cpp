// write_variant_action.cpp - CWriteVariantAction: "writeVariantById".
#include "write_variant_action.h"

#include "manager.h"

CWriteVariantAction::CWriteVariantAction() : COPCRequest("writeVariantById", nullptr) {}

CWriteVariantAction::CWriteVariantAction(const std::string &id, const std::string &value,
                                         const std::string &projectId)
    : CWriteVariantAction()
{
    this->id = id;
    this->value = value;
    this->projectId = projectId;
}

void CWriteVariantAction::AddParams()
{
    AddParam("sessionid", CManager::GetInstance().SessionId());
    AddParam("id", id);
    AddParam("projectId", projectId);
    // Texts written to text variables may hold any character.
    AddEncodedParam("value", value);
}

std::string CWriteVariantAction::Message() const
{
    try {
        return GetString("msg");
    } catch (...) {
        return std::string(); // not a text
    }
}
