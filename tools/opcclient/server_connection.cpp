// server_connection.cpp - server lookup, connection and item groups.
#include "server_connection.h"

#include "opc_errors.h"
#include "value_format.h"

#include <cstring>

bool ResolveServer(const std::string &name, CLSID *clsid, ClientError *error)
{
    const std::wstring wide = Widen(name);
    HRESULT hr = !name.empty() && name[0] == '{' ? CLSIDFromString(wide.c_str(), clsid)
                                                 : CLSIDFromProgID(wide.c_str(), clsid);
    if (SUCCEEDED(hr))
        return true;
    error->exitCode = kExitNotRegistered;
    error->message = "server '" + name + "' is not registered on this machine (" +
                     FormatResult(hr) + ")";
    return false;
}

bool ConnectServer(const std::string &name, ComPtr<IOPCServer> &server, ClientError *error)
{
    CLSID clsid;
    if (!ResolveServer(name, &clsid, error))
        return false;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                  server.OutVoid());
    if (SUCCEEDED(hr))
        return true;
    error->exitCode = hr == REGDB_E_CLASSNOTREG ? kExitNotRegistered
                      : hr == E_ACCESSDENIED    ? kExitAccessDenied
                                                : kExitConnect;
    error->message = "cannot connect to '" + name + "': " + FormatResult(hr);
    return false;
}

bool AddItemGroup(IOPCServer *server, const std::vector<std::string> &itemIds, DWORD rate,
                  ItemGroup &group, ClientError *error)
{
    DWORD revised = 0;
    HRESULT hr = server->AddGroup(L"opccli", TRUE, rate, 1, nullptr, nullptr, 0,
                                  &group.serverGroup, &revised, IID_IOPCItemMgt,
                                  reinterpret_cast<LPUNKNOWN *>(group.items.Out()));
    if (FAILED(hr)) {
        error->exitCode = kExitFailed;
        error->message = "AddGroup failed: " + FormatResult(hr);
        return false;
    }
    std::vector<std::wstring> names;
    for (const std::string &id : itemIds)
        names.push_back(Widen(id));
    std::vector<OPCITEMDEF> defs(itemIds.size());
    for (size_t i = 0; i < itemIds.size(); ++i) {
        std::memset(&defs[i], 0, sizeof(defs[i]));
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
        defs[i].vtRequestedDataType = VT_EMPTY;
    }
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    hr = group.items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
    if (FAILED(hr)) {
        error->exitCode = kExitFailed;
        error->message = "AddItems failed: " + FormatResult(hr);
        return false;
    }
    group.itemIds = itemIds;
    for (size_t i = 0; i < itemIds.size(); ++i) {
        if (FAILED(errors[i]) && !error->Failed()) {
            error->exitCode = errors[i] == OPC_E_UNKNOWNITEMID || errors[i] == OPC_E_INVALIDITEMID
                                  ? kExitUnknownItem
                                  : kExitFailed;
            error->message = "item '" + itemIds[i] + "': " + FormatResult(errors[i]);
        }
        group.serverHandles.push_back(results[i].hServer);
        group.canonicalTypes.push_back(results[i].vtCanonicalDataType);
        if (results[i].pBlob != nullptr)
            CoTaskMemFree(results[i].pBlob);
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return !error->Failed();
}
