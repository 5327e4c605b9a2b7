// segment_constants.h - names, size and timing of the shared data segment
// through which the gateway publishes its selected variables to the service.
#pragma once

#include <cstddef>

// Kernel object names carry no namespace prefix: both programs run in the
// same logon session.
constexpr char kSegmentMutexName[] = "QlrGlobalMutex_dakoar";
constexpr char kSegmentMappingName[] = "QlrShareFile_dakoar";

// Size of the paging-file mapping; a snapshot must fit into it.
constexpr std::size_t kSegmentSize = 0xA00000;

// A snapshot stamped this many seconds ago or more is stale.
constexpr double kStaleSeconds = 5.0;

// Pause between two snapshots (writer) or two reloads (reader), and between
// two attempts to open the segment.
constexpr unsigned long kSegmentCycleMs = 100;
