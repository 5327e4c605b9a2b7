// tcp_client.cpp - the tests' Winsock client and the adapter address lookup.
#include "tcp_client.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

CTcpClient::CTcpClient()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

CTcpClient::~CTcpClient()
{
    Close();
    WSACleanup();
}

bool CTcpClient::Connect(const std::string &address, unsigned short port)
{
    Close();
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return false;
    }
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &target.sin_addr);
    if (connect(m_socket, reinterpret_cast<const sockaddr *>(&target), sizeof(target)) == SOCKET_ERROR) {
        m_lastError = WSAGetLastError();
        Close();
        return false;
    }
    BOOL noDelay = TRUE;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay), sizeof(noDelay));
    return true;
}

bool CTcpClient::Send(const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int result = send(m_socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (result == SOCKET_ERROR) {
            m_lastError = WSAGetLastError();
            return false;
        }
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

bool CTcpClient::PeerClosed(unsigned timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval wait = {static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
        return false;
    char byte;
    return recv(m_socket, &byte, 1, 0) <= 0;
}

void CTcpClient::Close()
{
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

std::string NonLoopbackAddress()
{
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    IP_ADAPTER_ADDRESSES *adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                             nullptr, adapters, &size) != NO_ERROR)
        return std::string();
    for (IP_ADAPTER_ADDRESSES *adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (IP_ADAPTER_UNICAST_ADDRESS *unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr_in *address = reinterpret_cast<const sockaddr_in *>(unicast->Address.lpSockaddr);
            if (address->sin_family != AF_INET || (ntohl(address->sin_addr.s_addr) >> 24) == 127)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text));
            return text;
        }
    }
    return std::string();
}
