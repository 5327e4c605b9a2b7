// segment_reader_loop.cpp - the service's side of the segment: one reload
// per cycle with the stale rule, and the loop that opens, reloads and reopens.
#include "file_mapping.h"
#include "segment_mutex_lock.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>

#include <cstring>

namespace {

// Marks the snapshot under an abandoned mutex as no snapshot, like the
// writer does when it cannot complete one.
const std::int32_t kNoSnapshotCount = -1;

std::streamoff GetPosition(std::streambuf &stream)
{
    return stream.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
}

} // namespace

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
    while (!StopRequested()) {
        if (ReadSnapshot() == ReadResult::kStale) {
            WaitForOpenSegment(true);
            if (!StopRequested())
                Trace("OK\r\n");
            continue; // straight on, without a pause
        }
        Sleep(kSegmentCycleMs);
    }
}

XFileMapping::ReadResult XFileMapping::ReadSnapshot()
{
    if (m_pMappingAddress == nullptr)
        return ReadResult::kNotReady;
    char *view = static_cast<char *>(m_pMappingAddress);
    boost::interprocess::bufferbuf stream(view, kSegmentSize, std::ios_base::in);
    try {
        // The header is read and checked before the mutex is taken; a
        // mapping that was created but not written yet fails here.
        boost::archive::binary_iarchive archive(stream);
        const std::streamoff stampOffset = GetPosition(stream);
        CSegmentMutexLock lock(m_hMutex);
        if (!lock.Owned())
            return ReadResult::kNotReady;
        if (lock.Abandoned()) {
            // The writer ended while it held the mutex: its snapshot may be
            // half written. It stays unread until a writer replaces it.
            std::memcpy(view + stampOffset + sizeof(std::int64_t), &kNoSnapshotCount,
                        sizeof(kNoSnapshotCount));
            return ReadResult::kNotReady;
        }
        std::int64_t stamp = 0;
        archive >> stamp;
        if (stamp == 0)
            return ReadResult::kNotReady; // mapping created, nothing written yet
        const double age = static_cast<double>(CurrentTime() - stamp);
        if (age >= kStaleSeconds) {
            OnStale();
            return ReadResult::kStale;
        }
        return ReadContent(archive) ? ReadResult::kRead : ReadResult::kNotReady;
    } catch (...) {
        return ReadResult::kNotReady;
    }
}
