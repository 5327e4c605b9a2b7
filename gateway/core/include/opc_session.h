// opc_session.h - COPCSession, one accepted connection of the write request
// receiver: receives bytes, reassembles the write request frames across
// receives and queues one platform write per frame whose item ID is
// published; malformed frames are dropped, counted and logged.
#pragma once

#include "write_frame.h"

#include <winsock2.h>

#include <string>

class CMonitorServer;

class COPCSession {
public:
    COPCSession(CMonitorServer *server, SOCKET socket);
    ~COPCSession(); // closes the socket
    COPCSession(const COPCSession &) = delete;
    COPCSession &operator=(const COPCSession &) = delete;

    SOCKET Socket() const { return m_socket; }
    CMonitorServer *Server() const { return m_server; }

    // Receives up to 4096 bytes and parses them. False when the connection
    // was closed or failed (nothing parsed then).
    bool OnReceive();
    // Takes received bytes and handles every frame completed by them, in
    // order; an incomplete frame waits for the next receive.
    void ParseFrames(const char *bytes, int length);

private:
    void HandleFrame(const WriteFrame &frame, std::size_t available);
    // Logs the malformed frames dropped since the last report, if any.
    void ReportDroppedFrames();
    void ReportIncompleteFrame() const;

    CMonitorServer *m_server;
    SOCKET m_socket;
    CWriteFrameDecoder m_decoder;
    std::string m_tail; // the last bytes received, holding the pending ones
    std::size_t m_reportedDroppedFrames = 0;
};
