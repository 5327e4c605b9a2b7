// frame_listener.h - a stand-in for the gateway's write receiver in tests:
// listens on 127.0.0.1, accepts connections one after another and records
// every write request frame it receives.
#pragma once

#include "write_frame.h"

#include <boost/asio.hpp>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class CFrameListener {
public:
    // port 0 picks a free port.
    explicit CFrameListener(unsigned short port);
    ~CFrameListener();

    unsigned short Port() const { return m_port; }
    std::vector<WriteFrame> Frames();
    unsigned Accepted() const { return m_accepted.load(); }
    // Closes the current connection (the listener keeps listening).
    void DropConnection();
    // Waits until at least count frames arrived; false on time-out.
    bool WaitForFrames(std::size_t count, unsigned timeoutMs);

private:
    void Accept();
    void Read(std::shared_ptr<boost::asio::ip::tcp::socket> socket,
              std::shared_ptr<CWriteFrameDecoder> decoder);

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    unsigned short m_port;
    std::mutex m_lock;
    std::vector<WriteFrame> m_frames;
    std::shared_ptr<boost::asio::ip::tcp::socket> m_current;
    std::atomic<unsigned> m_accepted{0};
    std::thread m_thread;
};
