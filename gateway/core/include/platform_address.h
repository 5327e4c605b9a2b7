// platform_address.h - where the platform is and how to reach it: host,
// port, path, time-outs and the certificate checks, read once from the
// settings file and read-only for the requests afterwards.
#pragma once

#include <string>

class CSettings;

struct PlatformAddress {
    std::string host;              // host name or address, or a whole base URL ("https://name:port")
    std::string port = "80";       // added to a plain host name unless it is 80
    std::string path = "/opc.do";
    int connectTimeoutSeconds = 8;
    int timeoutSeconds = 8;        // whole request; 0 means no limit
    std::string caFile;            // CA certificates for HTTPS; empty: the system's store
    bool verifyTls = true;         // false: no certificate and host-name check
};

PlatformAddress ReadPlatformAddress(const CSettings &settings);

// The address every request copies. The first call reads it from the
// program's settings file unless SetPlatformAddress came first.
PlatformAddress CurrentPlatformAddress();
void SetPlatformAddress(const PlatformAddress &address);

// The URL of a request. A host with a scheme ("http://", "https://") or with
// a port of its own is used as it stands; a plain host name gets ":" and the
// port when the port is a number other than 80. The path follows directly.
std::string ComposePlatformUrl(const std::string &host, const std::string &port, const std::string &path);
