// opc_server_browse.cpp - IOPCBrowseServerAddressSpace of the server object:
// a browse position per server object over the dot-separated hierarchy of
// the tag table's item IDs.
#include "opc_server.h"

#include "com_memory.h"
#include "enum_item_string.h"
#include "library_state.h"

#include <cstring>
#include <new>
#include <string>

STDMETHODIMP COpcDaServer::QueryOrganization(OPCNAMESPACETYPE *pNameSpaceType)
{
    if (pNameSpaceType == nullptr)
        return E_INVALIDARG;
    *pNameSpaceType = OPC_NS_HIERARCHIAL;
    return S_OK;
}

STDMETHODIMP COpcDaServer::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                LPCWSTR szString)
{
    char name[512];
    if (!WideToAnsi(szString != nullptr ? szString : L"", name, sizeof(name)))
        return E_FAIL;

    CAutoLock guard(m_browseLock);
    std::string position = m_browsePosition;
    switch (dwBrowseDirection) {
    case OPC_BROWSE_UP: {
        if (position.empty())
            return E_FAIL;
        const size_t dot = position.rfind('.');
        position = dot == std::string::npos ? std::string() : position.substr(0, dot);
        break;
    }
    case OPC_BROWSE_DOWN:
        if (name[0] == '\0' || !SvrData().BranchExists(position.c_str(), name))
            return E_FAIL;
        position = position.empty() ? std::string(name) : position + "." + name;
        break;
    case OPC_BROWSE_TO:
        if (name[0] == '\0') {
            position.clear();
            break;
        }
        if (!SvrData().PrefixExists(name))
            return E_FAIL;
        position = name;
        break;
    default:
        return E_FAIL;
    }
    if (position.size() >= sizeof(m_browsePosition))
        return E_FAIL;
    std::memcpy(m_browsePosition, position.c_str(), position.size() + 1);
    return S_OK;
}

STDMETHODIMP COpcDaServer::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                            LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                                            DWORD, LPENUMSTRING *ppIEnumString)
{
    if (ppIEnumString == nullptr)
        return E_INVALIDARG;
    *ppIEnumString = nullptr;
    char filter[512];
    if (!WideToAnsi(szFilterCriteria != nullptr ? szFilterCriteria : L"", filter, sizeof(filter)))
        filter[0] = '\0';
    std::string position;
    {
        CAutoLock guard(m_browseLock);
        position = m_browsePosition;
    }
    CEnumItemString *enumerator = nullptr;
    try {
        enumerator = new CEnumItemString(SvrData().ListNames(
            position.c_str(), static_cast<int>(dwBrowseFilterType), filter, vtDataTypeFilter));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return enumerator->QueryInterface(IID_IEnumString, reinterpret_cast<void **>(ppIEnumString));
}

STDMETHODIMP COpcDaServer::GetItemID(LPWSTR szItemDataID, LPWSTR *szItemID)
{
    if (szItemID == nullptr)
        return E_INVALIDARG;
    *szItemID = nullptr;
    if (szItemDataID == nullptr)
        return E_INVALIDARG;
    std::wstring position;
    {
        CAutoLock guard(m_browseLock);
        position = AnsiToWide(m_browsePosition);
    }
    const std::wstring id = position.empty() ? std::wstring(szItemDataID)
                                             : position + L"." + szItemDataID;
    *szItemID = TaskStringCopy(id.c_str());
    return *szItemID != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP COpcDaServer::BrowseAccessPaths(LPCWSTR, LPENUMSTRING *ppIEnumString)
{
    if (ppIEnumString == nullptr)
        return E_INVALIDARG;
    *ppIEnumString = nullptr;
    CEnumItemString *enumerator = nullptr;
    try {
        CAutoLock guard(m_browseLock);
        enumerator = new CEnumItemString(std::vector<std::string>{m_browsePosition});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return enumerator->QueryInterface(IID_IEnumString, reinterpret_cast<void **>(ppIEnumString));
}
