// standin_platform.cpp - ready file and control endpoint of the stand-in.
#include "standin_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <json/reader.h>
#include <json/value.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string WindowsPath(const std::string &path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string windows = "Z:" + path;
    for (char &c : windows)
        if (c == '/')
            c = '\\';
    return windows;
}

bool CStandInPlatform::Load()
{
    const char *ready = std::getenv("LUMARET_PLATFORM_READY");
    if (ready == nullptr) {
        m_error = "LUMARET_PLATFORM_READY is not set";
        return false;
    }
    const std::string text = ReadFileBytes(WindowsPath(ready));
    Json::Value root;
    Json::Reader reader;
    if (text.empty() || !reader.parse(text, root) || !root.isObject()) {
        m_error = "no ready file at " + WindowsPath(ready);
        return false;
    }
    m_port = root["port"].asInt();
    m_controlPort = root["control_port"].asInt();
    return m_port > 0 && m_controlPort > 0;
}

bool CStandInPlatform::Exchange(const std::string &request, std::string &body)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET channel = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (channel == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(m_controlPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    DWORD timeout = 15000;
    setsockopt(channel, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
    bool done = false;
    if (connect(channel, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
        send(channel, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
        std::string reply;
        char buffer[4096];
        for (int got; (got = recv(channel, buffer, sizeof(buffer), 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(got));
        const std::string::size_type split = reply.find("\r\n\r\n");
        if (split != std::string::npos) {
            body = reply.substr(split + 4);
            done = reply.compare(0, 12, "HTTP/1.1 200") == 0 || reply.compare(0, 12, "HTTP/1.0 200") == 0;
        }
    }
    closesocket(channel);
    return done;
}

bool CStandInPlatform::Control(const std::string &json)
{
    const std::string request = "POST /_control HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                "Content-Length: " +
                                std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" + json;
    std::string body;
    return Exchange(request, body);
}

std::string CStandInPlatform::Requests(const std::string &reqCode)
{
    const std::string request = "GET /_control/requests?reqCode=" + reqCode +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::string body;
    Exchange(request, body);
    return body;
}
