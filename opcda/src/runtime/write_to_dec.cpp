// write_to_dec.cpp - write-forwarding ring and worker.
#include "write_to_dec.h"

#include <cstring>
#include <new>

CWriteToDec::CWriteToDec()
    : m_ring(new (std::nothrow) WriteRequest[kCapacity]), m_head(0), m_tail(0),
      m_workEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_callback(nullptr),
      m_userData(nullptr)
{
    if (m_ring != nullptr) {
        std::memset(m_ring, 0, sizeof(WriteRequest) * kCapacity);
        for (unsigned i = 0; i < kCapacity; ++i)
            VariantInit(&m_ring[i].value);
    }
    SetWaitHandle(&m_workEvent);
}

// Library unload: queued writes are dropped without calling the host. The
// worker thread is gone by now, so the lock is not taken.
CWriteToDec::~CWriteToDec()
{
    if (m_ring != nullptr) {
        while (m_head != m_tail) {
            VariantClear(&m_ring[m_head].value);
            m_head = (m_head + 1) % kCapacity;
        }
        delete[] m_ring;
        m_ring = nullptr;
    }
    SetWaitHandle(nullptr);
    if (m_workEvent != nullptr)
        CloseHandle(m_workEvent);
}

const char *CWriteToDec::Name() const
{
    return "CWriteToDec";
}

void CWriteToDec::SetHost(dakora_write_callback callback, void *userData)
{
    CAutoLock guard(m_lock);
    m_callback = callback;
    m_userData = userData;
}

void CWriteToDec::StartWorker()
{
    if (!IsRunning())
        Start();
    // Writes queued while the worker was stopped are delivered right away.
    CAutoLock guard(m_lock);
    if (m_head != m_tail)
        SetEvent(m_workEvent);
}

void CWriteToDec::StopWorker()
{
    RequestStop();
    while (IsRunning())
        Sleep(100);
}

bool CWriteToDec::Enqueue(const char *itemId, const FILETIME &timestamp, WORD quality,
                          const VARIANT &value)
{
    CAutoLock guard(m_lock);
    if (m_ring == nullptr || (m_tail + 1) % kCapacity == m_head)
        return false;

    WriteRequest image;
    std::memset(&image, 0, sizeof(image));
    if (itemId != nullptr) {
        std::strncpy(image.itemId, itemId, sizeof(image.itemId) - 1);
        image.itemId[sizeof(image.itemId) - 1] = '\0';
    }
    image.timestamp = timestamp;
    image.quality = quality;
    VariantInit(&image.value);
    // A value passed by reference lives only as long as the client's call;
    // the slot keeps the value itself.
    if (FAILED(VariantCopyInd(&image.value, const_cast<VARIANT *>(&value))))
        return false;

    m_ring[m_tail] = image;
    m_tail = (m_tail + 1) % kCapacity;
    SetEvent(m_workEvent);
    return true;
}

unsigned CWriteToDec::Pending()
{
    CAutoLock guard(m_lock);
    return (m_tail + kCapacity - m_head) % kCapacity;
}

// One pass per signal of the work event: one write to the host. The host
// callback runs under the ring's lock, so writes reach it strictly one at a
// time and in queue order.
void CWriteToDec::Step()
{
    CAutoLock guard(m_lock);
    if (m_ring == nullptr || m_head == m_tail)
        return;

    WriteRequest request = m_ring[m_head];
    std::memset(&m_ring[m_head], 0, sizeof(WriteRequest));
    VariantInit(&m_ring[m_head].value);
    m_head = (m_head + 1) % kCapacity;

    if (m_callback != nullptr)
        m_callback(request.itemId, &request.value, request.quality, request.timestamp,
                   m_userData);
    VariantClear(&request.value);

    if (m_head != m_tail)
        SetEvent(m_workEvent);
}
