// tst_data.h - CTstData, the bridge's main object: reads the variables the
// gateway publishes, declares one OPC item per variable, pushes every
// change into the OPC DA library and starts the server.
#pragma once

#include "mapping_client.h"

#include <vector>

class CTstData {
public:
    // Starts the segment reader on a thread of its own.
    CTstData();
    CTstData(const CTstData &) = delete;
    CTstData &operator=(const CTstData &) = delete;

    // OnAdd, then the DA server; true when the server started.
    bool Start();
    // Waits for the first non-empty snapshot, declares the items, pushes the
    // first values and starts the write-forwarding thread.
    void OnAdd();
    // Pushes every record whose value or validity changed with the last load.
    void SetValues();

    CMappingClient m_client;
    std::vector<CVariant *> m_variants;
};
