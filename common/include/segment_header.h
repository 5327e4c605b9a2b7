// segment_header.h - the header at the start of the named mapping. The writer
// rewrites it every cycle under the segment mutex: the heartbeat advances each
// time, the snapshot fields change only when a new snapshot of the records
// went into the data mapping, the layout fields only when the layout part of
// the snapshot was written anew. Fixed-width fields, the same on i686 and
// x86_64.
#pragma once

#include "segment_constants.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

struct SegmentHeader {
    char magic[8];                  // "QLRSEG3" and a zero byte
    std::uint32_t headerSize;       // sizeof(SegmentHeader)
    std::uint32_t pointerSize;      // the writer's pointer size: the record archives depend on it
    std::uint64_t heartbeat;        // +1 every writer cycle
    std::uint64_t writeTime;        // UTC FILETIME of the last writer cycle
    std::uint32_t generation;       // +1 for every new snapshot
    std::uint32_t recordCount;      // records of the current snapshot
    std::uint32_t dataNumber;       // its data mapping; 0 = no snapshot yet
    std::uint32_t dataCapacity;     // size of that mapping
    std::uint32_t dataSize;         // bytes of the snapshot in it: layout and values
    std::uint32_t layoutSize;       // bytes of the layout part, at the mapping's start
    std::uint32_t layoutGeneration; // the layout's generation (another: parse the layout again)
    std::uint32_t writerId;         // the writing process (another: parse everything again)
};
static_assert(sizeof(SegmentHeader) == 64, "segment header layout");

constexpr char kSegmentMagic[8] = {'Q', 'L', 'R', 'S', 'E', 'G', '3', '\0'};

inline void ResetSegmentHeader(SegmentHeader &header)
{
    std::memset(&header, 0, sizeof(header));
    std::memcpy(header.magic, kSegmentMagic, sizeof(header.magic));
    header.headerSize = sizeof(SegmentHeader);
    header.pointerSize = sizeof(void *);
}

// A header that this program can follow: our magic, our layout, a writer of
// our architecture, and snapshot fields that hold together, in a data
// mapping no larger than a writer makes.
inline bool SegmentHeaderUsable(const SegmentHeader &header)
{
    return std::memcmp(header.magic, kSegmentMagic, sizeof(header.magic)) == 0 &&
           header.headerSize == sizeof(SegmentHeader) && header.pointerSize == sizeof(void *) &&
           header.layoutSize <= header.dataSize && header.dataSize <= header.dataCapacity &&
           header.dataCapacity <= kSegmentDataMaxSize;
}
