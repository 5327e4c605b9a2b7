// platform_address.cpp - the process-wide platform address and the URL of
// a request.
#include "platform_address.h"

#include "settings.h"

#include <cstdlib>
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

std::string ComposePlatformUrl(const std::string &host, const std::string &port, const std::string &path)
{
    if (host.find("://") != std::string::npos || host.find(':') != std::string::npos)
        return host + path;
    // Only a whole decimal number in the port range counts as a port.
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return host + path;
    const long number = std::atol(port.c_str());
    if (number <= 0 || number > 65535 || number == 80)
        return host + path;
    return host + ":" + std::to_string(number) + path;
}
