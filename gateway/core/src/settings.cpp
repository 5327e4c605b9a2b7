// settings.cpp - the keys of "Lumaret.ini" with their defaults.
#include "settings.h"

#include "accounts_list.h"
#include "app_dir.h"

#include <windows.h>

#include <cstdlib>

const char kDefaultPlatformHost[] = "localhost";

namespace {

const char kServer[] = "server";
const char kLocal[] = "local";

} // namespace

std::string SettingsFilePath()
{
    return GetAppDir() + "/Lumaret.ini";
}

CSettings::CSettings() : m_path(SettingsFilePath()) {}

CSettings::CSettings(const std::string &path) : m_path(path) {}

std::string CSettings::ReadText(const char *section, const char *key, const char *fallback, unsigned capacity) const
{
    std::string buffer(capacity, '\0');
    const DWORD length = GetPrivateProfileStringA(section, key, fallback, &buffer[0], capacity, m_path.c_str());
    buffer.resize(length);
    return buffer;
}

int CSettings::ReadInt(const char *section, const char *key, const char *fallback) const
{
    return std::atoi(ReadText(section, key, fallback, 64).c_str());
}

bool CSettings::WriteText(const char *section, const char *key, const std::string &value) const
{
    return WritePrivateProfileStringA(section, key, value.c_str(), m_path.c_str()) != FALSE;
}

std::string CSettings::Host() const
{
    return ReadText(kServer, "host", kDefaultPlatformHost, 255);
}

std::string CSettings::Port() const
{
    return ReadText(kServer, "port", "80", 64);
}

int CSettings::ConnectTimeout() const
{
    return ReadInt(kServer, "ConnectTimeout", "8");
}

int CSettings::Timeout() const
{
    return ReadInt(kServer, "Timeout", "8");
}

std::string CSettings::CaFile() const
{
    return ReadText(kServer, "CaFile", "", 1024);
}

int CSettings::TlsVerify() const
{
    return ReadInt(kServer, "TlsVerify", "1");
}

bool CSettings::WriteHost(const std::string &host) const
{
    return WriteText(kServer, "host", host);
}

bool CSettings::WritePort(int port) const
{
    return WriteText(kServer, "port", std::to_string(port));
}

std::vector<std::string> CSettings::Accounts() const
{
    return ParseAccountsList(ReadText(kLocal, "accounts", "", 1023));
}

void CSettings::AddAccount(const std::string &userName) const
{
    std::vector<std::string> accounts = Accounts();
    if (AppendAccount(accounts, userName))
        WriteText(kLocal, "accounts", FormatAccountsList(accounts));
}

int CSettings::RememberPassword() const
{
    return ReadInt(kLocal, "RememberPassword", "1");
}

bool CSettings::WriteRememberPassword(int value) const
{
    return WriteText(kLocal, "RememberPassword", std::to_string(value));
}

int CSettings::RememberAutoRun() const
{
    return ReadInt(kLocal, "RememberAutoRun", "1");
}

bool CSettings::WriteRememberAutoRun(int value) const
{
    return WriteText(kLocal, "RememberAutoRun", std::to_string(value));
}

int CSettings::LogEnabled() const
{
    return ReadInt(kLocal, "LogEnabled", "0");
}
