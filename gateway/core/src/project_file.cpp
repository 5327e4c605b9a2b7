// project_file.cpp - the project file "qlrsvr.savefile.v2.01": a binary
// archive holding the version tag "2.01" and the manager's saved part.
// A save goes to a temporary file that replaces the old one only once it is
// complete; a file that cannot be read, or whose last load ended the
// program, is kept aside and the manager starts empty.
#include "manager.h"

#include "app_dir.h"
#include "log_printf.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace {

const char kProjectFileName[] = "\\qlrsvr.savefile.v2.01";
const char kVersionTag[5] = "2.01";
const char kTemporarySuffix[] = ".tmp";
const char kUnreadableSuffix[] = ".unreadable";
const char kLoadingSuffix[] = ".loading";

// Bytes of the header that a binary archive starts with, as the archive
// library in use writes it.
std::streamoff ArchiveHeaderSize()
{
    static const std::streamoff size = [] {
        std::ostringstream header;
        { boost::archive::binary_oarchive archive(header); }
        return static_cast<std::streamoff>(header.str().size());
    }();
    return size;
}

// A file that ends inside the archive header is not handed to the archive
// library at all: it does not take an end of file at every point there.
bool HoldsArchiveHeader(std::ifstream &file)
{
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    return size >= ArchiveHeaderSize();
}

bool WriteArchive(const std::string &path, const CManager &manager)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    try {
        boost::archive::binary_oarchive archive(file);
        archive << kVersionTag;
        archive << manager;
    } catch (const std::exception &) {
        return false;
    }
    file.close();
    return !file.fail();
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

// A loaded tree in which a record shows up twice (which a damaged file can
// make the archive produce) would be destroyed twice; no such tree is taken.
bool EveryRecordOnce(const std::vector<CProject *> &projects)
{
    std::set<const void *> seen;
    for (const CProject *project : projects) {
        if (project == nullptr || !seen.insert(project).second)
            return false;
        for (const CDevice *device : project->devices) {
            if (device == nullptr || !seen.insert(device).second)
                return false;
            for (const CVariant *variant : device->variants)
                if (variant == nullptr || !seen.insert(variant).second)
                    return false;
        }
    }
    return true;
}

// Drops a rejected tree. Records that occur more than once are left alone
// rather than destroyed twice.
void DiscardTree(std::vector<CProject *> &projects)
{
    std::set<const void *> seen;
    bool repeated = false;
    for (const CProject *project : projects) {
        if (project == nullptr)
            continue;
        repeated = repeated || !seen.insert(project).second;
        for (const CDevice *device : project->devices) {
            if (device == nullptr)
                continue;
            repeated = repeated || !seen.insert(device).second;
            for (const CVariant *variant : device->variants)
                repeated = repeated || (variant != nullptr && !seen.insert(variant).second);
        }
    }
    if (!repeated)
        for (CProject *project : projects)
            delete project;
    projects.clear();
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
        if (HoldsArchiveHeader(file)) {
            try {
                boost::archive::binary_iarchive archive(file);
                std::string versionTag;
                archive >> versionTag;
                archive >> loaded;
                readable = true;
            } catch (const std::exception &) {
            }
        }
        file.close();
        if (readable)
            readable = EveryRecordOnce(loaded.projects);
    }
    if (!readable) {
        DiscardTree(loaded.projects);
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
