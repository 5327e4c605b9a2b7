// monitor_server.cpp - CMonitorServer: the loopback listener for write
// request frames and the thread that accepts and serves its connections.
#include "opc_session.h"

#include "monitor_server.h"

#include "console_output.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

const int kBacklog = 10;
const long kPollMicroseconds = 100 * 1000; // how soon Stop is noticed

} // namespace

struct CMonitorServer::Listener {
    SOCKET socket = INVALID_SOCKET;
    unsigned short port = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
    mutable std::mutex sessionsLock;
    std::vector<std::unique_ptr<COPCSession>> sessions; // in accept order
};

CMonitorServer::CMonitorServer() = default;

CMonitorServer::~CMonitorServer()
{
    Stop();
}

bool CMonitorServer::Start(unsigned short port)
{
    if (m_listener)
        return false;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        ConsolePrintf("Create Faild: %d\n", WSAGetLastError());
        return false;
    }

    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        ConsolePrintf("Create Faild: %d\n", WSAGetLastError());
        WSACleanup();
        return false;
    }
    // No other socket may take the port over while the gateway holds it.
    BOOL exclusive = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
               sizeof(exclusive));
    // Only the bridge on this machine sends writes: loopback only.
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == SOCKET_ERROR) {
        ConsolePrintf("Create Faild: %d\n", WSAGetLastError());
        closesocket(listener);
        WSACleanup();
        return false;
    }
    if (listen(listener, kBacklog) == SOCKET_ERROR) {
        ConsolePrintf("Listen Faild: %d\n", WSAGetLastError());
        closesocket(listener);
        WSACleanup();
        return false;
    }

    sockaddr_in bound = {};
    int boundLength = sizeof(bound);
    getsockname(listener, reinterpret_cast<sockaddr *>(&bound), &boundLength);

    m_listener.reset(new Listener);
    m_listener->socket = listener;
    m_listener->port = ntohs(bound.sin_port);
    try {
        m_listener->thread = std::thread(&CMonitorServer::Run, this);
    } catch (const std::system_error &) {
        ConsolePrintf("Listen Faild: %d\n", static_cast<int>(GetLastError()));
        closesocket(listener);
        m_listener.reset();
        WSACleanup();
        return false;
    }
    return true;
}

void CMonitorServer::Stop()
{
    if (!m_listener)
        return;
    m_listener->stop = true;
    if (m_listener->thread.joinable())
        m_listener->thread.join();
    {
        std::lock_guard<std::mutex> guard(m_listener->sessionsLock);
        m_listener->sessions.clear();
    }
    closesocket(m_listener->socket);
    m_listener.reset();
    WSACleanup();
}

bool CMonitorServer::IsListening() const
{
    return static_cast<bool>(m_listener);
}

unsigned short CMonitorServer::Port() const
{
    return m_listener ? m_listener->port : 0;
}

std::size_t CMonitorServer::SessionCount() const
{
    if (!m_listener)
        return 0;
    std::lock_guard<std::mutex> guard(m_listener->sessionsLock);
    return m_listener->sessions.size();
}

void CMonitorServer::OnAccept()
{
    const SOCKET accepted = accept(m_listener->socket, nullptr, nullptr);
    if (accepted == INVALID_SOCKET)
        return;
    std::lock_guard<std::mutex> guard(m_listener->sessionsLock);
    m_listener->sessions.emplace_back(new COPCSession(this, accepted));
}

void CMonitorServer::OnClose(COPCSession *session)
{
    std::lock_guard<std::mutex> guard(m_listener->sessionsLock);
    auto &sessions = m_listener->sessions;
    const auto found = std::find_if(sessions.begin(), sessions.end(),
                                    [session](const std::unique_ptr<COPCSession> &entry) { return entry.get() == session; });
    if (found != sessions.end())
        sessions.erase(found);
}

void CMonitorServer::Run()
{
    Listener &listener = *m_listener;
    while (!listener.stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener.socket, &readable);
        std::vector<COPCSession *> polled;
        {
            std::lock_guard<std::mutex> guard(listener.sessionsLock);
            for (const auto &session : listener.sessions) {
                if (readable.fd_count >= FD_SETSIZE)
                    break;
                FD_SET(session->Socket(), &readable);
                polled.push_back(session.get());
            }
        }
        timeval wait = {0, kPollMicroseconds};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        if (FD_ISSET(listener.socket, &readable))
            OnAccept();
        // Sessions are changed only on this thread, so the polled ones still exist.
        for (COPCSession *session : polled) {
            if (FD_ISSET(session->Socket(), &readable) && !session->OnReceive())
                OnClose(session);
        }
    }
}
