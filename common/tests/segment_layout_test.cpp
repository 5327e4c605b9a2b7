// The bytes a writer puts into the segment: the archive header, the time
// stamp, the count and the framing of the records, checked against the
// layout that the service relies on.
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

// Offsets of the i686 layout; x86_64 archives carry 8-byte lengths, which
// moves everything after the first field by 4 bytes.
const std::size_t kShift = sizeof(std::size_t) - 4;
const std::size_t kVersionOffset = 26 + kShift;
const std::size_t kSizesOffset = 28 + kShift;
const std::size_t kProbeOffset = 32 + kShift;
const std::size_t kStampOffset = 36 + kShift;
const std::size_t kCountOffset = 44 + kShift;
const std::size_t kRecordsOffset = 48 + kShift;

// The record of the worked example: key D1:V1, item ID P.D.T, name T, int32 7.
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
    record.changed = true; // not archived
    record.checked = true; // not archived
    return record;
}

std::string WorkedExampleFields()
{
    return Text("D1:V1") + Text("V1") + Text("P.D.T") + Text("T") + Text("int32") + Text("7") +
           std::string("\x01\x05\x01", 3);
}

class SegmentLayout : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, m_server.InitMapping()); }
    const char *View() const { return static_cast<const char *>(m_server.GetMappingAddress()); }

    CScriptedServer m_server;
};

} // namespace

TEST_F(SegmentLayout, HeaderFieldsStampAndCount)
{
    m_server.SetRecords({WorkedExampleRecord()});
    const std::int64_t before = m_server.CurrentTime();
    ASSERT_TRUE(m_server.WriteSnapshot());
    const std::int64_t after = m_server.CurrentTime();
    const char *view = View();

    EXPECT_EQ(22u, ReadAt<std::size_t>(view, 0));
    EXPECT_EQ(std::string("serialization::archive"), std::string(view + sizeof(std::size_t), 22));
    const std::uint16_t libraryVersion = ReadAt<std::uint16_t>(view, kVersionOffset);
    EXPECT_EQ(static_cast<unsigned>(boost::archive::BOOST_ARCHIVE_VERSION()), libraryVersion);
    std::printf("archive library version written: %u\n", static_cast<unsigned>(libraryVersion));
    EXPECT_EQ(std::string("\x04\x04\x04\x08", 4), std::string(view + kSizesOffset, 4));
    EXPECT_EQ(1, ReadAt<std::int32_t>(view, kProbeOffset));
    const std::int64_t stamp = ReadAt<std::int64_t>(view, kStampOffset);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(1, ReadAt<std::int32_t>(view, kCountOffset));
}

TEST_F(SegmentLayout, WorkedExampleByteForByte)
{
    m_server.SetRecords({WorkedExampleRecord()});
    ASSERT_TRUE(m_server.WriteSnapshot());

    // Count, then tracking flag, class version, object id 0 and the fields.
    const std::string expected = Uint32(1) + std::string("\x01", 1) + Uint32(0) + Uint32(0) + WorkedExampleFields();
    EXPECT_EQ(expected, std::string(View() + kCountOffset, expected.size()));
    EXPECT_EQ(kCountOffset + expected.size(), m_server.LastSnapshotSize());
}

TEST_F(SegmentLayout, LaterRecordsCarryOnlyTheirObjectId)
{
    CVariant second = WorkedExampleRecord();
    second.key = "D1:V2";
    m_server.SetRecords({WorkedExampleRecord(), second, WorkedExampleRecord()});
    ASSERT_TRUE(m_server.WriteSnapshot());

    const std::string first = std::string("\x01", 1) + Uint32(0) + Uint32(0) + WorkedExampleFields();
    std::string secondFields = WorkedExampleFields();
    secondFields.replace(secondFields.find("D1:V1"), 5, "D1:V2");
    const std::string expected = Uint32(3) + first + Uint32(1) + secondFields + Uint32(2) + WorkedExampleFields();
    EXPECT_EQ(expected, std::string(View() + kCountOffset, expected.size()));
}

TEST_F(SegmentLayout, EmptySelectionIsCountZero)
{
    ASSERT_TRUE(m_server.WriteSnapshot());
    EXPECT_EQ(0, ReadAt<std::int32_t>(View(), kCountOffset));
    EXPECT_EQ(kRecordsOffset, m_server.LastSnapshotSize());
}

// A writer without a content source publishes an empty selection.
TEST(SegmentWriter, WithoutContentWriterPublishesCountZero)
{
    CMappingServer server;
    ASSERT_NE(nullptr, server.InitMapping());
    ASSERT_TRUE(server.WriteSnapshot());
    EXPECT_EQ(0, ReadAt<std::int32_t>(static_cast<const char *>(server.GetMappingAddress()), kCountOffset));
}
