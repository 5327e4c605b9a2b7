// segment_records.h - the records of one snapshot as they lie in the data
// mapping: a binary archive (its standard header), the int32 record count,
// then for each record key, variantId, itemId, name, typeName and value
// (texts: length, bytes), valid, typeCode and selected (one byte each),
// quality (uint16) and time stamp (uint64, UTC FILETIME of the poll reply
// that produced the value, or of the last quality change; 0 = none).
// Portable C++: the loader takes plain bytes, whoever wrote them.
#pragma once

#include "variant_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace boost {
namespace archive {
class binary_oarchive;
} // namespace archive
} // namespace boost

// What a writer saved into one snapshot.
struct SegmentContent {
    std::uint64_t generation = 0; // the generation of the content saved
    std::uint32_t count = 0;      // records saved
};

// Saves one record's fields; the caller has saved the count before.
void SaveSegmentRecord(boost::archive::binary_oarchive &archive, const CVariant &record);

// Parses one whole snapshot of size bytes into records (resized to the
// count; their texts keep their storage for the next parse unless it is
// far larger than needed). Every length and the count are checked against
// the bytes left and against the maxima of segment_constants.h before
// anything is allocated: at most kSegmentMaxRecords records, texts of at
// most kSegmentMaxText bytes, and the list with the texts it keeps within
// kSegmentReadBudget bytes. False for anything that is not a complete
// snapshot: records are then unspecified and must not be used.
bool LoadSegmentRecords(const char *data, std::size_t size, std::vector<CVariant> &records);

// What the service publishes of a record: small, for 100,000 of them.
struct PublishedRecord {
    std::string itemId;
    std::string value;
    std::uint64_t timestamp = 0;
    std::uint16_t quality = kQualityWaiting;
    std::int8_t typeCode = 0;
    bool valid = false;
};

// The same parse, keeping only what is published (the other texts are
// checked and passed over).
bool LoadSegmentRecords(const char *data, std::size_t size, std::vector<PublishedRecord> &records);
