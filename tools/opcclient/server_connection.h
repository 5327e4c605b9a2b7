// server_connection.h - finding and connecting to an OPC DA server by
// ProgID or class id, and a group with items on it.
#pragma once

#include "opc_interfaces.h"

#include <string>
#include <vector>

// An error to show the operator, with the process exit code for it.
struct ClientError {
    int exitCode = 0;
    std::string message;
    bool Failed() const { return exitCode != 0; }
};

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 2,
    kExitNotRegistered = 3,
    kExitConnect = 4,
    kExitUnknownItem = 5,
    kExitAccessDenied = 6,
    kExitFailed = 7
};

// A released-on-destruction COM interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    T *operator->() const { return m_p; }
    T *Get() const { return m_p; }
    T **Out() { Reset(); return &m_p; }
    void **OutVoid() { return reinterpret_cast<void **>(Out()); }
    void Reset()
    {
        if (m_p != nullptr) {
            m_p->Release();
            m_p = nullptr;
        }
    }

private:
    T *m_p = nullptr;
};

// Resolves "Vendor.Server.1" or "{...}" to a class id.
bool ResolveServer(const std::string &name, CLSID *clsid, ClientError *error);
// Starts or connects to the server (local server).
bool ConnectServer(const std::string &name, ComPtr<IOPCServer> &server, ClientError *error);

// A private group of the connection with the given items added; item i gets
// client handle i + 1.
struct ItemGroup {
    ComPtr<IOPCItemMgt> items;
    OPCHANDLE serverGroup = 0;
    std::vector<std::string> itemIds;
    std::vector<OPCHANDLE> serverHandles;
    std::vector<VARTYPE> canonicalTypes;
};

bool AddItemGroup(IOPCServer *server, const std::vector<std::string> &itemIds, DWORD rate,
                  ItemGroup &group, ClientError *error);
