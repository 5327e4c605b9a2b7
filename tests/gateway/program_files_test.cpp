// What the gateway keeps beside and around its program: the log in the
// program directory, switched on by the settings file there; the autorun
// value under the Run key; ending another program by its file name.
#include "../../gateway/core/tests/scratch_dir.h"

#include "app_dir.h"
#include "autorun.h"
#include "log_printf.h"
#include "process_kill.h"
#include "program_log.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const char kIdleProgram[] = "gateway_idle_program.exe";

// Removes the program directory's settings and log files around a test.
class ProgramDirectoryFiles : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override
    {
        CloseLog();
        Remove();
    }
    static void Remove()
    {
        DeleteFileA(SettingsFilePath().c_str());
        DeleteFileA(LogFilePath().c_str());
    }
};

HANDLE StartIdleProgram()
{
    std::string commandLine = "\"" + GetAppDir() + "\\" + kIdleProgram + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD ExitCodeAfter(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

// The Run value's type and bytes; false when it is not there.
bool ReadAutorunValue(DWORD &type, std::string &data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAutorunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = {};
    DWORD size = sizeof(buffer);
    const LONG result = RegQueryValueExA(key, kAutorunValueName, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    data.assign(buffer, size);
    return true;
}

} // namespace

TEST_F(ProgramDirectoryFiles, LogIsOffWithoutTheSetting)
{
    EXPECT_FALSE(StartProgramLog(CSettings()));
    LogPrintf("nothing");
    EXPECT_FALSE(FileExists(LogFilePath()));
}

TEST_F(ProgramDirectoryFiles, LogSwitchedOnAppendsInitLineAfterExistingContent)
{
    EXPECT_EQ(GetAppDir() + "/Lumaret.log", LogFilePath());
    ASSERT_TRUE(CSettings().WriteRememberPassword(1)); // creates the file
    WriteWholeFile(SettingsFilePath(), "[local]\r\nLogEnabled=1\r\n");
    WriteWholeFile(LogFilePath(), "earlier\r\n");
    ASSERT_TRUE(StartProgramLog(CSettings()));
    LogPrintf("post failed");
    CloseLog();
    const std::string time = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ";
    const std::string content = ReadWholeFile(LogFilePath());
    EXPECT_TRUE(std::regex_match(content, std::regex("earlier\r\n" + time + "init log\\.\\.\\.\r\n" + time + "post failed\r\n")))
        << content;
}

TEST_F(ProgramDirectoryFiles, AutorunValueFollowsTheSetting)
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);

    // No settings file: autorun is on.
    ASSERT_TRUE(SyncAutorunFromSettings());
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadAutorunValue(type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(static_cast<std::size_t>(MAX_PATH), data.size()) << "the whole zero-padded buffer is written";
    EXPECT_STREQ(program, data.c_str());

    ASSERT_TRUE(CSettings().WriteRememberAutoRun(0));
    ASSERT_TRUE(SyncAutorunFromSettings());
    EXPECT_FALSE(ReadAutorunValue(type, data));

    // Added by hand, removed at the next synchronisation.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAutorunKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExA(key, kAutorunValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
    RegCloseKey(key);
    ASSERT_TRUE(ReadAutorunValue(type, data));
    ASSERT_TRUE(SyncAutorunFromSettings());
    EXPECT_FALSE(ReadAutorunValue(type, data));
}

TEST(ProcessByName, FirstMatchingProgramEndsWithExitCodeZero)
{
    HANDLE first = StartIdleProgram();
    ASSERT_NE(nullptr, first);
    Sleep(200);
    HANDLE second = StartIdleProgram();
    ASSERT_NE(nullptr, second);
    Sleep(500); // both in the process list

    EXPECT_TRUE(KillProcessByName("GATEWAY_Idle_Program.EXE")); // case is ignored
    const bool firstEnded = WaitForSingleObject(first, 10000) == WAIT_OBJECT_0;
    const bool secondEnded = WaitForSingleObject(second, 500) == WAIT_OBJECT_0;
    EXPECT_NE(firstEnded, secondEnded) << "exactly one of the two ends";
    HANDLE ended = firstEnded ? first : second;
    EXPECT_EQ(0u, ExitCodeAfter(ended, 1000));

    EXPECT_TRUE(KillProcessByName(kIdleProgram));
    EXPECT_EQ(0u, ExitCodeAfter(firstEnded ? second : first, 10000));
    EXPECT_FALSE(KillProcessByName(kIdleProgram));
    CloseHandle(first);
    CloseHandle(second);
}

TEST(ProcessByName, NoMatchIsFalse)
{
    EXPECT_FALSE(KillProcessByName("no_such_program_here.exe"));
}
