// query_variant_value_action.cpp - CQueryVariantValueAction:
// "queryVariantValueById", the values of the selected variables.
#include "query_variant_value_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "text_encoding.h"
#include "utc_time.h"


CQueryVariantValueAction::CQueryVariantValueAction() : COPCRequest("queryVariantValueById", "正在查询变量值") {}

void CQueryVariantValueAction::AddParams()
{
    CManager &manager = CManager::GetInstance();
    AddParam("sessionid", manager.SessionId());
    AddParam("variants", manager.Selection());
}

void CQueryVariantValueAction::OnResponse()
{
    // Texts arrive in UTF-8; the program and its list work in GBK.
    std::vector<ReplyValue> values;
    if (!WalkValueReply(Root(), Utf8ToGbk, values))
        MarkMalformed(); // the values before the fault are stored
    CManager &manager = CManager::GetInstance();
    // Every value of this reply is as of its arrival.
    const std::uint64_t replyTime = UtcFileTimeNow();
    for (const ReplyValue &value : values)
        manager.UpdateValue(value.key, value.status, value.value, replyTime);
}
