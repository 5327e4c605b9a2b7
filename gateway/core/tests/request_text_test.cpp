// Texts of the request layer without a platform: percent-encoding, the
// ANSI/UTF-8/GBK conversions, the host setting and the request URL, the
// masked log body and the accounts list rules.
#include "accounts_list.h"
#include "basic_http_request.h"
#include "platform_address.h"
#include "text_encoding.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Outside the assertion macros, which would quote them as GBK text.
const char kBellUtf8[] = u8"alarm 🔔";
const char kOnlyBellUtf8[] = u8"🔔";

} // namespace

TEST(RequestTexts, PercentEncodingKeepsUnreservedBytesAndUsesUpperCaseHex)
{
    EXPECT_EQ("a+b%26c", PercentEncode("a b&c"));
    EXPECT_EQ("AZaz09-_.~", PercentEncode("AZaz09-_.~"));
    EXPECT_EQ("%2F%3D%25%2B%00%FF", PercentEncode(std::string("/=%+\0\xFF", 6)));
    EXPECT_EQ("", PercentEncode(""));
}

TEST(RequestTexts, AnsiTextGoesOutAsUtf8)
{
    ASSERT_EQ(936u, GetACP()) << "the tests run with the Chinese ANSI code page";
    EXPECT_EQ(u8"张工", AnsiToUtf8("张工"));
    EXPECT_EQ("%E5%BC%A0%E5%B7%A5", PercentEncode(AnsiToUtf8("张工")));
    EXPECT_EQ("plain", AnsiToUtf8("plain"));
    EXPECT_EQ("", AnsiToUtf8(""));
}

TEST(RequestTexts, Utf8RepliesBecomeGbkDroppingWhatGbkCannotHold)
{
    EXPECT_EQ("一号泵站", Utf8ToGbk(u8"一号泵站"));
    EXPECT_EQ("alarm ", Utf8ToGbk(kBellUtf8));
    EXPECT_EQ("ab", Utf8ToGbk("a\xFF" "b"));
    EXPECT_EQ("", Utf8ToGbk(kOnlyBellUtf8));
    EXPECT_EQ("", Utf8ToGbk(""));
}

TEST(RequestTexts, UrlFromHostSettingPortAndPath)
{
    struct Case {
        const char *host;
        const char *port;
        const char *url;
    };
    const Case cases[] = {
        {"platform.example", "80", "http://platform.example/opc.do"},
        {"platform.example", "8080", "http://platform.example:8080/opc.do"},
        {"10.0.0.5", "443", "http://10.0.0.5:443/opc.do"},
        // Not a port: the scheme's default.
        {"platform.example", "", "http://platform.example/opc.do"},
        {"platform.example", "x1", "http://platform.example/opc.do"},
        {"platform.example", "70000", "http://platform.example/opc.do"},
        {"platform.example", "081", "http://platform.example:81/opc.do"},
        // A path of the host's own goes after the port.
        {"example.com/api", "8443", "http://example.com:8443/api/opc.do"},
        {"example.com/api/v2", "80", "http://example.com/api/v2/opc.do"},
        // A scheme of its own: its default port is no port.
        {"https://platform.example", "80", "https://platform.example/opc.do"},
        {"https://platform.example", "443", "https://platform.example/opc.do"},
        {"HTTPS://platform.example/gw", "8443", "https://platform.example:8443/gw/opc.do"},
        {"http://platform.example", "8080", "http://platform.example:8080/opc.do"},
        // A port of its own wins over the setting.
        {"platform.example:9000", "8080", "http://platform.example:9000/opc.do"},
        {"https://localhost:8443/api", "80", "https://localhost:8443/api/opc.do"},
        {"[::1]:8080", "80", "http://[::1]:8080/opc.do"},
        {"[fe80::1]", "8081", "http://[fe80::1]:8081/opc.do"},
        // What cannot be built is passed on as it stands.
        {"a b", "8080", "a b/opc.do"},
        {"ftp://platform.example", "8080", "ftp://platform.example/opc.do"},
    };
    for (const Case &item : cases)
        EXPECT_EQ(item.url, ComposePlatformUrl(item.host, item.port, "/opc.do")) << item.host << " " << item.port;
}

TEST(RequestTexts, HostSettingProblemsInOrder)
{
    EXPECT_EQ(HostProblem::kEmpty, ParsePlatformHost("", nullptr));
    EXPECT_EQ(HostProblem::kBlank, ParsePlatformHost("host :80/", nullptr));
    EXPECT_EQ(HostProblem::kFinalSlash, ParsePlatformHost("http://host/", nullptr));
    EXPECT_EQ(HostProblem::kFinalSlash, ParsePlatformHost("/", nullptr));
    EXPECT_EQ(HostProblem::kPort, ParsePlatformHost("host:", nullptr));
    EXPECT_EQ(HostProblem::kPortRange, ParsePlatformHost("host:0", nullptr));
    EXPECT_EQ(HostProblem::kPortRange, ParsePlatformHost("host:65536/api", nullptr));
    EXPECT_EQ(HostProblem::kPortRange, ParsePlatformHost("[::1]:000080", nullptr));
    EXPECT_EQ(HostProblem::kPort, ParsePlatformHost("host:80:81", nullptr));
    EXPECT_EQ(HostProblem::kPort, ParsePlatformHost("[::1]:x", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("ftp://host", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("https://:8443", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost(":8080", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("user@host", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("host/a?b", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("host\\api", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("[::1", nullptr));
    EXPECT_EQ(HostProblem::kFormat, ParsePlatformHost("\xD6\xD0.example", nullptr));

    PlatformHost parts;
    ASSERT_EQ(HostProblem::kNone, ParsePlatformHost("Https://Platform.example:08443/api/v1", &parts));
    EXPECT_EQ("https", parts.scheme);
    EXPECT_EQ("Platform.example", parts.name);
    EXPECT_EQ("8443", parts.port);
    EXPECT_EQ("/api/v1", parts.path);
}

TEST(RequestTexts, LoggedBodyMasksEveryPasswordAndSessionField)
{
    EXPECT_EQ("reqCode=login&account=demo&password=***", LoggedBody("reqCode=login&account=demo&password=s3cret"));
    EXPECT_EQ("password=***&x=1", LoggedBody("password=a&x=1"));
    EXPECT_EQ("reqCode=probe&oldpassword=a", LoggedBody("reqCode=probe&oldpassword=a"));
    EXPECT_EQ("reqCode=queryDeviceTree&sessionid=***", LoggedBody("reqCode=queryDeviceTree&sessionid=AB"));
    EXPECT_EQ("reqCode=writeVariantById&sessionid=***&id=D1:V1&value=3",
              LoggedBody("reqCode=writeVariantById&sessionid=9F00&id=D1:V1&value=3"));
    EXPECT_EQ("", LoggedBody(""));
}

TEST(RequestTexts, LoggedBodyCutsASelectionOfThousandsOfVariables)
{
    std::string selection = ";D1:";
    for (int v = 0; selection.size() < 20000; ++v)
        selection += "V" + std::to_string(v) + ",";
    const std::string field = "variants=" + selection;
    const std::string logged = LoggedBody("reqCode=queryVariantValueById&sessionid=AB&" + field + "&x=1");
    EXPECT_EQ("reqCode=queryVariantValueById&sessionid=***&" + field.substr(0, kLoggedFieldChars) + "...(" +
                  std::to_string(field.size()) + " bytes)&x=1",
              logged);
    // A long secret is masked, not cut.
    EXPECT_EQ("password=***", LoggedBody("password=" + std::string(4000, 'p')));
    const std::string exact = "x=" + std::string(kLoggedFieldChars - 2, 'a');
    EXPECT_EQ(exact, LoggedBody(exact));
}

TEST(AccountsList, ParsingTrimsAndDropsEmptyPieces)
{
    EXPECT_EQ((std::vector<std::string>{"a", "b c", "d"}), ParseAccountsList(" a ;b c;; ;d"));
    EXPECT_TRUE(ParseAccountsList("").empty());
    EXPECT_TRUE(ParseAccountsList(";;").empty());
}

TEST(AccountsList, AppendingKeepsTheNewestTen)
{
    std::vector<std::string> accounts;
    for (int n = 0; n < 12; ++n)
        EXPECT_TRUE(AppendAccount(accounts, std::to_string(n)));
    ASSERT_EQ(kMaxAccounts, accounts.size());
    EXPECT_EQ("2", accounts.front());
    EXPECT_FALSE(AppendAccount(accounts, "5"));
    EXPECT_EQ("2;3;4;5;6;7;8;9;10;11;", FormatAccountsList(accounts));
}
