// server_list.cpp - enumeration of registered OPC DA servers.
#include "server_list.h"

#include "opc_constants.h"
#include "value_format.h"

#include <comcat.h>

namespace {

struct Category {
    const GUID *catid;
    const char *version;
};

const Category kCategories[] = {
    {&CATID_OPCDAServer10, "1.0"},
    {&CATID_OPCDAServer20, "2.0"},
    {&CATID_OPCDAServer30, "3.0"},
};

RegisteredServer *Find(std::vector<RegisteredServer> &servers, const CLSID &clsid)
{
    for (RegisteredServer &s : servers) {
        if (IsEqualCLSID(s.clsid, clsid))
            return &s;
    }
    return nullptr;
}

} // namespace

bool ListServers(std::vector<RegisteredServer> &servers, std::string *error)
{
    ICatInformation *categories = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatInformation, reinterpret_cast<void **>(&categories));
    if (FAILED(hr)) {
        *error = "component categories manager unavailable: " + FormatResult(hr);
        return false;
    }
    for (const Category &category : kCategories) {
        CATID catid = *category.catid;
        IEnumCLSID *classes = nullptr;
        if (FAILED(categories->EnumClassesOfCategories(1, &catid, 0, nullptr, &classes)) ||
            classes == nullptr)
            continue;
        CLSID clsid;
        ULONG fetched = 0;
        while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
            RegisteredServer *server = Find(servers, clsid);
            if (server == nullptr) {
                RegisteredServer entry;
                entry.clsid = clsid;
                LPOLESTR progId = nullptr;
                if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId))) {
                    entry.progId = Narrow(progId);
                    CoTaskMemFree(progId);
                }
                LPOLESTR userType = nullptr;
                if (SUCCEEDED(OleRegGetUserType(clsid, USERCLASSTYPE_FULL, &userType))) {
                    entry.description = Narrow(userType);
                    CoTaskMemFree(userType);
                }
                servers.push_back(entry);
                server = &servers.back();
            }
            if (!server->versions.empty())
                server->versions += " ";
            server->versions += category.version;
        }
        classes->Release();
    }
    categories->Release();
    return true;
}
