// segment_snapshot.cpp - one snapshot of the segment as the test sees it.
#include "segment_snapshot.h"

#include <boost/archive/binary_iarchive.hpp>

#include <cstdint>

bool CSegmentSnapshot::Read()
{
    if (GetMappingAddress() == nullptr && InitMapping() == nullptr)
        return false;
    return ReadSnapshot() == ReadResult::kRead;
}

bool CSegmentSnapshot::ReadContent(boost::archive::binary_iarchive &archive)
{
    std::int32_t loaded = 0;
    archive >> loaded;
    if (loaded < 0)
        return false;
    std::vector<CVariant> fresh;
    for (std::int32_t index = 0; index < loaded; ++index) {
        CVariant record;
        archive >> record;
        fresh.push_back(record);
    }
    records = fresh;
    count = loaded;
    return true;
}
