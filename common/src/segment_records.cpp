// segment_records.cpp - saving a snapshot's layout and values into their
// archives, and parsing them back from bytes with every length and count
// checked before anything is allocated.
#include "segment_records.h"

#include "segment_constants.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/interprocess/streams/bufferstream.hpp>
#include <boost/interprocess/streams/vectorstream.hpp>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char kArchiveSignature[] = "serialization::archive";
const std::size_t kSignatureLength = sizeof(kArchiveSignature) - 1;

// Bytes of the smallest possible layout record: five empty texts and two
// flag bytes; of one record's values: the valid byte, the quality, the time
// stamp and the value length.
const std::size_t kSmallestLayoutRecord = 5 * sizeof(std::size_t) + 2;
const std::size_t kValuesPerRecord = 1 + 2 + 8 + 4;

// Storage a text keeps from an earlier parse only when it is not far
// larger than needed, so that what a list holds stays bounded by what its
// current texts need.
void PrepareText(std::string &text, std::size_t length)
{
    const std::size_t kept = 256;
    if (text.capacity() > kept && text.capacity() / 2 > length)
        std::string().swap(text);
}

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

    std::size_t Position() const
    {
        const std::streamoff position = m_stream.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        return position < 0 ? m_size : static_cast<std::size_t>(position);
    }

    std::size_t Remaining() const
    {
        const std::size_t position = Position();
        return position > m_size ? 0 : m_size - position;
    }

    // Bytes the texts read from now on may take in all.
    void SetTextBudget(std::size_t bytes) { m_textBudget = bytes; }
    std::size_t TextBudget() const { return m_textBudget; }

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
        PrepareText(text, length);
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
    if (data == nullptr || size < sizeof(std::size_t) + kSignatureLength)
        return false;
    std::size_t length = 0;
    std::memcpy(&length, data, sizeof(length));
    return length == kSignatureLength &&
           std::memcmp(data + sizeof(length), kArchiveSignature, kSignatureLength) == 0;
}

bool ReadLayoutRecord(CBoundedReader &reader, CVariant &record)
{
    bool selected = false;
    const bool read = reader.ReadText(record.key) && reader.ReadText(record.variantId) &&
                      reader.ReadText(record.itemId) && reader.ReadText(record.name) &&
                      reader.ReadText(record.typeName) && reader.Read(record.typeCode) &&
                      reader.ReadFlag(selected);
    record.selected = selected;
    record.changed = false;
    return read;
}

bool ReadLayoutRecord(CBoundedReader &reader, PublishedLayout &record)
{
    bool selected = false;
    return reader.SkipText() && reader.SkipText() && reader.ReadText(record.itemId) && reader.SkipText() &&
           reader.SkipText() && reader.Read(record.typeCode) && reader.ReadFlag(selected);
}

// Runs read(archive, reader) over an archive of size bytes; false for
// anything the archive library refuses.
template <typename Read>
bool ReadArchive(const char *data, std::size_t size, Read read)
{
    if (!StartsWithArchiveSignature(data, size))
        return false;
    boost::interprocess::bufferbuf stream(const_cast<char *>(data), size, std::ios_base::in);
    try {
        boost::archive::binary_iarchive archive(stream);
        CBoundedReader reader(archive, stream, size);
        return read(reader);
    } catch (...) {
        return false;
    }
}

template <class Record>
bool LoadLayout(const char *data, std::size_t size, std::vector<Record> &records)
{
    return ReadArchive(data, size, [&records](CBoundedReader &reader) {
        std::int32_t count = 0;
        if (!reader.Read(count) || count < 0 || static_cast<std::uint32_t>(count) > kSegmentMaxRecords ||
            static_cast<std::size_t>(count) > reader.Remaining() / kSmallestLayoutRecord)
            return false;
        // The list and its texts share one budget.
        const std::size_t listBytes = static_cast<std::size_t>(count) * sizeof(Record);
        if (listBytes > kSegmentReadBudget)
            return false;
        reader.SetTextBudget(kSegmentReadBudget - listBytes);
        records.resize(static_cast<std::size_t>(count));
        for (Record &record : records) {
            if (!ReadLayoutRecord(reader, record))
                return false;
        }
        return true;
    });
}

void SetValueFields(CVariant &record, bool valid, std::uint16_t quality, std::uint64_t timestamp)
{
    record.valid = valid;
    record.quality = quality;
    record.timestamp = timestamp;
}

void SetValueFields(PublishedValue &record, bool valid, std::uint16_t quality, std::uint64_t timestamp)
{
    record.valid = valid;
    record.quality = quality;
    record.timestamp = timestamp;
}

// The arrays are read straight from the archive's bytes: they lie one after
// the other, and their sizes follow from the count.
template <class Record>
bool LoadValues(const char *data, std::size_t size, std::vector<Record> &records)
{
    return ReadArchive(data, size, [data, &records](CBoundedReader &reader) {
        std::int32_t count = 0;
        if (!reader.Read(count) || count < 0 || static_cast<std::size_t>(count) != records.size() ||
            static_cast<std::size_t>(count) > reader.Remaining() / kValuesPerRecord)
            return false;
        const std::size_t n = records.size();
        const char *valid = data + reader.Position();
        const char *quality = valid + n;
        const char *timestamp = quality + 2 * n;
        const char *length = timestamp + 8 * n;
        const char *bytes = length + 4 * n;
        std::size_t left = reader.Remaining() - kValuesPerRecord * n;
        // The value texts share what the list left of the budget.
        const std::size_t listBytes = n * sizeof(Record);
        if (listBytes > kSegmentReadBudget)
            return false;
        std::size_t budget = kSegmentReadBudget - listBytes;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint16_t q = 0;
            std::uint64_t t = 0;
            std::uint32_t l = 0;
            std::memcpy(&q, quality + 2 * i, sizeof(q));
            std::memcpy(&t, timestamp + 8 * i, sizeof(t));
            std::memcpy(&l, length + 4 * i, sizeof(l));
            if (l > kSegmentMaxText || l > left || l > budget)
                return false;
            left -= l;
            budget -= l;
            Record &record = records[i];
            SetValueFields(record, valid[i] != 0, q, t);
            PrepareText(record.value, l);
            record.value.assign(bytes, l);
            bytes += l;
        }
        // Nothing may follow the last value.
        return left == 0;
    });
}



} // namespace

// The layout archive, written to memory while a snapshot with a new layout
// is collected, into the storage of the layout before it.
class CSegmentSnapshotWriter::CLayoutArchive {
public:
    explicit CLayoutArchive(std::string &storage)
    {
        storage.clear();
        m_stream.swap_vector(storage);
        m_archive.reset(new boost::archive::binary_oarchive(static_cast<std::streambuf &>(*m_stream.rdbuf())));
    }
    boost::archive::binary_oarchive &Archive() { return *m_archive; }
    // Hands the bytes written to storage.
    void Finish(std::string &storage)
    {
        m_archive.reset();
        m_stream.swap_vector(storage);
    }

private:
    boost::interprocess::basic_ovectorstream<std::string> m_stream;
    std::unique_ptr<boost::archive::binary_oarchive> m_archive;
};

CSegmentSnapshotWriter::CSegmentSnapshotWriter() = default;
CSegmentSnapshotWriter::~CSegmentSnapshotWriter() = default;

void CSegmentSnapshotWriter::Begin(std::uint32_t count, std::uint64_t layoutGeneration)
{
    m_count = count;
    m_added = 0;
    m_failed = false;
    m_valid.clear();
    m_quality.clear();
    m_timestamp.clear();
    m_length.clear();
    m_valueBytes.clear();
    m_layoutArchive.reset();
    try {
        m_valid.reserve(count);
        m_quality.reserve(count);
        m_timestamp.reserve(count);
        m_length.reserve(count);
        // A count other than the layout's is a new layout whatever its
        // generation says: values and layout must agree.
        if (!m_hasLayout || layoutGeneration != m_layoutGeneration || count != m_layoutCount) {
            m_hasLayout = false;
            m_layoutGeneration = layoutGeneration;
            m_layoutCount = count;
            m_layoutArchive.reset(new CLayoutArchive(m_layout));
            m_layoutArchive->Archive() << static_cast<std::int32_t>(count);
            if (count == 0)
                FinishLayout();
        }
    } catch (...) {
        m_failed = true;
        m_layoutArchive.reset();
    }
}

void CSegmentSnapshotWriter::Add(const CVariant &record)
{
    if (m_failed)
        return;
    if (m_added == m_count) {
        m_failed = true; // more records than announced
        return;
    }
    try {
        if (m_layoutArchive) {
            const std::uint8_t selected = record.selected ? 1 : 0;
            m_layoutArchive->Archive() << record.key << record.variantId << record.itemId << record.name
                                       << record.typeName << record.typeCode << selected;
        }
        m_valid.push_back(record.valid ? 1 : 0);
        m_quality.push_back(record.quality);
        m_timestamp.push_back(record.timestamp);
        m_length.push_back(static_cast<std::uint32_t>(record.value.size()));
        m_valueBytes.append(record.value);
    } catch (...) {
        m_failed = true;
        m_layoutArchive.reset();
        return;
    }
    if (++m_added == m_count && m_layoutArchive)
        FinishLayout();
}

void CSegmentSnapshotWriter::FinishLayout()
{
    try {
        m_layoutArchive->Finish(m_layout);
        m_hasLayout = true;
        // Never 0: a reader that has seen no layout holds 0.
        if (++m_layoutSerial == 0)
            m_layoutSerial = 1;
    } catch (...) {
        m_failed = true;
    }
    m_layoutArchive.reset();
}

bool CSegmentSnapshotWriter::Complete() const
{
    return !m_failed && m_added == m_count && m_hasLayout;
}

bool CSegmentSnapshotWriter::StoreValues(char *data, std::size_t capacity, std::size_t &size) const
{
    if (!Complete())
        return false;
    boost::interprocess::bufferbuf stream(data, capacity, std::ios_base::out);
    try {
        boost::archive::binary_oarchive archive(stream);
        archive << static_cast<std::int32_t>(m_count);
        archive.save_binary(m_valid.data(), m_valid.size());
        archive.save_binary(m_quality.data(), m_quality.size() * sizeof(std::uint16_t));
        archive.save_binary(m_timestamp.data(), m_timestamp.size() * sizeof(std::uint64_t));
        archive.save_binary(m_length.data(), m_length.size() * sizeof(std::uint32_t));
        archive.save_binary(m_valueBytes.data(), m_valueBytes.size());
        stream.pubsync();
        size = static_cast<std::size_t>(stream.pubseekoff(0, std::ios_base::cur, std::ios_base::out));
        return true;
    } catch (...) {
        return false; // does not fit
    }
}

bool LoadSegmentLayout(const char *data, std::size_t size, std::vector<CVariant> &records)
{
    return LoadLayout(data, size, records);
}

bool LoadSegmentLayout(const char *data, std::size_t size, std::vector<PublishedLayout> &records)
{
    return LoadLayout(data, size, records);
}

bool LoadSegmentValues(const char *data, std::size_t size, std::vector<CVariant> &records)
{
    return LoadValues(data, size, records);
}

bool LoadSegmentValues(const char *data, std::size_t size, std::vector<PublishedValue> &records)
{
    return LoadValues(data, size, records);
}

bool LoadSegmentSnapshot(const char *data, std::size_t layoutSize, std::size_t size,
                         std::vector<CVariant> &records)
{
    return data != nullptr && layoutSize <= size && LoadLayout(data, layoutSize, records) &&
           LoadValues(data + layoutSize, size - layoutSize, records);
}

bool LoadSegmentSnapshot(const char *data, std::size_t layoutSize, std::size_t size,
                         std::vector<PublishedLayout> &layout, std::vector<PublishedValue> &values)
{
    if (data == nullptr || layoutSize > size || !LoadLayout(data, layoutSize, layout))
        return false;
    values.resize(layout.size());
    return LoadValues(data + layoutSize, size - layoutSize, values);
}

std::string EncodeSegmentSnapshot(const std::vector<CVariant> &records, std::size_t &layoutSize)
{
    CSegmentSnapshotWriter writer;
    writer.Begin(static_cast<std::uint32_t>(records.size()), 1);
    for (const CVariant &record : records)
        writer.Add(record);
    std::string bytes = writer.LayoutBytes();
    layoutSize = bytes.size();
    std::string values(64 + 16 * records.size(), '\0');
    for (const CVariant &record : records)
        values.resize(values.size() + record.value.size());
    std::size_t size = 0;
    if (!writer.StoreValues(&values[0], values.size(), size))
        return std::string();
    values.resize(size);
    return bytes + values;
}
