// write_to_dec.h - the write-forwarding worker: a fixed ring of 1024 client
// writes (1023 waiting at most) and the thread that hands them to the host
// callback one at a time, in queue order.
#pragma once

#include "dakora_da.h"
#include "lock.h"
#include "rix_thread.h"

struct WriteRequest {
    char itemId[80];
    FILETIME timestamp;
    WORD quality;
    WORD reserved;
    VARIANT value; // owned by the slot
};

#if defined(__i386__)
static_assert(sizeof(WriteRequest) == 112, "write ring slot layout");
#endif

class CWriteToDec : public RIX::CThread {
public:
    static const unsigned kCapacity = 1024;

    CWriteToDec();
    ~CWriteToDec() override;

    const char *Name() const override;

    void SetHost(dakora_write_callback callback, void *userData);
    // Starts the worker thread when it is not running.
    void StartWorker();
    // Asks the worker to end and waits (100 ms polls) until it has ended.
    // Writes still queued stay in the ring.
    void StopWorker();

    // Queues one client write. False when the ring is full.
    bool Enqueue(const char *itemId, const FILETIME &timestamp, WORD quality,
                 const VARIANT &value);
    unsigned Pending();

protected:
    void Step() override;

private:
    WriteRequest *m_ring;
    unsigned m_head;
    unsigned m_tail;
    HANDLE m_workEvent;
    CLock m_lock;
    dakora_write_callback m_callback;
    void *m_userData;
};
