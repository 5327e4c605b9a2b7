// mapping_client.h - CMappingClient, the service's reader of the shared data
// segment. Every new snapshot is parsed completely (checked to the last
// byte; the layout part only when it is new) before it is handed on; the service takes it over on the reader
// thread through m_onSnapshot, and learns through m_onStale that the
// gateway is gone or its snapshot unreadable.
#pragma once

#include "file_mapping.h"
#include "segment_records.h"

#include <atomic>
#include <functional>
#include <vector>

class CMappingClient : public XFileMapping {
public:
    CMappingClient();

    // A non-empty snapshot has been taken; never goes back to false.
    std::atomic<bool> m_bLoaded{false};
    // Called on the reader thread, outside the segment mutex, with each new
    // snapshot: its layout, the number of that layout (another number: the
    // list of items changed), and its values in the layout's order. The
    // callee may swap the values out (the list it leaves behind is reused
    // for the next parse). After PassLayoutOnlyWhenNew() the layout is
    // given with the first snapshot of its number only, and an empty list
    // with the later ones.
    std::function<void(const std::vector<PublishedLayout> &layout, std::uint32_t layoutNumber,
                       std::vector<PublishedValue> &values)>
        m_onSnapshot;
    // Called on the reader thread when the writer is taken as gone.
    std::function<void()> m_onStale;

    // The gateway publishes: a snapshot was taken since the segment was
    // opened or since the writer was last taken as gone. Any thread.
    bool WriterPresent() const { return m_writerPresent; }
    // For a reader that keeps what it needs of a layout when it is new: the
    // records are let go once handed on (with 100,000 item IDs, some 17 MB).
    // Before the reader thread starts.
    void PassLayoutOnlyWhenNew() { m_keepLayout = false; }

    ContentInfo WriteContent(CSegmentSnapshotWriter &snapshot) override;
    bool ReadContent(const char *data, std::size_t layoutSize, std::size_t size, bool newLayout) override;
    void OnContent() override;
    void OnStale() override;
    // Debugger output.
    void Trace(const char *text) override;

private:
    std::vector<PublishedLayout> m_layout; // the layout taken last
    std::size_t m_layoutCount = 0;         // its number of records
    bool m_keepLayout = true;
    std::uint32_t m_layoutNumber = 0;      // +1 for every layout taken
    std::vector<PublishedValue> m_values;
    std::atomic<bool> m_writerPresent{false};
};
