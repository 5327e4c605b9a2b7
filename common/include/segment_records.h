// segment_records.h - the records of one snapshot as they lie in the data
// mapping: two binary archives (each with its standard header), one after
// the other.
//
// The layout, at the start of the mapping, is written only when the list of
// variables or their names changed: the int32 record count, then for each
// record key, variantId, itemId, name and typeName (texts: length, bytes),
// typeCode and selected (one byte each).
//
// The values follow the layout and are written whenever a value changed:
// the int32 record count, then one array per field over all records in the
// layout's order - valid (one byte each), quality (uint16), time stamp
// (uint64, UTC FILETIME of the poll reply that produced the value, or of the
// last quality change; 0 = none), value length (uint32) - and then the value
// texts' bytes one after the other.
//
// Portable C++: the loaders take plain bytes, whoever wrote them.
#pragma once

#include "variant_record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace boost {
namespace archive {
class binary_oarchive;
} // namespace archive
} // namespace boost

// What a writer saved into one snapshot.
struct SegmentContent {
    std::uint64_t generation = 0;       // the generation of the content saved
    std::uint64_t layoutGeneration = 0; // the generation of its layout
    std::uint32_t count = 0;            // records saved
};

// Collects one snapshot's records for the data mapping: their values every
// time, their layout only when its generation is not the one collected
// last (the layout's bytes are kept for the next snapshots). Reused from
// one snapshot to the next, so that a snapshot allocates nothing once the
// storage has grown to the selection's size.
class CSegmentSnapshotWriter {
public:
    CSegmentSnapshotWriter();
    ~CSegmentSnapshotWriter();
    CSegmentSnapshotWriter(const CSegmentSnapshotWriter &) = delete;
    CSegmentSnapshotWriter &operator=(const CSegmentSnapshotWriter &) = delete;

    // Starts a snapshot of count records whose layout has layoutGeneration.
    void Begin(std::uint32_t count, std::uint64_t layoutGeneration);
    // The next record, in the same order for every snapshot of one layout.
    void Add(const CVariant &record);
    // True when exactly the announced records were added and the layout
    // could be saved.
    bool Complete() const;

    std::uint64_t LayoutGeneration() const { return m_layoutGeneration; }
    // Changes whenever the layout's bytes were saved anew.
    std::uint32_t LayoutSerial() const { return m_layoutSerial; }
    // The layout archive.
    const std::string &LayoutBytes() const { return m_layout; }
    // Saves the values archive into capacity bytes at data: false when it
    // does not fit; size gets the bytes written.
    bool StoreValues(char *data, std::size_t capacity, std::size_t &size) const;

private:
    class CLayoutArchive;

    // The layout archive complete: its bytes go to m_layout.
    void FinishLayout();

    std::uint32_t m_count = 0;
    std::uint32_t m_added = 0;
    std::uint64_t m_layoutGeneration = 0;
    std::uint32_t m_layoutCount = 0;
    std::uint32_t m_layoutSerial = 0;
    bool m_hasLayout = false; // m_layout holds m_layoutGeneration's layout
    bool m_failed = false;    // this snapshot cannot be stored
    std::unique_ptr<CLayoutArchive> m_layoutArchive; // while a new layout is saved
    std::string m_layout;
    std::vector<std::uint8_t> m_valid;
    std::vector<std::uint16_t> m_quality;
    std::vector<std::uint64_t> m_timestamp;
    std::vector<std::uint32_t> m_length;
    std::string m_valueBytes;
};

// What the service publishes of a record, in two lists of one order: the
// layout part (item ID and type code, taken when the layout changed) and
// the values part (taken with every snapshot). Small, for 100,000 of them.
struct PublishedLayout {
    std::string itemId;
    std::int8_t typeCode = 0;
};

struct PublishedValue {
    std::string value;
    std::uint64_t timestamp = 0;
    std::uint16_t quality = kQualityWaiting;
    bool valid = false;
};

// Parses a layout archive of size bytes into records (resized to its
// count): every field of a CVariant, or the itemId and typeCode that are
// published (the other texts are checked and passed over). Every length and
// the count are checked against the bytes left and against the maxima of
// segment_constants.h before anything is allocated: at most
// kSegmentMaxRecords records, texts of at most kSegmentMaxText bytes, and
// the list with the texts it keeps within kSegmentReadBudget bytes. Texts
// keep their storage for the next parse unless it is far larger than
// needed. False for anything that is not a complete layout: records are
// then unspecified and must not be used.
bool LoadSegmentLayout(const char *data, std::size_t size, std::vector<CVariant> &records);
bool LoadSegmentLayout(const char *data, std::size_t size, std::vector<PublishedLayout> &records);

// Parses a values archive of size bytes into records sized to its layout
// (CVariant records that hold it): its count must be theirs, and the value
// texts within the same maxima. False as above; CVariant records keep
// their layout fields either way.
bool LoadSegmentValues(const char *data, std::size_t size, std::vector<CVariant> &records);
bool LoadSegmentValues(const char *data, std::size_t size, std::vector<PublishedValue> &records);

// A whole snapshot: the layout in its first layoutSize bytes, the values in
// the rest.
bool LoadSegmentSnapshot(const char *data, std::size_t layoutSize, std::size_t size,
                         std::vector<CVariant> &records);
bool LoadSegmentSnapshot(const char *data, std::size_t layoutSize, std::size_t size,
                         std::vector<PublishedLayout> &layout, std::vector<PublishedValue> &values);

// The bytes of a whole snapshot of records (tests and seed corpora): the
// layout's size goes to layoutSize.
std::string EncodeSegmentSnapshot(const std::vector<CVariant> &records, std::size_t &layoutSize);
