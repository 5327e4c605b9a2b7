// segment_records.cpp - saving the records of a snapshot into the archive, and
// parsing a snapshot's bytes back with every length checked first.
#include "segment_records.h"

#include "segment_constants.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char kArchiveSignature[] = "serialization::archive";
const std::size_t kSignatureLength = sizeof(kArchiveSignature) - 1;

// Bytes of the smallest possible record: six empty texts, three flag bytes,
// the quality and the time stamp.
const std::size_t kSmallestRecord = 6 * sizeof(std::size_t) + 3 + 2 + 8;

// Reads primitives and texts from an archive over a buffer of known size,
// refusing every length that reaches beyond what is left, a text above
// kSegmentMaxText, and texts that together would need more memory than the
// parse has left.
class CBoundedReader {
public:
    CBoundedReader(boost::archive::binary_iarchive &archive, std::streambuf &stream, std::size_t size)
        : m_archive(archive), m_stream(stream), m_size(size)
    {
    }

    std::size_t Remaining() const
    {
        const std::streamoff position = m_stream.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        if (position < 0 || static_cast<std::size_t>(position) > m_size)
            return 0;
        return m_size - static_cast<std::size_t>(position);
    }

    // Bytes the texts read from now on may take in all.
    void SetTextBudget(std::size_t bytes) { m_textBudget = bytes; }

    template <typename T>
    bool Read(T &value)
    {
        if (Remaining() < sizeof(T))
            return false;
        m_archive >> value;
        return true;
    }

    bool ReadFlag(bool &flag)
    {
        std::uint8_t byte = 0;
        if (!Read(byte))
            return false;
        flag = byte != 0;
        return true;
    }

    bool ReadText(std::string &text)
    {
        std::size_t length = 0;
        if (!ReadLength(length) || length > m_textBudget)
            return false;
        m_textBudget -= length;
        // Storage kept from an earlier parse is reused only when it is not
        // far larger than needed, so that what a list holds stays bounded
        // by what its current texts need.
        if (text.capacity() > kKeptTextStorage && text.capacity() / 2 > length)
            std::string().swap(text);
        text.resize(length);
        if (length != 0)
            m_archive.load_binary(&text[0], length);
        return true;
    }

    // A text whose bytes are not needed: checked and passed over; it takes
    // nothing from the budget.
    bool SkipText()
    {
        std::size_t length = 0;
        if (!ReadLength(length))
            return false;
        m_stream.pubseekoff(static_cast<std::streamoff>(length), std::ios_base::cur, std::ios_base::in);
        return true;
    }

private:
    static const std::size_t kKeptTextStorage = 256;

    bool ReadLength(std::size_t &length)
    {
        return Read(length) && length <= kSegmentMaxText && length <= Remaining();
    }

    boost::archive::binary_iarchive &m_archive;
    std::streambuf &m_stream;
    std::size_t m_size;
    std::size_t m_textBudget = kSegmentReadBudget;
};

// The archive's signature must be there before the archive reads it: it
// trusts the signature's own length field.
bool StartsWithArchiveSignature(const char *data, std::size_t size)
{
    if (size < sizeof(std::size_t) + kSignatureLength)
        return false;
    std::size_t length = 0;
    std::memcpy(&length, data, sizeof(length));
    return length == kSignatureLength &&
           std::memcmp(data + sizeof(length), kArchiveSignature, kSignatureLength) == 0;
}

bool ReadRecord(CBoundedReader &reader, CVariant &record)
{
    bool selected = false;
    const bool read = reader.ReadText(record.key) && reader.ReadText(record.variantId) &&
                      reader.ReadText(record.itemId) && reader.ReadText(record.name) &&
                      reader.ReadText(record.typeName) && reader.ReadText(record.value) &&
                      reader.ReadFlag(record.valid) && reader.Read(record.typeCode) && reader.ReadFlag(selected) &&
                      reader.Read(record.quality) && reader.Read(record.timestamp);
    record.selected = selected;
    record.changed = false;
    return read;
}

bool ReadRecord(CBoundedReader &reader, PublishedRecord &record)
{
    bool selected = false;
    return reader.SkipText() && reader.SkipText() && reader.ReadText(record.itemId) && reader.SkipText() &&
           reader.SkipText() && reader.ReadText(record.value) && reader.ReadFlag(record.valid) &&
           reader.Read(record.typeCode) && reader.ReadFlag(selected) && reader.Read(record.quality) &&
           reader.Read(record.timestamp);
}

template <class Record>
bool LoadRecords(const char *data, std::size_t size, std::vector<Record> &records)
{
    if (data == nullptr || !StartsWithArchiveSignature(data, size))
        return false;
    boost::interprocess::bufferbuf stream(const_cast<char *>(data), size, std::ios_base::in);
    try {
        boost::archive::binary_iarchive archive(stream);
        CBoundedReader reader(archive, stream, size);
        std::int32_t count = 0;
        if (!reader.Read(count) || count < 0 || static_cast<std::uint32_t>(count) > kSegmentMaxRecords ||
            static_cast<std::size_t>(count) > reader.Remaining() / kSmallestRecord)
            return false;
        // The list and its texts share one budget.
        const std::size_t listBytes = static_cast<std::size_t>(count) * sizeof(Record);
        if (listBytes > kSegmentReadBudget)
            return false;
        reader.SetTextBudget(kSegmentReadBudget - listBytes);
        records.resize(static_cast<std::size_t>(count));
        for (Record &record : records) {
            if (!ReadRecord(reader, record))
                return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

void SaveSegmentRecord(boost::archive::binary_oarchive &archive, const CVariant &record)
{
    const std::uint8_t valid = record.valid ? 1 : 0;
    const std::uint8_t selected = record.selected ? 1 : 0;
    archive << record.key << record.variantId << record.itemId << record.name << record.typeName
            << record.value << valid << record.typeCode << selected << record.quality
            << record.timestamp;
}

bool LoadSegmentRecords(const char *data, std::size_t size, std::vector<CVariant> &records)
{
    return LoadRecords(data, size, records);
}

bool LoadSegmentRecords(const char *data, std::size_t size, std::vector<PublishedRecord> &records)
{
    return LoadRecords(data, size, records);
}
