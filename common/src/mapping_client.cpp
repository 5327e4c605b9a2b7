// mapping_client.cpp - the service's reader: parses a new snapshot, hands it
// to the service, reports a gateway gone.
#include "mapping_client.h"

#include "segment_records.h"

#include <cstdio>

CMappingClient::CMappingClient() : XFileMapping(Role::kOpen) {}

XFileMapping::ContentInfo CMappingClient::WriteContent(boost::archive::binary_oarchive & /*archive*/)
{
    return ContentInfo();
}

void CMappingClient::Trace(const char *text)
{
    OutputDebugStringA(text);
}

bool CMappingClient::ReadContent(const char *data, std::size_t size)
{
    if (!LoadSegmentRecords(data, size, m_parsed))
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
