// write_forwarding.cpp - host write callback and write-forwarding thread.
#include "write_forwarding.h"

#include "format_variant.h"
#include "opc_errors.h"
#include "write_client.h"
#include "write_frame.h"
#include "write_queue.h"

#include <atomic>
#include <string>

namespace {

// The gateway's write receiver is known to be gone (see WriteClient).
std::atomic<bool> g_receiverGone{false};

} // namespace

CWriteQueue &PendingWrites()
{
    static CWriteQueue queue;
    return queue;
}

HRESULT DAKORA_CALL CheckWrite(const char *itemId, const VARIANT *value, void *userData)
{
    if (itemId == nullptr || value == nullptr)
        return E_INVALIDARG;
    std::string text;
    switch (FormatVariant(*value, text)) {
    case ValueTextResult::kOk: break;
    case ValueTextResult::kTooLong: return OPC_E_RANGE;
    default: return OPC_E_BADTYPE;
    }
    const CWriteGate *gate = static_cast<const CWriteGate *>(userData);
    if (gate != nullptr && !gate->GatewayPublishes()) {
        OutputDebugStringA("[quenlor] write refused: the gateway does not publish");
        return E_FAIL;
    }
    if (g_receiverGone) {
        OutputDebugStringA("[quenlor] write refused: the gateway's write receiver is gone");
        return E_FAIL;
    }
    if (gate != nullptr && !gate->SourceReachable(itemId)) {
        OutputDebugStringA((std::string("[quenlor] write refused: source unreachable: ") + itemId).c_str());
        return E_FAIL;
    }
    if (PendingWrites().Full()) {
        OutputDebugStringA("[quenlor] write refused: the write queue is full");
        return E_FAIL;
    }
    return S_OK;
}

int DAKORA_CALL OnWrite(const char *itemId, VARIANT *value, DWORD, FILETIME, void *)
{
    if (itemId == nullptr || value == nullptr)
        return 1;
    std::string text;
    if (FormatVariant(*value, text) != ValueTextResult::kOk) {
        // The library refuses such writes before they are queued; one that
        // comes anyway is dropped rather than sent as something else.
        OutputDebugStringA((std::string("[quenlor] no frame text, write dropped: ") + itemId).c_str());
        return 0;
    }
    OutputDebugStringA((std::string("[quenlor]") + itemId).c_str());
    // Queued rather than sent here: the client owns the socket on its own
    // thread, and a write made while it is not connected must wait.
    PendingWrites().Push(EncodeWriteFrame(itemId, text));
    return 1;
}

void RunWriteForwarding(unsigned short port)
{
    boost::asio::io_context io;
    WriteClient client(io, PendingWrites(), port);
    client.OnReceiverGone([](bool gone) {
        g_receiverGone = gone;
        OutputDebugStringA(gone ? "[quenlor] the gateway's write receiver is gone" : "[quenlor] write receiver back");
    });
    PendingWrites().SetWakeUp([&client] { client.WakeUp(); });
    // Writes queued before the client existed go out once it is connected.
    client.WakeUp();
    // A connect, a pause or a read is always pending: runs until the process ends.
    for (;;) {
        io.run();
        io.restart();
    }
}
