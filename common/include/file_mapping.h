// file_mapping.h - XFileMapping, the shared data segment as both programs see
// it: a named mutex, a named paging-file mapping holding the segment header,
// and the data mapping that holds the current snapshot of the records; the
// gateway's writer loop and the service's reader loop.
//
// The writer advances the header's heartbeat every cycle and writes a new
// snapshot only when its content changed: the values part every time, the
// layout part only when the layout changed (or the data mapping is new). The
// reader parses the records only when the header announces a new snapshot,
// the layout only when the header announces a new one, and takes the writer
// as gone when the heartbeat stops for kStaleMs. When a snapshot no longer
// fits its data mapping the writer moves it to a larger one under the next
// number.
#pragma once

#include "segment_constants.h"
#include "segment_header.h"
#include "segment_records.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

class XFileMapping {
public:
    // The gateway creates the kernel objects, the service opens them.
    enum class Role { kCreate, kOpen };

    // Outcome of one reader cycle.
    enum class ReadResult {
        kNewSnapshot, // a snapshot not taken before was parsed by ReadContent
        kUnchanged,   // no new snapshot since the last one taken
        kNotReady,    // no usable header (not written yet, foreign, abandoned mutex) or mutex busy
        kMalformed    // the announced snapshot could not be read; it is tried again
                      // when the header announces other data, or after
                      // kSegmentMalformedRetryMs
    };

    // What WriteContent saved: the content's generation (as ContentGeneration
    // gives it) and the number of records.
    using ContentInfo = SegmentContent;

    explicit XFileMapping(Role role);
    virtual ~XFileMapping();
    XFileMapping(const XFileMapping &) = delete;
    XFileMapping &operator=(const XFileMapping &) = delete;

    // Releases whatever is held, then creates or opens the mutex, the header
    // mapping and its view. Returns the view, or null (GetLastError tells why).
    void *InitMapping();

    // The gateway's writer loop: runs on a thread of its own until the
    // process ends (or RequestStop). Ends at once when the objects cannot be
    // created, after OnOpenFailed.
    void ThreadServer();
    // The service's reader loop: opens the segment (retrying), takes every
    // new snapshot, reports a writer gone (OnStale) and reopens after that.
    void ThreadClient();

    // One writer cycle: heartbeat, and a new snapshot when the content's
    // generation moved. False when the cycle could not publish what it
    // should (no view, mutex busy, the snapshot could not be stored).
    bool WriteSnapshot();
    // One reader cycle, without the pauses and the staleness of the loop.
    ReadResult ReadSnapshot();
    // Reader: the writer is taken as gone - segment not open, heartbeat not
    // seen advancing for kStaleMs, or its snapshot unreadable.
    bool WriterGone() const;

    // Writer: bytes of the last snapshot stored, and its content generation.
    std::size_t LastSnapshotSize() const { return m_lastSnapshotSize; }
    std::uint64_t WrittenGeneration() const { return m_writtenGeneration.load(); }
    bool HasWritten() const { return m_hasWritten.load(); }
    void *GetMappingAddress() const { return m_pMappingAddress; }

    // Writer: the largest data mapping it makes (kSegmentDataMaxSize).
    void SetDataSizeLimit(std::size_t bytes) { m_dataSizeLimit = bytes; }

    // Releases every object held (as InitMapping does first).
    void CloseMapping() { ReleaseObjects(); }

    // Writer: starts the next cycle now (the content just changed) instead
    // of after the cycle's pause.
    void Wake();

    // Ends ThreadServer / ThreadClient at their next cycle; a loop run again
    // afterwards needs ClearStopRequest first.
    void RequestStop() { m_stopRequested = true; }
    void ClearStopRequest() { m_stopRequested = false; }
    bool StopRequested() const { return m_stopRequested; }

    // Hooks, in this order.
    // Reader: the writer is taken as gone; once per such period.
    virtual void OnStale() {}
    virtual void OnReserved(int /*code*/) {} // not called by the segment logic
    virtual void OnOpenFailed(DWORD /*error*/) {}
    // Writer: hands the records of one snapshot to the snapshot writer
    // (Begin, then Add for each).
    virtual ContentInfo WriteContent(CSegmentSnapshotWriter &snapshot) = 0;
    // Writer: the current generation of the content; a snapshot is written
    // whenever it differs from the one last written.
    virtual std::uint64_t ContentGeneration() { return 0; }
    // Reader: parses one snapshot's bytes (under the segment mutex): size
    // bytes whose first layoutSize are the layout, parsed again only when
    // newLayout; false when they are not a snapshot to take.
    virtual bool ReadContent(const char *data, std::size_t layoutSize, std::size_t size,
                             bool newLayout) = 0;
    // Reader: a new snapshot was parsed; called after the mutex is released.
    virtual void OnContent() {}
    // One debug text; standard output here.
    virtual void Trace(const char *text);
    // UTC FILETIME, and the millisecond tick the staleness is measured with.
    virtual std::uint64_t CurrentTime() const;
    virtual DWORD CurrentTick() const;

protected:
    HANDLE m_hMutex = nullptr;
    HANDLE m_hMapping = nullptr;
    void *m_pMappingAddress = nullptr;

private:
    SegmentHeader *Header() const { return static_cast<SegmentHeader *>(m_pMappingAddress); }
    void ReleaseObjects();
    void ReleaseData();
    void *CreateOrOpenObjects();
    void WaitForOpenSegment(bool traceEachFailure);
    // Writer: collects the content and stores it in the data mapping
    // (growing it as needed).
    bool StoreSnapshot(ContentInfo &info, std::size_t &layoutSize, std::size_t &size);
    bool CreateDataMapping(std::size_t capacity);
    // Reader: maps capacity bytes of data mapping number for reading size
    // of them.
    bool OpenDataMapping(std::uint32_t number, std::size_t capacity, std::size_t size);
    // Reader: maps the data view anew, so that the pages of a layout just
    // parsed leave this process's working set (a layout is read once; the
    // values behind it are read with every snapshot).
    void RemapDataView();
    // Reader: whether a snapshot that could not be parsed is due for
    // another try (other data announced, or kSegmentMalformedRetryMs on).
    bool MalformedRetryDue(const SegmentHeader &header) const;

    const Role m_role;
    std::atomic<bool> m_stopRequested{false};

    HANDLE m_wakeEvent = nullptr;     // writer: ends the pause between cycles
    HANDLE m_snapshotEvent = nullptr; // set by the writer, waited for by the reader
    HANDLE m_hData = nullptr;
    void *m_pDataAddress = nullptr;
    std::uint32_t m_dataNumber = 0;
    std::size_t m_dataCapacity = 0;
    std::uint32_t m_dataLayoutSerial = 0; // the layout the data mapping holds; 0 = none

    // Writer.
    SegmentHeader m_header;
    CSegmentSnapshotWriter m_snapshot;
    std::uint32_t m_announcedLayout = 0; // the snapshot writer's layout serial in the header
    std::uint32_t m_nextDataNumber = 1;
    std::atomic<std::uint64_t> m_writtenGeneration{0};
    std::atomic<bool> m_hasWritten{false};
    std::size_t m_lastSnapshotSize = 0;
    std::size_t m_dataSizeLimit = kSegmentDataMaxSize;

    // Reader.
    bool m_seenHeartbeat = false;
    std::uint64_t m_lastHeartbeat = 0;
    DWORD m_lastAliveTick = 0;
    bool m_hasRead = false;
    std::uint32_t m_readGeneration = 0;
    std::uint32_t m_readLayoutGeneration = 0; // 0 = no layout taken
    std::uint32_t m_readWriterId = 0;
    bool m_malformed = false;
    SegmentHeader m_malformedHeader = {}; // the header of the snapshot refused
    DWORD m_malformedTick = 0;              // when it was last tried
    bool m_forceRead = false;
};
