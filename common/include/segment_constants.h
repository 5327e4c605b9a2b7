// segment_constants.h - names, sizes and timing of the shared data segment
// through which the gateway publishes its selected variables to the service.
#pragma once

#include <cstddef>
#include <cstdint>

// Kernel object names carry no namespace prefix: both programs run in the
// same logon session. The named mapping holds the segment header; the
// records of the current snapshot are in a data mapping whose name is
// kSegmentDataPrefix followed by the number the header gives.
constexpr char kSegmentMutexName[] = "QlrGlobalMutex_dakoar";
constexpr char kSegmentMappingName[] = "QlrShareFile_dakoar";
constexpr char kSegmentDataPrefix[] = "QlrShareFile_dakoar.";
// Set by the writer whenever it stored a new snapshot, so that the reader
// takes it at once instead of at its next cycle.
constexpr char kSegmentNewSnapshotEvent[] = "QlrShareFile_dakoar.new";

// Size of the header mapping.
constexpr std::size_t kSegmentSize = 0x10000;
// First and largest size of a data mapping; it grows by doubling. The
// reader maps no more than the largest size, whatever a header announces.
constexpr std::size_t kSegmentDataInitialSize = 0x100000;
constexpr std::size_t kSegmentDataMaxSize = 0x10000000;
// What the reader takes from one snapshot at most: records (five times the
// 100,000 the gateway is measured with), the bytes of one text, and the
// memory one parse may allocate in all (the record list and its texts).
constexpr std::uint32_t kSegmentMaxRecords = 500000;
constexpr std::size_t kSegmentMaxText = 0x100000;
constexpr std::size_t kSegmentReadBudget = 64u << 20;
// A snapshot the reader could not parse is parsed again after this long
// (or at once when the header announces other data), so that one bad read
// does not leave the items stale while the writer is alive.
constexpr unsigned long kSegmentMalformedRetryMs = 1000;

// A reader that has not seen the writer's heartbeat advance for this long
// takes the gateway as gone.
constexpr unsigned long kStaleMs = 3000;

// Pause between two writer or reader cycles, and between two attempts to
// open the segment; the longest wait for the segment mutex.
constexpr unsigned long kSegmentCycleMs = 100;
constexpr unsigned long kSegmentMutexWaitMs = 2000;
