// mapping_server.h - CMappingServer, the gateway's writer of the shared data
// segment. What a snapshot carries comes from the content writer the gateway
// hands over: it saves the int32 count and then each record by value, under
// whatever lock guards those records.
#pragma once

#include "file_mapping.h"

#include <functional>

class CMappingServer : public XFileMapping {
public:
    using ContentWriter = std::function<void(boost::archive::binary_oarchive &)>;

    // Without a content writer every snapshot has a count of 0.
    explicit CMappingServer(ContentWriter contentWriter = ContentWriter());

    void WriteContent(boost::archive::binary_oarchive &archive) override;
    bool ReadContent(boost::archive::binary_iarchive &archive) override;

private:
    ContentWriter m_contentWriter;
};
