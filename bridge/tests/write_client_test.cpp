// The write client against a real TCP listener: frames go out in order once
// connected, wait while the gateway is away, survive a dropped connection,
// and the waiting queue keeps its bound.
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
    Sleep(2500); // several failed connection attempts
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

TEST(WriteClient, QueueKeepsItsBoundByDroppingTheOldest)
{
    CWriteQueue queue;
    Push(queue, 0, static_cast<int>(CWriteQueue::kCapacity) + 6);
    EXPECT_EQ(CWriteQueue::kCapacity, queue.Size());
    EXPECT_EQ(6u, queue.Dropped());
    std::string frame;
    ASSERT_TRUE(queue.Pop(frame));
    EXPECT_EQ(EncodeWriteFrame("Item.6", "6"), frame);
}
