// mapping_server.cpp - the gateway's writer: hands the archive to the content
// writer, and waits for a snapshot to be published.
#include "mapping_server.h"

#include <cstdint>
#include <utility>

CMappingServer::CMappingServer(ContentWriter contentWriter, GenerationSource generationSource)
    : XFileMapping(Role::kCreate), m_contentWriter(std::move(contentWriter)),
      m_generationSource(std::move(generationSource))
{
}

XFileMapping::ContentInfo CMappingServer::WriteContent(CSegmentSnapshotWriter &snapshot)
{
    if (m_contentWriter)
        return m_contentWriter(snapshot);
    snapshot.Begin(0, 0);
    return ContentInfo();
}

std::uint64_t CMappingServer::ContentGeneration()
{
    return m_generationSource ? m_generationSource() : 0;
}

bool CMappingServer::ReadContent(const char * /*data*/, std::size_t /*layoutSize*/, std::size_t /*size*/,
                                 bool /*newLayout*/)
{
    return true;
}

bool CMappingServer::WaitPublished(unsigned waitMs)
{
    const std::uint64_t wanted = ContentGeneration();
    const DWORD start = GetTickCount();
    for (;;) {
        if (HasWritten() && WrittenGeneration() >= wanted)
            return true;
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(10);
    }
}
