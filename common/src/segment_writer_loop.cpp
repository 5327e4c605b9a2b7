// segment_writer_loop.cpp - the gateway's side of the segment: one snapshot
// every cycle, serialized straight into the view through a stream of fixed
// capacity (no intermediate buffer), and the loop that repeats it.
#include "file_mapping.h"
#include "segment_mutex_lock.h"

#include <boost/archive/binary_oarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>

#include <cstring>

namespace {

// Written over the count of a snapshot that could not be completed: no
// reader takes a negative count as a snapshot.
const std::int32_t kNoSnapshotCount = -1;

std::streamoff PutPosition(std::streambuf &stream)
{
    return stream.pubseekoff(0, std::ios_base::cur, std::ios_base::out);
}

} // namespace

void XFileMapping::ThreadServer()
{
    if (InitMapping() == nullptr) {
        OnOpenFailed(GetLastError());
        return;
    }
    while (!StopRequested()) {
        WriteSnapshot();
        Sleep(kSegmentCycleMs);
    }
}

bool XFileMapping::WriteSnapshot()
{
    if (m_pMappingAddress == nullptr)
        return false;
    char *view = static_cast<char *>(m_pMappingAddress);
    boost::interprocess::bufferbuf stream(view, kSegmentSize, std::ios_base::out);
    try {
        // The header goes out before the mutex is taken; its bytes are the
        // same every time.
        boost::archive::binary_oarchive archive(stream);
        CSegmentMutexLock lock(m_hMutex);
        if (!lock.Owned())
            return false;
        const std::int64_t stamp = CurrentTime();
        archive << stamp;
        const std::streamoff countOffset = PutPosition(stream);
        try {
            WriteContent(archive);
            stream.pubsync();
        } catch (...) {
            // Too big for the segment (or the content failed half-way): the
            // records written so far must not pass for a snapshot.
            std::memcpy(view + countOffset, &kNoSnapshotCount, sizeof(kNoSnapshotCount));
            return false;
        }
        m_lastSnapshotSize = static_cast<std::size_t>(PutPosition(stream));
        return true;
    } catch (...) {
        return false;
    }
}
