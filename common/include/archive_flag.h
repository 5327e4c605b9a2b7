// archive_flag.h - a bool field in an archive: one byte, 0 or 1 when saved;
// when loaded any byte other than 0 counts as set, so a damaged byte cannot
// leave a bool holding something other than true or false.
#pragma once

#include <cstdint>

template <class Archive>
void SerializeFlag(Archive &archive, bool &flag)
{
    std::uint8_t byte = flag ? 1 : 0;
    archive & byte;
    flag = byte != 0;
}
