// opc_server_element_browse.cpp - IOPCBrowse of the server object (OPC DA
// 3.0): the elements directly below a branch of the dot-separated
// hierarchy, filtered by kind and name, sorted by name, with item
// properties on request, handed out in pieces through continuation points;
// and the properties of items by ID.
//
// A continuation point names the position of the next element and the
// browse it belongs to; the server keeps nothing between calls.
#include "opc_server.h"

#include "com_memory.h"
#include "item_properties.h"
#include "library_state.h"
#include "name_pattern.h"
#include "opc_constants.h"
#include "opc_errors.h"

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kContinuationPrefix[] = L"LumaretBrowse:";

// The browse a continuation point continues: position, filter, names.
unsigned BrowseSignature(const std::string &position, OPCBROWSEFILTER filter,
                         const std::string &nameFilter)
{
    unsigned hash = 2166136261u;
    auto mix = [&hash](const std::string &text) {
        for (unsigned char c : text)
            hash = (hash ^ c) * 16777619u;
        hash = (hash ^ 0xFF) * 16777619u;
    };
    mix(position);
    mix(std::to_string(static_cast<int>(filter)));
    mix(nameFilter);
    return hash;
}

std::wstring ContinuationPoint(size_t next, unsigned signature)
{
    return kContinuationPrefix + std::to_wstring(next) + L":" + std::to_wstring(signature);
}

// The element to go on from; false when the text is not one of this
// browse's continuation points.
bool ParseContinuationPoint(LPCWSTR text, unsigned signature, size_t count, size_t *next)
{
    const size_t prefix = std::wcslen(kContinuationPrefix);
    if (std::wcsncmp(text, kContinuationPrefix, prefix) != 0)
        return false;
    wchar_t *end = nullptr;
    const unsigned long position = std::wcstoul(text + prefix, &end, 10);
    if (end == text + prefix || *end != L':')
        return false;
    const wchar_t *signText = end + 1;
    const unsigned long sign = std::wcstoul(signText, &end, 10);
    if (end == signText || *end != L'\0' || sign != signature || position > count)
        return false;
    *next = position;
    return true;
}

bool Wanted(const BrowseChild &child, OPCBROWSEFILTER filter)
{
    switch (filter) {
    case OPC_BROWSE_FILTER_BRANCHES:
        return child.hasChildren;
    case OPC_BROWSE_FILTER_ITEMS:
        return child.isItem;
    default:
        return true;
    }
}

void FreeElements(OPCBROWSEELEMENT *elements, DWORD count)
{
    if (elements == nullptr)
        return;
    for (DWORD i = 0; i < count; ++i) {
        TaskFree(elements[i].szName);
        TaskFree(elements[i].szItemID);
        FreeItemProperties(&elements[i].ItemProperties);
    }
    CoTaskMemFree(elements);
}

} // namespace

STDMETHODIMP COpcDaServer::Browse(LPWSTR szItemID, LPWSTR *pszContinuationPoint,
                                  DWORD dwMaxElementsReturned, OPCBROWSEFILTER dwBrowseFilter,
                                  LPWSTR szElementNameFilter, LPWSTR, BOOL bReturnAllProperties,
                                  BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                  DWORD *pdwPropertyIDs, BOOL *pbMoreElements, DWORD *pdwCount,
                                  OPCBROWSEELEMENT **ppBrowseElements)
{
    if (pszContinuationPoint == nullptr || pbMoreElements == nullptr || pdwCount == nullptr ||
        ppBrowseElements == nullptr || (dwPropertyCount != 0 && pdwPropertyIDs == nullptr))
        return E_INVALIDARG;
    *pbMoreElements = FALSE;
    *pdwCount = 0;
    *ppBrowseElements = nullptr;
    if (dwBrowseFilter < OPC_BROWSE_FILTER_ALL || dwBrowseFilter > OPC_BROWSE_FILTER_ITEMS)
        return E_INVALIDARG;

    char position[kItemIdSize];
    char nameFilter[512];
    if (!WideToAnsi(szItemID != nullptr ? szItemID : L"", position, sizeof(position)))
        return OPC_E_UNKNOWNITEMID;
    if (!WideToAnsi(szElementNameFilter != nullptr ? szElementNameFilter : L"", nameFilter,
                    sizeof(nameFilter)))
        return OPC_E_INVALIDFILTER;
    CSvrData &tags = SvrData();
    ItemInfo positionItem;
    ZeroMemory(&positionItem, sizeof(positionItem));
    lstrcpynA(positionItem.itemId, position, sizeof(positionItem.itemId));
    if (position[0] != '\0' && !tags.PrefixExists(position) && !tags.LookupItem(positionItem))
        return OPC_E_UNKNOWNITEMID;

    std::vector<BrowseChild> elements;
    try {
        for (BrowseChild &child : tags.ListChildren(position)) {
            if (Wanted(child, dwBrowseFilter) && MatchNamePattern(nameFilter, child.name.c_str()))
                elements.push_back(std::move(child));
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }

    const unsigned signature = BrowseSignature(position, dwBrowseFilter, nameFilter);
    size_t first = 0;
    if (*pszContinuationPoint != nullptr && **pszContinuationPoint != L'\0' &&
        !ParseContinuationPoint(*pszContinuationPoint, signature, elements.size(), &first))
        return OPC_E_INVALIDCONTINUATIONPOINT;
    size_t last = elements.size();
    if (dwMaxElementsReturned != 0 && last - first > dwMaxElementsReturned)
        last = first + dwMaxElementsReturned;
    std::wstring next;
    try {
        if (last < elements.size())
            next = ContinuationPoint(last, signature);
    } catch (...) {
        return E_OUTOFMEMORY;
    }

    const DWORD count = static_cast<DWORD>(last - first);
    OPCBROWSEELEMENT *out = TaskAllocArray<OPCBROWSEELEMENT>(count);
    LPWSTR continuation = TaskStringCopy(next.c_str());
    if (out == nullptr || continuation == nullptr) {
        TaskFree(out);
        TaskFree(continuation);
        return E_OUTOFMEMORY;
    }
    const std::string prefix = position[0] != '\0' ? std::string(position) + "." : std::string();
    HRESULT result = S_OK;
    for (DWORD i = 0; i < count; ++i) {
        const BrowseChild &child = elements[first + i];
        OPCBROWSEELEMENT &element = out[i];
        const std::string fullId = prefix + child.name;
        element.szName = TaskStringFromAnsi(child.name.c_str());
        element.szItemID = TaskStringFromAnsi(fullId.c_str());
        element.dwFlagValue = (child.hasChildren ? OPC_BROWSE_HASCHILDREN : 0) |
                              (child.isItem ? OPC_BROWSE_ISITEM : 0);
        bool ok = element.szName != nullptr && element.szItemID != nullptr;
        PropertyItem item;
        if (ok && child.isItem && (bReturnAllProperties || dwPropertyCount != 0) &&
            LookupPropertyItem(tags, AnsiToWide(fullId.c_str()).c_str(), &item)) {
            ok = FillItemProperties(tags, item, bReturnAllProperties != FALSE, dwPropertyCount,
                                    pdwPropertyIDs, bReturnPropertyValues != FALSE,
                                    &element.ItemProperties);
            if (element.ItemProperties.hrErrorID != S_OK)
                result = S_FALSE;
        }
        if (!ok) {
            FreeElements(out, count);
            CoTaskMemFree(continuation);
            return E_OUTOFMEMORY;
        }
    }
    // The continuation point in and out: the caller's text is replaced.
    CoTaskMemFree(*pszContinuationPoint);
    *pszContinuationPoint = continuation;
    *pdwCount = count;
    *ppBrowseElements = out;
    return result;
}

STDMETHODIMP COpcDaServer::GetProperties(DWORD dwItemCount, LPWSTR *pszItemIDs,
                                         BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                         DWORD *pdwPropertyIDs,
                                         OPCITEMPROPERTIES **ppItemProperties)
{
    if (pszItemIDs == nullptr || ppItemProperties == nullptr ||
        (dwPropertyCount != 0 && pdwPropertyIDs == nullptr))
        return E_INVALIDARG;
    *ppItemProperties = nullptr;
    OPCITEMPROPERTIES *out = TaskAllocArray<OPCITEMPROPERTIES>(dwItemCount);
    if (out == nullptr)
        return E_OUTOFMEMORY;
    HRESULT result = S_OK;
    for (DWORD i = 0; i < dwItemCount; ++i) {
        PropertyItem item;
        if (!LookupPropertyItem(SvrData(), pszItemIDs[i], &item)) {
            out[i].hrErrorID = OPC_E_UNKNOWNITEMID;
            result = S_FALSE;
            continue;
        }
        // No property asked for: all of them.
        if (!FillItemProperties(SvrData(), item, dwPropertyCount == 0, dwPropertyCount,
                                pdwPropertyIDs, bReturnPropertyValues != FALSE, &out[i])) {
            for (DWORD k = 0; k < i; ++k)
                FreeItemProperties(&out[k]);
            CoTaskMemFree(out);
            return E_OUTOFMEMORY;
        }
        if (out[i].hrErrorID != S_OK)
            result = S_FALSE;
    }
    *ppItemProperties = out;
    return result;
}
