// opc_group_worker.cpp - what the server's worker does with a group: run
// the oldest queued request, or scan the items at the update rate and
// report every active item whose change stamp moved since it was last
// reported, or that is due to send its current value (newly added or
// activated, or a new subscription). Values go out in each item's
// requested type.
#include "opc_group.h"

#include "data_stream.h"
#include "opc_data.h"
#include "opc_errors.h"
#include "scan_schedule.h"
#include "tag_batch_io.h"
#include "value_coercion.h"

#include <new>

ULONGLONG COpcGroup::RunStep(ULONGLONG now, DeliveryList &deliveries)
{
    CAutoLock guard(m_lock);
    AsyncRequest request;
    if (m_requests.Pop(request)) {
        RunRequest(request, deliveries);
        request.Release();
        return now; // there may be more
    }
    // An inactive or disabled group is not scanned; once it is active
    // again its first scan comes at once.
    if (!m_active || !m_enable) {
        m_scanDue = 0;
        return scan_schedule::kNever;
    }
    if (m_scanDue == 0)
        m_scanDue = now;
    if (now >= m_scanDue) {
        if (RunScan(static_cast<DWORD>(now), deliveries))
            m_lastCallback = now;
        m_scanDue = scan_schedule::NextDue(m_updateRate, now);
    }
    if (m_keepAlive == 0)
        return m_scanDue;
    // Nothing sent for the keep-alive time: an empty OnDataChange tells the
    // client that the subscription is alive.
    if (now - m_lastCallback >= m_keepAlive) {
        std::vector<IUnknown *> sinks = m_dataCallbackPoint.Sinks();
        std::unique_ptr<ItemValues> none(new (std::nothrow) ItemValues);
        if (!sinks.empty() && none && none->Allocate(0)) {
            try {
                deliveries.emplace_back(new CDataCallbackDelivery(
                    CDataCallbackDelivery::kDataChange, 0, m_clientHandle, sinks, std::move(none)));
                sinks.clear(); // the delivery owns them now
            } catch (...) {
            }
        }
        ReleaseSinks(sinks);
        m_lastCallback = now;
    }
    const ULONGLONG keepAliveDue = m_lastCallback + m_keepAlive;
    return keepAliveDue < m_scanDue ? keepAliveDue : m_scanDue;
}

std::unique_ptr<ItemValues> COpcGroup::ReadGroupItems(const std::vector<const GroupItem *> &items)
{
    std::unique_ptr<ItemValues> values(new (std::nothrow) ItemValues);
    if (!values || !values->Allocate(static_cast<DWORD>(items.size())))
        return nullptr;
    for (size_t i = 0; i < items.size(); ++i) {
        VariantInit(&values->values[i]);
        if (items[i] == nullptr) {
            values->clientHandles[i] = 0;
            values->errors[i] = OPC_E_INVALIDHANDLE;
            continue;
        }
        values->clientHandles[i] = items[i]->clientHandle;
        values->errors[i] = m_tags.ReadValue(items[i]->serverHandle, &values->timestamps[i],
                                             &values->qualities[i], &values->values[i])
                                ? CoerceReadValue(&values->values[i], items[i]->requestedType,
                                                  m_locale)
                                : E_FAIL;
    }
    return values;
}

std::vector<const GroupItem *> COpcGroup::RequestItems(const AsyncRequest &request, bool refresh)
{
    std::vector<const GroupItem *> items;
    if (refresh) {
        // A refresh covers the active items.
        for (const auto &entry : m_items) {
            if (entry.second.active)
                items.push_back(&entry.second);
        }
        return items;
    }
    for (DWORD handle : request.handles) {
        auto found = m_items.find(handle);
        items.push_back(found != m_items.end() ? &found->second : nullptr);
    }
    return items;
}

void COpcGroup::WriteRequestItems(const AsyncRequest &request, std::vector<OPCHANDLE> &clientHandles,
                                  std::vector<HRESULT> &results)
{
    const FILETIME now = CurrentTime();
    const LCID locale = ServerLocale();
    for (size_t i = 0; i < request.handles.size(); ++i) {
        const DWORD handle = request.handles[i];
        auto found = m_items.find(handle);
        if (found == m_items.end()) {
            // removed meanwhile
            clientHandles.push_back(0);
            results.push_back(OPC_E_INVALIDHANDLE);
            continue;
        }
        clientHandles.push_back(found->second.clientHandle);
        results.push_back(request.kind == AsyncRequest::kWriteVQT
                              ? WriteValueVQT(m_tags, handle, request.records[i], now, locale)
                              : WriteValue(m_tags, handle, request.values[i], now, locale));
    }
}

void COpcGroup::RunStreamRequest(AsyncRequest &request, DeliveryList &deliveries)
{
    const AdviseEntry *advise = nullptr;
    for (const AdviseEntry &entry : m_advises) {
        if (entry.connection == request.connection)
            advise = &entry;
    }
    // A cancelled request, or one whose advise went away, reports nothing.
    if (request.cancelled || advise == nullptr)
        return;
    HGLOBAL block = nullptr;
    try {
        if (request.kind == AsyncRequest::kStreamWrite) {
            std::vector<OPCHANDLE> clientHandles;
            std::vector<HRESULT> results;
            WriteRequestItems(request, clientHandles, results);
            block = BuildWriteCompleteStream(m_clientHandle, request.transactionId, clientHandles,
                                             results);
        } else {
            std::unique_ptr<ItemValues> values =
                ReadGroupItems(RequestItems(request, request.kind == AsyncRequest::kStreamRefresh));
            if (values)
                block = BuildDataStream(*values, m_clientHandle, request.transactionId,
                                        advise->withTime);
        }
        if (block != nullptr)
            deliveries.emplace_back(new CStreamDelivery(advise->sink, advise->format, block));
    } catch (...) {
        if (block != nullptr)
            GlobalFree(block); // out of memory: this request reports nothing
    }
}

void COpcGroup::RunRequest(AsyncRequest &request, DeliveryList &deliveries)
{
    if (request.connection != 0) {
        RunStreamRequest(request, deliveries);
        return;
    }
    std::vector<IUnknown *> sinks = m_dataCallbackPoint.Sinks();
    try {
        if (request.cancelled) {
            deliveries.emplace_back(
                new CCancelCompleteDelivery(request.transactionId, m_clientHandle, std::move(sinks)));
            return;
        }
        switch (request.kind) {
        case AsyncRequest::kRead:
        case AsyncRequest::kReadMaxAge:
        case AsyncRequest::kRefresh:
        case AsyncRequest::kRefreshMaxAge: {
            const bool refresh = request.kind == AsyncRequest::kRefresh ||
                                 request.kind == AsyncRequest::kRefreshMaxAge;
            std::unique_ptr<ItemValues> values = ReadGroupItems(RequestItems(request, refresh));
            if (!values)
                break;
            deliveries.emplace_back(new CDataCallbackDelivery(
                refresh ? CDataCallbackDelivery::kDataChange : CDataCallbackDelivery::kReadComplete,
                request.transactionId, m_clientHandle, std::move(sinks), std::move(values)));
            return;
        }
        case AsyncRequest::kWrite:
        case AsyncRequest::kWriteVQT: {
            std::vector<OPCHANDLE> clientHandles;
            std::vector<HRESULT> results;
            WriteRequestItems(request, clientHandles, results);
            deliveries.emplace_back(new CWriteCompleteDelivery(request.transactionId,
                                                               m_clientHandle, std::move(sinks),
                                                               std::move(clientHandles),
                                                               std::move(results)));
            return;
        }
        default: // the DA 1.0 kinds run as stream requests
            break;
        }
    } catch (...) {
        // out of memory: this request reports nothing
    }
    ReleaseSinks(sinks);
}

bool COpcGroup::RunScan(DWORD now, DeliveryList &deliveries)
{
    // No tag changed since a scan that looked at every item, and no item
    // waits to send its value: nothing to do.
    const DWORD serial = m_tags.ChangeSerial();
    if (serial == m_scannedSerial && !m_resendPending)
        return false;
    // Without a subscriber nothing is scanned: the first one gets every
    // active item's value anyway.
    bool anyDataAdvise = false;
    for (const AdviseEntry &advise : m_advises)
        anyDataAdvise = anyDataAdvise || advise.dataFormat;
    if (m_dataCallbackPoint.SinkCount() == 0 && !anyDataAdvise)
        return false;
    // The active items due for a look, and their change stamps, taken
    // under one tag-table lock. The lists keep their storage between scans.
    std::vector<GroupItem *> &candidates = m_scanItems;
    std::vector<DWORD> &handles = m_scanHandles;
    std::vector<DWORD> &stamps = m_scanStamps;
    candidates.clear();
    handles.clear();
    bool sampling = false; // an item waits for its next sample
    try {
        for (auto &entry : m_items) {
            GroupItem &item = entry.second;
            if (!item.active)
                continue;
            // An item of its own sampling rate waits for its next sample.
            if (item.samplingRate != 0 && now - item.lastSampleTick < item.samplingRate) {
                sampling = true;
                continue;
            }
            candidates.push_back(&item);
            handles.push_back(item.serverHandle);
        }
        stamps.resize(handles.size());
    } catch (...) {
        return false; // out of memory: the next scan tries again
    }
    m_tags.GetChangeStamps(static_cast<DWORD>(handles.size()), handles.data(), stamps.data());

    // Those that changed since last reported, or are to send their value.
    size_t changes = 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const bool changed = stamps[i] != 0 && stamps[i] != candidates[i]->lastStamp;
        if (!changed && !candidates[i]->resend)
            continue;
        candidates[changes] = candidates[i];
        handles[changes] = handles[i];
        stamps[changes] = stamps[i];
        ++changes;
    }
    // From here on every change found is reported (or held back by a
    // deadband) at this scan.
    const auto looked = [this, serial, sampling] {
        m_resendPending = false;
        if (!sampling)
            m_scannedSerial = serial;
    };
    if (changes == 0) {
        looked();
        return false;
    }

    std::vector<IUnknown *> sinks = m_dataCallbackPoint.Sinks();
    std::vector<const AdviseEntry *> dataAdvises;
    for (const AdviseEntry &advise : m_advises) {
        if (advise.dataFormat)
            dataAdvises.push_back(&advise);
    }
    if (sinks.empty() && dataAdvises.empty())
        return false; // reported to the first subscriber at a later scan


    std::unique_ptr<ItemValues> values(new (std::nothrow) ItemValues);
    std::unique_ptr<bool[]> found(new (std::nothrow) bool[changes]);
    if (!values || !found || !values->Allocate(static_cast<DWORD>(changes))) {
        ReleaseSinks(sinks);
        return false;
    }
    looked();
    m_tags.ReadValues(static_cast<DWORD>(changes), handles.data(), values->timestamps,
                      values->qualities, values->values, found.get());
    // Reported entries are moved down over the ones the deadband holds back.
    DWORD count = 0;
    for (size_t i = 0; i < changes; ++i) {
        GroupItem &item = *candidates[i];
        item.lastStamp = stamps[i];
        const bool resend = item.resend;
        item.resend = false;
        VARIANT value = values->values[i];
        const WORD quality = values->qualities[i];
        const FILETIME timestamp = values->timestamps[i];
        VariantInit(&values->values[i]);
        HRESULT error = E_FAIL;
        if (found[i]) {
            // Within the deadband: not reported, and the next change is
            // measured against the value reported last.
            if (!resend && WithinDeadband(item, value, quality)) {
                VariantClear(&value);
                continue;
            }
            NoteReported(item, value, quality);
            item.lastSampleTick = now;
            error = CoerceReadValue(&value, item.requestedType, m_locale);
        }
        values->clientHandles[count] = item.clientHandle;
        values->values[count] = value;
        values->qualities[count] = found[i] ? quality : 0;
        values->timestamps[count] = timestamp;
        values->errors[count] = error;
        ++count;
    }
    values->count = count;
    if (count == 0) {
        ReleaseSinks(sinks);
        return false;
    }
    DeliveryList streamDeliveries;
    for (const AdviseEntry *advise : dataAdvises) {
        // Subscription updates carry transaction ID 0.
        HGLOBAL block = BuildDataStream(*values, m_clientHandle, 0, advise->withTime);
        if (block != nullptr)
            streamDeliveries.emplace_back(new CStreamDelivery(advise->sink, advise->format, block));
    }
    const bool callback = !sinks.empty();
    if (callback)
        deliveries.emplace_back(new CDataCallbackDelivery(CDataCallbackDelivery::kDataChange, 0,
                                                          m_clientHandle, std::move(sinks),
                                                          std::move(values)));
    for (auto &stream : streamDeliveries)
        deliveries.push_back(std::move(stream));
    return callback;
}
