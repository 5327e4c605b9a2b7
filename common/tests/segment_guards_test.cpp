// How the segment classes behave when the segment is not what it should be:
// not written yet, a foreign or damaged header, a snapshot whose bytes do
// not hold together, a snapshot too big for any mapping, a writer that ended
// while holding the mutex, a heartbeat that stops, objects that cannot be
// created; and the maxima of one parse. Writer and reader share this
// process here; the two-process runs are in tests/segment.
#include "segment_test_peers.h"

#include "segment_mutex_lock.h"

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
    // A data mapping larger than any writer makes is not followed.
    ASSERT_TRUE(m_server.WriteSnapshot());
    Header().dataCapacity = static_cast<std::uint32_t>(kSegmentDataMaxSize * 2);
    EXPECT_EQ(ReadResult::kNotReady, Read());
    EXPECT_EQ(1u, m_client.Loads().size());
}

// What the header announces of the data mapping is checked against the
// mapping itself: a mapping smaller than announced, one that is not
// there, no data at all.
TEST_F(SegmentGuards, HeaderAnnouncingDataThatIsNotThereIsMalformed)
{
    LoadThreeRecords();
    const std::uint32_t capacity = Header().dataCapacity;
    const std::uint32_t number = Header().dataNumber;
    const struct {
        const char *what;
        std::uint32_t number;
        std::uint32_t capacity;
        std::uint32_t size;
    } announced[] = {
        {"capacity beyond the mapping", number, capacity * 4, capacity * 3},
        {"no such mapping", number + 1000, capacity, 100},
        {"no data", number, 0, 0},
        {"number 0", 0, capacity, 100},
    };
    for (const auto &header : announced) {
        ASSERT_TRUE(m_server.WriteSnapshot());
        Header().dataNumber = header.number;
        Header().dataCapacity = header.capacity;
        Header().dataSize = header.size;
        Header().layoutSize = 0;
        ++Header().generation;
        EXPECT_EQ(ReadResult::kMalformed, Read()) << header.what;
    }
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());
}

// A snapshot whose bytes do not hold together is refused, the reader keeps
// the records it had, and the writer counts as gone until a good snapshot
// comes; the same garbage is parsed again only once a second, or at once
// when the header announces other data.
TEST_F(SegmentGuards, MalformedSnapshotIsRefusedAndTheLastRecordsStay)
{
    m_client.fixedTick = 100000;
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
    // The reader's clock moves on, with the writer's heartbeat alive.
    const auto later = [this](DWORD ms) {
        m_client.fixedTick = m_client.fixedTick + ms;
        ++Header().heartbeat;
    };
    for (const auto &damage : damages) {
        std::memcpy(data.Bytes(), original.data(), size);
        if (damage.byte != 0)
            std::memset(data.Bytes() + damage.offset, damage.byte, 8);
        Header().dataSize = damage.dataSize;
        ++Header().generation;
        EXPECT_EQ(ReadResult::kMalformed, Read()) << damage.what;
        EXPECT_TRUE(m_client.WriterGone()) << damage.what;
        EXPECT_EQ(ReadResult::kUnchanged, Read()) << damage.what;
        later(kSegmentMalformedRetryMs);
        EXPECT_EQ(ReadResult::kMalformed, Read()) << damage.what << ", a second later";
        EXPECT_EQ(ReadResult::kUnchanged, Read()) << damage.what;
    }
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values());

    // A bad read that does not last: the same snapshot, whole again, is
    // taken at the next try, without a new generation.
    std::memcpy(data.Bytes(), original.data(), size);
    later(kSegmentMalformedRetryMs - 1);
    EXPECT_EQ(ReadResult::kUnchanged, Read());
    EXPECT_TRUE(m_client.WriterGone());
    later(1);
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_FALSE(m_client.WriterGone());
    EXPECT_EQ((std::vector<std::string>{"changed", "2", "3"}), Values());

    // Cut short, then the header announces the whole size under the same
    // generation: tried at once.
    Header().dataSize = static_cast<std::uint32_t>(size - 1);
    ++Header().generation;
    EXPECT_EQ(ReadResult::kMalformed, Read());
    Header().dataSize = static_cast<std::uint32_t>(size);
    EXPECT_EQ(ReadResult::kNewSnapshot, Read());
    EXPECT_FALSE(m_client.WriterGone());

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
    // The values archive (after the layout) has its header, the count, then
    // the valid bytes of the three records.
    const std::size_t archiveHeader = sizeof(std::size_t) + 22 + 2 + 4 + 4;
    const std::size_t lastValid = Header().layoutSize + archiveHeader + 4 + 2;
    data.Bytes()[lastValid] = 7;
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

namespace {

// A snapshot of count records as a writer saves it; record(i) makes the
// i-th.
struct EncodedSnapshot {
    std::string bytes;
    std::size_t layoutSize = 0;
};

EncodedSnapshot Snapshot(std::uint32_t count, CVariant (*record)(std::uint32_t))
{
    std::vector<CVariant> records;
    records.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        records.push_back(record(i));
    EncodedSnapshot snapshot;
    snapshot.bytes = EncodeSegmentSnapshot(records, snapshot.layoutSize);
    return snapshot;
}

CVariant EmptyRecord(std::uint32_t)
{
    return CVariant();
}

CVariant LongestValueRecord(std::uint32_t)
{
    CVariant record;
    record.value.assign(kSegmentMaxText, '7');
    return record;
}

CVariant TooLongValueRecord(std::uint32_t)
{
    CVariant record;
    record.value.assign(kSegmentMaxText + 1, '7');
    return record;
}

// Whether the service takes the bytes as a snapshot. What it refuses, the
// loader of whole records (larger ones, every text kept) refuses too.
bool Loads(const EncodedSnapshot &snapshot)
{
    if (snapshot.bytes.empty())
        return false;
    const std::string &bytes = snapshot.bytes;
    std::vector<PublishedLayout> layout;
    std::vector<PublishedValue> values;
    const bool publishedRead = LoadSegmentSnapshot(bytes.data(), snapshot.layoutSize, bytes.size(), layout, values);
    if (!publishedRead) {
        std::vector<CVariant> whole;
        EXPECT_FALSE(LoadSegmentSnapshot(bytes.data(), snapshot.layoutSize, bytes.size(), whole));
    }
    return publishedRead;
}

} // namespace

// Whatever a snapshot announces, one parse takes no more than the maxima:
// records, the bytes of one text, and the memory of the list with its texts.
TEST(SegmentRecords, ParseStaysWithinTheMaxima)
{
    EXPECT_TRUE(Loads(Snapshot(kSegmentMaxRecords, &EmptyRecord)));
    EXPECT_FALSE(Loads(Snapshot(kSegmentMaxRecords + 1, &EmptyRecord)));

    EXPECT_TRUE(Loads(Snapshot(1, &LongestValueRecord)));
    EXPECT_FALSE(Loads(Snapshot(1, &TooLongValueRecord)));

    // Texts of the largest length, more of them than the budget holds.
    const std::uint32_t fitting = static_cast<std::uint32_t>(kSegmentReadBudget / kSegmentMaxText) - 4;
    EXPECT_TRUE(Loads(Snapshot(fitting, &LongestValueRecord)));
    const std::uint32_t beyond = static_cast<std::uint32_t>(kSegmentReadBudget / kSegmentMaxText) + 1;
    EXPECT_FALSE(Loads(Snapshot(beyond, &LongestValueRecord)));
}
