// The write client against a real TCP listener: frames go out in order once
// connected, wait while the gateway is away, survive a dropped connection,
// the waiting queue keeps its bound, and writes that waited too long are
// dropped rather than sent late.
#include "frame_listener.h"
#include "write_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace {

// A client on an I/O thread of its own, sending from a private queue.
class ClientThread {
public:
    ClientThread(CWriteQueue &queue, unsigned short port)
    {
        m_client.reset(new WriteClient(m_io, queue, port));
        queue.SetWakeUp([this] { m_client->WakeUp(); });
        m_guard.reset(new Guard(boost::asio::make_work_guard(m_io)));
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~ClientThread()
    {
        m_io.stop();
        m_thread.join();
    }

private:
    typedef boost::asio::executor_work_guard<boost::asio::io_context::executor_type> Guard;
    boost::asio::io_context m_io;
    std::unique_ptr<WriteClient> m_client;
    std::unique_ptr<Guard> m_guard;
    std::thread m_thread;
};

unsigned short FreePort()
{
    CFrameListener probe(0);
    return probe.Port();
}

void Push(CWriteQueue &queue, int first, int count)
{
    for (int i = first; i < first + count; ++i)
        queue.Push(EncodeWriteFrame("Item." + std::to_string(i), std::to_string(i)));
}

} // namespace

TEST(WriteClient, QueuedFramesGoOutInOrderOnceConnected)
{
    CFrameListener listener(0);
    CWriteQueue queue;
    Push(queue, 0, 3); // before the client exists
    ClientThread client(queue, listener.Port());
    Push(queue, 3, 2);
    ASSERT_TRUE(listener.WaitForFrames(5, 15000));
    std::vector<WriteFrame> frames = listener.Frames();
    ASSERT_EQ(5u, frames.size());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ("Item." + std::to_string(i), frames[i].itemId);
        EXPECT_EQ(std::to_string(i), frames[i].value);
    }
    EXPECT_EQ(1u, listener.Accepted());
}

TEST(WriteClient, WritesWaitWhileTheGatewayIsAway)
{
    const unsigned short port = FreePort();
    CWriteQueue queue;
    ClientThread client(queue, port);
    Push(queue, 0, 4);
    Sleep(1500); // a failed connection attempt or two, well within the age limit
    EXPECT_EQ(4u, queue.Size());
    CFrameListener listener(port);
    ASSERT_TRUE(listener.WaitForFrames(4, 15000));
    Push(queue, 4, 1);
    ASSERT_TRUE(listener.WaitForFrames(5, 15000));
    std::vector<WriteFrame> frames = listener.Frames();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::to_string(i), frames[i].value);
}

TEST(WriteClient, ReconnectsAfterTheGatewayDropsTheConnection)
{
    CFrameListener listener(0);
    CWriteQueue queue;
    ClientThread client(queue, listener.Port());
    Push(queue, 0, 1);
    ASSERT_TRUE(listener.WaitForFrames(1, 15000));
    listener.DropConnection();
    // The client notices, pauses a second and connects again.
    const DWORD start = GetTickCount();
    while (listener.Accepted() < 2 && GetTickCount() - start < 15000)
        Sleep(20);
    ASSERT_EQ(2u, listener.Accepted());
    Push(queue, 1, 2);
    ASSERT_TRUE(listener.WaitForFrames(3, 15000));
    EXPECT_EQ("2", listener.Frames()[2].value);
}

// Past its bound the queue drops the newest write, as the gateway's own
// queue does (the host's write check refuses writes before that).
TEST(WriteClient, QueueKeepsItsBoundByDroppingTheNewest)
{
    CWriteQueue queue;
    Push(queue, 0, static_cast<int>(CWriteQueue::kCapacity) + 6);
    EXPECT_EQ(CWriteQueue::kCapacity, queue.Size());
    EXPECT_TRUE(queue.Full());
    EXPECT_EQ(6u, queue.Dropped());
    std::string frame;
    ASSERT_TRUE(queue.Pop(frame));
    EXPECT_EQ(EncodeWriteFrame("Item.0", "0"), frame);
    EXPECT_FALSE(queue.Full());
}

// A write that could not go out in time is never carried out late: it is
// dropped and counted, and what was written since goes out.
TEST(WriteClient, WritesThatWaitedTooLongAreDroppedNotSent)
{
    const unsigned short port = FreePort();
    CWriteQueue queue(1500);
    ClientThread client(queue, port);
    Push(queue, 0, 3);
    Sleep(2000);
    CFrameListener listener(port);
    const DWORD start = GetTickCount();
    while (listener.Accepted() < 1 && GetTickCount() - start < 15000)
        Sleep(20);
    ASSERT_EQ(1u, listener.Accepted());
    Push(queue, 3, 1);
    ASSERT_TRUE(listener.WaitForFrames(1, 15000));
    Sleep(300);
    std::vector<WriteFrame> frames = listener.Frames();
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ("3", frames[0].value);
    EXPECT_EQ(3u, queue.Expired());
}
