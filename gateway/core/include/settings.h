// settings.h - the settings file "Lumaret.ini" in the program directory:
// one operation per key, defaults for missing keys, read and written through
// the system's private profile functions on every call (no caching).
#pragma once

#include <string>
#include <vector>

// The platform host used when the settings file names none.
extern const char kDefaultPlatformHost[];

// GetAppDir() + "/Lumaret.ini".
std::string SettingsFilePath();

class CSettings {
public:
    CSettings(); // the program's settings file
    explicit CSettings(const std::string &path);

    const std::string &Path() const { return m_path; }

    // Section "server".
    std::string Host() const;         // "host", at most 254 characters; default kDefaultPlatformHost
    std::string Port() const;         // "port", default "80"
    int ConnectTimeout() const;       // "ConnectTimeout" seconds, default 8
    int Timeout() const;              // "Timeout" seconds, default 8
    std::string CaFile() const;       // "CaFile": CA certificates (PEM) to verify HTTPS with; default ""
    int TlsVerify() const;            // "TlsVerify": 0 switches certificate and host checks off; default 1
    bool WriteHost(const std::string &host) const;
    bool WritePort(int port) const;

    // Section "local".
    // "accounts": the remembered user names, oldest first, trimmed, no empty ones.
    std::vector<std::string> Accounts() const;
    // Appends the name unless an equal entry exists (then nothing is
    // written); keeps the newest 10 entries.
    void AddAccount(const std::string &userName) const;
    int RememberPassword() const;     // default 1
    bool WriteRememberPassword(int value) const;
    int RememberAutoRun() const;      // default 1
    bool WriteRememberAutoRun(int value) const;
    int LogEnabled() const;           // default 0; never written by the program

private:
    std::string ReadText(const char *section, const char *key, const char *fallback, unsigned capacity) const;
    int ReadInt(const char *section, const char *key, const char *fallback) const;
    bool WriteText(const char *section, const char *key, const std::string &value) const;

    std::string m_path;
};
