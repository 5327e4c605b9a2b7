// query_variant_value_action.cpp - CQueryVariantValueAction:
// "queryVariantValueById", the values of the selected variables.
#include "query_variant_value_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "status_notifications.h"
#include "text_encoding.h"
#include "utc_time.h"

CQueryVariantValueAction::CQueryVariantValueAction() : COPCRequest("queryVariantValueById", nullptr)
{
    // Once a second: it does not replace a text the operator must read.
    PostRoutineStatusText("正在查询变量值");
}

void CQueryVariantValueAction::AddParams()
{
    CManager &manager = CManager::GetInstance();
    AddParam("sessionid", manager.SessionId());
    m_selection = manager.Selection();
    AddParam("variants", m_selection);
}

void CQueryVariantValueAction::OnResponse()
{
    // Texts arrive in UTF-8; the program and its list work in GBK.
    std::vector<ReplyValue> values;
    if (!WalkValueReply(Root(), Utf8ToGbk, values))
        MarkMalformed(); // the values before the fault are stored
    // Every value of this reply is as of its arrival. A failed request
    // fails with every value; else what the reply left out is not current.
    CManager::GetInstance().ApplyValueReply(values, UtcFileTimeNow(), m_selection, Success() && !Malformed());
}
