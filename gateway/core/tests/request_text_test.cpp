// Texts of the request layer without a platform: percent-encoding, the
// ANSI/UTF-8/GBK conversions, the request URL, the masked log body and the
// accounts list rules.
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

TEST(RequestTexts, UrlCarriesThePortUnlessItIsTheDefaultOrGiven)
{
    EXPECT_EQ("platform.example/opc.do", ComposePlatformUrl("platform.example", "80", "/opc.do"));
    EXPECT_EQ("platform.example:8080/opc.do", ComposePlatformUrl("platform.example", "8080", "/opc.do"));
    EXPECT_EQ("10.0.0.5:443/opc.do", ComposePlatformUrl("10.0.0.5", "443", "/opc.do"));
    EXPECT_EQ("platform.example/opc.do", ComposePlatformUrl("platform.example", "", "/opc.do"));
    EXPECT_EQ("platform.example/opc.do", ComposePlatformUrl("platform.example", "x1", "/opc.do"));
    EXPECT_EQ("platform.example/opc.do", ComposePlatformUrl("platform.example", "70000", "/opc.do"));
    EXPECT_EQ("platform.example:81/opc.do", ComposePlatformUrl("platform.example", "081", "/opc.do"));
    // A host with a scheme or a port of its own is taken as it stands.
    EXPECT_EQ("https://platform.example/opc.do", ComposePlatformUrl("https://platform.example", "8080", "/opc.do"));
    EXPECT_EQ("platform.example:9000/opc.do", ComposePlatformUrl("platform.example:9000", "8080", "/opc.do"));
}

TEST(RequestTexts, LoggedBodyMasksEveryPasswordField)
{
    EXPECT_EQ("reqCode=login&account=demo&password=***", MaskPasswordFields("reqCode=login&account=demo&password=s3cret"));
    EXPECT_EQ("password=***&x=1", MaskPasswordFields("password=a&x=1"));
    EXPECT_EQ("reqCode=probe&oldpassword=a", MaskPasswordFields("reqCode=probe&oldpassword=a"));
    EXPECT_EQ("reqCode=queryDeviceTree&sessionid=AB", MaskPasswordFields("reqCode=queryDeviceTree&sessionid=AB"));
    EXPECT_EQ("", MaskPasswordFields(""));
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
