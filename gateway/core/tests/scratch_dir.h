// scratch_dir.h - a directory of its own under the temporary folder for one
// test, emptied and removed afterwards; small file helpers.
#pragma once

#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class CScratchDir {
public:
    CScratchDir()
    {
        static std::atomic<int> counter{0};
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + "lumaret_test_" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++counter);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~CScratchDir()
    {
        for (const std::string &name : Names()) {
            const std::string full = m_path + "\\" + name;
            if (!DeleteFileA(full.c_str()))
                RemoveDirectoryA(full.c_str());
        }
        RemoveDirectoryA(m_path.c_str());
    }
    CScratchDir(const CScratchDir &) = delete;
    CScratchDir &operator=(const CScratchDir &) = delete;

    const std::string &Path() const { return m_path; }
    std::string File(const std::string &name) const { return m_path + "\\" + name; }

    // Names of the entries in the directory, without "." and "..".
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((m_path + "\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
        return names;
    }

private:
    std::string m_path;
};

inline std::string ReadWholeFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
