// advise_sink_recorder.cpp - recording IAdviseSink.
#include "advise_sink_recorder.h"

#include <chrono>
#include <cstring>

namespace iotest {

AdviseSinkRecorder::AdviseSinkRecorder() : m_refs(1)
{
}

ComPtr<AdviseSinkRecorder> AdviseSinkRecorder::Create()
{
    return ComPtr<AdviseSinkRecorder>::Attach(new AdviseSinkRecorder());
}

STDMETHODIMP AdviseSinkRecorder::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAdviseSink)) {
        *ppv = static_cast<IAdviseSink *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) AdviseSinkRecorder::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) AdviseSinkRecorder::Release()
{
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(void) AdviseSinkRecorder::OnDataChange(FORMATETC *pFormatetc, STGMEDIUM *pStgmed)
{
    StreamRecord record;
    if (pFormatetc != nullptr)
        record.format = pFormatetc->cfFormat;
    if (pStgmed != nullptr) {
        record.tymed = pStgmed->tymed;
        if (pStgmed->tymed == TYMED_HGLOBAL && pStgmed->hGlobal != nullptr) {
            record.blockSize = GlobalSize(pStgmed->hGlobal);
            const BYTE *data = static_cast<const BYTE *>(GlobalLock(pStgmed->hGlobal));
            if (data != nullptr) {
                record.bytes.assign(data, data + record.blockSize);
                GlobalUnlock(pStgmed->hGlobal);
            }
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.push_back(std::move(record));
    m_changed.notify_all();
}

STDMETHODIMP_(void) AdviseSinkRecorder::OnViewChange(DWORD, LONG)
{
}

STDMETHODIMP_(void) AdviseSinkRecorder::OnRename(IMoniker *)
{
}

STDMETHODIMP_(void) AdviseSinkRecorder::OnSave()
{
}

STDMETHODIMP_(void) AdviseSinkRecorder::OnClose()
{
}

std::vector<StreamRecord> AdviseSinkRecorder::Records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

size_t AdviseSinkRecorder::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}

bool AdviseSinkRecorder::WaitForCount(size_t count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_records.size() >= count; });
}

FORMATETC StreamFormat(const char *formatName)
{
    FORMATETC format;
    std::memset(&format, 0, sizeof(format));
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(formatName));
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    return format;
}

} // namespace iotest
