// opc_request.cpp - COPCRequest: reqCode first in the body, the "success"
// check of the reply, and the reporting of refused, unusable and malformed
// replies.
#include "opc_request.h"

#include "console_output.h"
#include "log_printf.h"
#include "platform_replies.h"
#include "status_notifications.h"
#include "text_encoding.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

namespace {

// The class name of an object as its run-time type information gives it.
std::string ClassNameOf(const std::type_info &type)
{
    int status = 0;
    char *readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && readable != nullptr ? readable : type.name();
    std::free(readable);
    return name;
}

} // namespace

COPCRequest::COPCRequest(const std::string &reqCode, const char *statusText) : m_reqCode(reqCode)
{
    if (statusText != nullptr) {
        m_statusText = statusText;
        PostStatusText(m_statusText);
    }
}

void COPCRequest::Prepare()
{
    AddParam("reqCode", m_reqCode);
    AddParams();
}

bool COPCRequest::ParseResponse(const std::string &reply)
{
    if (!CJsonRequest::ParseResponse(reply)) {
        m_parsed = false;
        m_errorText = "解析数据异常";
        PostStatusText(m_errorText);
        return false;
    }
    m_parsed = true;
    // A "success" that is not a flag (a text, say), or a root that is not
    // an object, is a refusal without a message.
    if (!ReadReplySuccess(m_root, m_success))
        return true;
    if (!m_success) {
        PostStatusText("请求被拒绝");
        ConsolePrintf("[%s] session failed!\n", ClassNameOf(typeid(*this)).c_str());
        OnSessionFailed();
    }
    try {
        OnResponse();
    } catch (...) {
        MarkMalformed();
    }
    // What the action stored before the fault stays.
    if (m_malformed)
        PostStatusText(m_errorText);
    return true;
}

void COPCRequest::MarkMalformed()
{
    m_malformed = true;
    m_errorText = "解析数据异常";
}

bool COPCRequest::Request()
{
    if (!CBasicHttpRequest::Request()) {
        OnPostFailed();
        LogPrintf("post failed");
        return false;
    }
    if (m_parsed && m_malformed) {
        LogPrintf("reply of unexpected form");
        return false;
    }
    if (m_parsed && m_success)
        return true;
    if (m_parsed) {
        LogPrintf("success is false");
        return false;
    }
    PostStatusText("");
    return false;
}

std::string COPCRequest::GetString(const Json::Value *object, const char *member) const
{
    const Json::Value &from = object != nullptr ? *object : m_root;
    return Utf8ToGbk(from[member].asString());
}
