// remote_memory.h - CRemoteMemory, a block of memory inside the process of
// a window, for control messages whose pointers the system does not carry
// across processes (list view, tree view, status bar, button notes).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class CRemoteMemory {
public:
    // Memory in the process that owns window; Valid() tells whether it worked.
    CRemoteMemory(HWND window, std::size_t size);
    ~CRemoteMemory();
    CRemoteMemory(const CRemoteMemory &) = delete;
    CRemoteMemory &operator=(const CRemoteMemory &) = delete;

    bool Valid() const { return m_address != nullptr; }
    // Address in the other process, as a message parameter.
    void *Address(std::size_t offset = 0) const { return static_cast<char *>(m_address) + offset; }
    LPARAM Param(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(Address(offset)); }

    bool Write(std::size_t offset, const void *bytes, std::size_t size);
    bool Read(std::size_t offset, void *bytes, std::size_t size) const;
    // A zero-terminated text at offset, at most size bytes.
    std::string ReadText(std::size_t offset, std::size_t size) const;

private:
    HANDLE m_process = nullptr;
    void *m_address = nullptr;
    std::size_t m_size = 0;
};
