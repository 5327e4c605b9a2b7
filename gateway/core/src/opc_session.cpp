// opc_session.cpp - COPCSession: receiving, frame reassembly, item ID lookup
// and one platform write per frame, queued in arrival order.
#include "opc_session.h"

#include "console_output.h"
#include "log_printf.h"
#include "manager.h"
#include "write_variant_action.h"
#include "write_worker.h"

#include <memory>

namespace {

const int kReceiveBuffer = 4096;
// More than one frame (at most 514 bytes) can be waiting for its rest.
const std::size_t kTailKept = 1024;

} // namespace

COPCSession::COPCSession(CMonitorServer *server, SOCKET socket) : m_server(server), m_socket(socket) {}

COPCSession::~COPCSession()
{
    closesocket(m_socket);
}

bool COPCSession::OnReceive()
{
    char buffer[kReceiveBuffer] = {};
    const int received = recv(m_socket, buffer, kReceiveBuffer, 0);
    if (received <= 0)
        return false;
    ConsolePrintf("\n[OnReceive] length=%d\n", received);
    ParseFrames(buffer, received);
    return true;
}

void COPCSession::ParseFrames(const char *bytes, int length)
{
    if (length <= 0)
        return;
    m_decoder.Append(bytes, static_cast<std::size_t>(length));
    m_tail.append(bytes, static_cast<std::size_t>(length));
    if (m_tail.size() > kTailKept)
        m_tail.erase(0, m_tail.size() - kTailKept);

    WriteFrame frame;
    while (m_decoder.Next(frame)) {
        // Total: the bytes buffered from the frame's start on.
        HandleFrame(frame, kWriteFrameHeader + frame.itemId.size() + frame.value.size() + m_decoder.Pending());
    }
    ReportDroppedFrames();
    ReportIncompleteFrame();
}

void COPCSession::ReportDroppedFrames()
{
    const std::size_t dropped = m_decoder.DroppedFrames();
    if (dropped == m_reportedDroppedFrames)
        return;
    const unsigned long now = static_cast<unsigned long>(dropped - m_reportedDroppedFrames);
    const unsigned long total = static_cast<unsigned long>(dropped);
    m_reportedDroppedFrames = dropped;
    ConsolePrintf("write receiver: %lu malformed write frame(s) dropped (%lu on this connection)\n", now, total);
    LogPrintf("write receiver: %lu malformed write frame(s) dropped (%lu on this connection)", now, total);
}

void COPCSession::ReportIncompleteFrame() const
{
    const std::size_t pending = m_decoder.Pending();
    if (pending < kWriteFrameHeader || pending > m_tail.size())
        return;
    const std::string header = m_tail.substr(m_tail.size() - pending, kWriteFrameHeader);
    const int n = static_cast<unsigned char>(header[2]);
    const int v = static_cast<unsigned char>(header[3]);
    ConsolePrintf("invalid param, length=%d,nl=%d,vl=%d,tlen=%d\n", static_cast<int>(pending), n, v,
                  n + v + static_cast<int>(kWriteFrameHeader));
}

void COPCSession::HandleFrame(const WriteFrame &frame, std::size_t available)
{
    std::string key;
    bool found = false;
    CManager &manager = CManager::GetInstance();
    {
        auto lock = manager.Lock();
        const auto entry = manager.itemIdIndex.find(frame.itemId);
        if (entry != manager.itemIdIndex.end()) {
            key = entry->second->key;
            found = true;
        }
    }
    const int frameLength = static_cast<int>(kWriteFrameHeader + frame.itemId.size() + frame.value.size());
    ConsolePrintf("name=%s, value=%s, length=%d, total=%d\n", frame.itemId.c_str(), frame.value.c_str(), frameLength,
                  static_cast<int>(available));
    if (!found)
        return;
    const std::string::size_type colon = key.find(':');
    const std::string deviceId = colon == std::string::npos ? std::string() : key.substr(0, colon);
    CWriteWorker::Instance().Post(
        std::unique_ptr<CWriteVariantAction>(new CWriteVariantAction(key, frame.value, manager.ProjectOfDevice(deviceId))),
        frame.itemId);
}
