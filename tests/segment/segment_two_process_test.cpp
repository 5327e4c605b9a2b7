// The shared data segment between two real processes: the writer helper
// (segment_test_writer.exe, the gateway side) and the reader in this test
// (the service side), in the same Wine prefix.
#include "child_process.h"
#include "segment_script.h"
#include "segment_test_peers.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <sstream>
#include <thread>

namespace {

const DWORD kGenerousMs = 30000;

HANDLE StartWriter(const char *mode)
{
    return StartChildProcess(ProgramBesideThisOne("segment_test_writer.exe"), mode);
}

void KillWriter(HANDLE process)
{
    TerminateProcess(process, 9);
    WaitForSingleObject(process, kGenerousMs);
    CloseHandle(process);
}

// Ends the writer between two snapshots: with the segment mutex held here it
// cannot be in the middle of one (that case has a test of its own).
void KillWriterBetweenSnapshots(HANDLE process)
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kSegmentMutexName);
    const DWORD wait = mutex != nullptr ? WaitForSingleObject(mutex, kGenerousMs) : WAIT_FAILED;
    KillWriter(process);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    if (mutex != nullptr)
        CloseHandle(mutex);
}

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = kGenerousMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

std::string Describe(const LoadedList &list)
{
    std::ostringstream text;
    for (const LoadedRecord &record : list)
        text << record.itemId << "=" << record.value << (record.valid ? "" : "(invalid)") << " ";
    return text.str();
}

// Exactly the stage's records: item IDs, values, validity and quality.
bool SameContent(const LoadedList &list, const ScriptStage &stage)
{
    if (list.size() != stage.selection.size())
        return false;
    for (std::size_t index = 0; index < list.size(); ++index) {
        const ScriptValue &expected = stage.selection[index];
        if (list[index].itemId != ScriptItemId(expected.id) ||
            list[index].value != expected.value || list[index].valid != expected.valid ||
            list[index].quality != (expected.valid ? kQualityGood : kQualityBad))
            return false;
    }
    return true;
}

// The reader of the service, running its loop on a thread of its own.
class SegmentTwoProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_nextStage = CreateEventA(nullptr, FALSE, FALSE, kNextStageEvent);
        m_die = CreateEventA(nullptr, TRUE, FALSE, kDieEvent);
        ASSERT_NE(nullptr, m_nextStage);
        ASSERT_NE(nullptr, m_die);
    }
    void TearDown() override
    {
        if (m_writer != nullptr)
            KillWriter(m_writer);
        StopReader();
        CloseHandle(m_nextStage);
        CloseHandle(m_die);
    }

    void StartReader()
    {
        m_reader = std::thread([this] { m_client.ThreadClient(); });
    }
    void StopReader()
    {
        m_client.RequestStop();
        if (m_reader.joinable())
            m_reader.join();
    }

    // Index of the first load at or after `from` that satisfies `match`.
    std::size_t WaitForLoad(std::size_t from, const std::function<bool(const LoadedList &)> &match)
    {
        std::size_t found = SIZE_MAX;
        WaitUntil([&] {
            const std::vector<LoadedList> loads = m_client.Loads();
            for (std::size_t index = from; index < loads.size(); ++index)
                if (match(loads[index])) {
                    found = index;
                    return true;
                }
            return false;
        });
        return found;
    }

    std::size_t LoadCount() const { return m_client.Loads().size(); }

    CRecordingClient m_client;
    std::thread m_reader;
    HANDLE m_writer = nullptr;
    HANDLE m_nextStage = nullptr;
    HANDLE m_die = nullptr;
};

} // namespace

// The service starts first and keeps trying; then the gateway publishes the
// stages of the script and the reader takes each as one new snapshot, and
// nothing while it stays the same. When the gateway is gone its heartbeat
// stops: after the stale time the reader reports it, lets go of the objects
// and waits for a new gateway, whose snapshot it takes again.
TEST_F(SegmentTwoProcess, ReaderFollowsTheWriterThroughEveryKindOfChange)
{
    StartReader();
    ASSERT_TRUE(WaitUntil([&] { return m_client.CountTrace("m_hMutex=NULL\r\n") >= 5; }));
    const std::vector<std::string> opening = m_client.Traces();
    EXPECT_EQ("ThreadClient\r\n", opening.front());
    for (std::size_t index = 1; index + 1 < opening.size(); index += 2) {
        EXPECT_EQ("InitMapping\r\n", opening[index]);
        EXPECT_EQ("m_hMutex=NULL\r\n", opening[index + 1]);
    }
    EXPECT_FALSE(m_client.m_bLoaded);

    m_writer = StartWriter("script");
    ASSERT_NE(nullptr, m_writer);
    const std::vector<ScriptStage> script = SegmentScript();

    for (std::size_t stage = 0; stage < script.size(); ++stage) {
        SCOPED_TRACE(script[stage].what);
        const std::size_t before = LoadCount();
        if (stage > 0) {
            ASSERT_TRUE(SetEvent(m_nextStage));
        }
        const std::size_t taken = WaitForLoad(before, [&](const LoadedList &list) {
            return SameContent(list, script[stage]);
        });
        ASSERT_NE(SIZE_MAX, taken) << Describe(m_client.Loads().back());
        // Every snapshot the reader took on the way was a whole stage.
        const std::vector<LoadedList> loads = m_client.Loads();
        for (std::size_t index = before; index < taken; ++index)
            EXPECT_TRUE(SameContent(loads[index], script[stage > 0 ? stage - 1 : 0])) << Describe(loads[index]);
        // The same content is not taken again while it does not change.
        Sleep(1000);
        EXPECT_EQ(taken + 1, LoadCount());
    }
    EXPECT_TRUE(m_client.m_bLoaded);
    EXPECT_EQ(1, m_client.CountTrace("cnt=3"));
    EXPECT_EQ(0, m_client.staleCount);

    // The gateway goes away.
    const std::size_t loadsBeforeKill = LoadCount();
    KillWriterBetweenSnapshots(m_writer);
    m_writer = nullptr;
    const DWORD killed = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return m_client.staleCount >= 1; }));
    const DWORD staleAfter = GetTickCount() - killed;
    EXPECT_GE(staleAfter, kStaleMs - 200);
    std::printf("stale %lu ms after the writer was killed\n", static_cast<unsigned long>(staleAfter));
    EXPECT_EQ(loadsBeforeKill, LoadCount());

    // Reopening fails; the reader holds nothing, so the objects are gone.
    ASSERT_TRUE(WaitUntil([&] { return m_client.CountTrace("pBuffer=NULL\r\n") >= 3; }));
    HANDLE leftover = OpenMutexA(SYNCHRONIZE, FALSE, kSegmentMutexName);
    EXPECT_EQ(nullptr, leftover);
    if (leftover != nullptr)
        CloseHandle(leftover);
    EXPECT_EQ(0, m_client.CountTrace("OK\r\n"));

    // A new gateway publishes the first stage again.
    const std::size_t beforeRestart = LoadCount();
    m_writer = StartWriter("script");
    ASSERT_NE(nullptr, m_writer);
    ASSERT_TRUE(WaitUntil([&] { return m_client.CountTrace("OK\r\n") == 1; }));
    const std::size_t resumed = WaitForLoad(beforeRestart, [&](const LoadedList &list) {
        return SameContent(list, script[0]);
    });
    ASSERT_NE(SIZE_MAX, resumed);
    EXPECT_EQ(1, m_client.staleCount);
}

// The gateway is killed in the middle of a snapshot, holding the mutex: the
// reader never takes what it left half written.
TEST_F(SegmentTwoProcess, HalfWrittenSnapshotOfAKilledWriterIsNeverTaken)
{
    m_writer = StartWriter("die");
    ASSERT_NE(nullptr, m_writer);
    StartReader();
    const std::size_t first = WaitForLoad(0, [](const LoadedList &) { return true; });
    ASSERT_NE(SIZE_MAX, first);
    ASSERT_TRUE(SameContent(m_client.Loads()[first], SegmentScript()[0]));

    ASSERT_TRUE(SetEvent(m_die));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_writer, kGenerousMs));
    CloseHandle(m_writer);
    m_writer = nullptr;

    // The reader takes nothing of it, and the gateway counts as gone.
    ASSERT_TRUE(WaitUntil([&] { return m_client.staleCount >= 1; }));
    EXPECT_EQ(first + 1, LoadCount());
    for (const LoadedList &list : m_client.Loads())
        EXPECT_TRUE(SameContent(list, SegmentScript()[0])) << Describe(list);
}
