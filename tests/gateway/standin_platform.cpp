// standin_platform.cpp - ready file, control endpoint and request log of the
// stand-in platform, reached with libcurl.
#include "standin_platform.h"

#include <curl/curl.h>
#include <json/reader.h>
#include <json/writer.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

size_t Collect(char *data, size_t size, size_t count, void *target)
{
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

// One plain HTTP exchange with the control port; the reply body.
std::string Exchange(const std::string &url, const std::string *postBody, long *status)
{
    std::string reply;
    CURL *curl = curl_easy_init();
    if (curl == nullptr)
        return reply;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_slist *headers = nullptr;
    if (postBody != nullptr) {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->c_str());
    }
    long code = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (status != nullptr)
        *status = code;
    return reply;
}

} // namespace

std::string WindowsPathOf(const std::string &unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/')
        return unixPath;
    std::string path = "Z:" + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

Json::Value ParseJson(const std::string &text)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value();
    return value;
}

CStandinPlatform::CStandinPlatform(const std::string &instance)
{
    const char *directory = std::getenv("LUMARET_PLATFORM_DIR");
    if (directory == nullptr) {
        m_problem = "LUMARET_PLATFORM_DIR is not set";
        return;
    }
    const std::string readyPath = WindowsPathOf(std::string(directory) + "/" + instance + ".json");
    std::ifstream file(readyPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const Json::Value ready = ParseJson(text);
    if (!ready.isObject()) {
        m_problem = "no ready file " + readyPath;
        return;
    }
    m_scheme = ready["scheme"].asString();
    m_port = ready["port"].asInt();
    m_controlBase = ready["control_base_url"].asString();
    if (ready["tls"].isObject()) {
        m_caFile = WindowsPathOf(ready["tls"]["ca_file"].asString());
        m_otherCaFile = WindowsPathOf(ready["tls"]["other_ca_file"].asString());
    }
    m_ready = m_port != 0 && !m_controlBase.empty();
    if (!m_ready)
        m_problem = "incomplete ready file " + readyPath;
}

std::string CStandinPlatform::HostSetting() const
{
    if (m_scheme == "https")
        return "https://localhost:" + std::to_string(m_port);
    return "127.0.0.1";
}

PlatformAddress CStandinPlatform::Address(int connectTimeoutSeconds, int timeoutSeconds) const
{
    PlatformAddress address;
    address.host = HostSetting();
    address.port = std::to_string(m_port);
    address.connectTimeoutSeconds = connectTimeoutSeconds;
    address.timeoutSeconds = timeoutSeconds;
    address.caFile = m_caFile;
    return address;
}

void CStandinPlatform::Use(int connectTimeoutSeconds, int timeoutSeconds) const
{
    SetPlatformAddress(Address(connectTimeoutSeconds, timeoutSeconds));
}

bool CStandinPlatform::Control(const std::string &commandsJson) const
{
    long status = 0;
    Exchange(m_controlBase + "/_control", &commandsJson, &status);
    return status == 200;
}

bool CStandinPlatform::Canned(const std::string &reqCode, const std::string &body, int status) const
{
    Json::Value command;
    command["canned"]["reqCode"] = reqCode;
    command["canned"]["body"] = body;
    command["canned"]["status"] = status;
    Json::StreamWriterBuilder writer;
    return Control(Json::writeString(writer, command));
}

bool CStandinPlatform::Reset() const
{
    return Control("{\"reset\": true, \"clear_requests\": true}");
}

bool CStandinPlatform::ClearRequests() const
{
    return Control("{\"clear_requests\": true}");
}

std::string CStandinPlatform::ControlGet(const std::string &path, long *status) const
{
    return Exchange(m_controlBase + path, nullptr, status);
}

Json::Value CStandinPlatform::Requests(const std::string &reqCode) const
{
    std::string path = "/_control/requests";
    if (!reqCode.empty())
        path += "?reqCode=" + reqCode;
    return ParseJson(ControlGet(path, nullptr))["requests"];
}

Json::Value CStandinPlatform::Values() const
{
    return ParseJson(ControlGet("/_control/values", nullptr))["values"];
}
