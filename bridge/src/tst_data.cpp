// tst_data.cpp - the bridge between the published variables and the OPC
// DA library.
#include "tst_data.h"

#include "bridge_identity.h"
#include "dakora_da.h"
#include "value_conversion.h"
#include "write_forwarding.h"

#include <thread>

CTstData::CTstData()
{
    m_client.m_pVariants = &m_variants;
    m_client.m_onChanged = [this] { SetValues(); };
    std::thread([this] { m_client.ThreadClient(); }).detach();
}

bool CTstData::Start()
{
    OutputDebugStringA("Start");
    OutputDebugStringA("OnAdd");
    OnAdd();
    OutputDebugStringA("dakora_start");
    return dakora_start(bridge::kClassId, bridge::kVendor, bridge::kServer, bridge::kVersion,
                        bridge::kServerName, &OnWrite, nullptr, 0) == DAKORA_OK;
}

void CTstData::OnAdd()
{
    // A write frame carries its value text in at most 255 bytes.
    dakora_setwritelimit(255);
    while (!m_client.m_bLoaded)
        Sleep(50);
    {
        // The reader thread reloads the same records every 100 ms; holding
        // its records lock keeps a reload from changing them (and their
        // changed flags) while the items are declared and first published.
        // The segment mutex is not needed for that: the reader only touches
        // the records under this lock.
        auto records = m_client.LockRecords();
        for (const CVariant *record : m_variants)
            dakora_addtag(record->itemId.c_str(), record->itemId.c_str(), "", record->typeCode, 1);
        SetValues();
    }
    std::thread([] { RunWriteForwarding(bridge::kGatewayPort); }).detach();
}

void CTstData::SetValues()
{
    auto records = m_client.LockRecords();
    for (const CVariant *record : m_variants) {
        if (!record->changed)
            continue;
        VARIANT value = ConvertValue(record->typeCode, record->value);
        dakora_setval(record->itemId.c_str(), &value, record->valid ? 192 : 0, 0, 0);
        VariantClear(&value);
    }
}
