// tst_data.h - CTstData, the bridge's main object: reads the variables the
// gateway publishes, declares one OPC item per variable, pushes every change
// of value, quality or time stamp into the OPC DA library, and reports every
// item as no longer current once the gateway is gone.
#pragma once

#include "mapping_client.h"
#include "write_forwarding.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CTstData final : public CWriteGate {
public:
    // Starts the segment reader on a thread of its own.
    CTstData();
    CTstData(const CTstData &) = delete;
    CTstData &operator=(const CTstData &) = delete;

    // Starts the write-forwarding thread and the DA server at once, before
    // any variable is known; true when the server started. The items appear
    // with the first snapshot.
    bool Start();

    // A new snapshot (reader thread): when its layout is new, its items are
    // declared (those not yet declared with their type); then every value
    // is pushed that differs from what was pushed last for the item - all
    // of them when the list of items changed or the gateway was gone.
    void OnSnapshot(const std::vector<PublishedLayout> &layout, std::uint32_t layoutNumber,
                    std::vector<PublishedValue> &values);
    // The gateway is gone (reader thread): every item at once becomes the
    // last known value, or a comm failure when it had no value.
    void OnStale();

    // The write check's questions (client calls, any thread).
    bool GatewayPublishes() const override;
    bool SourceReachable(const char *itemId) const override;

    CMappingClient m_client;

private:
    // Declares the items of a new layout and takes their handles and type
    // codes; the items the gateway no longer publishes become values of a
    // source that is gone. True when the items are the same as before, in
    // the same order.
    bool Declare(const std::vector<PublishedLayout> &layout);
    // Adds a value to the pass; Flush() hands the pass to the library in
    // one call.
    void Push(const PublishedValue &value, DWORD handle, std::int8_t typeCode);
    void Flush();

    // The values as last pushed, and the library's handle and the type code
    // of each item, in the layout's order.
    std::vector<PublishedValue> m_values;
    std::vector<DWORD> m_handles;
    std::vector<std::int8_t> m_typeCodes;
    std::uint32_t m_layoutNumber = 0;
    // The type code each tag was declared with, by handle (0: none).
    std::vector<std::int8_t> m_declaredTypes;
    bool m_pushAll = true;
    // The pass being built (kept between passes for their storage).
    std::vector<DWORD> m_passHandles;
    std::vector<VARIANT> m_passValues;
    std::vector<WORD> m_passQualities;
    std::vector<FILETIME> m_passTimes;
    // By handle: 1 while the item's source is unreachable (its last pushed
    // quality was the last known value or a comm failure); kept up to date
    // by Flush.
    mutable std::mutex m_reachLock;
    std::vector<std::uint8_t> m_unreachable;
};
