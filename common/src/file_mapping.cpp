// file_mapping.cpp - the segment's kernel objects: creating or opening the
// named mutex, the header mapping and its view, the numbered data mappings,
// releasing them, and the segment's debug texts and clock.
#include "file_mapping.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace {

// A mapping smaller than it claims (made by something else) must not be
// taken: nothing may be read or written beyond its end.
bool ViewCovers(const void *view, std::size_t size)
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(view, &info, sizeof(info)) != sizeof(info))
        return false;
    return info.RegionSize >= size;
}

std::string DataMappingName(std::uint32_t number)
{
    return kSegmentDataPrefix + std::to_string(number);
}

} // namespace

XFileMapping::XFileMapping(Role role) : m_role(role)
{
    ResetSegmentHeader(m_header);
    m_wakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

XFileMapping::~XFileMapping()
{
    if (m_wakeEvent != nullptr)
        CloseHandle(m_wakeEvent);
    if (m_snapshotEvent != nullptr)
        CloseHandle(m_snapshotEvent);
    ReleaseData();
    if (m_pMappingAddress != nullptr)
        UnmapViewOfFile(m_pMappingAddress);
    if (m_hMapping != nullptr)
        CloseHandle(m_hMapping);
    if (m_hMutex != nullptr)
        CloseHandle(m_hMutex);
}

void *XFileMapping::InitMapping()
{
    Trace("InitMapping\r\n");
    ReleaseObjects();
    // The data mapping went with the other objects: the next writer cycle
    // stores the content afresh, in a new one.
    m_hasWritten = false;
    return CreateOrOpenObjects();
}

void XFileMapping::Wake()
{
    if (m_wakeEvent != nullptr)
        SetEvent(m_wakeEvent);
}

void XFileMapping::ReleaseObjects()
{
    ReleaseData();
    if (m_snapshotEvent != nullptr) {
        CloseHandle(m_snapshotEvent);
        m_snapshotEvent = nullptr;
    }
    if (m_hMutex != nullptr) {
        Trace("CloseHandle(m_hMutex);\r\n");
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    if (m_pMappingAddress != nullptr) {
        Trace("UnmapViewOfFile(m_pMappingAddress);\r\n");
        UnmapViewOfFile(m_pMappingAddress);
        m_pMappingAddress = nullptr;
    }
    if (m_hMapping != nullptr) {
        Trace("CloseHandle(m_hMapping)\r\n");
        CloseHandle(m_hMapping);
        m_hMapping = nullptr;
    }
}

void XFileMapping::ReleaseData()
{
    if (m_pDataAddress != nullptr)
        UnmapViewOfFile(m_pDataAddress);
    if (m_hData != nullptr)
        CloseHandle(m_hData);
    m_pDataAddress = nullptr;
    m_hData = nullptr;
    m_dataNumber = 0;
    m_dataCapacity = 0;
    m_dataLayoutSerial = 0;
}

void *XFileMapping::CreateOrOpenObjects()
{
    if (m_role == Role::kCreate)
        m_hMutex = CreateMutexA(nullptr, FALSE, kSegmentMutexName);
    else
        m_hMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kSegmentMutexName);
    if (m_hMutex == nullptr) {
        const DWORD error = GetLastError();
        Trace("m_hMutex=NULL\r\n");
        SetLastError(error);
        return nullptr;
    }

    bool existed = false;
    if (m_role == Role::kCreate) {
        SetLastError(ERROR_SUCCESS);
        m_hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(kSegmentSize), kSegmentMappingName);
        existed = m_hMapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    } else {
        m_hMapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSegmentMappingName);
    }
    if (m_hMapping == nullptr) {
        const DWORD error = GetLastError();
        Trace("m_hMapping=NULL\r\n");
        SetLastError(error);
        return nullptr;
    }

    void *view = MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    const DWORD error = view != nullptr ? ERROR_SUCCESS : GetLastError();
    char text[48];
    std::snprintf(text, sizeof(text), "m_hMapping=%" PRIXPTR, reinterpret_cast<std::uintptr_t>(view));
    Trace(text);
    if (view == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    if (!ViewCovers(view, kSegmentSize)) {
        UnmapViewOfFile(view);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    m_pMappingAddress = view;
    // Without the event the reader simply takes a snapshot at its next cycle.
    m_snapshotEvent = m_role == Role::kCreate ? CreateEventA(nullptr, FALSE, FALSE, kSegmentNewSnapshotEvent)
                                              : OpenEventA(SYNCHRONIZE, FALSE, kSegmentNewSnapshotEvent);
    if (m_role == Role::kCreate && existed) {
        // A reader still holds the objects of an earlier writer: go on from
        // its numbers, so that no snapshot or data mapping name repeats.
        const SegmentHeader *earlier = Header();
        if (SegmentHeaderUsable(*earlier)) {
            m_header.heartbeat = earlier->heartbeat;
            m_header.generation = earlier->generation;
            m_header.layoutGeneration = earlier->layoutGeneration;
            if (earlier->dataNumber >= m_nextDataNumber)
                m_nextDataNumber = earlier->dataNumber + 1;
        }
    }
    return view;
}

bool XFileMapping::CreateDataMapping(std::size_t capacity)
{
    // A number whose mapping still exists (held by a reader, or by someone
    // else) is skipped: its old content must not pass for the new snapshot.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::uint32_t number = m_nextDataNumber++;
        if (m_nextDataNumber == 0)
            m_nextDataNumber = 1;
        SetLastError(ERROR_SUCCESS);
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(capacity), DataMappingName(number).c_str());
        if (mapping == nullptr)
            return false;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mapping);
            continue;
        }
        void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
        if (view == nullptr) {
            CloseHandle(mapping);
            return false;
        }
        ReleaseData();
        m_hData = mapping;
        m_pDataAddress = view;
        m_dataNumber = number;
        m_dataCapacity = capacity;
        return true;
    }
    return false;
}

bool XFileMapping::OpenDataMapping(std::uint32_t number, std::size_t capacity, std::size_t size)
{
    // Only the capacity the header announces is mapped, never more than a
    // writer makes: a larger mapping made by something else costs no
    // address space beyond that.
    if (capacity == 0 || capacity > kSegmentDataMaxSize || size > capacity)
        return false;
    if (number != m_dataNumber || m_pDataAddress == nullptr || capacity != m_dataCapacity) {
        ReleaseData();
        HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, DataMappingName(number).c_str());
        if (mapping == nullptr)
            return false;
        // Fails when the mapping is smaller than the capacity announced.
        void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, capacity);
        if (view == nullptr) {
            CloseHandle(mapping);
            return false;
        }
        m_hData = mapping;
        m_pDataAddress = view;
        m_dataNumber = number;
        m_dataCapacity = capacity;
    }
    return ViewCovers(m_pDataAddress, size);
}

void XFileMapping::RemapDataView()
{
    if (m_hData == nullptr || m_pDataAddress == nullptr)
        return;
    void *view = MapViewOfFile(m_hData, FILE_MAP_READ, 0, 0, m_dataCapacity);
    if (view == nullptr)
        return; // the old view stays, with its pages
    UnmapViewOfFile(m_pDataAddress);
    m_pDataAddress = view;
}

void XFileMapping::Trace(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

std::uint64_t XFileMapping::CurrentTime() const
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

DWORD XFileMapping::CurrentTick() const
{
    return GetTickCount();
}
