// remote_memory.cpp - memory in another process through VirtualAllocEx.
#include "remote_memory.h"

#include <vector>

CRemoteMemory::CRemoteMemory(HWND window, std::size_t size) : m_size(size)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (m_process == nullptr)
        return;
    m_address = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

CRemoteMemory::~CRemoteMemory()
{
    if (m_address != nullptr)
        VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
    if (m_process != nullptr)
        CloseHandle(m_process);
}

bool CRemoteMemory::Write(std::size_t offset, const void *bytes, std::size_t size)
{
    if (m_address == nullptr || offset + size > m_size)
        return false;
    SIZE_T written = 0;
    return WriteProcessMemory(m_process, Address(offset), bytes, size, &written) && written == size;
}

bool CRemoteMemory::Read(std::size_t offset, void *bytes, std::size_t size) const
{
    if (m_address == nullptr || offset + size > m_size)
        return false;
    SIZE_T read = 0;
    return ReadProcessMemory(m_process, Address(offset), bytes, size, &read) && read == size;
}

std::string CRemoteMemory::ReadText(std::size_t offset, std::size_t size) const
{
    std::vector<char> text(size + 1, '\0');
    if (!Read(offset, text.data(), size))
        return std::string();
    return std::string(text.data());
}
