// How the segment classes behave when the segment is not what it should be:
// not written yet, garbage, too small, a snapshot too big for it, a writer
// that ended while holding the mutex, a stamp from another clock, objects
// that cannot be created. Writer and reader share this process here; the
// two-process runs are in tests/segment.
#include "segment_test_peers.h"

#include "segment_mutex_lock.h"

#include <boost/archive/binary_oarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using ReadResult = XFileMapping::ReadResult;

std::vector<CVariant> ThreeRecords()
{
    return {MakeRecord("D1:V1", "1", true), MakeRecord("D1:V2", "2", true), MakeRecord("D1:V3", "3", true)};
}

class SegmentGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, m_server.InitMapping());
        m_view = static_cast<char *>(m_server.GetMappingAddress());
    }

    void OpenClient() { ASSERT_NE(nullptr, m_client.InitMapping()); }

    void LoadThreeRecords()
    {
        m_server.SetRecords(ThreeRecords());
        ASSERT_TRUE(m_server.WriteSnapshot());
        OpenClient();
        ASSERT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
        ASSERT_TRUE(m_client.m_bLoaded);
    }

    std::vector<std::string> Values()
    {
        auto lock = m_client.LockRecords();
        std::vector<std::string> values;
        for (const CVariant *record : *m_client.m_pVariants)
            values.push_back(record->value);
        return values;
    }

    CScriptedServer m_server;
    CRecordingClient m_client;
    char *m_view = nullptr;
};

} // namespace

TEST_F(SegmentGuards, MappingCreatedButNotWrittenIsNotReady)
{
    OpenClient();
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());

    // Header written, nothing under the mutex yet.
    boost::interprocess::bufferbuf stream(m_view, kSegmentSize, std::ios_base::out);
    { boost::archive::binary_oarchive header(stream); }
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_FALSE(m_client.m_bLoaded);
    EXPECT_EQ(0, m_client.staleCount);
}

TEST_F(SegmentGuards, GarbageIsNotReadyAndLeavesTheRecordsAlone)
{
    LoadThreeRecords();
    std::memset(m_view, 0xA5, 4096);
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());

    // A sound header followed by garbage: huge count and text lengths.
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::size_t countOffset = 44 + sizeof(std::size_t) - 4;
    std::memset(m_view + countOffset + 4, 0x7F, 64);
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    std::memset(m_view + countOffset, 0x7F, 4);
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());
    EXPECT_EQ(0, m_client.changedCalls);
}

// Flag bytes other than 0 and 1 (a damaged segment) count as set.
TEST_F(SegmentGuards, OddFlagBytesAreReadAsSet)
{
    LoadThreeRecords();
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::size_t lastFlags = m_server.LastSnapshotSize() - 3;
    m_view[lastFlags] = 7;     // valid
    m_view[lastFlags + 2] = 9; // selected
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    auto lock = m_client.LockRecords();
    const CVariant &last = *m_client.m_pVariants->back();
    EXPECT_TRUE(last.valid);
    EXPECT_TRUE(last.selected);
    EXPECT_FALSE(!last.valid);
    EXPECT_FALSE(last.changed); // valid before, valid now
}

TEST_F(SegmentGuards, SnapshotTooBigForTheSegmentIsNotTaken)
{
    LoadThreeRecords();
    std::vector<CVariant> tooBig = ThreeRecords();
    tooBig[0].value = "changed";
    tooBig[2].value = std::string(kSegmentSize, 'x');
    m_server.SetRecords(tooBig);
    EXPECT_FALSE(m_server.WriteSnapshot());

    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());
    EXPECT_EQ(0, m_client.changedCalls);

    // The selection fits again: the next snapshot is read as usual.
    tooBig[2].value = "3";
    m_server.SetRecords(tooBig);
    EXPECT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    EXPECT_EQ((std::vector<std::string>{"changed", "2", "3"}), Values());
}

TEST_F(SegmentGuards, FirstSnapshotTooBigLeavesTheReaderUnloaded)
{
    OpenClient();
    std::vector<CVariant> tooBig = ThreeRecords();
    tooBig[1].value = std::string(kSegmentSize, 'x');
    m_server.SetRecords(tooBig);
    EXPECT_FALSE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_FALSE(m_client.m_bLoaded);
    EXPECT_TRUE(m_client.m_pVariants->empty());
}

// A writer that ends while it holds the mutex leaves a snapshot that may be
// half written; the reader does not take it, even on later cycles.
TEST_F(SegmentGuards, SnapshotUnderAnAbandonedMutexIsNotTaken)
{
    LoadThreeRecords();
    std::vector<CVariant> next = ThreeRecords();
    next[0].value = "9";
    m_server.SetRecords(next);
    ASSERT_TRUE(m_server.WriteSnapshot());

    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kSegmentMutexName);
    ASSERT_NE(nullptr, mutex);
    std::thread dyingWriter([mutex] { WaitForSingleObject(mutex, INFINITE); });
    dyingWriter.join();

    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_EQ(ReadResult::kNotReady, m_client.ReadSnapshot());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());

    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    EXPECT_EQ((std::vector<std::string>{"9", "2", "3"}), Values());
    CloseHandle(mutex);
}

TEST_F(SegmentGuards, StaleRuleUsesTheStampAge)
{
    LoadThreeRecords();
    m_client.clockOffset = 4;
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    m_client.clockOffset = 6;
    EXPECT_EQ(ReadResult::kStale, m_client.ReadSnapshot());
    EXPECT_EQ(1, m_client.staleCount);
    // Clock set back: a negative age is never stale.
    m_client.clockOffset = -3600;
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    EXPECT_EQ(1, m_client.staleCount);
    // The mutex was given back after the stale cycle: the writer gets it.
    EXPECT_TRUE(m_server.WriteSnapshot());
}

TEST_F(SegmentGuards, EmptySelectionKeepsTheReaderUnloaded)
{
    OpenClient();
    m_server.SetRecords({});
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    EXPECT_EQ(ReadResult::kRead, m_client.ReadSnapshot());
    EXPECT_FALSE(m_client.m_bLoaded);
    EXPECT_EQ(2, m_client.CountTrace("cnt=0"));
    EXPECT_EQ(0, m_client.changedCalls);
}

TEST_F(SegmentGuards, ReopeningReleasesInOrderAndTracesTheView)
{
    OpenClient();
    ASSERT_NE(nullptr, m_client.InitMapping());
    const std::vector<std::string> traces = m_client.Traces();
    ASSERT_EQ(7u, traces.size());
    EXPECT_EQ("InitMapping\r\n", traces[0]);
    EXPECT_EQ(0u, traces[1].find("m_hMapping="));
    EXPECT_EQ("InitMapping\r\n", traces[2]);
    EXPECT_EQ("CloseHandle(m_hMutex);\r\n", traces[3]);
    EXPECT_EQ("UnmapViewOfFile(m_pMappingAddress);\r\n", traces[4]);
    EXPECT_EQ("CloseHandle(m_hMapping)\r\n", traces[5]);
    char expected[48];
    std::snprintf(expected, sizeof(expected), "m_hMapping=%" PRIXPTR,
                  reinterpret_cast<std::uintptr_t>(m_client.GetMappingAddress()));
    EXPECT_EQ(expected, traces[6]);
}

TEST(SegmentObjects, ReaderWithoutWriterTracesAndFails)
{
    CRecordingClient client;
    EXPECT_EQ(nullptr, client.InitMapping());
    EXPECT_EQ((std::vector<std::string>{"InitMapping\r\n", "m_hMutex=NULL\r\n"}), client.Traces());
    EXPECT_EQ(XFileMapping::ReadResult::kNotReady, client.ReadSnapshot());
}

// Something else made a smaller mapping under the segment's name: neither
// side puts its full-size stream on that view.
TEST(SegmentObjects, MappingSmallerThanTheSegmentIsRefused)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kSegmentMutexName);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kSegmentMappingName);
    ASSERT_NE(nullptr, mutex);
    ASSERT_NE(nullptr, mapping);
    CRecordingClient client;
    EXPECT_EQ(nullptr, client.InitMapping());
    CScriptedServer server;
    EXPECT_EQ(nullptr, server.InitMapping());
    EXPECT_FALSE(server.WriteSnapshot());
    CloseHandle(mapping);
    CloseHandle(mutex);
}

TEST(SegmentObjects, WriterThatCannotCreateTheObjectsReportsAndEnds)
{
    // An object of another kind holds the mutex's name.
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kSegmentMutexName);
    ASSERT_NE(nullptr, squatter);
    CScriptedServer server;
    server.ThreadServer(); // returns at once
    EXPECT_TRUE(server.openFailed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), server.openError);
    EXPECT_EQ((std::vector<std::string>{"InitMapping\r\n", "m_hMutex=NULL\r\n"}), server.traces);
    CloseHandle(squatter);
}
