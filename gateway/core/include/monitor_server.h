// monitor_server.h - CMonitorServer, the write request receiver: listens on
// 127.0.0.1 port 8787 for the bridge's write request frames and serves every
// accepted connection as a COPCSession, all on one thread of its own.
#pragma once

#include <cstddef>
#include <memory>

class COPCSession;

const unsigned short kWriteReceiverPort = 8787;

class CMonitorServer {
public:
    CMonitorServer();
    ~CMonitorServer(); // stops
    CMonitorServer(const CMonitorServer &) = delete;
    CMonitorServer &operator=(const CMonitorServer &) = delete;

    // Binds to 127.0.0.1:port and listens (backlog 10) on a new thread.
    // False, after "Create Faild: %d" or "Listen Faild: %d" on the standard
    // output, when that fails; the program runs on without a receiver.
    bool Start(unsigned short port = kWriteReceiverPort);
    // Closes the listener and every session; waits for the thread.
    void Stop();

    bool IsListening() const;
    // The port listened on (the one chosen by the system when Start got 0);
    // 0 when not listening.
    unsigned short Port() const;
    // Connections currently open.
    std::size_t SessionCount() const;

private:
    struct Listener;

    void Run();
    void OnAccept();
    void OnClose(COPCSession *session);

    std::unique_ptr<Listener> m_listener;
};
