// query_variant_value_action.cpp - CQueryVariantValueAction:
// "queryVariantValueById", the values of the selected variables.
#include "query_variant_value_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "status_notifications.h"
#include "text_encoding.h"
#include "utc_time.h"

#include <algorithm>
#include <set>

namespace {

// The variable keys of a selection text: ";" device id ":" then "variable
// id," per variable, for every device.
std::vector<std::string> SelectionKeys(const std::string &selection)
{
    std::vector<std::string> keys;
    std::size_t device = 0;
    while ((device = selection.find(';', device)) != std::string::npos) {
        ++device;
        const std::size_t end = std::min(selection.find(';', device), selection.size());
        const std::size_t colon = selection.find(':', device);
        if (colon == std::string::npos || colon > end)
            continue;
        const std::string deviceId = selection.substr(device, colon - device);
        std::size_t variable = colon + 1;
        while (variable < end) {
            const std::size_t comma = std::min(selection.find(',', variable), end);
            if (comma > variable)
                keys.push_back(deviceId + ":" + selection.substr(variable, comma - variable));
            variable = comma + 1;
        }
        device = end;
    }
    return keys;
}

} // namespace

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
    CManager &manager = CManager::GetInstance();
    // Every value of this reply is as of its arrival.
    const std::uint64_t replyTime = UtcFileTimeNow();
    std::set<std::string> reported;
    for (const ReplyValue &value : values) {
        manager.UpdateValue(value.key, value.status, value.value, replyTime);
        reported.insert(value.key);
    }
    if (!Success() || Malformed())
        return; // the request fails, and with it every value
    // A variable asked for but left out of the reply has no current value.
    std::vector<std::string> unreported;
    for (const std::string &key : SelectionKeys(m_selection))
        if (reported.count(key) == 0)
            unreported.push_back(key);
    if (!unreported.empty())
        manager.MarkUnreported(unreported, replyTime);
}
