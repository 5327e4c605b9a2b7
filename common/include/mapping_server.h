// mapping_server.h - CMappingServer, the gateway's writer of the shared data
// segment. What a snapshot carries comes from the content writer the gateway
// hands over: it hands the snapshot writer the count with the layout's
// generation (Begin) and then each record (Add), under whatever lock guards
// those records, and says which generation of the content it saved. The
// generation source tells the writer when the content changed, so that
// unchanged content costs only the heartbeat.
#pragma once

#include "file_mapping.h"

#include <functional>

class CMappingServer : public XFileMapping {
public:
    using ContentWriter = std::function<ContentInfo(CSegmentSnapshotWriter &)>;
    using GenerationSource = std::function<std::uint64_t()>;

    // Without a content writer every snapshot has a count of 0.
    explicit CMappingServer(ContentWriter contentWriter = ContentWriter(),
                            GenerationSource generationSource = GenerationSource());

    ContentInfo WriteContent(CSegmentSnapshotWriter &snapshot) override;
    std::uint64_t ContentGeneration() override;
    bool ReadContent(const char *data, std::size_t layoutSize, std::size_t size, bool newLayout) override;

    // Waits until the writer thread has stored a snapshot of the content as
    // it is now (or a later one); false after waitMs.
    bool WaitPublished(unsigned waitMs);

private:
    ContentWriter m_contentWriter;
    GenerationSource m_generationSource;
};
