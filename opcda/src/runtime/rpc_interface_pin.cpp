// rpc_interface_pin.cpp - the stand-in object and its table-strong marshals.
#include "rpc_interface_pin.h"

#include "opc_interfaces.h"

#include <objbase.h>
#include <objidl.h>
#include <ocidl.h>

#include <cstdio>

namespace {

// Every interface a client can obtain from a server object, a group or one
// of their enumerators and connection points.
const IID *const kPinnedInterfaces[] = {
    &IID_IUnknown,
    &IID_IOPCServer,
    &IID_IOPCCommon,
    &IID_IOPCItemProperties,
    &IID_IOPCBrowseServerAddressSpace,
    &IID_IOPCBrowse,
    &IID_IOPCItemIO,
    &IID_IConnectionPointContainer,
    &IID_IConnectionPoint,
    &IID_IEnumConnectionPoints,
    &IID_IEnumConnections,
    &IID_IOPCItemMgt,
    &IID_IOPCGroupStateMgt,
    &IID_IOPCGroupStateMgt2,
    &IID_IOPCItemDeadbandMgt,
    &IID_IOPCItemSamplingMgt,
    &IID_IOPCSyncIO,
    &IID_IOPCSyncIO2,
    &IID_IOPCAsyncIO,
    &IID_IOPCAsyncIO2,
    &IID_IOPCAsyncIO3,
    &IID_IDataObject,
    &IID_IEnumOPCItemAttributes,
    &IID_IEnumString,
    &IID_IEnumUnknown,
};
const unsigned kPinnedCount = sizeof(kPinnedInterfaces) / sizeof(kPinnedInterfaces[0]);

// The stand-in: answers QueryInterface for every pinned interface with the
// same vtable. Its first three slots are IUnknown's; the others are there
// only so a stub sees a table long enough for any of the interfaces, and
// they end the process if anything ever calls them. It is static and does
// not count references.
const unsigned kSlotCount = 40;

struct StandIn {
    void *const *vtbl;
};

HRESULT STDMETHODCALLTYPE StandInQueryInterface(void *self, REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    for (const IID *iid : kPinnedInterfaces) {
        if (IsEqualIID(riid, *iid)) {
            *ppv = self;
            return S_OK;
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE StandInAddRef(void *)
{
    return 2;
}

ULONG STDMETHODCALLTYPE StandInRelease(void *)
{
    return 1;
}

HRESULT STDMETHODCALLTYPE StandInNeverCalled(void *)
{
    // Unreachable: the marshal data of the stand-in never leaves this
    // process. Stop loudly rather than answer for an interface it does not
    // implement.
    OutputDebugStringA("dakora_da: the RPC interface stand-in was called\n");
    RaiseException(static_cast<DWORD>(E_UNEXPECTED), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return E_UNEXPECTED;
}

struct StandInTable {
    void *slots[kSlotCount];
    StandInTable()
    {
        slots[0] = reinterpret_cast<void *>(&StandInQueryInterface);
        slots[1] = reinterpret_cast<void *>(&StandInAddRef);
        slots[2] = reinterpret_cast<void *>(&StandInRelease);
        for (unsigned i = 3; i < kSlotCount; ++i)
            slots[i] = reinterpret_cast<void *>(&StandInNeverCalled);
    }
};

StandIn *TheStandIn()
{
    static const StandInTable table;
    static StandIn standIn{table.slots};
    return &standIn;
}

} // namespace

CRpcInterfacePin::~CRpcInterfacePin()
{
    Release();
}

void CRpcInterfacePin::Hold()
{
    if (!m_streams.empty())
        return;
    try {
        m_streams.reserve(kPinnedCount);
    } catch (...) {
        return;
    }
    IUnknown *standIn = reinterpret_cast<IUnknown *>(TheStandIn());
    for (unsigned i = 0; i < kPinnedCount; ++i) {
        IStream *stream = nullptr;
        HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        if (SUCCEEDED(hr)) {
            hr = CoMarshalInterface(stream, *kPinnedInterfaces[i], standIn, MSHCTX_LOCAL, nullptr,
                                    MSHLFLAGS_TABLESTRONG);
            if (SUCCEEDED(hr))
                m_streams.push_back(stream); // room reserved above
            else
                stream->Release();
        }
        if (FAILED(hr)) {
            char text[96];
            std::snprintf(text, sizeof text, "dakora_da: interface %u not pinned (0x%08lx)\n", i,
                          static_cast<unsigned long>(hr));
            OutputDebugStringA(text);
        }
    }
    char text[80];
    std::snprintf(text, sizeof text, "dakora_da: %u of %u interfaces held registered\n",
                  static_cast<unsigned>(m_streams.size()), kPinnedCount);
    OutputDebugStringA(text);
}

void CRpcInterfacePin::Release()
{
    for (IStream *stream : m_streams) {
        LARGE_INTEGER start = {};
        if (SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
            CoReleaseMarshalData(stream);
        stream->Release();
    }
    m_streams.clear();
}
