// query_variant_value_action.cpp - CQueryVariantValueAction:
// "queryVariantValueById", the values of the selected variables.
#include "query_variant_value_action.h"

#include "manager.h"
#include "record_names.h"
#include "text_encoding.h"

#include <windows.h>

CQueryVariantValueAction::CQueryVariantValueAction() : COPCRequest("queryVariantValueById", "正在查询变量值") {}

void CQueryVariantValueAction::AddParams()
{
    CManager &manager = CManager::GetInstance();
    AddParam("sessionid", manager.SessionId());
    AddParam("variants", manager.Selection());
}

void CQueryVariantValueAction::OnResponse()
{
    const Json::Value &variants = Root()["variants"];
    if (!variants.isObject() && !variants.isArray())
        return;
    CManager &manager = CManager::GetInstance();
    // Every value of this reply is as of its arrival.
    FILETIME arrival;
    GetSystemTimeAsFileTime(&arrival);
    const std::uint64_t replyTime = (static_cast<std::uint64_t>(arrival.dwHighDateTime) << 32) | arrival.dwLowDateTime;
    for (auto device = variants.begin(); device != variants.end(); ++device) {
        const Json::Value &values = *device;
        if (!values.isObject() && !values.isArray())
            continue;
        const std::string deviceId = device.name();
        for (auto member = values.begin(); member != values.end(); ++member) {
            const Json::Value &value = *member;
            const bool empty = value.isNull() || ((value.isArray() || value.isObject()) && value.empty());
            // A non-empty array or object throws here and ends the walk.
            std::string text = empty ? std::string() : value.asString();
            // Texts arrive in UTF-8; the program and its list work in GBK.
            if (value.isString())
                text = Utf8ToGbk(text);
            manager.UpdateValue(ComposeVariableKey(deviceId, member.name()), empty ? "0" : "1", text, replyTime);
        }
    }
}
