// action_failure_text.cpp - a message for a failed platform action.
#include "action_failure_text.h"

#include "opc_request.h"

std::string ActionFailureText(const COPCRequest &action)
{
    if (!action.ErrorText().empty())
        return action.ErrorText();
    std::string message;
    try {
        message = action.GetString("msg");
    } catch (...) {
        message.clear();
    }
    return message.empty() ? std::string("请求被拒绝") : message;
}
