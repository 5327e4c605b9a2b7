// The settings file: defaults without a file, the keys as written, the
// accounts list rules on disk, and the platform address read from it.
#include "scratch_dir.h"

#include "app_dir.h"
#include "platform_address.h"
#include "settings.h"

#include <gtest/gtest.h>

TEST(SettingsFile, DefaultsWithoutAFile)
{
    CScratchDir dir;
    const CSettings settings(dir.File("Lumaret.ini"));
    EXPECT_EQ(kDefaultPlatformHost, settings.Host());
    EXPECT_EQ("80", settings.Port());
    EXPECT_EQ(8, settings.ConnectTimeout());
    EXPECT_EQ(8, settings.Timeout());
    EXPECT_EQ("", settings.CaFile());
    EXPECT_EQ(1, settings.TlsVerify());
    EXPECT_TRUE(settings.Accounts().empty());
    EXPECT_EQ(1, settings.RememberPassword());
    EXPECT_EQ(1, settings.RememberAutoRun());
    EXPECT_EQ(0, settings.LogEnabled());
    EXPECT_FALSE(FileExists(dir.File("Lumaret.ini"))) << "reading creates no file";
}

TEST(SettingsFile, KeysAreReadFromTheirSections)
{
    CScratchDir dir;
    WriteWholeFile(dir.File("Lumaret.ini"), "[server]\r\nhost=platform.example\r\nport=8443\r\nConnectTimeout=3\r\n"
                                             "Timeout=abc\r\nCaFile=C:\\certs\\ca.pem\r\nTlsVerify=0\r\n"
                                             "[local]\r\nRememberPassword=0\r\nRememberAutoRun=2\r\nLogEnabled=1\r\n"
                                             "accounts=demo;  zhang ;;x;\r\n");
    const CSettings settings(dir.File("Lumaret.ini"));
    EXPECT_EQ("platform.example", settings.Host());
    EXPECT_EQ("8443", settings.Port());
    EXPECT_EQ(3, settings.ConnectTimeout());
    EXPECT_EQ(0, settings.Timeout()) << "an unreadable number is 0";
    EXPECT_EQ("C:\\certs\\ca.pem", settings.CaFile());
    EXPECT_EQ(0, settings.TlsVerify());
    EXPECT_EQ(0, settings.RememberPassword());
    EXPECT_EQ(2, settings.RememberAutoRun());
    EXPECT_EQ(1, settings.LogEnabled());
    EXPECT_EQ((std::vector<std::string>{"demo", "zhang", "x"}), settings.Accounts());

    const PlatformAddress address = ReadPlatformAddress(settings);
    EXPECT_EQ("platform.example", address.host);
    EXPECT_EQ("8443", address.port);
    EXPECT_EQ("/opc.do", address.path);
    EXPECT_EQ(3, address.connectTimeoutSeconds);
    EXPECT_EQ(0, address.timeoutSeconds);
    EXPECT_EQ("C:\\certs\\ca.pem", address.caFile);
    EXPECT_FALSE(address.verifyTls);
}

TEST(SettingsFile, HostIsReadUpTo254Characters)
{
    CScratchDir dir;
    const CSettings settings(dir.File("Lumaret.ini"));
    ASSERT_TRUE(settings.WriteHost(std::string(300, 'h')));
    EXPECT_EQ(std::string(254, 'h'), settings.Host());
}

TEST(SettingsFile, WrittenValuesReadBack)
{
    CScratchDir dir;
    const CSettings settings(dir.File("Lumaret.ini"));
    ASSERT_TRUE(settings.WriteHost("10.1.2.3"));
    ASSERT_TRUE(settings.WritePort(8080));
    ASSERT_TRUE(settings.WriteRememberPassword(0));
    ASSERT_TRUE(settings.WriteRememberAutoRun(0));
    EXPECT_EQ("10.1.2.3", settings.Host());
    EXPECT_EQ("8080", settings.Port());
    EXPECT_EQ(0, settings.RememberPassword());
    EXPECT_EQ(0, settings.RememberAutoRun());
    const std::string text = ReadWholeFile(dir.File("Lumaret.ini"));
    EXPECT_NE(std::string::npos, text.find("[server]")) << text;
    EXPECT_NE(std::string::npos, text.find("port=8080")) << text;
    EXPECT_NE(std::string::npos, text.find("[local]")) << text;
    EXPECT_NE(std::string::npos, text.find("RememberAutoRun=0")) << text;
}

TEST(SettingsFile, AccountsKeepTenNamesNewestLastWithoutDuplicates)
{
    CScratchDir dir;
    const CSettings settings(dir.File("Lumaret.ini"));
    for (int n = 1; n <= 10; ++n)
        settings.AddAccount("user" + std::to_string(n));
    EXPECT_EQ(10u, settings.Accounts().size());

    settings.AddAccount("user11");
    const std::vector<std::string> accounts = settings.Accounts();
    ASSERT_EQ(10u, accounts.size());
    EXPECT_EQ("user2", accounts.front());
    EXPECT_EQ("user11", accounts.back());
    const std::string written = ReadWholeFile(dir.File("Lumaret.ini"));
    EXPECT_NE(std::string::npos,
              written.find("accounts=user2;user3;user4;user5;user6;user7;user8;user9;user10;user11;\r\n"))
        << written;

    // A name already there changes nothing, not even the file.
    WriteWholeFile(dir.File("Lumaret.ini"), written + "; marker\r\n");
    settings.AddAccount("user5");
    EXPECT_EQ(written + "; marker\r\n", ReadWholeFile(dir.File("Lumaret.ini")));
    settings.AddAccount("USER5"); // comparison is case-sensitive
    EXPECT_EQ("USER5", settings.Accounts().back());
}

TEST(SettingsFile, NameTypedWithBlanksIsStoredAsTypedAndReadTrimmed)
{
    CScratchDir dir;
    const CSettings settings(dir.File("Lumaret.ini"));
    settings.AddAccount("  demo ");
    // The system's profile writer may drop leading blanks; the trailing one stays.
    const std::string text = ReadWholeFile(dir.File("Lumaret.ini"));
    EXPECT_TRUE(text.find("accounts=  demo ;") != std::string::npos || text.find("accounts=demo ;") != std::string::npos)
        << text;
    EXPECT_EQ(std::vector<std::string>{"demo"}, settings.Accounts());
}

TEST(SettingsFile, ProgramSettingsLiveInTheProgramDirectory)
{
    EXPECT_EQ(GetAppDir() + "/Lumaret.ini", SettingsFilePath());
    EXPECT_EQ(SettingsFilePath(), CSettings().Path());
}
