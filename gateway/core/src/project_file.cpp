// project_file.cpp - the project file "qlrsvr.savefile.v2.01" on disk; its
// bytes are the archive of project_archive.cpp.
// A save goes to a temporary file that replaces the old one only once it is
// complete; a file that cannot be read, or whose last load ended the
// program, is kept aside and the manager starts empty.
#include "manager.h"

#include "app_dir.h"
#include "log_printf.h"
#include "project_archive.h"

#include <windows.h>

#include <cstdio>
#include <fstream>

namespace {

const char kProjectFileName[] = "\\qlrsvr.savefile.v2.01";
const char kTemporarySuffix[] = ".tmp";
const char kUnreadableSuffix[] = ".unreadable";
const char kLoadingSuffix[] = ".loading";

bool WriteArchive(const std::string &path, const CManager &manager)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file || !WriteProjectArchive(file, manager))
        return false;
    file.close();
    return !file.fail();
}

// The whole file, when it is not larger than a project file can be.
bool ReadWholeFile(std::ifstream &file, std::string &bytes)
{
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size < 0 || static_cast<unsigned long long>(size) > kMaxProjectFileBytes)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    if (size > 0)
        file.read(&bytes[0], static_cast<std::streamsize>(size));
    return file.gcount() == size || size == 0;
}

// The file's bytes reach the disk before it takes the old file's place.
bool FlushToDisk(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    CloseHandle(file);
    return flushed;
}

// Renames an unreadable project file so that a later save cannot overwrite
// it; returns the new name, or an empty text when it could not be renamed.
std::string KeepAside(const std::string &path)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string aside = path + kUnreadableSuffix;
        if (attempt > 0)
            aside += "." + std::to_string(attempt);
        if (MoveFileA(path.c_str(), aside.c_str()))
            return aside;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return std::string();
    }
    return std::string();
}

// reason: "unreadable", or why an earlier load did not come back.
void ReportSetAside(const std::string &path, const char *reason, const std::string &aside)
{
    if (aside.empty()) {
        LogPrintf("project file %s %s, starting empty", path.c_str(), reason);
        std::printf("project file %s %s, starting empty\n", path.c_str(), reason);
    } else {
        LogPrintf("project file %s %s, kept as %s, starting empty", path.c_str(), reason, aside.c_str());
        std::printf("project file %s %s, kept as %s, starting empty\n", path.c_str(), reason, aside.c_str());
    }
    std::fflush(stdout);
}

// Exists while a load of the project file is under way. A damaged file can
// make the archive library end the program instead of reporting an error;
// finding the marker at the next start tells that the file must not be
// read again.
class CLoadingMarker {
public:
    explicit CLoadingMarker(const std::string &projectPath) : m_path(projectPath + kLoadingSuffix)
    {
        HANDLE file = CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(file);
            CloseHandle(file);
        }
    }
    ~CLoadingMarker() { DeleteFileA(m_path.c_str()); }
    CLoadingMarker(const CLoadingMarker &) = delete;
    CLoadingMarker &operator=(const CLoadingMarker &) = delete;

    static bool LeftBehind(const std::string &projectPath)
    {
        return GetFileAttributesA((projectPath + kLoadingSuffix).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static void Remove(const std::string &projectPath) { DeleteFileA((projectPath + kLoadingSuffix).c_str()); }

private:
    std::string m_path;
};

} // namespace

std::string CManager::ProjectFilePath()
{
    return GetAppDir() + kProjectFileName;
}

bool CManager::Save()
{
    return SaveTo(ProjectFilePath());
}

bool CManager::Load()
{
    return LoadFrom(ProjectFilePath());
}

bool CManager::SaveTo(const std::string &path)
{
    auto lock = Lock();
    const std::string temporary = path + kTemporarySuffix;
    if (!WriteArchive(temporary, *this) || !FlushToDisk(temporary) ||
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

bool CManager::LoadFrom(const std::string &path)
{
    if (CLoadingMarker::LeftBehind(path)) {
        // The last load of this file ended the program.
        const bool present = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (present)
            ReportSetAside(path, "ended the last load", KeepAside(path));
        CLoadingMarker::Remove(path);
        return false;
    }

    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false; // first start, or not openable now: keep the defaults

    // Read into a manager of its own, so that a file that breaks off half-way
    // leaves nothing of itself behind.
    CManager loaded;
    bool readable = false;
    {
        CLoadingMarker marker(path);
        std::string bytes;
        readable = ReadWholeFile(file, bytes);
        file.close();
        if (readable)
            readable = ReadProjectArchive(bytes.data(), bytes.size(), loaded);
    }
    if (!readable) {
        ReportSetAside(path, "unreadable", KeepAside(path));
        return false;
    }
    AdoptLoaded(loaded);
    return true;
}

void CManager::AdoptLoaded(CManager &loaded)
{
    auto lock = Lock();
    userName.swap(loaded.userName);
    password.swap(loaded.password);
    deptId.swap(loaded.deptId);
    m_retired.insert(m_retired.end(), projects.begin(), projects.end());
    projects.swap(loaded.projects);
    loaded.projects.clear();
}
