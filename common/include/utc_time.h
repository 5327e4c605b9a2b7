// utc_time.h - the current time as a FILETIME value (100 ns intervals since
// 1601-01-01 UTC), the form every time stamp of a published value takes.
// Portable: no Windows call.
#pragma once

#include <chrono>
#include <cstdint>

inline std::uint64_t UtcFileTimeNow()
{
    // 100 ns intervals from 1601-01-01 to 1970-01-01.
    const std::uint64_t kUnixEpoch = 116444736000000000ULL;
    const auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpoch + static_cast<std::uint64_t>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnixEpoch).count() / 100);
}
