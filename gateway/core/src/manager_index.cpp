// manager_index.cpp - the selected variables: the selection text, the key and
// item ID indexes, polled values, and the segment content built from them.
#include "manager.h"

#include <boost/archive/binary_oarchive.hpp>

void CManager::ClearIndex()
{
    auto lock = Lock();
    keyIndex.clear();
    itemIdIndex.clear();
}

void CManager::RebuildIndex()
{
    auto lock = Lock();
    ClearIndex();

    // ";" device id ":" then "variable id," per selected variable, for every
    // device, also those without a selected variable.
    std::string text;
    std::size_t selectedCount = 0;
    for (const CProject *project : projects) {
        for (const CDevice *device : project->devices) {
            text += ";" + device->deviceId + ":";
            for (const CVariant *variant : device->variants) {
                if (variant->selected) {
                    text += variant->variantId + ",";
                    ++selectedCount;
                }
            }
        }
    }
    selection = selectedCount != 0 ? text : std::string();

    for (CProject *project : projects) {
        for (CDevice *device : project->devices) {
            for (CVariant *variant : device->variants) {
                if (!variant->selected)
                    continue;
                const auto type = typeCodes.find(variant->typeName);
                if (type != typeCodes.end())
                    variant->typeCode = static_cast<std::int8_t>(type->second);
                keyIndex[variant->key] = variant;
                itemIdIndex[variant->itemId] = variant;
            }
        }
    }
}

void CManager::UpdateValue(const std::string &key, const std::string &status, const std::string &value)
{
    auto lock = Lock();
    const auto found = keyIndex.find(key);
    if (found == keyIndex.end())
        return;
    CVariant &variant = *found->second;
    variant.valid = status == "1";
    variant.value = variant.valid ? value : std::string();
}

bool CManager::InvalidateValues()
{
    auto lock = Lock();
    bool anyValid = false;
    for (auto &entry : keyIndex) {
        CVariant &variant = *entry.second;
        anyValid = anyValid || variant.valid;
        if (variant.selected) {
            variant.valid = false;
            variant.value.clear();
        }
    }
    return anyValid;
}

void CManager::SaveSelection(boost::archive::binary_oarchive &archive) const
{
    auto lock = Lock();
    const std::int32_t count = static_cast<std::int32_t>(keyIndex.size());
    archive << count;
    for (const auto &entry : keyIndex) {
        const CVariant &record = *entry.second;
        archive << record;
    }
}

void CManager::PublishSelection(boost::archive::binary_oarchive &archive)
{
    GetInstance().SaveSelection(archive);
}
