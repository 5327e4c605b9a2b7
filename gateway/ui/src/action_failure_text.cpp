// action_failure_text.cpp - a message for a failed platform action.
#include "action_failure_text.h"

#include "opc_request.h"

#include <cstdio>

std::string ActionFailureText(const COPCRequest &action)
{
    if (!action.ErrorText().empty())
        return action.ErrorText();
    if (action.Parsed()) {
        std::string message;
        try {
            message = action.GetString("msg");
        } catch (...) {
            message.clear();
        }
        return message.empty() ? std::string("请求被拒绝") : message;
    }
    if (action.ResultCode() != 0) {
        char text[64];
        std::snprintf(text, sizeof(text), "网络请求失败，code=%d", action.ResultCode());
        return text;
    }
    return "解析数据异常";
}
