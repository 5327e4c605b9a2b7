// standin_platform.h - the tests' view of a running stand-in platform: its
// addresses from the ready file the CTest fixture left in
// LUMARET_PLATFORM_DIR, its control endpoint (faults, holds, canned
// replies) and its request log, all over real HTTP.
#pragma once

#include "platform_address.h"

#include <json/value.h>

#include <string>

class CStandinPlatform {
public:
    // "http" or "https": the instance whose ready file is read.
    explicit CStandinPlatform(const std::string &instance = "http");

    bool IsReady() const { return m_ready; }
    const std::string &Problem() const { return m_problem; }

    int Port() const { return m_port; }
    // The host text for the gateway's settings: "127.0.0.1", or
    // "https://localhost:<port>" for the HTTPS instance.
    std::string HostSetting() const;
    std::string CaFile() const { return m_caFile; }           // Windows path
    std::string OtherCaFile() const { return m_otherCaFile; } // Windows path

    // An address for the requests: this platform, the given time-outs.
    PlatformAddress Address(int connectTimeoutSeconds = 8, int timeoutSeconds = 8) const;
    // Makes Address(...) the process's platform address.
    void Use(int connectTimeoutSeconds = 8, int timeoutSeconds = 8) const;

    // POST of a JSON command object to the control endpoint; true on 200.
    bool Control(const std::string &commandsJson) const;
    // The next request with this reqCode gets exactly this status and body.
    bool Canned(const std::string &reqCode, const std::string &body, int status = 200) const;
    // "reset" and "clear_requests" together.
    bool Reset() const;
    bool ClearRequests() const;
    // The request log (oldest first), limited to reqCode when not empty.
    Json::Value Requests(const std::string &reqCode = std::string()) const;
    // Current value of every variable ("D2001:V30001" -> value).
    Json::Value Values() const;

private:
    std::string ControlGet(const std::string &path, long *status) const;

    bool m_ready = false;
    std::string m_problem;
    std::string m_scheme;
    int m_port = 0;
    std::string m_controlBase;
    std::string m_caFile;
    std::string m_otherCaFile;
};

// A Unix path as Wine's drive Z: sees it.
std::string WindowsPathOf(const std::string &unixPath);

// Parses JSON text; null when it is not JSON.
Json::Value ParseJson(const std::string &text);
