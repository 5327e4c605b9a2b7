// async_request.cpp - request slots and their queue.
#include "async_request.h"

#include <utility>

void AsyncRequest::Release()
{
    for (VARIANT &v : values)
        VariantClear(&v);
    for (OPCITEMVQT &r : records)
        VariantClear(&r.vDataValue);
    handles.clear();
    maxAges.clear();
    values.clear();
    records.clear();
}

CAsyncRequestQueue::CAsyncRequestQueue() : m_slots(kSlots), m_head(0), m_tail(0)
{
}

CAsyncRequestQueue::~CAsyncRequestQueue()
{
    Clear();
}

bool CAsyncRequestQueue::Push(AsyncRequest &request)
{
    if (Full())
        return false;
    m_slots[m_tail] = std::move(request);
    request = AsyncRequest();
    m_tail = (m_tail + 1) % kSlots;
    return true;
}

bool CAsyncRequestQueue::Pop(AsyncRequest &request)
{
    if (Empty())
        return false;
    request = std::move(m_slots[m_head]);
    m_slots[m_head] = AsyncRequest();
    m_head = (m_head + 1) % kSlots;
    return true;
}

bool CAsyncRequestQueue::MarkCancelled(DWORD cancelId)
{
    for (unsigned i = m_head; i != m_tail; i = (i + 1) % kSlots) {
        if (m_slots[i].cancelId == cancelId) {
            m_slots[i].cancelled = true;
            return true;
        }
    }
    return false;
}

void CAsyncRequestQueue::Clear()
{
    AsyncRequest request;
    while (Pop(request))
        request.Release();
}
