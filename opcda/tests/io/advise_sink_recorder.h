// advise_sink_recorder.h - an IAdviseSink for tests of the OPC DA 1.0 data
// stream: every OnDataChange is recorded with its format, medium type and a
// copy of the bytes of the global memory block (which the caller frees when
// the call returns), under a mutex.
#pragma once

#include "com_ptr.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace iotest {

struct StreamRecord {
    CLIPFORMAT format = 0;
    DWORD tymed = 0;
    size_t blockSize = 0; // GlobalSize of the block as received
    std::vector<BYTE> bytes;
};

class AdviseSinkRecorder final : public IAdviseSink {
public:
    static ComPtr<AdviseSinkRecorder> Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IAdviseSink
    STDMETHODIMP_(void) OnDataChange(FORMATETC *pFormatetc, STGMEDIUM *pStgmed) override;
    STDMETHODIMP_(void) OnViewChange(DWORD dwAspect, LONG lindex) override;
    STDMETHODIMP_(void) OnRename(IMoniker *pmk) override;
    STDMETHODIMP_(void) OnSave() override;
    STDMETHODIMP_(void) OnClose() override;

    std::vector<StreamRecord> Records() const;
    size_t Count() const;
    bool WaitForCount(size_t count, DWORD timeoutMs) const;

private:
    AdviseSinkRecorder();
    ~AdviseSinkRecorder() = default;

    LONG m_refs;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<StreamRecord> m_records;
};

// A FORMATETC for the named registered clipboard format, as OPC DA 1.0
// clients pass it to DAdvise.
FORMATETC StreamFormat(const char *formatName);

} // namespace iotest
