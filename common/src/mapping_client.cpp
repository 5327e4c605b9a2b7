// mapping_client.cpp - the service's reader: the first load, the reload of a
// snapshot with the same number of records, and the invalidation when the
// number changed; change flags for the publish pass.
#include "mapping_client.h"

#include <boost/archive/binary_iarchive.hpp>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

// Moves the archived fields of a freshly parsed record into a list record.
// The parsed record keeps the old texts, whose storage the next reload reuses.
void TakeArchivedFields(CVariant &record, CVariant &parsed)
{
    record.key.swap(parsed.key);
    record.variantId.swap(parsed.variantId);
    record.itemId.swap(parsed.itemId);
    record.name.swap(parsed.name);
    record.typeName.swap(parsed.typeName);
    record.value.swap(parsed.value);
    record.valid = parsed.valid;
    record.typeCode = parsed.typeCode;
    record.selected = parsed.selected;
}

} // namespace

CMappingClient::CMappingClient() : XFileMapping(Role::kOpen), m_pVariants(&m_ownVariants) {}

CMappingClient::~CMappingClient()
{
    for (CVariant *record : m_ownVariants)
        delete record;
}

void CMappingClient::WriteContent(boost::archive::binary_oarchive & /*archive*/) {}

void CMappingClient::Trace(const char *text)
{
    OutputDebugStringA(text);
}

bool CMappingClient::ReadContent(boost::archive::binary_iarchive &archive)
{
    std::int32_t count = 0;
    archive >> count;
    const bool loaded = m_bLoaded;
    if (!loaded) {
        char text[32];
        std::snprintf(text, sizeof(text), "cnt=%d", static_cast<int>(count));
        Trace(text);
    }
    if (count < 0)
        return false; // no snapshot: the writer could not complete it
    if (!loaded && count == 0)
        return true; // nothing published yet; stay unloaded
    ParseRecords(archive, count);

    std::unique_lock<std::recursive_mutex> lock = LockRecords();
    if (!loaded) {
        AppendRecords(static_cast<std::size_t>(count));
        m_bLoaded = true;
        return true; // the service's start-up step publishes the first values
    }
    if (static_cast<std::size_t>(count) == m_pVariants->size())
        OverwriteRecords();
    else
        InvalidateRecords();
    if (m_onChanged)
        m_onChanged();
    return true;
}

void CMappingClient::ParseRecords(boost::archive::binary_iarchive &archive, std::int32_t count)
{
    // Grows only as records actually parse, so a corrupt count cannot make
    // it allocate more than the segment can hold. Throws on a cut-off or
    // unreadable snapshot.
    for (std::size_t index = 0; index < static_cast<std::size_t>(count); ++index) {
        if (index == m_parsed.size())
            m_parsed.emplace_back();
        archive >> m_parsed[index];
    }
}

void CMappingClient::AppendRecords(std::size_t count)
{
    std::vector<std::unique_ptr<CVariant>> fresh;
    fresh.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        fresh.emplace_back(new CVariant);
        TakeArchivedFields(*fresh.back(), m_parsed[index]);
        fresh.back()->changed = true;
    }
    m_pVariants->reserve(m_pVariants->size() + count);
    for (std::unique_ptr<CVariant> &record : fresh)
        m_pVariants->push_back(record.release());
}

void CMappingClient::OverwriteRecords()
{
    std::vector<CVariant *> &records = *m_pVariants;
    for (std::size_t index = 0; index < records.size(); ++index) {
        CVariant &record = *records[index];
        CVariant &parsed = m_parsed[index];
        const bool changed = parsed.value != record.value || parsed.valid != record.valid;
        TakeArchivedFields(record, parsed);
        record.changed = changed;
    }
}

void CMappingClient::InvalidateRecords()
{
    for (CVariant *record : *m_pVariants) {
        record->changed = record->valid;
        record->valid = false;
    }
}
