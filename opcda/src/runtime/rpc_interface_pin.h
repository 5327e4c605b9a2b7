// rpc_interface_pin.h - keeps every interface the server hands out
// registered with the RPC runtime for as long as the class object is.
//
// COM registers an interface with the RPC runtime when the first stub of
// that interface is created in the process and unregisters it when the last
// one goes. Under Wine that unregistration can lose a wake-up when it runs
// right after a call on the same interface, and the next call into the
// process (a second client's QueryInterface, say) then waits for minutes.
// Holding one table-strong marshal of a stand-in object per interface keeps
// every interface registered from start to stop, so the unregistration
// never happens while clients come and go. The stand-in is never called:
// nobody outside this process ever sees its marshal data.
#pragma once

#include <vector>

struct IStream;

class CRpcInterfacePin {
public:
    CRpcInterfacePin() = default;
    ~CRpcInterfacePin();
    CRpcInterfacePin(const CRpcInterfacePin &) = delete;
    CRpcInterfacePin &operator=(const CRpcInterfacePin &) = delete;

    // Marshals the stand-in once per interface. Call on a thread of the
    // multithreaded apartment after COM is initialised. Interfaces that
    // cannot be marshalled (no proxy/stub registered) are logged and left
    // out; the server works without the pin, only less robustly.
    void Hold();
    // Releases every marshal made by Hold(); call before CoUninitialize.
    void Release();

private:
    // The marshal data of each interface held.
    std::vector<IStream *> m_streams;
};
