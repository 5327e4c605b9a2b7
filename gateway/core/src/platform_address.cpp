// platform_address.cpp - the process-wide platform address, the parts of a
// host setting and the URL of a request.
#include "platform_address.h"

#include "settings.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
bool g_loaded = false;
PlatformAddress g_address;

} // namespace

PlatformAddress ReadPlatformAddress(const CSettings &settings)
{
    PlatformAddress address;
    address.host = settings.Host();
    address.port = settings.Port();
    address.connectTimeoutSeconds = settings.ConnectTimeout();
    address.timeoutSeconds = settings.Timeout();
    address.caFile = settings.CaFile();
    address.verifyTls = settings.TlsVerify() != 0;
    return address;
}

PlatformAddress CurrentPlatformAddress()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_loaded) {
        g_address = ReadPlatformAddress(CSettings());
        g_loaded = true;
    }
    return g_address;
}

void SetPlatformAddress(const PlatformAddress &address)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_address = address;
    g_loaded = true;
}

namespace {

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

bool IsAddressCharacter(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

// Characters a URL path carries as they are (RFC 3986 pchar, "/" and an
// already encoded "%").
bool IsPathCharacter(char c)
{
    static const char kOthers[] = "-._~!$&'()*+,;=:@%/";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr(kOthers, c) != nullptr);
}

// A port number from 1 to 65535 without sign or blanks, as its decimal text
// without leading zeros; empty when text is none.
std::string PortNumberText(const std::string &text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::string();
    const long number = std::atol(text.c_str());
    if (number < 1 || number > 65535)
        return std::string();
    return std::to_string(number);
}

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

HostProblem ParsePlatformHost(const std::string &host, PlatformHost *parts)
{
    if (host.empty())
        return HostProblem::kEmpty;
    if (host.find(' ') != std::string::npos)
        return HostProblem::kBlank;
    if (host.back() == '/')
        return HostProblem::kFinalSlash;

    PlatformHost result;
    std::string rest = host;
    const std::string::size_type schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        result.scheme = Lower(rest.substr(0, schemeEnd));
        if (result.scheme != "http" && result.scheme != "https")
            return HostProblem::kFormat;
        rest = rest.substr(schemeEnd + 3);
    }
    const std::string::size_type pathStart = rest.find('/');
    std::string authority = rest.substr(0, pathStart);
    if (pathStart != std::string::npos)
        result.path = rest.substr(pathStart);

    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const std::string::size_type close = authority.find(']');
        if (close == std::string::npos || close < 2)
            return HostProblem::kFormat;
        for (std::string::size_type i = 1; i < close; ++i)
            if (!IsAddressCharacter(authority[i]))
                return HostProblem::kFormat;
        result.name = authority.substr(0, close + 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':')
                return HostProblem::kFormat;
            hasPort = true;
            portText = after.substr(1);
        }
    } else {
        const std::string::size_type colon = authority.find(':');
        result.name = authority.substr(0, colon);
        if (colon != std::string::npos) {
            hasPort = true;
            portText = authority.substr(colon + 1);
        }
        if (result.name.empty())
            return HostProblem::kFormat;
        for (char c : result.name)
            if (!IsNameCharacter(c))
                return HostProblem::kFormat;
    }
    if (hasPort) {
        result.port = PortNumberText(portText);
        if (result.port.empty())
            return !portText.empty() && portText.find_first_not_of("0123456789") == std::string::npos
                       ? HostProblem::kPortRange
                       : HostProblem::kPort;
    }
    for (char c : result.path)
        if (!IsPathCharacter(c))
            return HostProblem::kFormat;
    if (parts != nullptr)
        *parts = result;
    return HostProblem::kNone;
}

std::string ComposePlatformUrl(const std::string &host, const std::string &port, const std::string &path)
{
    PlatformHost parts;
    if (ParsePlatformHost(host, &parts) != HostProblem::kNone)
        return host + path;
    const std::string scheme = parts.scheme.empty() ? std::string("http") : parts.scheme;
    std::string usedPort = parts.port;
    if (usedPort.empty()) {
        const std::string setting = PortNumberText(port);
        const std::string schemeDefault = scheme == "https" ? "443" : "80";
        if (setting != "80" && setting != schemeDefault)
            usedPort = setting;
    }
    return scheme + "://" + parts.name + (usedPort.empty() ? std::string() : ":" + usedPort) + parts.path + path;
}
