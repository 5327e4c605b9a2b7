// The write request receiver over real TCP on 127.0.0.1:8787, with the
// platform writes going to the stand-in: the frame examples, several frames
// per receive, frames split across receives, stray bytes, unknown item IDs,
// more than one connection, malformed frames, and no reach from other
// addresses.
#include "model_setup.h"
#include "recording_notifications.h"
#include "standin_platform.h"
#include "stdout_capture.h"
#include "tcp_client.h"

#include "login_action.h"
#include "monitor_server.h"
#include "write_worker.h"
#include "write_frame.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const char kValveItemGbk[] = "一号泵站.进水泵.频率设定"; // compiled as GBK

class WriteReceiver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform.IsReady()) << platform.Problem();
        ASSERT_TRUE(platform.Reset());
        platform.Use();
        ResetManager();
        CLoginAction login("demo", "demo123");
        ASSERT_TRUE(login.Request());

        // D2001 grouped as "a": setpoint is "a.b". D2003 keeps its group.
        CDevice *plc = AddDevice("P1001", "Demo Plant", "D2001", "PLC-1",
                                 {{"V30015", "b", "float32", true}, {"V30009", "temperature", "float32", true}});
        ASSERT_TRUE(CManager::GetInstance().SetGroupName("a", *plc));
        AddDevice("P1002", "一号泵站", "D2003", "进水泵", {{"V30024", "频率设定", "float32", true}});
        ASSERT_EQ(1u, CManager::GetInstance().itemIdIndex.count("a.b"));
        ASSERT_EQ(1u, CManager::GetInstance().itemIdIndex.count(kValveItemGbk));
        ASSERT_TRUE(platform.ClearRequests());

        // Port 8787 is the machine's: a gateway running elsewhere on it
        // may hold it. The receiver then listens on a port of the system's.
        if (!server.Start()) {
            ASSERT_TRUE(server.Start(0));
            std::printf("[ NOTE     ] port %u is taken on this machine; receiver on port %u\n",
                        kWriteReceiverPort, server.Port());
        }
        ASSERT_TRUE(client.Connect("127.0.0.1", server.Port())) << client.LastError();
    }
    void TearDown() override
    {
        client.Close();
        server.Stop();
        EXPECT_TRUE(WaitForWriteActions(20000));
    }

    // Waits for count write requests at the platform, then a little longer
    // so that any surplus one would show; returns them.
    Json::Value Writes(unsigned count)
    {
        notes.WaitFor([&] { return platform.Requests("writeVariantById").size() >= count; }, 15000);
        Sleep(300);
        EXPECT_TRUE(WaitForWriteActions(15000));
        return platform.Requests("writeVariantById");
    }

    // The writes at the platform once the receiver has traced marker and the
    // write threads it started are done.
    Json::Value WritesAfter(const std::string &marker)
    {
        EXPECT_TRUE(notes.WaitFor([&] { return output.Text().find(marker) != std::string::npos; }, 15000)) << marker;
        EXPECT_TRUE(WaitForWriteActions(15000));
        return platform.Requests("writeVariantById");
    }

    // The console so far, once the write threads are done.
    std::string Console()
    {
        WaitForWriteActions(15000);
        return output.Text();
    }

    CStandinPlatform platform;
    CRecordingNotifications notes;
    CStdoutCapture output;
    CMonitorServer server;
    CTcpClient client;
};

std::string Frame(const std::string &itemId, const std::string &value)
{
    return EncodeWriteFrame(itemId, value);
}

} // namespace

TEST(WriteReceiverPort, DefaultIsTheBridgesPort)
{
    EXPECT_EQ(8787, kWriteReceiverPort);
}

TEST_F(WriteReceiver, NineByteExampleWritesTheVariableOfItemIdAB)
{
    const std::string bytes("\x4D\x49\x03\x02" "a.b" "12", 9);
    ASSERT_TRUE(client.Send(bytes));
    const Json::Value writes = Writes(1);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("D2001:V30015", writes[0]["fields"]["id"].asString());
    EXPECT_EQ("P1001", writes[0]["fields"]["projectId"].asString());
    EXPECT_EQ("12", writes[0]["fields"]["value"].asString());
    EXPECT_EQ(CManager::GetInstance().SessionId(), writes[0]["fields"]["sessionid"].asString());

    const std::string console = Console();
    EXPECT_NE(std::string::npos, console.find("\n[OnReceive] length=9\n")) << console;
    EXPECT_NE(std::string::npos, console.find("name=a.b, value=12, length=9, total=9\n")) << console;
    EXPECT_NE(std::string::npos, console.find("write variant ok\n")) << console;
}

TEST_F(WriteReceiver, GbkItemIdIsWrittenWithTheProjectOfItsDevice)
{
    ASSERT_TRUE(client.Send(Frame(kValveItemGbk, "45.5")));
    const Json::Value writes = Writes(1);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("D2003:V30024", writes[0]["fields"]["id"].asString());
    EXPECT_EQ("P1002", writes[0]["fields"]["projectId"].asString());
    EXPECT_EQ("45.5", writes[0]["fields"]["value"].asString());
    EXPECT_TRUE(writes[0]["reply"].asString().find("\"success\":true") != std::string::npos)
        << writes[0]["reply"].asString();
}

TEST_F(WriteReceiver, TwoFramesInOneBufferAreBothHandledInOrder)
{
    ASSERT_TRUE(client.Send(Frame("a.b", "1") + Frame("a.temperature", "2")));
    const Json::Value writes = Writes(2);
    ASSERT_EQ(2u, writes.size());
    // One write after the other, in the order of the frames.
    EXPECT_EQ("D2001:V30015=1", writes[0]["fields"]["id"].asString() + "=" + writes[0]["fields"]["value"].asString());
    EXPECT_EQ("D2001:V30009=2", writes[1]["fields"]["id"].asString() + "=" + writes[1]["fields"]["value"].asString());

    const std::string console = Console();
    const std::string::size_type first = console.find("name=a.b, value=1, length=8, total=26\n");
    const std::string::size_type second = console.find("name=a.temperature, value=2, length=18, total=18\n");
    EXPECT_NE(std::string::npos, first) << console;
    EXPECT_NE(std::string::npos, second) << console;
    EXPECT_LT(first, second);
}

TEST_F(WriteReceiver, FrameSplitAcrossTwoSendsIsReassembled)
{
    const std::string frame = Frame("a.b", "33.5");
    ASSERT_TRUE(client.Send(frame.substr(0, 5)));
    Sleep(300); // two separate receives
    ASSERT_TRUE(client.Send(frame.substr(5)));
    const Json::Value writes = Writes(1);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("33.5", writes[0]["fields"]["value"].asString());
    const std::string console = Console();
    EXPECT_NE(std::string::npos, console.find("invalid param, length=5,nl=3,vl=4,tlen=11\n")) << console;
    EXPECT_NE(std::string::npos, console.find("name=a.b, value=33.5, length=11, total=11\n")) << console;
}

TEST_F(WriteReceiver, FrameAnnouncingMoreThanArrivedWaitsAndSendsNothing)
{
    const std::string bytes("\x4D\x49\x03\x04" "a.b" "12", 9);
    ASSERT_TRUE(client.Send(bytes));
    EXPECT_EQ(0u, WritesAfter("invalid param, length=9,nl=3,vl=4,tlen=11\n").size());

    // The rest completes it.
    ASSERT_TRUE(client.Send("34"));
    const Json::Value writes = Writes(1);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("1234", writes[0]["fields"]["value"].asString());
}

// A write the platform refuses is not lost in silence: the log line with its
// reason and a status text that names the item.
TEST_F(WriteReceiver, RefusedWriteIsLoggedAndShown)
{
    ASSERT_TRUE(client.Send(Frame("a.b", "abc")));
    const Json::Value writes = Writes(1);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ(200, writes[0]["status"].asInt());
    const std::string console = Console();
    EXPECT_NE(std::string::npos, console.find("write a.b = abc: refused by the platform: 数值格式错误\n")) << console;
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("变量写入失败：a.b（数值格式错误）") == 1; }, 5000));

    // A write the transfer lost says so, with what went wrong.
    ASSERT_TRUE(platform.Control("{\"http500\": {\"reqCodes\": [\"writeVariantById\"], \"count\": 1}}"));
    ASSERT_TRUE(client.Send(Frame("a.b", "7")));
    Writes(2);
    EXPECT_NE(std::string::npos, Console().find("write a.b = 7: transfer failed: HTTP status 500\n")) << Console();
    EXPECT_TRUE(notes.WaitFor([this] { return notes.Count("变量写入失败：a.b（网络请求失败）") == 1; }, 5000));

    ASSERT_TRUE(client.Send(Frame("a.b", "12.5")));
    Writes(3);
    EXPECT_NE(std::string::npos, Console().find("write a.b = 12.5: ok\n")) << Console();
}

TEST_F(WriteReceiver, StrayBytesAroundFramesAreDropped)
{
    ASSERT_TRUE(client.Send(Frame("a.b", "5") + "xyz"));
    EXPECT_EQ(1u, Writes(1).size());
    ASSERT_TRUE(client.Send("\x01\x02" + Frame("a.b", "6") + "MIx"));
    const Json::Value writes = Writes(2);
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("6", writes[1]["fields"]["value"].asString());

    // Whole frames no published item can have sent (an empty item ID, a NUL
    // in the value) are dropped, and the count goes to the console and log.
    // (A new connection: the "MI" above waits for the rest of its frame.)
    client.Close();
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port())) << client.LastError();
    ASSERT_TRUE(client.Send(Frame("", "1") + Frame("a.b", std::string("7\0", 2)) + Frame("a.b", "8")));
    const Json::Value after = Writes(3);
    ASSERT_EQ(3u, after.size());
    EXPECT_EQ("8", after[2]["fields"]["value"].asString());
    EXPECT_NE(std::string::npos,
              Console().find("write receiver: 2 malformed write frame(s) dropped (2 on this connection)\n"))
        << Console();
}

TEST_F(WriteReceiver, UnknownItemIdIsTracedButNotWritten)
{
    ASSERT_TRUE(client.Send(Frame("no.such", "1")));
    EXPECT_EQ(0u, WritesAfter("name=no.such, value=1, length=12, total=12\n").size());

    // While the indexes are empty (selection dialog open) nothing is written.
    CManager::GetInstance().ClearIndex();
    ASSERT_TRUE(client.Send(Frame("a.b", "1")));
    EXPECT_EQ(0u, WritesAfter("name=a.b, value=1, length=8, total=8\n").size());
}

TEST_F(WriteReceiver, SecondConnectionIsServedLikeTheFirst)
{
    CTcpClient second;
    ASSERT_TRUE(second.Connect("127.0.0.1", server.Port())) << second.LastError();
    ASSERT_TRUE(second.Send(Frame("a.b", "7")));
    EXPECT_EQ(1u, Writes(1).size());
    ASSERT_TRUE(client.Send(Frame("a.b", "8")));
    const Json::Value writes = Writes(2);
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("8", writes[1]["fields"]["value"].asString());
    EXPECT_TRUE(notes.WaitFor([this] { return server.SessionCount() == 2; }, 5000));

    second.Close();
    EXPECT_TRUE(notes.WaitFor([this] { return server.SessionCount() == 1; }, 5000));
}

TEST_F(WriteReceiver, OtherAddressesOfThisMachineCannotConnect)
{
    const std::string address = NonLoopbackAddress();
    if (address.empty())
        GTEST_SKIP() << "no network adapter address besides loopback";

    // The address itself is reachable: a listener on all addresses answers there.
    SOCKET open = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in any = {};
    any.sin_family = AF_INET;
    ASSERT_EQ(0, bind(open, reinterpret_cast<const sockaddr *>(&any), sizeof(any)));
    ASSERT_EQ(0, listen(open, 1));
    int length = sizeof(any);
    getsockname(open, reinterpret_cast<sockaddr *>(&any), &length);
    CTcpClient probe;
    EXPECT_TRUE(probe.Connect(address, ntohs(any.sin_port))) << address << " " << probe.LastError();
    probe.Close();
    closesocket(open);

    CTcpClient outsider;
    EXPECT_FALSE(outsider.Connect(address, server.Port())) << address;
    EXPECT_EQ(WSAECONNREFUSED, outsider.LastError());
}

TEST_F(WriteReceiver, SecondReceiverOnTheSamePortReportsCreateFailure)
{
    CMonitorServer other;
    EXPECT_FALSE(other.Start(server.Port()));
    EXPECT_FALSE(other.IsListening());
    EXPECT_NE(std::string::npos, Console().find("Create Faild: ")) << Console();
    // The first one still works.
    ASSERT_TRUE(client.Send(Frame("a.b", "9")));
    EXPECT_EQ(1u, Writes(1).size());
}

TEST_F(WriteReceiver, StopClosesTheConnections)
{
    EXPECT_TRUE(notes.WaitFor([this] { return server.SessionCount() == 1; }, 5000));
    const unsigned short port = server.Port();
    server.Stop();
    EXPECT_EQ(0, server.Port());
    EXPECT_TRUE(client.PeerClosed(5000));
    CTcpClient late;
    EXPECT_FALSE(late.Connect("127.0.0.1", port));
}
