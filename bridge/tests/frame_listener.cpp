// frame_listener.cpp - recording write receiver for tests.
#include "frame_listener.h"

#include <windows.h>

CFrameListener::CFrameListener(unsigned short port)
    : m_acceptor(m_io)
{
    using boost::asio::ip::tcp;
    tcp::endpoint endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), port);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_port = m_acceptor.local_endpoint().port();
    Accept();
    m_thread = std::thread([this] { m_io.run(); });
}

CFrameListener::~CFrameListener()
{
    boost::asio::post(m_io, [this] {
        boost::system::error_code ignored;
        m_acceptor.close(ignored);
        if (m_current)
            m_current->close(ignored);
    });
    m_io.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void CFrameListener::Accept()
{
    auto socket = std::make_shared<boost::asio::ip::tcp::socket>(m_io);
    m_acceptor.async_accept(*socket, [this, socket](const boost::system::error_code &error) {
        if (error)
            return;
        ++m_accepted;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_current = socket;
        }
        Read(socket, std::make_shared<CWriteFrameDecoder>());
        Accept();
    });
}

void CFrameListener::Read(std::shared_ptr<boost::asio::ip::tcp::socket> socket,
                          std::shared_ptr<CWriteFrameDecoder> decoder)
{
    auto buffer = std::make_shared<std::array<char, 4096>>();
    socket->async_read_some(boost::asio::buffer(*buffer),
                            [this, socket, decoder, buffer](const boost::system::error_code &error,
                                                            std::size_t length) {
                                if (error)
                                    return;
                                decoder->Append(buffer->data(), length);
                                WriteFrame frame;
                                while (decoder->Next(frame)) {
                                    std::lock_guard<std::mutex> guard(m_lock);
                                    m_frames.push_back(frame);
                                }
                                Read(socket, decoder);
                            });
}

std::vector<WriteFrame> CFrameListener::Frames()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

void CFrameListener::DropConnection()
{
    boost::asio::post(m_io, [this] {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_current) {
            boost::system::error_code ignored;
            m_current->shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
            m_current->close(ignored);
            m_current.reset();
        }
    });
}

bool CFrameListener::WaitForFrames(std::size_t count, unsigned timeoutMs)
{
    const DWORD start = GetTickCount();
    while (Frames().size() < count) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}
