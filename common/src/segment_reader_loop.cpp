// segment_reader_loop.cpp - the service's side of the segment: one reader
// cycle (heartbeat seen, new snapshot parsed from its data mapping), the
// staleness rule, and the loop that opens, reads, reports a writer gone and
// reopens.
#include "file_mapping.h"
#include "segment_mutex_lock.h"

#include <cstring>

void XFileMapping::WaitForOpenSegment(bool traceEachFailure)
{
    while (!StopRequested() && InitMapping() == nullptr) {
        if (traceEachFailure)
            Trace("pBuffer=NULL\r\n");
        Sleep(kSegmentCycleMs);
    }
}

void XFileMapping::ThreadClient()
{
    Trace("ThreadClient\r\n");
    WaitForOpenSegment(false);
    bool stale = false;
    while (!StopRequested()) {
        ReadResult result = ReadSnapshot();
        if (result == ReadResult::kNewSnapshot)
            OnContent();
        const bool gone = WriterGone();
        if (gone && !stale) {
            stale = true;
            OnStale();
            // A gateway that comes back may have made new objects.
            WaitForOpenSegment(true);
            if (!StopRequested())
                Trace("OK\r\n");
            continue; // straight on, without a pause
        }
        if (!gone && stale) {
            stale = false;
            // Back: the current snapshot is taken again, whether or not it
            // changed meanwhile, so that every record is published afresh.
            if (result != ReadResult::kNewSnapshot) {
                m_forceRead = true;
                if (ReadSnapshot() == ReadResult::kNewSnapshot)
                    OnContent();
            }
        }
        if (m_snapshotEvent != nullptr)
            WaitForSingleObject(m_snapshotEvent, kSegmentCycleMs);
        else
            Sleep(kSegmentCycleMs);
    }
}

bool XFileMapping::WriterGone() const
{
    if (m_pMappingAddress == nullptr || m_malformed || !m_seenHeartbeat)
        return true;
    return CurrentTick() - m_lastAliveTick >= kStaleMs;
}

XFileMapping::ReadResult XFileMapping::ReadSnapshot()
{
    if (m_pMappingAddress == nullptr)
        return ReadResult::kNotReady;
    CSegmentMutexLock lock(m_hMutex, kSegmentMutexWaitMs);
    if (!lock.Owned())
        return ReadResult::kNotReady;
    if (lock.Abandoned()) {
        // The writer ended while it held the mutex: the header may be half
        // written. It stays unread until a writer writes it again.
        std::memset(Header()->magic, 0, sizeof(Header()->magic));
        return ReadResult::kNotReady;
    }
    SegmentHeader header;
    std::memcpy(&header, m_pMappingAddress, sizeof(header));
    if (!SegmentHeaderUsable(header))
        return ReadResult::kNotReady;

    if (!m_seenHeartbeat || header.heartbeat != m_lastHeartbeat) {
        m_seenHeartbeat = true;
        m_lastHeartbeat = header.heartbeat;
        m_lastAliveTick = CurrentTick();
    }
    // Another writer (a restarted gateway) counts its generations anew.
    const bool otherWriter = header.writerId != m_readWriterId;
    if (m_hasRead && header.generation == m_readGeneration && !m_forceRead && !otherWriter &&
        !(m_malformed && MalformedRetryDue(header)))
        return ReadResult::kUnchanged;

    const bool newLayout = !m_hasRead || m_forceRead || otherWriter || m_readLayoutGeneration == 0 ||
                           header.layoutGeneration != m_readLayoutGeneration;
    m_hasRead = true;
    m_readGeneration = header.generation;
    m_readWriterId = header.writerId;
    m_forceRead = false;
    const bool taken = header.dataNumber != 0 &&
                       OpenDataMapping(header.dataNumber, header.dataCapacity, header.dataSize) &&
                       ReadContent(static_cast<const char *>(m_pDataAddress), header.layoutSize,
                                   header.dataSize, newLayout);
    m_malformed = !taken;
    if (taken && newLayout)
        RemapDataView();
    // A layout that could not be taken is parsed again next time.
    m_readLayoutGeneration = taken ? header.layoutGeneration : 0;
    if (!taken) {
        // The records taken last stay; this snapshot is tried again later,
        // so that one bad read does not stick while the writer is alive.
        m_malformedHeader = header;
        m_malformedTick = CurrentTick();
        return ReadResult::kMalformed;
    }
    return ReadResult::kNewSnapshot;
}

bool XFileMapping::MalformedRetryDue(const SegmentHeader &header) const
{
    const bool otherData = header.dataNumber != m_malformedHeader.dataNumber ||
                           header.dataCapacity != m_malformedHeader.dataCapacity ||
                           header.dataSize != m_malformedHeader.dataSize ||
                           header.layoutSize != m_malformedHeader.layoutSize ||
                           header.recordCount != m_malformedHeader.recordCount;
    return otherData || CurrentTick() - m_malformedTick >= kSegmentMalformedRetryMs;
}
