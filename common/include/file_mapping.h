// file_mapping.h - XFileMapping, the shared data segment as both programs see
// it: a named mutex, a named paging-file mapping and its view, the gateway's
// writer loop and the service's reader loop. One snapshot is a binary archive
// written straight into the view: the archive header, a 64-bit time stamp,
// an int32 count and that many CVariant records.
#pragma once

#include "segment_constants.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace boost {
namespace archive {
class binary_iarchive;
class binary_oarchive;
} // namespace archive
} // namespace boost

class XFileMapping {
public:
    // The gateway creates the kernel objects, the service opens them.
    enum class Role { kCreate, kOpen };

    // Outcome of one reader cycle.
    enum class ReadResult {
        kRead,     // a complete snapshot was handed to ReadContent
        kNotReady, // no complete snapshot to take (not written yet, cut short, unreadable)
        kStale     // the snapshot's time stamp is too old; the caller reopens
    };

    explicit XFileMapping(Role role);
    virtual ~XFileMapping();
    XFileMapping(const XFileMapping &) = delete;
    XFileMapping &operator=(const XFileMapping &) = delete;

    // Releases whatever is held, then creates or opens the mutex, the mapping
    // and the view. Returns the view, or null (GetLastError tells why).
    void *InitMapping();

    // The gateway's writer loop: runs on a thread of its own until the
    // process ends (or RequestStop). Ends at once when the objects cannot be
    // created, after OnOpenFailed.
    void ThreadServer();
    // The service's reader loop: opens the segment (retrying), then reloads
    // every cycle and reopens after a stale snapshot.
    void ThreadClient();

    // One writer cycle: header, stamp and content under the mutex. False when
    // nothing was published (no view, or the content did not fit; then the
    // segment holds no snapshot a reader would take).
    bool WriteSnapshot();
    // One reader cycle, without the pauses of the loop.
    ReadResult ReadSnapshot();

    // Bytes of the last snapshot that WriteSnapshot completed, header included.
    std::size_t LastSnapshotSize() const { return m_lastSnapshotSize; }
    void *GetMappingAddress() const { return m_pMappingAddress; }

    // Ends ThreadServer / ThreadClient at their next cycle.
    void RequestStop() { m_stopRequested = true; }
    bool StopRequested() const { return m_stopRequested; }

    // Hooks, in this order.
    virtual void OnStale() {}
    virtual void OnReserved(int /*code*/) {} // not called by the segment logic
    virtual void OnOpenFailed(DWORD /*error*/) {}
    // Saves the count and the records of one snapshot.
    virtual void WriteContent(boost::archive::binary_oarchive &archive) = 0;
    // Loads the count and the records of one snapshot; false when the
    // content is not a snapshot to take.
    virtual bool ReadContent(boost::archive::binary_iarchive &archive) = 0;
    // One debug text; standard output here.
    virtual void Trace(const char *text);
    // Seconds since 1970-01-01 00:00 UTC: the writer's stamp, the reader's clock.
    virtual std::int64_t CurrentTime() const;

protected:
    HANDLE m_hMutex = nullptr;
    HANDLE m_hMapping = nullptr;
    void *m_pMappingAddress = nullptr;

private:
    void ReleaseObjects();
    void *CreateOrOpenObjects();
    void WaitForOpenSegment(bool traceEachFailure);

    const Role m_role;
    std::atomic<bool> m_stopRequested{false};
    std::size_t m_lastSnapshotSize = 0;
};
