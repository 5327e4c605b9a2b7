// The request layer against the stand-in platform over real HTTP(S): body
// building and encoding, every row of the reply result table, the kinds of
// transfer failure with their texts and log lines, text conversion,
// certificate checks, the trace switch and aborted transfers.
#include "model_setup.h"
#include "recording_notifications.h"
#include "standin_platform.h"
#include "stdout_capture.h"

#include "../../gateway/core/tests/scratch_dir.h"

#include "log_printf.h"
#include "login_action.h"
#include "opc_request.h"

#include <gtest/gtest.h>
#include <json/writer.h>

#include <windows.h>

#include <atomic>
#include <regex>
#include <stdexcept>
#include <thread>

namespace {

const char kZhangGbk[] = "张工"; // compiled as GBK
const char kWangGbk[] = "王工";
const char kDelimiterPasswordGbk[] = "a&b+c%d=e f密码";

// A request of the test's own reqCode, recording the hooks it gets.
class CProbeRequest : public COPCRequest {
public:
    explicit CProbeRequest(const char *statusText = nullptr) : COPCRequest("probe", statusText) {}

    std::vector<std::pair<std::string, std::string>> rawFields;
    std::vector<std::pair<std::string, std::string>> encodedFields;
    bool throwInResponse = false;
    int responses = 0;
    int sessionFailures = 0;
    int postFailures = 0;

protected:
    void AddParams() override
    {
        for (const auto &field : rawFields)
            AddParam(field.first, field.second);
        for (const auto &field : encodedFields)
            AddEncodedParam(field.first, field.second);
    }
    void OnResponse() override
    {
        ++responses;
        if (throwInResponse)
            throw std::runtime_error("handler failed");
    }
    void OnSessionFailed() override { ++sessionFailures; }
    void OnPostFailed() override { ++postFailures; }
};

class RequestLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform.IsReady()) << platform.Problem();
        ASSERT_TRUE(platform.Reset());
        platform.Use();
        ResetManager();
    }

    CStandinPlatform platform;
    CRecordingNotifications notes;
};

} // namespace

TEST_F(RequestLayer, BodyStartsWithReqCodeJoinsWithAmpersandAndEncodesOnlyEncodedValues)
{
    ASSERT_TRUE(platform.Canned("probe", "{\"success\":true}"));
    CProbeRequest probe;
    probe.rawFields = {{"raw", "a b&c"}};
    probe.encodedFields = {{"enc", "a b&c"}, {"name", kZhangGbk}, {"a b", "x"}};
    EXPECT_TRUE(probe.Request());

    const std::string expected = "reqCode=probe&raw=a b&c&enc=a+b%26c&name=%E5%BC%A0%E5%B7%A5&a b=x";
    EXPECT_EQ(expected, probe.Body());
    const Json::Value requests = platform.Requests("probe");
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(expected, requests[0]["raw_body"].asString());
}

TEST_F(RequestLayer, ChineseAccountGoesOutAsPercentEncodedUtf8)
{
    CLoginAction login(kZhangGbk, "zhang2024");
    EXPECT_TRUE(login.Request());
    const Json::Value requests = platform.Requests("login");
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(u8"张工", requests[0]["fields"]["account"].asString());
    EXPECT_EQ("reqCode=login&account=%E5%BC%A0%E5%B7%A5&password=zhang2024", requests[0]["raw_body"].asString());
}

TEST_F(RequestLayer, PasswordWithFormDelimitersAndChineseLogsIn)
{
    CLoginAction login(kWangGbk, kDelimiterPasswordGbk);
    EXPECT_TRUE(login.Request()) << login.ErrorText();
    EXPECT_FALSE(login.sessionId.empty());
    EXPECT_EQ("105", login.deptId);
    const Json::Value requests = platform.Requests("login");
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(u8"a&b+c%d=e f密码", requests[0]["fields"]["password"].asString());
    EXPECT_EQ("reqCode=login&account=%E7%8E%8B%E5%B7%A5&password=a%26b%2Bc%25d%3De+f%E5%AF%86%E7%A0%81",
              requests[0]["raw_body"].asString());
}

TEST_F(RequestLayer, SuccessAsNumberOneCountsAsSuccess)
{
    ASSERT_TRUE(platform.Canned("probe", "{\"success\":1}"));
    CProbeRequest probe;
    EXPECT_TRUE(probe.Request());
    EXPECT_TRUE(probe.Parsed());
    EXPECT_TRUE(probe.Success());
    EXPECT_EQ(1, probe.responses);
    EXPECT_TRUE(notes.Texts().empty());
}

TEST_F(RequestLayer, EmptyObjectIsParsedButRefused)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    ASSERT_TRUE(platform.Canned("probe", "{}"));
    CProbeRequest probe;
    CStdoutCapture output;
    EXPECT_FALSE(probe.Request());
    const std::string console = output.Finish();
    CloseLog();

    EXPECT_TRUE(probe.Parsed());
    EXPECT_FALSE(probe.Success());
    EXPECT_EQ(1, probe.responses);
    EXPECT_EQ(1, probe.sessionFailures);
    EXPECT_EQ(0, probe.postFailures);
    EXPECT_EQ(std::vector<std::string>{"请求被拒绝"}, notes.Texts());
    EXPECT_NE(std::string::npos, console.find("CProbeRequest] session failed!\n")) << console;
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find(" success is false\r\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("post failed")) << log;
}

TEST_F(RequestLayer, SuccessAsStringFailsWithoutRefusalTextOrHandler)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    ASSERT_TRUE(platform.Control("{\"success_string\": true}"));
    CLoginAction login("demo", "demo123");
    CStdoutCapture output;
    EXPECT_FALSE(login.Request());
    const std::string console = output.Finish();
    CloseLog();

    EXPECT_TRUE(login.Parsed());
    EXPECT_FALSE(login.Success());
    EXPECT_TRUE(login.sessionId.empty()) << "the handler must not run";
    EXPECT_EQ(std::vector<std::string>{"正在登录云平台"}, notes.Texts());
    EXPECT_EQ(std::string::npos, console.find("session failed")) << console;
    EXPECT_NE(std::string::npos, ReadWholeFile(dir.File("Lumaret.log")).find(" success is false\r\n"));
}

TEST_F(RequestLayer, JsonThatIsNotAnObjectFailsQuietly)
{
    ASSERT_TRUE(platform.Canned("probe", "[1,2]"));
    CProbeRequest probe;
    EXPECT_FALSE(probe.Request());
    EXPECT_TRUE(probe.Parsed());
    EXPECT_EQ(0, probe.responses);
    EXPECT_TRUE(notes.Texts().empty());
}

TEST_F(RequestLayer, EmptyReplyPrintsSizeZeroAndShowsParseFailureThenEmptyText)
{
    ASSERT_TRUE(platform.Control("{\"empty_reply\": true}"));
    CProbeRequest probe;
    CStdoutCapture output;
    EXPECT_FALSE(probe.Request());
    const std::string console = output.Finish();
    EXPECT_NE(std::string::npos, console.find("response size=0\n")) << console;
    EXPECT_FALSE(probe.Parsed());
    EXPECT_EQ(0, probe.responses);
    EXPECT_EQ((std::vector<std::string>{"解析数据异常", ""}), notes.Texts());
    EXPECT_EQ(0, notes.BadStamps()) << "an empty text still carries the time and a blank";
}

TEST_F(RequestLayer, NonJsonReplyIsPrintedAndShowsParseFailure)
{
    ASSERT_TRUE(platform.Control("{\"non_json\": {\"body\": \"<html>busy</html>\"}}"));
    CProbeRequest probe;
    CStdoutCapture output;
    EXPECT_FALSE(probe.Request());
    const std::string console = output.Finish();
    EXPECT_NE(std::string::npos, console.find("<html>busy</html>\n")) << console;
    EXPECT_EQ((std::vector<std::string>{"解析数据异常", ""}), notes.Texts());
}

// JSON nested deeper than the reader takes (it throws past 1000 levels) is
// a reply that is not JSON, not the end of the program.
TEST_F(RequestLayer, ReplyNestedTooDeepIsAParseFailure)
{
    const std::string deep = "{\"success\":true,\"variants\":" + std::string(1001, '[') + std::string(1001, ']') + "}";
    ASSERT_TRUE(platform.Canned("probe", deep));
    CProbeRequest probe;
    CStdoutCapture output;
    EXPECT_FALSE(probe.Request());
    output.Finish();
    EXPECT_FALSE(probe.Parsed());
    EXPECT_EQ(0, probe.responses);
    EXPECT_EQ((std::vector<std::string>{"解析数据异常", ""}), notes.Texts());
}

TEST_F(RequestLayer, HttpErrorStatusFailsWithItsOwnTextWhateverTheBody)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    ASSERT_TRUE(platform.Control("{\"http500\": {\"body\": \"<h1>HTTP Status 500</h1>\", \"count\": 1}}"));
    CProbeRequest failing;
    EXPECT_FALSE(failing.Request());
    EXPECT_EQ(0, failing.ResultCode());
    EXPECT_EQ(500, failing.HttpStatus());
    EXPECT_EQ(1, failing.postFailures);

    ASSERT_TRUE(platform.Canned("probe", "{\"success\":true}", 503));
    CProbeRequest refusedByStatus;
    EXPECT_FALSE(refusedByStatus.Request());
    EXPECT_EQ(0, refusedByStatus.responses) << "an error answer is not the platform's reply";
    CloseLog();

    const std::vector<std::string> texts = notes.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_TRUE(std::regex_match(texts[0], std::regex("服务器响应错误，http=500, sec=\\d+"))) << texts[0];
    EXPECT_TRUE(std::regex_match(texts[1], std::regex("服务器响应错误，http=503, sec=\\d+"))) << texts[1];
    EXPECT_EQ(texts[0], failing.ErrorText());
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find(" request failed: HTTP status 500, libcurl code 0 (")) << log;
}

TEST_F(RequestLayer, RefusedConnectionShowsCodeSevenWithElapsedMilliseconds)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    ASSERT_TRUE(platform.Control("{\"refuse\": {\"mode\": \"listen\", \"for\": 60}}"));
    CProbeRequest probe;
    EXPECT_FALSE(probe.Request());
    ASSERT_TRUE(platform.Control("{\"refuse\": \"off\"}"));
    CloseLog();

    EXPECT_EQ(7, probe.ResultCode());
    EXPECT_EQ(1, probe.postFailures);
    EXPECT_FALSE(probe.Parsed());
    const std::vector<std::string> texts = notes.Texts();
    ASSERT_EQ(1u, texts.size());
    EXPECT_TRUE(std::regex_match(texts[0], std::regex("网络请求失败，code=7, sec=\\d+"))) << texts[0];
    EXPECT_EQ(texts[0], probe.ErrorText());
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find(" response ret=7, length=0\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find(" request failed: network error, libcurl code 7 (")) << log;
    EXPECT_NE(std::string::npos, log.find(" post failed\r\n")) << log;
}

TEST_F(RequestLayer, SlowReplyEndsAfterTheTransferTimeOut)
{
    platform.Use(8, 1);
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 4, \"count\": 1}}"));
    CProbeRequest probe;
    EXPECT_FALSE(probe.Request());
    EXPECT_EQ(28, probe.ResultCode());
    const std::vector<std::string> texts = notes.Texts();
    ASSERT_EQ(1u, texts.size());
    std::smatch match;
    ASSERT_TRUE(std::regex_match(texts[0], match, std::regex("网络请求超时，code=28, sec=(\\d+)"))) << texts[0];
    EXPECT_GE(std::stoi(match[1]), 900);
}

// A handler that cannot take the reply (it throws) fails an accepted
// request with the parse failure text.
TEST_F(RequestLayer, HandlerExceptionFailsTheRequestAsAMalformedReply)
{
    ASSERT_TRUE(platform.Canned("probe", "{\"success\":true}"));
    CProbeRequest accepted;
    accepted.throwInResponse = true;
    EXPECT_FALSE(accepted.Request());
    EXPECT_TRUE(accepted.Malformed());
    EXPECT_EQ("解析数据异常", accepted.ErrorText());
    EXPECT_EQ(1, accepted.responses);
    EXPECT_EQ(1, notes.Count("解析数据异常"));

    ASSERT_TRUE(platform.Canned("probe", "{\"success\":false}"));
    CProbeRequest refused;
    refused.throwInResponse = true;
    EXPECT_FALSE(refused.Request());
    EXPECT_EQ(1, refused.responses);
}

TEST_F(RequestLayer, RepliesAreReadAsGbkDroppingWhatGbkCannotHold)
{
    const std::string reply = u8"{\"success\":true,\"msg\":\"运行中 🔔!\",\"n\":12,\"r\":2.5,"
                              u8"\"b\":false,\"nil\":null,\"arr\":[1]}";
    ASSERT_TRUE(platform.Canned("probe", reply));
    CProbeRequest probe;
    ASSERT_TRUE(probe.Request());
    EXPECT_EQ("运行中 !", probe.GetString("msg"));
    EXPECT_EQ("12", probe.GetString("n"));
    EXPECT_EQ("2.5", probe.GetString("r"));
    EXPECT_EQ("false", probe.GetString("b"));
    EXPECT_EQ("", probe.GetString("nil"));
    EXPECT_EQ("", probe.GetString("missing"));
    EXPECT_THROW(probe.GetString("arr"), Json::LogicError);
}

TEST_F(RequestLayer, LogLinesCarryHostPathAndBodyWithPasswordAndSessionMasked)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    CLoginAction login("demo", "demo123");
    EXPECT_TRUE(login.Request());
    ASSERT_FALSE(login.sessionId.empty());
    CProbeRequest probe;
    probe.rawFields = {{"sessionid", login.sessionId}};
    probe.Request();
    CloseLog();
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_TRUE(std::regex_search(log, std::regex("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d post:127\\.0\\.0\\.1/opc\\.do, "
                                                  "reqCode=login&account=demo&password=\\*\\*\\*\r\n")))
        << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(" response ret=0, length=[1-9]\\d*\r\n"))) << log;
    EXPECT_EQ(std::string::npos, log.find("demo123")) << log;
    EXPECT_NE(std::string::npos, log.find(" post:127.0.0.1/opc.do, reqCode=probe&sessionid=***\r\n")) << log;
    EXPECT_EQ(std::string::npos, log.find(login.sessionId)) << log;
}

TEST_F(RequestLayer, StatusTextsAtConstruction)
{
    { CLoginAction login; }
    { CProbeRequest silent; }
    { CProbeRequest announced("探测中"); }
    EXPECT_EQ((std::vector<std::string>{"正在登录云平台", "探测中"}), notes.Texts());
    EXPECT_EQ(0, notes.BadStamps());
}

TEST_F(RequestLayer, TraceSwitchPrintsWhatGoesOutAndComesIn)
{
    ASSERT_TRUE(platform.Canned("probe", "{\"success\":true}"));
    CBasicHttpRequest::SetTrace(true);
    CProbeRequest probe;
    CStdoutCapture output;
    const bool ok = probe.Request();
    CBasicHttpRequest::SetTrace(false);
    const std::string console = output.Finish();
    EXPECT_TRUE(ok);
    EXPECT_NE(std::string::npos, console.find("[HEADER_OUT]POST /opc.do HTTP/1.1")) << console;
    EXPECT_NE(std::string::npos, console.find("[DATA_OUT]reqCode=probe\n")) << console;
    EXPECT_NE(std::string::npos, console.find("[HEADER_IN]HTTP/1.")) << console;
    EXPECT_NE(std::string::npos, console.find("[DATA_IN]{\"success\":true}\n")) << console;
}

TEST_F(RequestLayer, AbortFlagEndsARunningTransfer)
{
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 30, \"count\": 1}}"));
    std::atomic<bool> abort{false};
    CProbeRequest probe;
    probe.SetAbortFlag(&abort);
    std::thread aborter([&abort] {
        Sleep(300);
        abort = true;
    });
    const DWORD start = GetTickCount();
    EXPECT_FALSE(probe.Request());
    const DWORD elapsed = GetTickCount() - start;
    aborter.join();
    EXPECT_EQ(42, probe.ResultCode());
    // Given up on purpose: a neutral text, no failure.
    EXPECT_EQ(std::vector<std::string>{"请求已取消"}, notes.Texts());
    EXPECT_EQ("请求已取消", probe.ErrorText());
    std::printf("[ BENCH    ] transfer aborted %lu ms after start (flag set at 300 ms)\n",
                static_cast<unsigned long>(elapsed));
}

// A reply longer than the request takes fails it with its own text and log
// line, whether its length is announced or only its bytes show it.
TEST_F(RequestLayer, ReplyLongerThanTheLimitFailsTheRequest)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    const std::string reply = "{\"success\":true,\"pad\":\"" + std::string(5000, 'x') + "\"}";
    ASSERT_TRUE(platform.Canned("probe", reply));
    CProbeRequest fits;
    fits.SetReplyLimit(reply.size());
    EXPECT_TRUE(fits.Request());

    ASSERT_TRUE(platform.Canned("probe", reply));
    CProbeRequest tooLong;
    tooLong.SetReplyLimit(reply.size() - 1);
    EXPECT_FALSE(tooLong.Request());
    EXPECT_EQ(63, tooLong.ResultCode());
    EXPECT_EQ(0, tooLong.responses);
    const std::vector<std::string> texts = notes.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(std::regex_match(texts.back(), std::regex("服务器响应数据过大，code=63, sec=\\d+"))) << texts.back();
    EXPECT_EQ(texts.back(), tooLong.ErrorText());
    CloseLog();
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find(" request failed: reply longer than " + std::to_string(reply.size() - 1) +
                                          " bytes, libcurl code 63 (")) << log;
    EXPECT_NE(std::string::npos, log.find(" post failed\r\n")) << log;

    // Not announced: the bytes themselves end the transfer.
    Json::Value unsized;
    unsized["canned"]["reqCode"] = "probe";
    unsized["canned"]["body"] = reply;
    unsized["canned"]["unsized"] = true;
    ASSERT_TRUE(platform.Control(Json::writeString(Json::StreamWriterBuilder(), unsized)));
    CProbeRequest streamed;
    streamed.SetReplyLimit(reply.size() - 1);
    EXPECT_FALSE(streamed.Request());
    EXPECT_EQ(63, streamed.ResultCode());
    EXPECT_EQ(0, streamed.responses);
}

class RequestLayerTls : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform.IsReady()) << platform.Problem();
        ASSERT_FALSE(platform.CaFile().empty());
        ASSERT_TRUE(platform.Reset());
        ResetManager();
    }

    CStandinPlatform platform{"https"};
    CRecordingNotifications notes;
};

TEST_F(RequestLayerTls, TrustedCertificateIsVerifiedAndAccepted)
{
    platform.Use();
    CLoginAction login("demo", "demo123");
    EXPECT_TRUE(login.Request()) << login.ResultCode();
    EXPECT_EQ(0, login.ResultCode());
    const Json::Value requests = platform.Requests("login");
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("https", requests[0]["scheme"].asString());
}

TEST_F(RequestLayerTls, UntrustedCertificateIsRefused)
{
    CScratchDir dir;
    ASSERT_TRUE(OpenLog(dir.File("Lumaret.log")));
    PlatformAddress address = platform.Address();
    address.caFile = platform.OtherCaFile();
    SetPlatformAddress(address);
    CLoginAction login("demo", "demo123");
    EXPECT_FALSE(login.Request());
    CloseLog();
    EXPECT_EQ(60, login.ResultCode());
    EXPECT_EQ(1, notes.CountPrefix("证书验证失败，code=60, sec="));
    // The log names the settings that decide the certificate check.
    const std::string log = ReadWholeFile(dir.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find(" request failed: TLS error, libcurl code 60 (")) << log;
    EXPECT_NE(std::string::npos, log.find("CaFile=\"" + platform.OtherCaFile() + "\" TlsVerify=1\r\n")) << log;
    EXPECT_EQ(0u, platform.Requests("login").size()) << "nothing may reach an unverified platform";
}

TEST_F(RequestLayerTls, VerificationCanBeSwitchedOff)
{
    PlatformAddress address = platform.Address();
    address.caFile = platform.OtherCaFile();
    address.verifyTls = false;
    SetPlatformAddress(address);
    CLoginAction login("demo", "demo123");
    EXPECT_TRUE(login.Request()) << login.ResultCode();
}
