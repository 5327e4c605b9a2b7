// mapping_client.cpp - the service's reader: parses a new snapshot (its
// layout only when it is new), hands it to the service, reports a gateway
// gone.
#include "mapping_client.h"

#include "segment_records.h"

#include <cstdio>

CMappingClient::CMappingClient() : XFileMapping(Role::kOpen) {}

XFileMapping::ContentInfo CMappingClient::WriteContent(CSegmentSnapshotWriter &snapshot)
{
    snapshot.Begin(0, 0);
    return ContentInfo();
}

void CMappingClient::Trace(const char *text)
{
    OutputDebugStringA(text);
}

bool CMappingClient::ReadContent(const char *data, std::size_t layoutSize, std::size_t size, bool newLayout)
{
    if (layoutSize > size)
        return false;
    if (newLayout && !LoadSegmentLayout(data, layoutSize, m_layout)) {
        m_layout.clear();
        return false;
    }
    // The list handed on last may have been swapped for the service's
    // older one: the layout's fields are set again (a copy into storage
    // that is already there).
    m_parsed.resize(m_layout.size());
    for (std::size_t i = 0; i < m_layout.size(); ++i) {
        m_parsed[i].itemId = m_layout[i].itemId;
        m_parsed[i].typeCode = m_layout[i].typeCode;
    }
    if (!LoadSegmentValues(data + layoutSize, size - layoutSize, m_parsed))
        return false;
    if (!m_bLoaded) {
        char text[32];
        std::snprintf(text, sizeof(text), "cnt=%d", static_cast<int>(m_parsed.size()));
        Trace(text);
    }
    return true;
}

void CMappingClient::OnContent()
{
    m_writerPresent = true;
    if (!m_parsed.empty())
        m_bLoaded = true;
    if (m_onSnapshot)
        m_onSnapshot(m_parsed);
}

void CMappingClient::OnStale()
{
    m_writerPresent = false;
    if (m_onStale)
        m_onStale();
}
