// segment_writer_loop.cpp - the gateway's side of the segment: every cycle
// the header's heartbeat, and a new snapshot of the records whenever their
// content changed, serialized straight into the data mapping (no
// intermediate buffer), moved to a larger mapping when it outgrows its own.
#include "file_mapping.h"
#include "segment_mutex_lock.h"

#include <boost/archive/binary_oarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>

#include <cstring>

void XFileMapping::ThreadServer()
{
    if (InitMapping() == nullptr) {
        OnOpenFailed(GetLastError());
        return;
    }
    while (!StopRequested()) {
        WriteSnapshot();
        WaitForSingleObject(m_wakeEvent, kSegmentCycleMs);
    }
}

bool XFileMapping::StoreSnapshot(ContentInfo &info, std::size_t &size)
{
    std::size_t capacity = m_dataCapacity != 0 ? m_dataCapacity : kSegmentDataInitialSize;
    for (;;) {
        if (m_pDataAddress == nullptr && !CreateDataMapping(capacity))
            return false;
        boost::interprocess::bufferbuf stream(static_cast<char *>(m_pDataAddress), m_dataCapacity,
                                              std::ios_base::out);
        try {
            boost::archive::binary_oarchive archive(stream);
            info = WriteContent(archive);
            stream.pubsync();
            size = static_cast<std::size_t>(stream.pubseekoff(0, std::ios_base::cur, std::ios_base::out));
            return true;
        } catch (...) {
            // Did not fit (or the content failed half-way): what was written
            // is no snapshot. The next try goes to a new, larger mapping.
        }
        if (m_dataCapacity * 2 > m_dataSizeLimit)
            return false;
        capacity = m_dataCapacity * 2;
        ReleaseData();
    }
}

bool XFileMapping::WriteSnapshot()
{
    if (m_pMappingAddress == nullptr)
        return false;
    CSegmentMutexLock lock(m_hMutex, kSegmentMutexWaitMs);
    if (!lock.Owned())
        return false;

    bool published = true;
    ++m_header.heartbeat;
    m_header.writeTime = CurrentTime();
    const std::uint64_t generation = ContentGeneration();
    if (!m_hasWritten || generation != m_writtenGeneration) {
        ContentInfo info;
        std::size_t size = 0;
        ++m_header.generation;
        if (StoreSnapshot(info, size)) {
            m_header.recordCount = info.count;
            m_header.dataNumber = m_dataNumber;
            m_header.dataCapacity = static_cast<std::uint32_t>(m_dataCapacity);
            m_header.dataSize = static_cast<std::uint32_t>(size);
            m_lastSnapshotSize = size;
            m_writtenGeneration = info.generation;
            m_hasWritten = true;
            if (m_snapshotEvent != nullptr)
                SetEvent(m_snapshotEvent);
        } else {
            // No snapshot at all rather than a torn one; tried again next cycle.
            m_header.recordCount = 0;
            m_header.dataNumber = 0;
            m_header.dataCapacity = 0;
            m_header.dataSize = 0;
            published = false;
        }
    }
    std::memcpy(m_pMappingAddress, &m_header, sizeof(m_header));
    return published;
}
