// write_client.h - WriteClient: the bridge's TCP connection to the gateway's
// write receiver on 127.0.0.1. It connects (retrying every second), sends
// the queued frames one after another, reads and ignores whatever comes
// back, and reconnects when the connection breaks. Everything runs on the
// write-forwarding thread's I/O context, so sends and reconnects never
// interleave; other threads only hand frames to the queue.
// A connection that breaks (after a second or more) is tried again at once:
// a refusal then means the receiver is gone (the gateway ended), which the
// bridge tells its clients by refusing their writes instead of queueing
// them for nobody.
#pragma once

#include "write_queue.h"

#include <boost/asio.hpp>

#include <array>
#include <functional>
#include <memory>
#include <string>

class WriteClient {
public:
    WriteClient(boost::asio::io_context &io, CWriteQueue &queue, unsigned short port);
    WriteClient(const WriteClient &) = delete;
    WriteClient &operator=(const WriteClient &) = delete;

    // Thread-safe: asks the I/O thread to send what is queued.
    void WakeUp();
    // Called on the I/O thread with true when a connection that was up broke
    // and the receiver then refused a new one, with false when connected
    // again. Set before the I/O context runs.
    void OnReceiverGone(std::function<void(bool gone)> notify) { m_receiverGone = std::move(notify); }

private:
    // A new socket and a connect attempt, after a second's pause unless at once.
    void Connect(bool atOnce = false);
    void OnConnected(unsigned generation, const boost::system::error_code &error);
    void Read(unsigned generation);
    void SendNext();
    void ConnectionLost(unsigned generation);

    boost::asio::io_context &m_io;
    CWriteQueue &m_queue;
    boost::asio::ip::tcp::endpoint m_endpoint;
    boost::asio::steady_timer m_pause;
    std::shared_ptr<boost::asio::ip::tcp::socket> m_socket;
    std::array<char, 1024> m_receiveBuffer;
    unsigned m_generation = 0; // of the current socket
    bool m_connected = false;
    bool m_linkLost = false; // a connection broke and none has been made since
    std::chrono::steady_clock::time_point m_connectedAt;
    bool m_sending = false;
    std::function<void(bool)> m_receiverGone;
    std::string m_sendingFrame;
};
