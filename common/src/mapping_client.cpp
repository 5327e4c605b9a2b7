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
    if (newLayout) {
        ++m_layoutNumber;
        m_layoutCount = 0;
        if (!LoadSegmentLayout(data, layoutSize, m_layout)) {
            m_layout.clear();
            return false;
        }
        m_layoutCount = m_layout.size();
    }
    m_values.resize(m_layoutCount);
    if (!LoadSegmentValues(data + layoutSize, size - layoutSize, m_values))
        return false;
    if (!m_bLoaded) {
        char text[32];
        std::snprintf(text, sizeof(text), "cnt=%d", static_cast<int>(m_values.size()));
        Trace(text);
    }
    return true;
}

void CMappingClient::OnContent()
{
    m_writerPresent = true;
    if (!m_values.empty())
        m_bLoaded = true;
    if (m_onSnapshot)
        m_onSnapshot(m_layout, m_layoutNumber, m_values);
    if (!m_keepLayout)
        std::vector<PublishedLayout>().swap(m_layout);
}

void CMappingClient::OnStale()
{
    m_writerPresent = false;
    if (m_onStale)
        m_onStale();
}
