// standin_platform.h - the stand-in cloud platform started by the test
// fixture: its ports from the ready file, and its control endpoint over
// plain HTTP (reset, held values, the request log).
#pragma once

#include <string>

class CStandInPlatform {
public:
    // Reads the ready file named by LUMARET_PLATFORM_READY.
    bool Load();
    const std::string &Error() const { return m_error; }

    int Port() const { return m_port; }
    int ControlPort() const { return m_controlPort; }

    // POST /_control with a JSON object of commands; true on HTTP 200.
    bool Control(const std::string &json);
    // GET /_control/requests?reqCode=...; the reply body.
    std::string Requests(const std::string &reqCode);

private:
    bool Exchange(const std::string &request, std::string &body);

    int m_port = 0;
    int m_controlPort = 0;
    std::string m_error;
};

// Reads a whole file.
std::string ReadFileBytes(const std::string &path);
// A Unix path from the test runner as a Windows path (drive Z: is the root).
std::string WindowsPath(const std::string &path);
