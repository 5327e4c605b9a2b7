// segment_snapshot.h - CSegmentSnapshot, a reader of the shared data segment
// for tests: each Read brings the snapshot as it is now, the count and the
// records (parsed again only when a new one was written).
#pragma once

#include "file_mapping.h"
#include "variant_record.h"

#include <vector>

class CSegmentSnapshot : public XFileMapping {
public:
    CSegmentSnapshot() : XFileMapping(Role::kOpen) {}

    // Opens the segment if needed and reads one snapshot. False when there is
    // no segment or no complete snapshot.
    bool Read();

    int count = -1;
    std::vector<CVariant> records;

    ContentInfo WriteContent(CSegmentSnapshotWriter &snapshot) override
    {
        snapshot.Begin(0, 0);
        return ContentInfo();
    }
    bool ReadContent(const char *data, std::size_t layoutSize, std::size_t size, bool newLayout) override;
    void Trace(const char *) override {}
};
