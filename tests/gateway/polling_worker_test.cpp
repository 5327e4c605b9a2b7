// The polling worker and its watchdog with shortened intervals, against the
// stand-in platform: its idle states, login before the first query, re-login
// after five failed queries, an unreachable platform, a stuck request.
#include "model_setup.h"
#include "recording_notifications.h"
#include "standin_platform.h"
#include "stdout_capture.h"

#include "login_action.h"
#include "query_thread.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>

namespace {

PollingTiming FastTiming()
{
    PollingTiming timing;
    timing.cycleMs = 50;
    timing.retryMs = 50;
    timing.reloginMs = 50;
    timing.watchdogTickMs = 100; // 61 ticks: about 6 s
    timing.replaceWaitMs = 10000;
    return timing;
}

class PollingWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform.IsReady()) << platform.Problem();
        ASSERT_TRUE(platform.Reset());
        platform.Use(4, 8);
        ResetManager();
    }
    void TearDown() override
    {
        EXPECT_TRUE(CQueryThread::GetInstance().Stop(20000)) << "the worker must end when stopped";
        platform.Reset();
    }

    void Start(const PollingTiming &timing = FastTiming())
    {
        ASSERT_TRUE(CQueryThread::GetInstance().Start(timing));
    }

    static void SelectDemoVariables()
    {
        AddDevice("P1001", "Demo Plant", "D2001", "PLC-1",
                  {{"V30009", "temperature", "float32", true}, {"V30015", "setpoint", "float32", true}});
    }

    static void LogIn()
    {
        CLoginAction login("demo", "demo123");
        ASSERT_TRUE(login.Request());
    }

    std::vector<std::string> ReqCodes() const
    {
        std::vector<std::string> codes;
        for (const Json::Value &request : platform.Requests())
            codes.push_back(request["reqCode"].asString());
        return codes;
    }

    CStandinPlatform platform;
    CRecordingNotifications notes;
};

} // namespace

TEST_F(PollingWorker, StoppedWorkerShowsItEverySecondAndSendsNothing)
{
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    CManager::GetInstance().SetRunning(false);
    Start();
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("操作已被停止") >= 3; }, 10000));
    EXPECT_EQ(0u, platform.Requests().size());
    EXPECT_EQ(0, notes.BadStamps());
    // Nothing polled, nothing current: never polled, so no value at all.
    EXPECT_EQ(kQualityCommFailure, QualityOf("D2001:V30009"));
}

TEST_F(PollingWorker, MissingCredentialsAreShownAndNothingIsSent)
{
    CQueryThread::SetCredentials("demo", "");
    SelectDemoVariables();
    Start();
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("用户名或密码为空") >= 3; }, 10000));
    EXPECT_EQ(0u, platform.Requests().size());
}

TEST_F(PollingWorker, LogsInBeforeTheFirstQuery)
{
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    ASSERT_TRUE(platform.Control("{\"hold\": {\"D2001:V30009\": 12.5}}"));
    Start();
    ASSERT_TRUE(notes.WaitFor([] { return ValueOf("D2001:V30009") == "12.5"; }, 15000));
    EXPECT_TRUE(IsValid("D2001:V30009"));
    EXPECT_TRUE(IsValid("D2001:V30015"));

    const std::vector<std::string> codes = ReqCodes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ("login", codes[0]);
    EXPECT_EQ("queryVariantValueById", codes[1]);
    const std::vector<std::string> states = notes.States();
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ("out", states[0]);
    EXPECT_EQ("in", states[1]); // the login action
    EXPECT_EQ("in", states[2]); // Relogin after it
    EXPECT_TRUE(notes.WaitFor([this] { return !notes.Refreshes().empty(); }, 5000));
    EXPECT_EQ(0, notes.Refreshes()[0]);
    EXPECT_GE(notes.Count("正在登录云平台"), 1);
    EXPECT_GE(notes.Count("正在查询变量值"), 1);
}

TEST_F(PollingWorker, FailedQueriesMakeValuesLastKnownAndFiveLeadToANewLogin)
{
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    LogIn();
    Start();
    ASSERT_TRUE(notes.WaitFor([] { return IsValid("D2001:V30009"); }, 15000));
    notes.Clear();
    ASSERT_TRUE(platform.ClearRequests());

    // Five refused queries; the login that follows answers a second late,
    // which leaves time to see the invalidated values.
    ASSERT_TRUE(platform.Control("{\"http500\": {\"reqCodes\": [\"queryVariantValueById\"], \"count\": 5}, "
                                 "\"delay\": {\"seconds\": 1.5, \"reqCodes\": [\"login\"], \"count\": 1}}"));
    // From the first refused query on, the values are the last known ones.
    ASSERT_TRUE(notes.WaitFor([] { return QualityOf("D2001:V30009") == kQualityLastKnown; }, 10000));
    EXPECT_FALSE(IsValid("D2001:V30009"));
    EXPECT_NE("", ValueOf("D2001:V30009"));
    EXPECT_EQ(kQualityLastKnown, QualityOf("D2001:V30015"));
    ASSERT_TRUE(notes.WaitFor([this] { return notes.LoggedOut() >= 1; }, 20000));
    EXPECT_EQ(kQualityLastKnown, QualityOf("D2001:V30009")) << "the re-login keeps the last values";

    ASSERT_TRUE(notes.WaitFor([] { return IsValid("D2001:V30009"); }, 20000));
    // From the first refused query on: five refused queries, a login, a query.
    const Json::Value requests = platform.Requests();
    Json::ArrayIndex first = 0;
    while (first < requests.size() && requests[first]["status"].asInt() != 500)
        ++first;
    ASSERT_GE(requests.size(), first + 7);
    for (Json::ArrayIndex attempt = first; attempt < first + 5; ++attempt) {
        EXPECT_EQ("queryVariantValueById", requests[attempt]["reqCode"].asString()) << attempt;
        EXPECT_EQ(500, requests[attempt]["status"].asInt()) << attempt;
    }
    EXPECT_EQ("login", requests[first + 5]["reqCode"].asString());
    EXPECT_EQ("queryVariantValueById", requests[first + 6]["reqCode"].asString());
    EXPECT_EQ(200, requests[first + 6]["status"].asInt());

    const std::vector<int> refreshes = notes.Refreshes();
    EXPECT_NE(refreshes.end(), std::find(refreshes.begin(), refreshes.end(), 1)) << "values were marked";
    EXPECT_EQ(kQualityGood, QualityOf("D2001:V30009"));
    const std::vector<std::string> states = notes.States();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ("out", states[0]);
    EXPECT_EQ("in", states[1]);
}

// A reply that leaves a selected variable out does not leave it good: from
// that reply on it is the last known value; the next reply that has it
// makes it good again.
TEST_F(PollingWorker, VariableLeftOutOfAReplyIsNoLongerCurrent)
{
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    LogIn();
    PollingTiming timing = FastTiming();
    timing.cycleMs = 300;
    Start(timing);
    ASSERT_TRUE(notes.WaitFor([] { return IsValid("D2001:V30009") && IsValid("D2001:V30015"); }, 15000));
    const std::string setpoint = ValueOf("D2001:V30015");

    // Five such replies in a row: time enough to look.
    for (int reply = 0; reply < 5; ++reply)
        ASSERT_TRUE(platform.Canned("queryVariantValueById",
                                    "{\"success\":true,\"msg\":\"\",\"variants\":{\"D2001\":{\"V30009\":21.5}}}"));
    ASSERT_TRUE(notes.WaitFor([] { return QualityOf("D2001:V30015") == kQualityLastKnown; }, 10000));
    EXPECT_EQ(setpoint, ValueOf("D2001:V30015"));
    EXPECT_FALSE(IsValid("D2001:V30015"));
    EXPECT_EQ("21.5", ValueOf("D2001:V30009"));
    EXPECT_TRUE(IsValid("D2001:V30009"));
    EXPECT_TRUE(notes.WaitFor([] { return QualityOf("D2001:V30015") == kQualityGood; }, 10000));
}

TEST_F(PollingWorker, UnreachablePlatformIsRetriedWithoutWatchdogRestart)
{
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    ASSERT_TRUE(platform.Control("{\"refuse\": {\"mode\": \"listen\", \"for\": 120}}"));
    CStdoutCapture output;
    Start();
    const DWORD start = GetTickCount();
    // Well beyond 61 watchdog ticks of 100 ms.
    EXPECT_TRUE(notes.WaitFor(
        [&] { return GetTickCount() - start > 9000 && notes.CountPrefix("网络请求失败，code=7, sec=") >= 5; }, 30000));
    EXPECT_EQ(0u, CQueryThread::GetInstance().Restarts());
    EXPECT_EQ(std::string::npos, output.Text().find("RESTART Thread"));
    EXPECT_GE(notes.Count("正在登录云平台"), 5);
    EXPECT_EQ(0, notes.LoggedIn());
    ASSERT_TRUE(platform.Control("{\"refuse\": \"off\"}"));
}

TEST_F(PollingWorker, StuckRequestIsAbandonedAndTheWorkerReplacedAfter61Ticks)
{
    platform.Use(4, 0); // no transfer time-out: a silent platform blocks the request
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    LogIn();
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 600, \"reqCodes\": [\"queryVariantValueById\"], "
                                 "\"count\": 1}}"));
    CStdoutCapture output;
    Start();
    ASSERT_TRUE(notes.WaitFor([] { return CQueryThread::GetInstance().Restarts() >= 1; }, 30000));
    const DWORD restarted = GetTickCount();
    EXPECT_TRUE(std::regex_search(output.Text(),
                                  std::regex("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]RESTART Thread\n")))
        << output.Text();
    EXPECT_EQ(1, notes.Count("请求已取消")) << "the stuck transfer was aborted";
    EXPECT_EQ(0, notes.CountPrefix("网络请求失败，code=42")) << "an abort is no network failure";

    // The replacement polls again.
    ASSERT_TRUE(notes.WaitFor([] { return IsValid("D2001:V30009"); }, 15000));
    std::printf("[ BENCH    ] first value %lu ms after the restart\n",
                static_cast<unsigned long>(GetTickCount() - restarted));
    EXPECT_EQ(1u, CQueryThread::GetInstance().Restarts());
}

TEST_F(PollingWorker, ClearingRunningDuringReloginPauseEndsItBeforeTheLogin)
{
    PollingTiming timing = FastTiming();
    timing.reloginMs = 3000;
    CQueryThread::SetCredentials("demo", "demo123");
    SelectDemoVariables();
    Start(timing);
    ASSERT_TRUE(notes.WaitFor([this] { return notes.LoggedOut() >= 1; }, 10000));
    CManager::GetInstance().SetRunning(false);
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("操作已被停止") >= 2; }, 10000));
    EXPECT_EQ(0u, platform.Requests("login").size());
}

TEST_F(PollingWorker, EmptySelectionShowsTheHintAndSendsNothing)
{
    CQueryThread::SetCredentials("demo", "demo123");
    LogIn();
    ASSERT_TRUE(platform.ClearRequests());
    Start();
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("请选择变量后提交") >= 3; }, 10000));
    EXPECT_EQ(0u, platform.Requests().size());
}
