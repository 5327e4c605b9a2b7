// json_request.cpp - CJsonRequest: the reply parsed as JSON.
#include "json_request.h"

#include "console_output.h"

#include <json/reader.h>

#include <memory>

bool CJsonRequest::ParseResponse(const std::string &reply)
{
    if (reply.empty()) {
        ConsolePrintf("response size=0\n");
        return false;
    }
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (reader->parse(reply.data(), reply.data() + reply.size(), &m_root, &errors))
        return true;
    ConsolePrintf("%s\n", reply.c_str());
    return false;
}
