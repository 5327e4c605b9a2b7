// json_request.cpp - CJsonRequest: the reply parsed as JSON.
#include "json_request.h"

#include "console_output.h"
#include "platform_replies.h"

bool CJsonRequest::ParseResponse(const std::string &reply)
{
    if (reply.empty()) {
        ConsolePrintf("response size=0\n");
        return false;
    }
    if (ParseReplyBody(reply, m_root))
        return true;
    ConsolePrintf("%s\n", reply.c_str());
    return false;
}
