// segment_writer_loop.cpp - the gateway's side of the segment: every cycle
// the header's heartbeat, and a new snapshot of the records whenever their
// content changed: the values saved straight into the data mapping, the
// layout copied there only when it is new to the mapping; moved to a larger
// mapping when it outgrows its own.
#include "file_mapping.h"
#include "segment_mutex_lock.h"

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

bool XFileMapping::StoreSnapshot(ContentInfo &info, std::size_t &layoutSize, std::size_t &size)
{
    // The content is collected once, under whatever lock guards it; storing
    // it touches only the snapshot writer's copy.
    info = WriteContent(m_snapshot);
    if (!m_snapshot.Complete())
        return false;
    const std::string &layout = m_snapshot.LayoutBytes();
    std::size_t capacity = m_dataCapacity != 0 ? m_dataCapacity : kSegmentDataInitialSize;
    for (;;) {
        if (m_pDataAddress == nullptr && !CreateDataMapping(capacity))
            return false;
        char *data = static_cast<char *>(m_pDataAddress);
        std::size_t valuesSize = 0;
        if (layout.size() <= m_dataCapacity) {
            // The layout is written only when this mapping has not got it.
            if (m_dataLayoutSerial != m_snapshot.LayoutSerial()) {
                std::memcpy(data, layout.data(), layout.size());
                m_dataLayoutSerial = m_snapshot.LayoutSerial();
            }
            if (m_snapshot.StoreValues(data + layout.size(), m_dataCapacity - layout.size(), valuesSize)) {
                layoutSize = layout.size();
                size = layout.size() + valuesSize;
                return true;
            }
        }
        // Does not fit: the next try goes to a new, larger mapping.
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
    m_header.writerId = GetCurrentProcessId();
    const std::uint64_t generation = ContentGeneration();
    if (!m_hasWritten || generation != m_writtenGeneration) {
        ContentInfo info;
        std::size_t layoutSize = 0;
        std::size_t size = 0;
        ++m_header.generation;
        if (StoreSnapshot(info, layoutSize, size)) {
            m_header.recordCount = info.count;
            m_header.dataNumber = m_dataNumber;
            m_header.dataCapacity = static_cast<std::uint32_t>(m_dataCapacity);
            m_header.dataSize = static_cast<std::uint32_t>(size);
            m_header.layoutSize = static_cast<std::uint32_t>(layoutSize);
            // A layout saved anew is announced under a new number (a copy of
            // the same layout into a larger mapping is not).
            if (m_snapshot.LayoutSerial() != m_announcedLayout) {
                m_announcedLayout = m_snapshot.LayoutSerial();
                if (++m_header.layoutGeneration == 0)
                    m_header.layoutGeneration = 1;
            }
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
            m_header.layoutSize = 0;
            published = false;
        }
    }
    std::memcpy(m_pMappingAddress, &m_header, sizeof(m_header));
    return published;
}
