// segment_snapshot_fuzz.cpp - fuzz target of the shared segment's snapshot
// reader (what the bridge parses out of a data mapping that any local
// program could have made). An input is a uint32 layout size, as a header
// announces it, and the data mapping's bytes: the layout archive and the
// values archive after it. A snapshot is either refused or read whole; what
// is read saves and reads back to the same records, and a reader that keeps
// only the published fields gets exactly those.
#include "segment_header.h"
#include "segment_records.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool SamePublished(const CVariant &a, const PublishedLayout &layout, const PublishedValue &value)
{
    return a.itemId == layout.itemId && a.typeCode == layout.typeCode && a.value == value.value &&
           a.valid == value.valid && a.quality == value.quality && a.timestamp == value.timestamp;
}

bool Same(const CVariant &a, const CVariant &b)
{
    return a.itemId == b.itemId && a.value == b.value && a.valid == b.valid && a.typeCode == b.typeCode &&
           a.quality == b.quality && a.timestamp == b.timestamp && a.key == b.key && a.variantId == b.variantId && a.name == b.name &&
           a.typeName == b.typeName && a.selected == b.selected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    // The header of the named mapping: judged, never trusted further.
    if (size >= sizeof(SegmentHeader)) {
        SegmentHeader header;
        std::memcpy(&header, bytes, sizeof(header));
        if (SegmentHeaderUsable(header))
            Check(header.dataSize <= header.dataCapacity);
    }

    if (size < sizeof(std::uint32_t))
        return 0;
    std::uint32_t layoutSize = 0;
    std::memcpy(&layoutSize, bytes, sizeof(layoutSize));
    bytes += sizeof(layoutSize);
    size -= sizeof(layoutSize);

    // Both loaders check the same lengths and maxima; they differ only in
    // the memory budget of one parse (whole records are larger), which
    // inputs of a fuzzer's size never reach.
    std::vector<CVariant> all;
    const bool read = LoadSegmentSnapshot(bytes, layoutSize, size, all);
    std::vector<PublishedLayout> layout;
    std::vector<PublishedValue> values;
    Check(read == LoadSegmentSnapshot(bytes, layoutSize, size, layout, values));
    if (!read)
        return 0;
    Check(all.size() == layout.size() && all.size() == values.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        Check(SamePublished(all[i], layout[i], values[i]));

    std::size_t againLayout = 0;
    const std::string again = EncodeSegmentSnapshot(all, againLayout);
    std::vector<CVariant> reread;
    Check(LoadSegmentSnapshot(again.data(), againLayout, again.size(), reread));
    Check(reread.size() == all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        Check(Same(all[i], reread[i]));
    return 0;
}
