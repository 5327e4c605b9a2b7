// tst_data.h - CTstData, the bridge's main object: reads the variables the
// gateway publishes, declares one OPC item per variable, pushes every change
// of value, quality or time stamp into the OPC DA library, and reports every
// item as no longer current once the gateway is gone.
#pragma once

#include "mapping_client.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class CTstData {
public:
    // Starts the segment reader on a thread of its own.
    CTstData();
    CTstData(const CTstData &) = delete;
    CTstData &operator=(const CTstData &) = delete;

    // Starts the write-forwarding thread and the DA server at once, before
    // any variable is known; true when the server started. The items appear
    // with the first snapshot.
    bool Start();

    // The records of a new snapshot (reader thread): items declared when the
    // list of variables changed, then every record pushed whose value,
    // validity, quality or time stamp differs from what was pushed last -
    // every record after a declaration or after the gateway was gone.
    void OnSnapshot(std::vector<PublishedRecord> &records);
    // The gateway is gone (reader thread): every item at once becomes the
    // last known value, or a comm failure when it had no value.
    void OnStale();

    CMappingClient m_client;
    // The records as last pushed, and the library's handle of each.
    std::vector<PublishedRecord> m_variants;
    std::vector<DWORD> m_handles;

private:
    bool SameVariables(const std::vector<PublishedRecord> &records) const;
    // Declares the items of records that are new, and leaves the handles
    // of records in m_handles.
    void Declare(const std::vector<PublishedRecord> &records);
    // Adds a record's value to the pass; Flush() hands the pass to the
    // library in one call.
    void Push(const PublishedRecord &record, DWORD handle);
    void Flush();

    std::set<std::string> m_declared; // item ID + type code of every declared item
    bool m_pushAll = true;
    // The pass being built (kept between passes for their storage).
    std::vector<DWORD> m_passHandles;
    std::vector<VARIANT> m_passValues;
    std::vector<WORD> m_passQualities;
    std::vector<FILETIME> m_passTimes;
};
