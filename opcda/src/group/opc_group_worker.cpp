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
#include "tag_batch_io.h"
#include "value_coercion.h"

#include <new>

bool COpcGroup::RunStep(DeliveryList &deliveries)
{
    CAutoLock guard(m_lock);
    AsyncRequest request;
    if (m_requests.Pop(request)) {
        RunRequest(request, deliveries);
        request.Release();
        return true;
    }
    // An inactive or disabled group is not scanned; once it is active
    // again its first scan comes at once and reports what changed meanwhile.
    if (!m_active || !m_enable)
        return false;
    const DWORD now = GetTickCount();
    if (now - m_lastScanTick < m_updateRate)
        return false;
    RunScan(deliveries);
    m_lastScanTick = now;
    return true;
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

void COpcGroup::RunRequest(AsyncRequest &request, DeliveryList &deliveries)
{
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
            std::vector<const GroupItem *> items;
            if (refresh) {
                // A refresh covers the active items.
                for (const auto &entry : m_items) {
                    if (entry.second.active)
                        items.push_back(&entry.second);
                }
            } else {
                for (DWORD handle : request.handles) {
                    auto found = m_items.find(handle);
                    items.push_back(found != m_items.end() ? &found->second : nullptr);
                }
            }
            std::unique_ptr<ItemValues> values = ReadGroupItems(items);
            if (!values)
                break;
            deliveries.emplace_back(new CDataCallbackDelivery(
                refresh ? CDataCallbackDelivery::kDataChange : CDataCallbackDelivery::kReadComplete,
                request.transactionId, m_clientHandle, std::move(sinks), std::move(values)));
            return;
        }
        case AsyncRequest::kWrite:
        case AsyncRequest::kWriteVQT: {
            const FILETIME now = CurrentTime();
            const LCID locale = ServerLocale();
            std::vector<OPCHANDLE> clientHandles;
            std::vector<HRESULT> results;
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
                results.push_back(request.kind == AsyncRequest::kWrite
                                      ? WriteValue(m_tags, handle, request.values[i], now, locale)
                                      : WriteValueVQT(m_tags, handle, request.records[i], now,
                                                      locale));
            }
            deliveries.emplace_back(new CWriteCompleteDelivery(request.transactionId,
                                                               m_clientHandle, std::move(sinks),
                                                               std::move(clientHandles),
                                                               std::move(results)));
            return;
        }
        }
    } catch (...) {
        // out of memory: this request reports nothing
    }
    ReleaseSinks(sinks);
}

void COpcGroup::RunScan(DeliveryList &deliveries)
{
    struct Change {
        GroupItem *item;
        DWORD stamp;
    };
    std::vector<Change> changes;
    for (auto &entry : m_items) {
        GroupItem &item = entry.second;
        if (!item.active)
            continue;
        DWORD stamp = 0;
        if (!m_tags.GetChangeStamp(item.serverHandle, &stamp))
            continue;
        const bool changed = stamp != 0 && stamp != item.lastStamp;
        if (!changed && !item.resend)
            continue;
        try {
            changes.push_back({&item, stamp});
        } catch (...) {
            break; // left for the next scan
        }
    }
    if (changes.empty())
        return;

    std::vector<IUnknown *> sinks = m_dataCallbackPoint.Sinks();
    std::vector<const AdviseEntry *> dataAdvises;
    for (const AdviseEntry &advise : m_advises) {
        if (advise.dataFormat)
            dataAdvises.push_back(&advise);
    }
    if (sinks.empty() && dataAdvises.empty())
        return; // reported to the first subscriber at a later scan

    std::vector<const GroupItem *> items;
    for (Change &change : changes) {
        change.item->lastStamp = change.stamp;
        change.item->resend = false;
        items.push_back(change.item);
    }
    std::unique_ptr<ItemValues> values = ReadGroupItems(items);
    if (!values) {
        ReleaseSinks(sinks);
        return;
    }
    DeliveryList streamDeliveries;
    for (const AdviseEntry *advise : dataAdvises) {
        HGLOBAL block = BuildDataStream(*values, m_clientHandle, advise->connection, advise->withTime);
        if (block != nullptr)
            streamDeliveries.emplace_back(new CStreamDelivery(advise->sink, advise->format, block));
    }
    if (!sinks.empty())
        deliveries.emplace_back(new CDataCallbackDelivery(CDataCallbackDelivery::kDataChange, 0,
                                                          m_clientHandle, std::move(sinks),
                                                          std::move(values)));
    for (auto &stream : streamDeliveries)
        deliveries.push_back(std::move(stream));
}
