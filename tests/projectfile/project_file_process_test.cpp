// The project file when the process that writes or reads it ends in the
// middle: a save killed at random points never costs the previous file, and
// a file whose load ends the program is not read a second time.
#include "child_process.h"
#include "manager.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char kSavedEvent[] = "LumaretProjectFileSaved";
const DWORD kGenerousMs = 60000;

HANDLE StartTool(const std::string &arguments)
{
    return StartChildProcess(ProgramBesideThisOne("project_file_tool.exe"), arguments);
}

DWORD RunTool(const std::string &arguments)
{
    HANDLE process = StartTool(arguments);
    if (process == nullptr)
        return 0xFFFF;
    DWORD code = 0xFFFE;
    if (WaitForSingleObject(process, kGenerousMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class CScratchFolder {
public:
    CScratchFolder()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + "lumaret_pf_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~CScratchFolder()
    {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((m_path + "\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((m_path + "\\" + entry.cFileName).c_str());
            while (FindNextFileA(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryA(m_path.c_str());
    }
    std::string File(const std::string &name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

} // namespace

TEST(ProjectFileProcess, SaveKilledAtAnyPointLeavesALoadableFile)
{
    CScratchFolder folder;
    const std::string path = folder.File("qlrsvr.savefile.v2.01");
    HANDLE saved = CreateEventA(nullptr, TRUE, FALSE, kSavedEvent);
    ASSERT_NE(nullptr, saved);
    int interrupted = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ResetEvent(saved);
        HANDLE tool = StartTool("save-loop \"" + path + "\"");
        ASSERT_NE(nullptr, tool) << "CreateProcess error " << GetLastError();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(saved, kGenerousMs));
        Sleep(static_cast<DWORD>(30 + round * 47));
        TerminateProcess(tool, 9);
        WaitForSingleObject(tool, kGenerousMs);
        CloseHandle(tool);
        interrupted += Exists(path + ".tmp") ? 1 : 0;

        CManager manager;
        ASSERT_TRUE(manager.LoadFrom(path));
        EXPECT_EQ(0u, manager.UserName().find("round-"));
        ASSERT_EQ(1u, manager.projects.size());
        EXPECT_EQ(200u, manager.projects[0]->devices.size());
        EXPECT_EQ(100u, manager.projects[0]->devices.back()->variants.size());
        EXPECT_FALSE(Exists(path + ".unreadable"));
    }
    std::printf("%d of 6 kills landed in the middle of a save\n", interrupted);
    CloseHandle(saved);
}

// A damaged class id (the plain archive library indexes its class table
// with it and ends the program) is refused by the load itself: the program
// starts empty and keeps the file aside, and leaves no loading marker.
TEST(ProjectFileProcess, DamagedClassIdIsRefusedAndTheFileSetAside)
{
    CScratchFolder folder;
    const std::string path = folder.File("qlrsvr.savefile.v2.01");
    {
        CManager manager;
        manager.SetUserName("u");
        CProject *project = new CProject;
        project->projectId = "P";
        project->AddDevice("D", "Dev", "S")->AddVariant("V", "T", "int32");
        manager.AddProject(project);
        ASSERT_TRUE(manager.SaveTo(path));
    }
    ASSERT_EQ(0u, RunTool("load \"" + path + "\""));

    // The class id in front of the first project pointer: after the header,
    // the version tag, the manager's preamble, three texts, the list's
    // preamble, its count and its item version.
    std::string bytes;
    {
        std::ifstream file(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    const std::size_t header = sizeof(std::size_t) + 22 + 2 + 4 + 4;
    const std::size_t classId = header + (sizeof(std::size_t) + 5) + 5 + (sizeof(std::size_t) + 1) +
                                2 * sizeof(std::size_t) + 5 + sizeof(std::size_t) + 4;
    ASSERT_LT(classId + 1, bytes.size());
    ASSERT_EQ(std::string("\x02\x00", 2), bytes.substr(classId, 2));
    bytes[classId] = 0x07;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    EXPECT_EQ(1u, RunTool("load \"" + path + "\""));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(path + ".loading"));
    EXPECT_TRUE(Exists(path + ".unreadable"));
    EXPECT_EQ(1u, RunTool("load \"" + path + "\"")); // nothing left to load
}
