// platform_address.h - where the platform is and how to reach it: host,
// port, path, time-outs and the certificate checks, read once from the
// settings file and read-only for the requests afterwards.
#pragma once

#include <string>

class CSettings;

struct PlatformAddress {
    std::string host;              // host setting, see PlatformHost ("name", "https://name:8443/api")
    std::string port = "80";       // used when the host gives none (ComposePlatformUrl)
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

// What a host setting holds: [scheme "://"] name [":" port] [path].
// scheme: "http" or "https" (any case); name: a host name or IPv4 address
// (letters, digits, "-", "." and "_") or an IPv6 address in brackets; port:
// 1 to 65535; path: begins with "/", does not end with one, and holds only
// the characters a URL path may carry unencoded.
struct PlatformHost {
    std::string scheme; // lower case; empty when the setting names none
    std::string name;
    std::string port;   // decimal without leading zeros; empty when none is given
    std::string path;   // empty or "/..."
};

// The first thing wrong with a host setting, checked in this order.
enum class HostProblem {
    kNone,
    kEmpty,      // nothing at all
    kBlank,      // a blank anywhere
    kFinalSlash, // ends with "/"
    kPort,       // a ":" that introduces no port number
    kPortRange,  // a port number outside 1 to 65535
    kFormat,     // an unknown scheme, no name, or a character a URL cannot carry
};

// Splits a host setting; parts is filled only when the setting is good.
HostProblem ParsePlatformHost(const std::string &host, PlatformHost *parts);

// The URL of a request: the scheme ("http" when the setting names none),
// the name, the port, the host's own path, then path. The port is the host's
// own when it has one; otherwise the port setting when it is a number from 1
// to 65535 other than 80 and other than the scheme's default (443 for https).
// A host that ParsePlatformHost refuses is used as it stands, followed by
// path, and left to the transfer to report.
std::string ComposePlatformUrl(const std::string &host, const std::string &port, const std::string &path);
