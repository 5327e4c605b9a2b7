// async_request.h - a group's queued asynchronous requests: 256 slots (255
// waiting at most), each carrying its own copies of handles and values so
// the client's arrays may go as soon as the call returns.
#pragma once

#include "opc_interfaces.h"

#include <vector>

struct AsyncRequest {
    enum Kind : DWORD {
        kRefresh = 0,
        kRead = 1,
        kWrite = 2,
        kRefreshMaxAge = 3,
        kReadMaxAge = 4,
        kWriteVQT = 5,
        // OPC DA 1.0 (IOPCAsyncIO): completed through an IDataObject advise
        kStreamRead = 6,
        kStreamWrite = 7,
        kStreamRefresh = 8
    };

    Kind kind = kRefresh;
    DWORD transactionId = 0;
    DWORD cancelId = 0;
    DWORD connection = 0;          // DA 1.0: the advise that receives the completion
    std::vector<DWORD> handles;    // the valid items, in request order
    std::vector<DWORD> maxAges;    // kReadMaxAge: carried, not used
    std::vector<VARIANT> values;   // kWrite: owned deep copies
    std::vector<OPCITEMVQT> records; // kWriteVQT: values owned
    bool cancelled = false;

    AsyncRequest() = default;
    AsyncRequest(AsyncRequest &&) = default;
    AsyncRequest &operator=(AsyncRequest &&) = default;
    AsyncRequest(const AsyncRequest &) = delete;
    AsyncRequest &operator=(const AsyncRequest &) = delete;

    // Clears the owned values and empties the arrays.
    void Release();
};

class CAsyncRequestQueue {
public:
    static const unsigned kSlots = 256;

    CAsyncRequestQueue();
    ~CAsyncRequestQueue();

    bool Empty() const { return m_head == m_tail; }
    bool Full() const { return (m_tail + 1) % kSlots == m_head; }
    // Moves the request to the tail; false when the queue is full.
    bool Push(AsyncRequest &request);
    // Moves the head request out; false when the queue is empty.
    bool Pop(AsyncRequest &request);
    // Marks the first waiting request with this cancel ID; false if none.
    bool MarkCancelled(DWORD cancelId);
    // Releases every waiting request.
    void Clear();

private:
    std::vector<AsyncRequest> m_slots;
    unsigned m_head;
    unsigned m_tail;
};
