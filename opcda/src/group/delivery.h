// delivery.h - callbacks to client sinks, prepared by the worker under the
// server and group locks and made after it has released them, so that a
// client that calls the server from inside a callback cannot deadlock it.
// Each delivery owns its data and a reference to each sink.
#pragma once

#include "opc_interfaces.h"

#include <memory>
#include <vector>

class CDelivery {
public:
    virtual ~CDelivery() = default;
    virtual void Deliver() = 0;
    // True when the callback carries item values to the client (the
    // server's last update time then moves).
    virtual bool CarriesValues() const { return false; }
};

typedef std::vector<std::unique_ptr<CDelivery>> DeliveryList;

// Values of several items as the data callback carries them, in task
// memory; freed (values cleared) by the destructor.
struct ItemValues {
    DWORD count = 0;
    OPCHANDLE *clientHandles = nullptr;
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *timestamps = nullptr;
    HRESULT *errors = nullptr;

    ItemValues() = default;
    ItemValues(const ItemValues &) = delete;
    ItemValues &operator=(const ItemValues &) = delete;
    ~ItemValues();

    bool Allocate(DWORD n);
    // S_FALSE when any quality is not good, else S_OK.
    HRESULT MasterQuality() const;
    // S_FALSE when any item failed, else S_OK.
    HRESULT MasterError() const;
};

// OnDataChange or OnReadComplete to every IOPCDataCallback sink.
class CDataCallbackDelivery : public CDelivery {
public:
    enum Kind { kDataChange, kReadComplete };
    CDataCallbackDelivery(Kind kind, DWORD transactionId, OPCHANDLE clientGroup,
                          std::vector<IUnknown *> sinks, std::unique_ptr<ItemValues> items);
    ~CDataCallbackDelivery() override;
    void Deliver() override;
    bool CarriesValues() const override;

private:
    Kind m_kind;
    DWORD m_transactionId;
    OPCHANDLE m_clientGroup;
    std::vector<IUnknown *> m_sinks;
    std::unique_ptr<ItemValues> m_items;
};

// OnWriteComplete (or OnCancelComplete when no items are given and
// cancelled is set) to every IOPCDataCallback sink.
class CWriteCompleteDelivery : public CDelivery {
public:
    CWriteCompleteDelivery(DWORD transactionId, OPCHANDLE clientGroup,
                           std::vector<IUnknown *> sinks, std::vector<OPCHANDLE> clientHandles,
                           std::vector<HRESULT> errors);
    ~CWriteCompleteDelivery() override;
    void Deliver() override;

private:
    DWORD m_transactionId;
    OPCHANDLE m_clientGroup;
    std::vector<IUnknown *> m_sinks;
    std::vector<OPCHANDLE> m_clientHandles;
    std::vector<HRESULT> m_errors;
};

class CCancelCompleteDelivery : public CDelivery {
public:
    CCancelCompleteDelivery(DWORD transactionId, OPCHANDLE clientGroup,
                            std::vector<IUnknown *> sinks);
    ~CCancelCompleteDelivery() override;
    void Deliver() override;

private:
    DWORD m_transactionId;
    OPCHANDLE m_clientGroup;
    std::vector<IUnknown *> m_sinks;
};

// One OPC DA 1.0 data stream to one IAdviseSink; the block is freed after
// the call.
class CStreamDelivery : public CDelivery {
public:
    CStreamDelivery(IAdviseSink *sink, CLIPFORMAT format, HGLOBAL block);
    ~CStreamDelivery() override;
    void Deliver() override;
    bool CarriesValues() const override { return true; }

private:
    IAdviseSink *m_sink;
    CLIPFORMAT m_format;
    HGLOBAL m_block;
};

void ReleaseSinks(std::vector<IUnknown *> &sinks);
