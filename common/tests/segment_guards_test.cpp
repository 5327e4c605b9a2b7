// How the segment classes behave when the segment is not what it should be:
// not written yet, a foreign or damaged header, a snapshot whose bytes do
// not hold together, a snapshot too big for any mapping, a writer that ended
// while holding the mutex, a heartbeat that stops, objects that cannot be
// created. Writer and reader share this process here; the two-process runs
// are in tests/segment.
#include "segment_test_peers.h"

#include "segment_mutex_lock.h"

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

// The data mapping the header names, mapped for writing (as a hostile or
// broken writer could).
class CDataView {
public:
    explicit CDataView(std::uint32_t number)
    {
        m_mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, (kSegmentDataPrefix + std::to_string(number)).c_str());
        if (m_mapping != nullptr)
            m_view = static_cast<char *>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    }
    ~CDataView()
    {
        if (m_view != nullptr)
            UnmapViewOfFile(m_view);
        if (m_mapping != nullptr)
            CloseHandle(m_mapping);
    }
    char *Bytes() const { return m_view; }

private:
    HANDLE m_mapping = nullptr;
    char *m_view = nullptr;
};

class SegmentGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, m_server.InitMapping());
        m_view = static_cast<char *>(m_server.GetMappingAddress());
    }

    void OpenClient() { ASSERT_NE(nullptr, m_client.InitMapping()); }

    // One reader cycle as the loop makes it: a new snapshot is handed on.
    ReadResult Read()
    {
        const ReadResult result = m_client.ReadSnapshot();
        if (result == ReadResult::kNewSnapshot)
            m_client.OnContent();
        return result;
    }

    void LoadThreeRecords()
    {
        m_server.SetRecords(ThreeRecords());
        ASSERT_TRUE(m_server.WriteSnapshot());
        OpenClient();
        ASSERT_EQ(ReadResult::kNewSnapshot, Read());
        ASSERT_TRUE(m_client.m_bLoaded);
    }

    // Values of the last snapshot the reader took.
    std::vector<std::string> Values()
    {
        std::vector<std::string> values;
        const std::vector<LoadedList> loads = m_client.Loads();
        if (!loads.empty())
            for (const LoadedRecord &record : loads.back())
                values.push_back(record.value);
        return values;
    }

    SegmentHeader &Header() { return *reinterpret_cast<SegmentHeader *>(m_view); }

    CScriptedServer m_server;
    CRecordingClient m_client;
    char *m_view = nullptr;
};

} // namespace

TEST_F(SegmentGuards, MappingCreatedButNotWrittenIsNotReady)
{
    OpenClient();
    EXPECT_EQ(ReadResult::kNotReady, Read());
    EXPECT_TRUE(m_client.WriterGone());
    EXPECT_FALSE(m_client.m_bLoaded);
}

TEST_F(SegmentGuards, ForeignOrDamagedHeaderIsNotReady)
{
    LoadThreeRecords();
    ASSERT_TRUE(m_server.WriteSnapshot());
    std::memset(m_view, 0xA5, sizeof(SegmentHeader));
    EXPECT_EQ(ReadResult::kNotReady, Read());

    // A writer of the other architecture, and a size beyond the mapping.
    ASSERT_TRUE(m_server.WriteSnapshot());
    Header().pointerSize = sizeof(void *) == 4 ? 8 : 4;
    EXPECT_EQ(ReadResult::kNotReady, Read());
    ASSERT_TRUE(m_server.WriteSnapshot());
    Header().dataSize = Header().dataCapacity + 1;
    EXPECT_EQ(ReadResult::kNotReady, Read());
    EXPECT_EQ(1u, m_client.Loads().size());
}

// A snapshot whose bytes do not hold together is refused, the reader keeps
// the records it had, and the writer counts as gone until a good snapshot
// comes; garbage is not parsed twice.
TEST_F(SegmentGuards, MalformedSnapshotIsRefusedAndTheLastRecordsStay)
{
    LoadThreeRecords();
    std::vector<CVariant> next = ThreeRecords();
    next[0].value = "changed";
    m_server.SetRecords(next);
    ASSERT_TRUE(m_server.WriteSnapshot());
    CDataView data(Header().dataNumber);
    ASSERT_NE(nullptr, data.Bytes());
    const std::size_t size = Header().dataSize;

    // Cut short, a text length beyond the end, a huge count.
    const struct {
        const char *what;
        std::size_t offset;
        char byte;
        std::uint32_t dataSize;
    } damages[] = {
        {"cut short", 0, 0, static_cast<std::uint32_t>(size - 5)},
        {"text beyond the end", size - 13 - 1 - sizeof(std::size_t), '\x7F', static_cast<std::uint32_t>(size)},
        {"archive signature length", 0, '\x7F', static_cast<std::uint32_t>(size)},
    };
    std::string original(data.Bytes(), size);
    for (const auto &damage : damages) {
        std::memcpy(data.Bytes(), original.data(), size);
        if (damage.byte != 0)
            std::memset(data.Bytes() + damage.offset, damage.byte, 8);
        Header().dataSize = damage.dataSize;
        ++Header().generation;
        EXPECT_EQ(ReadResult::kMalformed, Read()) << damage.what;
        EXPECT_TRUE(m_client.WriterGone()) << damage.what;
        EXPECT_EQ(ReadResult::kUnchanged, Read()) << damage.what;
    }
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());

    next[1].value = "again";
    m_server.SetRecords(next);
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_FALSE(m_client.WriterGone());
    EXPECT_EQ((std::vector<std::string>{"changed", "again", "3"}), Values());
}

// Flag bytes other than 0 and 1 (a damaged segment) count as set.
TEST_F(SegmentGuards, OddFlagBytesAreReadAsSet)
{
    LoadThreeRecords();
    m_server.SetRecords(ThreeRecords());
    ASSERT_TRUE(m_server.WriteSnapshot());
    CDataView data(Header().dataNumber);
    ASSERT_NE(nullptr, data.Bytes());
    // The last record ends with valid, type code, selected, quality, time stamp.
    const std::size_t lastFlags = Header().dataSize - 3 - 2 - 8;
    data.Bytes()[lastFlags] = 7; // valid
    ASSERT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_TRUE(m_client.Loads().back().back().valid);
}

TEST_F(SegmentGuards, SnapshotOutgrowingEveryMappingIsNoSnapshot)
{
    LoadThreeRecords();
    // Too big for the largest data mapping: refused without a torn snapshot.
    m_server.SetDataSizeLimit(2 * kSegmentDataInitialSize);
    std::vector<CVariant> tooBig = ThreeRecords();
    tooBig[2].value = std::string(3 * kSegmentDataInitialSize, 'x');
    m_server.SetRecords(tooBig);
    EXPECT_FALSE(m_server.WriteSnapshot());
    EXPECT_EQ(0u, Header().dataNumber);
    EXPECT_EQ(ReadResult::kMalformed, Read());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());

    // The selection fits again: the next snapshot is read as usual.
    tooBig[2].value = "3";
    tooBig[0].value = "changed";
    m_server.SetRecords(tooBig);
    EXPECT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_EQ((std::vector<std::string>{"changed", "2", "3"}), Values());
}

// A writer that ends while it holds the mutex leaves a header that may be
// half written; the reader does not take it until a writer rewrites it.
TEST_F(SegmentGuards, HeaderUnderAnAbandonedMutexIsNotTaken)
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

    EXPECT_EQ(ReadResult::kNotReady, Read());
    EXPECT_EQ(ReadResult::kNotReady, Read());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());

    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_EQ((std::vector<std::string>{"9", "2", "3"}), Values());
    CloseHandle(mutex);
}

// The writer counts as gone when its heartbeat has not moved for the stale
// time on the reader's own clock; the wall clock plays no part.
TEST_F(SegmentGuards, HeartbeatThatStopsMakesTheWriterGone)
{
    LoadThreeRecords();
    EXPECT_FALSE(m_client.WriterGone());
    m_client.tickOffset = static_cast<int>(kStaleMs) - 200;
    EXPECT_EQ(ReadResult::kUnchanged, Read());
    EXPECT_FALSE(m_client.WriterGone());
    m_client.tickOffset = static_cast<int>(kStaleMs) + 100;
    EXPECT_TRUE(m_client.WriterGone());
    // One cycle of the writer: alive again, with nothing new to parse.
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kUnchanged, Read());
    EXPECT_FALSE(m_client.WriterGone());
    EXPECT_EQ(1u, m_client.Loads().size());
}

TEST_F(SegmentGuards, EmptySelectionKeepsTheReaderUnloaded)
{
    OpenClient();
    m_server.SetRecords({});
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_EQ(ReadResult::kUnchanged, Read());
    EXPECT_FALSE(m_client.m_bLoaded);
    EXPECT_EQ(1, m_client.CountTrace("cnt=0"));
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
    EXPECT_TRUE(client.WriterGone());
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
