// segment_snapshot.cpp - one snapshot of the segment as the test sees it.
#include "segment_snapshot.h"

#include "segment_records.h"

bool CSegmentSnapshot::Read()
{
    if (GetMappingAddress() == nullptr && InitMapping() == nullptr)
        return false;
    const ReadResult result = ReadSnapshot();
    return result == ReadResult::kNewSnapshot || (result == ReadResult::kUnchanged && count >= 0);
}

bool CSegmentSnapshot::ReadContent(const char *data, std::size_t layoutSize, std::size_t size, bool /*newLayout*/)
{
    std::vector<CVariant> fresh;
    if (!LoadSegmentSnapshot(data, layoutSize, size, fresh))
        return false;
    records.swap(fresh);
    count = static_cast<int>(records.size());
    return true;
}
