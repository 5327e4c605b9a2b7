// parts_test.cpp - the window-free pieces of Lumaret.exe: the server
// address checks of the settings dialog, the variable name filter and the
// registration marker's name.
#include "name_filter.h"
#include "registration_marker.h"
#include "server_address_check.h"

#include <gtest/gtest.h>

TEST(ServerAddressCheck, HostChecksInOrderAcceptWhatTheUrlTakes)
{
    EXPECT_STREQ("请输入服务器域名或IP!", HostCheckMessage(""));
    EXPECT_STREQ("服务器域名或IP中不能带有空格!", HostCheckMessage("a b"));
    // A blank is reported before a colon.
    EXPECT_STREQ("服务器域名或IP中不能带有空格!", HostCheckMessage("host :80"));
    // A final slash is reported before anything about scheme or port.
    EXPECT_STREQ("服务器域名末尾不要添加斜杠!", HostCheckMessage("http://host/"));
    EXPECT_STREQ("服务器域名末尾不要添加斜杠!", HostCheckMessage("host/a/"));
    EXPECT_STREQ("服务器域名末尾不要添加斜杠!", HostCheckMessage("/"));
    EXPECT_STREQ("服务器域名格式错误, 不要带端口!", HostCheckMessage("192.168.1.10:"));
    EXPECT_STREQ("服务器域名格式错误, 不要带端口!", HostCheckMessage("host:http"));
    EXPECT_STREQ("服务器域名中的端口无效, 端口应在1到65535之间!", HostCheckMessage("192.168.1.10:0"));
    EXPECT_STREQ("服务器域名中的端口无效, 端口应在1到65535之间!", HostCheckMessage("host:65536/api"));
    EXPECT_STREQ("服务器域名格式错误!", HostCheckMessage("ftp://host"));
    EXPECT_STREQ("服务器域名格式错误!", HostCheckMessage("host/a?b=1"));
    // What the request URL is built from is accepted.
    EXPECT_EQ(nullptr, HostCheckMessage("host/a"));
    EXPECT_EQ(nullptr, HostCheckMessage("platform.example.com"));
    EXPECT_EQ(nullptr, HostCheckMessage("10.0.0.1"));
    EXPECT_EQ(nullptr, HostCheckMessage("192.168.1.10:8080"));
    EXPECT_EQ(nullptr, HostCheckMessage("https://platform.example:8443/api"));
}

TEST(ServerAddressCheck, PortText)
{
    int port = -1;
    EXPECT_TRUE(ParsePortText("8080", port));
    EXPECT_EQ(8080, port);
    EXPECT_TRUE(ParsePortText("  443 ", port));
    EXPECT_EQ(443, port);
    EXPECT_TRUE(ParsePortText("-1", port));
    EXPECT_EQ(-1, port);
    EXPECT_TRUE(ParsePortText("+7", port));
    EXPECT_EQ(7, port);
    EXPECT_FALSE(ParsePortText("", port));
    EXPECT_FALSE(ParsePortText("  ", port));
    EXPECT_FALSE(ParsePortText("80a", port));
    EXPECT_FALSE(ParsePortText("8 0", port));
    EXPECT_FALSE(ParsePortText("-", port));
    EXPECT_FALSE(ParsePortText("99999999999", port));
}

TEST(NameFilter, ExactCaseSensitiveSubstring)
{
    EXPECT_TRUE(NameMatchesFilter("temperature", ""));
    EXPECT_TRUE(NameMatchesFilter("temperature", "temp"));
    EXPECT_TRUE(NameMatchesFilter("temperature", "ratu"));
    EXPECT_FALSE(NameMatchesFilter("temperature", "Temp"));
    EXPECT_FALSE(NameMatchesFilter("temp", "temperature"));
    EXPECT_TRUE(NameMatchesFilter("进水泵电流", "电流"));
    EXPECT_FALSE(NameMatchesFilter("进水泵电流", "电压"));
}

TEST(NameFilter, TrailByteNeverMatchesSingleByteCharacter)
{
    // "丂" is 0x81 0x40 in GBK: its second byte is "@", which must not be
    // found inside the double-byte character.
    const std::string name = "\x81\x40";
    EXPECT_FALSE(NameMatchesFilter(name, "@"));
    EXPECT_TRUE(NameMatchesFilter(name + "@", "@"));
    // "A" (0x41) as the trail byte of 0x81 0x41.
    EXPECT_FALSE(NameMatchesFilter("\x81\x41", "A"));
}

TEST(RegistrationMarker, NameIsSerialOrFallback)
{
    const std::string name = RegistrationMarkerName();
    ASSERT_FALSE(name.empty());
    EXPECT_NE(' ', name.front());
    EXPECT_NE(' ', name.back());
    // Under Wine the disk answers no SMART request.
    EXPECT_EQ(kFallbackMarkerName, name);
}

TEST(RegistrationMarker, SerialTrimmedOrFallback)
{
    EXPECT_EQ("WD-WCC4N1234567", MarkerNameForSerial(true, "     WD-WCC4N1234567"));
    EXPECT_EQ("S1 X", MarkerNameForSerial(true, " S1 X  "));
    EXPECT_EQ(kFallbackMarkerName, MarkerNameForSerial(false, "ignored"));
    // Nothing left after trimming: the fallback, never the directory itself.
    EXPECT_EQ(kFallbackMarkerName, MarkerNameForSerial(true, "                    "));
    EXPECT_EQ(kFallbackMarkerName, MarkerNameForSerial(true, ""));
}
