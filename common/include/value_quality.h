// value_quality.h - the OPC quality words a published variable carries, from
// the platform through the segment to the OPC items, and the rule by which a
// value whose source went away is reported.
#pragma once

#include <cstdint>

enum : std::uint16_t {
    kQualityGood = 0xC0,         // polled and reported valid by the platform
    kQualityBad = 0x00,          // the platform reports the variable invalid
    kQualityLastKnown = 0x14,    // source unreachable; the last polled value is kept
    kQualityCommFailure = 0x18,  // source unreachable and no value was ever polled
    kQualityWaiting = 0x20       // declared, not polled since the program started
};

// The quality of a value once its source cannot be reached: a value that was
// good (or already the last known one) stays as the last known value, any
// other has none to show.
inline std::uint16_t UnreachableQuality(std::uint16_t quality)
{
    return quality == kQualityGood || quality == kQualityLastKnown ? kQualityLastKnown
                                                                   : kQualityCommFailure;
}

// True for the qualities of a value whose source cannot be reached.
inline bool IsUnreachableQuality(std::uint16_t quality)
{
    return quality == kQualityLastKnown || quality == kQualityCommFailure;
}
