// write_client.cpp - connection to the gateway's write receiver.
#include "write_client.h"

#include <cstdio>

WriteClient::WriteClient(boost::asio::io_context &io, CWriteQueue &queue, unsigned short port)
    : m_io(io), m_queue(queue),
      m_endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), port), m_pause(io)
{
    Connect();
}

void WriteClient::WakeUp()
{
    boost::asio::post(m_io, [this] { SendNext(); });
}

void WriteClient::Connect(bool atOnce)
{
    m_connected = false;
    m_pause.expires_after(atOnce ? std::chrono::seconds(0) : std::chrono::seconds(1));
    m_pause.async_wait([this](const boost::system::error_code &) {
        const unsigned generation = ++m_generation;
        m_socket = std::make_shared<boost::asio::ip::tcp::socket>(m_io);
        m_socket->async_connect(m_endpoint, [this, generation](const boost::system::error_code &error) {
            OnConnected(generation, error);
        });
    });
}

void WriteClient::OnConnected(unsigned generation, const boost::system::error_code &error)
{
    if (generation != m_generation)
        return;
    if (error) {
        if (m_linkLost && m_receiverGone)
            m_receiverGone(true);
        Connect();
        return;
    }
    m_connected = true;
    m_connectedAt = std::chrono::steady_clock::now();
    if (m_linkLost && m_receiverGone)
        m_receiverGone(false);
    m_linkLost = false;
    std::printf("connect server success!\n");
    std::fflush(stdout);
    Read(generation);
    SendNext();
}

void WriteClient::Read(unsigned generation)
{
    std::shared_ptr<boost::asio::ip::tcp::socket> socket = m_socket;
    socket->async_read_some(boost::asio::buffer(m_receiveBuffer),
                            [this, generation, socket](const boost::system::error_code &error, std::size_t) {
                                if (generation != m_generation)
                                    return;
                                if (error)
                                    ConnectionLost(generation);
                                else
                                    Read(generation);
                            });
}

// The first failure of a connection (read or send) starts the reconnect;
// later notices about the same connection are ignored.
void WriteClient::ConnectionLost(unsigned generation)
{
    if (generation != m_generation || !m_connected)
        return;
    m_connected = false;
    m_linkLost = true;
    ++m_generation;
    boost::system::error_code ignored;
    m_socket->close(ignored);
    // At once, unless a receiver drops every connection it takes.
    Connect(std::chrono::steady_clock::now() - m_connectedAt >= std::chrono::seconds(1));
}

void WriteClient::SendNext()
{
    if (!m_connected || m_sending)
        return;
    if (!m_queue.Pop(m_sendingFrame))
        return;
    m_sending = true;
    const unsigned generation = m_generation;
    std::shared_ptr<boost::asio::ip::tcp::socket> socket = m_socket;
    boost::asio::async_write(*socket, boost::asio::buffer(m_sendingFrame),
                             [this, generation, socket](const boost::system::error_code &error, std::size_t) {
                                 m_sending = false;
                                 if (error) {
                                     // Sent again, whole, on the next connection.
                                     m_queue.PushFront(m_sendingFrame);
                                     ConnectionLost(generation);
                                     return;
                                 }
                                 SendNext();
                             });
}
