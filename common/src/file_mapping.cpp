// file_mapping.cpp - the segment's kernel objects: creating or opening the
// named mutex, the paging-file mapping and its view, releasing them, and the
// segment's debug texts and clock.
#include "file_mapping.h"

#include <cinttypes>
#include <cstdio>

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
const std::uint64_t kFileTimeOfUnixEpoch = 116444736000000000ULL;

// A mapping of the right name but created smaller (by something else) must
// not be taken: both loops put a stream of the full segment size on the view.
bool ViewCoversSegment(const void *view)
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(view, &info, sizeof(info)) != sizeof(info))
        return false;
    return info.RegionSize >= kSegmentSize;
}

} // namespace

XFileMapping::XFileMapping(Role role) : m_role(role) {}

XFileMapping::~XFileMapping()
{
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
    return CreateOrOpenObjects();
}

void XFileMapping::ReleaseObjects()
{
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

    if (m_role == Role::kCreate)
        m_hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(kSegmentSize), kSegmentMappingName);
    else
        m_hMapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSegmentMappingName);
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
    if (!ViewCoversSegment(view)) {
        UnmapViewOfFile(view);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    m_pMappingAddress = view;
    return view;
}

void XFileMapping::Trace(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

std::int64_t XFileMapping::CurrentTime() const
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>((ticks - kFileTimeOfUnixEpoch) / 10000000ULL);
}
