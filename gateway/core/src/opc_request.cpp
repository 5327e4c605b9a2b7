// opc_request.cpp - COPCRequest: reqCode first in the body, the "success"
// check of the reply, and the reporting of refused and unusable replies.
#include "opc_request.h"

#include "console_output.h"
#include "log_printf.h"
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
    try {
        const Json::Value &root = m_root;
        m_success = root["success"].asBool();
        if (!m_success) {
            PostStatusText("请求被拒绝");
            ConsolePrintf("[%s] session failed!\n", ClassNameOf(typeid(*this)).c_str());
            OnSessionFailed();
        }
        OnResponse();
    } catch (...) {
        // A reply of an unexpected form ends the handling; what was stored stays.
    }
    return true;
}

bool COPCRequest::Request()
{
    if (!CBasicHttpRequest::Request()) {
        OnPostFailed();
        LogPrintf("post failed");
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
