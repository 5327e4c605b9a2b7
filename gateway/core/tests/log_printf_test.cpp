// The optional log file: line format, appending to what is there, silence
// while no log is open.
#include "scratch_dir.h"

#include "log_printf.h"

#include <gtest/gtest.h>

#include <regex>

TEST(LogFile, LinesGoAfterTheExistingContentWithTimeAndCrLf)
{
    CScratchDir dir;
    const std::string path = dir.File("Lumaret.log");
    WriteWholeFile(path, "earlier line\r\n");

    LogPrintf("dropped %d", 1); // no log open yet
    ASSERT_TRUE(OpenLog(path));
    LogPrintf("init log...");
    LogPrintf("response ret=%d, length=%d", 0, 17);
    CloseLog();
    LogPrintf("dropped %d", 2);

    const std::string time = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ";
    const std::regex expected("earlier line\r\n" + time + "init log\\.\\.\\.\r\n" + time +
                              "response ret=0, length=17\r\n");
    const std::string content = ReadWholeFile(path);
    EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

TEST(LogFile, UnopenableLogStaysOff)
{
    CScratchDir dir;
    EXPECT_FALSE(OpenLog(dir.File("no such folder\\Lumaret.log")));
    LogPrintf("nowhere");
}
