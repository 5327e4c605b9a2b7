// tcp_client.h - a blocking Winsock client for the write receiver tests:
// connects, sends bytes as they are, and tells whether the peer closed.
#pragma once

#include <winsock2.h>

#include <string>

class CTcpClient {
public:
    CTcpClient();
    ~CTcpClient();
    CTcpClient(const CTcpClient &) = delete;
    CTcpClient &operator=(const CTcpClient &) = delete;

    // Connects to address (dotted IPv4) and port; false with the Winsock
    // error in LastError() when that fails.
    bool Connect(const std::string &address, unsigned short port);
    bool Send(const std::string &bytes);
    // True when the peer closed the connection within timeoutMs.
    bool PeerClosed(unsigned timeoutMs);
    void Close();
    int LastError() const { return m_lastError; }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_lastError = 0;
};

// The first IPv4 address of a network adapter outside 127.0.0.0/8, or ""
// when the machine has none.
std::string NonLoopbackAddress();
