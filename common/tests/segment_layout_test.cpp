// The bytes a writer puts into the segment: the header of the named mapping,
// the data mapping it names, and in it the layout archive and the values
// archive (each with its archive header and count), checked against the
// format that the service relies on; when snapshots and layouts are
// written, and how a growing one moves.
#include "segment_test_peers.h"

#include <boost/archive/basic_archive.hpp>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A length as the archive writes it on this architecture.
std::string Length(std::size_t length)
{
    std::string bytes(sizeof(std::size_t), '\0');
    std::memcpy(&bytes[0], &length, sizeof(length));
    return bytes;
}

std::string Text(const std::string &text)
{
    return Length(text.size()) + text;
}

std::string Uint32(std::uint32_t value)
{
    std::string bytes(4, '\0');
    std::memcpy(&bytes[0], &value, 4);
    return bytes;
}

template <class T>
T ReadAt(const char *view, std::size_t offset)
{
    T value;
    std::memcpy(&value, view + offset, sizeof(T));
    return value;
}

// The record of the worked example: key D1:V1, item ID P.D.T, name T, int32
// 7, good, polled at FILETIME 0x01DB000000000001.
CVariant WorkedExampleRecord()
{
    CVariant record;
    record.key = "D1:V1";
    record.variantId = "V1";
    record.itemId = "P.D.T";
    record.name = "T";
    record.typeName = "int32";
    record.value = "7";
    record.valid = true;
    record.typeCode = 5;
    record.selected = true;
    record.quality = kQualityGood;
    record.timestamp = 0x01DB000000000001ULL;
    record.changed = true; // not published
    record.checked = true; // not published
    return record;
}

// Its layout fields, and its values as the values archive's arrays lay them
// out for one record: valid, quality, time stamp, value length, value.
std::string WorkedExampleLayout()
{
    return Text("D1:V1") + Text("V1") + Text("P.D.T") + Text("T") + Text("int32") + std::string("\x05\x01", 2);
}

std::string WorkedExampleValues()
{
    return std::string("\x01\xC0\x00", 3) + std::string("\x01\x00\x00\x00\x00\x00\xDB\x01", 8) + Uint32(1) + "7";
}

// The data mapping a header names, as a reader opens it.
std::string DataBytes(const SegmentHeader &header)
{
    const std::string name = kSegmentDataPrefix + std::to_string(header.dataNumber);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr)
        return std::string();
    const char *view = static_cast<const char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    std::string bytes = view != nullptr ? std::string(view, header.dataSize) : std::string();
    if (view != nullptr)
        UnmapViewOfFile(view);
    CloseHandle(mapping);
    return bytes;
}

// The archive header of this architecture: signature, library version, the
// sizes of int, long, float and double, the byte-order probe.
const std::size_t kArchiveHeaderSize = sizeof(std::size_t) + 22 + 2 + 4 + 4;

class SegmentLayout : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, m_server.InitMapping()); }
    const SegmentHeader &Header() const
    {
        return *static_cast<const SegmentHeader *>(m_server.GetMappingAddress());
    }

    CScriptedServer m_server;
};

} // namespace

TEST_F(SegmentLayout, HeaderNamesTheDataMappingOfTheSnapshot)
{
    m_server.SetRecords({WorkedExampleRecord()});
    const std::uint64_t before = m_server.CurrentTime();
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::uint64_t after = m_server.CurrentTime();

    const SegmentHeader &header = Header();
    EXPECT_EQ(std::string("QLRSEG3", 8), std::string(header.magic, 8));
    EXPECT_EQ(64u, header.headerSize);
    EXPECT_EQ(sizeof(void *), header.pointerSize);
    EXPECT_EQ(1u, header.heartbeat);
    EXPECT_GE(header.writeTime, before);
    EXPECT_LE(header.writeTime, after);
    EXPECT_EQ(1u, header.recordCount);
    EXPECT_NE(0u, header.dataNumber);
    EXPECT_EQ(kSegmentDataInitialSize, header.dataCapacity);
    EXPECT_EQ(1u, header.layoutGeneration);
    EXPECT_EQ(GetCurrentProcessId(), header.writerId);

    const std::string data = DataBytes(header);
    ASSERT_EQ(header.dataSize, data.size());
    EXPECT_EQ(22u, ReadAt<std::size_t>(data.data(), 0));
    EXPECT_EQ(std::string("serialization::archive"), data.substr(sizeof(std::size_t), 22));
    const std::uint16_t libraryVersion = ReadAt<std::uint16_t>(data.data(), sizeof(std::size_t) + 22);
    EXPECT_EQ(static_cast<unsigned>(boost::archive::BOOST_ARCHIVE_VERSION()), libraryVersion);
    EXPECT_EQ(std::string("\x04\x04\x04\x08", 4), data.substr(sizeof(std::size_t) + 24, 4));
    const std::string layout = Uint32(1) + WorkedExampleLayout();
    ASSERT_EQ(kArchiveHeaderSize + layout.size(), header.layoutSize);
    EXPECT_EQ(layout, data.substr(kArchiveHeaderSize, layout.size()));
    // The values archive follows, with an archive header of its own.
    const std::string values = data.substr(header.layoutSize);
    EXPECT_EQ(data.substr(0, kArchiveHeaderSize), values.substr(0, kArchiveHeaderSize));
    EXPECT_EQ(Uint32(1) + WorkedExampleValues(), values.substr(kArchiveHeaderSize));
    EXPECT_EQ(header.dataSize, m_server.LastSnapshotSize());

    // A reader that keeps only what it publishes.
    std::vector<PublishedLayout> layoutRead;
    std::vector<PublishedValue> valuesRead;
    ASSERT_TRUE(LoadSegmentSnapshot(data.data(), header.layoutSize, data.size(), layoutRead, valuesRead));
    ASSERT_EQ(1u, layoutRead.size());
    ASSERT_EQ(1u, valuesRead.size());
    EXPECT_EQ("P.D.T", layoutRead[0].itemId);
    EXPECT_EQ(5, layoutRead[0].typeCode);
    EXPECT_EQ("7", valuesRead[0].value);
    EXPECT_EQ(kQualityGood, valuesRead[0].quality);
    EXPECT_EQ(0x01DB000000000001ULL, valuesRead[0].timestamp);
}

// Unchanged content costs the heartbeat only; changed content is a new
// snapshot with a new generation, whose layout is written (and announced)
// again only when it changed.
TEST_F(SegmentLayout, OnlyChangedContentIsWrittenAgain)
{
    m_server.SetRecords({WorkedExampleRecord()});
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::uint32_t generation = Header().generation;
    ASSERT_TRUE(m_server.WriteSnapshot());
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(3u, Header().heartbeat);
    EXPECT_EQ(generation, Header().generation);
    EXPECT_EQ(1, m_server.contentWrites);

    CRecordingClient client;
    ASSERT_NE(nullptr, client.InitMapping());
    ASSERT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());

    // New values, same layout: the layout bytes stay as they are.
    const std::uint32_t layoutGeneration = Header().layoutGeneration;
    const std::uint32_t layoutSize = Header().layoutSize;
    CVariant changed = WorkedExampleRecord();
    changed.value = "8";
    m_server.SetRecords({changed}, true);
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(generation + 1, Header().generation);
    EXPECT_EQ(layoutGeneration, Header().layoutGeneration);
    EXPECT_EQ(layoutSize, Header().layoutSize);
    ASSERT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());
    client.OnContent();

    // Another list: a new layout.
    m_server.SetRecords({changed, MakeRecord("D2:V9", "3", true)});
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(generation + 2, Header().generation);
    EXPECT_EQ(layoutGeneration + 1, Header().layoutGeneration);
    EXPECT_EQ(2u, Header().recordCount);
    EXPECT_EQ(3, m_server.contentWrites);
    ASSERT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());
    client.OnContent();
    const std::vector<LoadedList> loads = client.Loads();
    ASSERT_EQ(2u, loads.size());
    ASSERT_EQ(1u, loads[0].size());
    EXPECT_EQ("P.D.T", loads[0][0].itemId);
    EXPECT_EQ("8", loads[0][0].value);
    ASSERT_EQ(2u, loads[1].size());
    EXPECT_EQ("P.D.V9", loads[1][1].itemId);
    EXPECT_EQ("3", loads[1][1].value);
}

// A selection that outgrows its data mapping moves to a larger one under a
// new number; the reader follows it.
TEST_F(SegmentLayout, SnapshotOutgrowingItsMappingMovesToALargerOne)
{
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::uint32_t first = Header().dataNumber;
    std::vector<CVariant> records;
    for (int i = 0; i < 3000; ++i)
        records.push_back(MakeRecord("D1:V" + std::to_string(i), std::string(500, 'v'), true));
    m_server.SetRecords(records);
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_NE(first, Header().dataNumber);
    EXPECT_GE(Header().dataCapacity, 2 * kSegmentDataInitialSize);
    EXPECT_GT(Header().dataSize, kSegmentDataInitialSize);

    CRecordingClient client;
    ASSERT_NE(nullptr, client.InitMapping());
    ASSERT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());
    client.OnContent();
    ASSERT_EQ(1u, client.Loads().size());
    EXPECT_EQ(3000u, client.Loads()[0].size());
    EXPECT_EQ("P.D.V2999", client.Loads()[0].back().itemId);
}

// A writer that starts while a reader still holds the objects of an earlier
// one goes on from its numbers: no generation and no data mapping name is
// used twice.
TEST_F(SegmentLayout, LaterWriterGoesOnFromTheEarlierNumbers)
{
    m_server.SetRecords({WorkedExampleRecord()});
    ASSERT_TRUE(m_server.WriteSnapshot());
    const SegmentHeader earlier = Header();
    CRecordingClient client;
    ASSERT_NE(nullptr, client.InitMapping());
    ASSERT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());

    CScriptedServer later;
    ASSERT_NE(nullptr, later.InitMapping());
    later.SetRecords({WorkedExampleRecord()});
    ASSERT_TRUE(later.WriteSnapshot());
    const SegmentHeader &header = *static_cast<const SegmentHeader *>(later.GetMappingAddress());
    EXPECT_GT(header.generation, earlier.generation);
    EXPECT_GT(header.dataNumber, earlier.dataNumber);
    EXPECT_GT(header.heartbeat, earlier.heartbeat);
    EXPECT_EQ(XFileMapping::ReadResult::kNewSnapshot, client.ReadSnapshot());
}

// A writer without a content source publishes an empty selection.
TEST(SegmentWriter, WithoutContentWriterPublishesCountZero)
{
    CMappingServer server;
    ASSERT_NE(nullptr, server.InitMapping());
    ASSERT_TRUE(server.WriteSnapshot());
    const SegmentHeader &header = *static_cast<const SegmentHeader *>(server.GetMappingAddress());
    EXPECT_EQ(0u, header.recordCount);
    // Two archives, each its header and the count.
    EXPECT_EQ(2 * (kArchiveHeaderSize + 4), server.LastSnapshotSize());
}
