// mapping_server.cpp - the gateway's writer: hands the archive to the
// content writer under the segment mutex.
#include "mapping_server.h"

#include <boost/archive/binary_oarchive.hpp>

#include <cstdint>
#include <utility>

CMappingServer::CMappingServer(ContentWriter contentWriter)
    : XFileMapping(Role::kCreate), m_contentWriter(std::move(contentWriter))
{
}

void CMappingServer::WriteContent(boost::archive::binary_oarchive &archive)
{
    if (m_contentWriter) {
        m_contentWriter(archive);
        return;
    }
    const std::int32_t count = 0;
    archive << count;
}

bool CMappingServer::ReadContent(boost::archive::binary_iarchive & /*archive*/)
{
    return true;
}
