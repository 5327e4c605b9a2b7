// Groups and their items, out of process through COM: adding and finding
// groups, group state, item management, the attributes enumerator, the
// group's lifetime against its server, and bad handles everywhere.
#include "opc_errors.h"
#include "test_host_control.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

template <typename T>
struct Released {
    T *p = nullptr;
    ~Released() { Reset(); }
    void Reset()
    {
        if (p != nullptr)
            p->Release();
        p = nullptr;
    }
    T **Out() { return &p; }
    void **OutVoid() { return reinterpret_cast<void **>(&p); }
    T *operator->() const { return p; }
};

OPCITEMDEF Def(const wchar_t *id, OPCHANDLE client, VARTYPE requested = VT_EMPTY, BOOL active = TRUE)
{
    OPCITEMDEF def;
    std::memset(&def, 0, sizeof(def));
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = const_cast<LPWSTR>(id);
    def.bActive = active;
    def.hClient = client;
    def.vtRequestedDataType = requested;
    return def;
}

struct Added {
    HRESULT hr = E_FAIL;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
};

Added AddOrValidate(IOPCItemMgt *items, std::vector<OPCITEMDEF> defs, bool add)
{
    Added out;
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    out.hr = add ? items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors)
                 : items->ValidateItems(static_cast<DWORD>(defs.size()), defs.data(), FALSE,
                                        &results, &errors);
    if (SUCCEEDED(out.hr)) {
        out.results.assign(results, results + defs.size());
        out.errors.assign(errors, errors + defs.size());
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
    }
    return out;
}

std::vector<HRESULT> Errors(HRESULT hr, HRESULT *errors, size_t count)
{
    std::vector<HRESULT> out;
    if (SUCCEEDED(hr) && errors != nullptr)
        out.assign(errors, errors + count);
    CoTaskMemFree(errors);
    return out;
}

struct Attributes {
    std::wstring itemId;
    BOOL active;
    OPCHANDLE client;
    OPCHANDLE server;
    DWORD rights;
    VARTYPE requested;
    VARTYPE canonical;
};

std::map<std::wstring, Attributes> Enumerate(IOPCItemMgt *items, HRESULT *hr)
{
    std::map<std::wstring, Attributes> found;
    Released<IEnumOPCItemAttributes> attributes;
    *hr = items->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN *>(attributes.Out()));
    if (*hr != S_OK)
        return found;
    OPCITEMATTRIBUTES *batch = nullptr;
    ULONG fetched = 0;
    while (SUCCEEDED(attributes->Next(2, &batch, &fetched)) && fetched > 0) {
        for (ULONG i = 0; i < fetched; ++i) {
            OPCITEMATTRIBUTES &a = batch[i];
            found[a.szItemID] = {a.szItemID, a.bActive, a.hClient, a.hServer, a.dwAccessRights,
                                 a.vtRequestedDataType, a.vtCanonicalDataType};
            CoTaskMemFree(a.szItemID);
            CoTaskMemFree(a.szAccessPath);
            VariantClear(&a.vEUInfo);
        }
        CoTaskMemFree(batch);
        batch = nullptr;
    }
    return found;
}

class Groups : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testhost::EndHosts();
        ASSERT_TRUE(testhost::RegisterAll());
    }
    static void TearDownTestSuite() { testhost::UnregisterHost(); }

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(S_OK, testhost::CreateServer(server.Out()));
    }
    void TearDown() override
    {
        server.Reset();
        CoUninitialize();
    }

    HRESULT AddGroup(const wchar_t *name, DWORD rate, OPCHANDLE *handle, DWORD *revised,
                     IOPCItemMgt **items, FLOAT *deadband = nullptr)
    {
        return server->AddGroup(name, TRUE, rate, 77, nullptr, deadband, 1033, handle, revised,
                                IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(items));
    }

    DWORD GroupCount()
    {
        OPCSERVERSTATUS *status = nullptr;
        if (FAILED(server->GetStatus(&status)))
            return 0xFFFFFFFF;
        DWORD count = status->dwGroupCount;
        CoTaskMemFree(status);
        return count;
    }

    Released<IOPCServer> server;
};

} // namespace

TEST_F(Groups, HandlesRatesNamesAndState)
{
    Released<IOPCItemMgt> a, b, c, d;
    OPCHANDLE ha = 0, hb = 0, hc = 0, hd = 0;
    DWORD ra = 0, rb = 0, rc = 0, rd = 0;
    FLOAT deadband = 5.0f;
    // A rate the server cannot serve is revised and said so.
    ASSERT_EQ(OPC_S_UNSUPPORTEDRATE, AddGroup(L"same", 100, &ha, &ra, a.Out(), &deadband));
    // Names are unique; an empty name gets one of the server's making.
    EXPECT_EQ(OPC_E_DUPLICATENAME, AddGroup(L"same", 250, &hb, &rb, b.Out()));
    EXPECT_EQ(nullptr, b.p);
    ASSERT_EQ(S_OK, AddGroup(L"other", 250, &hb, &rb, b.Out()));
    ASSERT_EQ(S_OK, AddGroup(L"", 5000, &hc, &rc, c.Out()));
    ASSERT_EQ(S_OK, AddGroup(L"", 5000, &hd, &rd, d.Out()));
    FLOAT tooMuch = 150.0f;
    Released<IOPCItemMgt> refused;
    EXPECT_EQ(E_INVALIDARG, AddGroup(L"band", 1000, &hd, &rd, refused.Out(), &tooMuch));
    EXPECT_EQ(1u, ha);
    EXPECT_EQ(200u, ra);
    EXPECT_EQ(250u, rb);
    EXPECT_EQ(5000u, rc);
    EXPECT_EQ(4u, GroupCount());

    Released<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, a->QueryInterface(IID_IOPCGroupStateMgt, state.OutVoid()));
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    LONG bias = -1;
    FLOAT band = 0;
    OPCHANDLE client = 0, serverHandle = 0;
    ASSERT_EQ(S_OK, state->GetState(&rate, &active, &name, &bias, &band, &lcid, &client, &serverHandle));
    EXPECT_EQ(200u, rate);
    EXPECT_TRUE(active);
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ(L"same", name);
    CoTaskMemFree(name);
    EXPECT_EQ(0, bias);
    EXPECT_FLOAT_EQ(5.0f, band);
    EXPECT_EQ(1033u, lcid);
    EXPECT_EQ(77u, client);
    EXPECT_EQ(1u, serverHandle);

    // The generated names differ from each other and from the given ones.
    std::vector<std::wstring> names;
    for (IOPCItemMgt *group : {c.p, d.p}) {
        Released<IOPCGroupStateMgt> s2;
        ASSERT_EQ(S_OK, group->QueryInterface(IID_IOPCGroupStateMgt, s2.OutVoid()));
        ASSERT_EQ(S_OK, s2->GetState(&rate, &active, &name, &bias, &band, &lcid, &client, &serverHandle));
        names.push_back(name);
        CoTaskMemFree(name);
    }
    EXPECT_FALSE(names[0].empty());
    EXPECT_NE(names[0], names[1]);

    Released<IOPCGroupStateMgt> byName;
    ASSERT_EQ(S_OK, server->GetGroupByName(L"same", IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN *>(byName.Out())));
    OPCHANDLE foundHandle = 0;
    ASSERT_EQ(S_OK, byName->GetState(&rate, &active, &name, &bias, &band, &lcid, &client, &foundHandle));
    CoTaskMemFree(name);
    EXPECT_EQ(1u, foundHandle);
    Released<IUnknown> none;
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"SAME", IID_IUnknown, none.Out()));
    EXPECT_EQ(nullptr, none.p);

    // A rename to a name in use is refused too.
    EXPECT_EQ(OPC_E_DUPLICATENAME, state->SetName(L"other"));
    EXPECT_EQ(S_OK, state->SetName(L"same")); // its own name

    // Unknown handle: refused, nothing happens.
    EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(12345, FALSE));
    EXPECT_EQ(4u, GroupCount());

    // A second server object numbers its groups from 1 again.
    Released<IOPCServer> other;
    ASSERT_EQ(S_OK, testhost::CreateServer(other.Out()));
    // Names are unique per server object only.
    Released<IOPCItemMgt> e;
    OPCHANDLE he = 0;
    DWORD re = 0;
    ASSERT_EQ(S_OK, other->AddGroup(L"same", TRUE, 1000, 1, nullptr, nullptr, 0, &he, &re,
                                    IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(e.Out())));
    EXPECT_EQ(1u, he);
}

TEST_F(Groups, SetStateRevisesTheRateOnItsLadder)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"rates", 1000, &handle, &revised, items.Out()));
    Released<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, items->QueryInterface(IID_IOPCGroupStateMgt, state.OutVoid()));
    const DWORD requested[] = {150, 200, 201, 750, 1001, 1499, 1500, 2600};
    const DWORD expected[] = {200, 200, 500, 1000, 1000, 1000, 1500, 2500};
    for (int i = 0; i < 8; ++i) {
        DWORD rate = requested[i], out = 0;
        EXPECT_EQ(expected[i] == requested[i] ? S_OK : OPC_S_UNSUPPORTEDRATE,
                  state->SetState(&rate, &out, nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(expected[i], out) << requested[i];
    }
    // Only the revised rate asked for: reports, changes nothing.
    DWORD out = 0;
    ASSERT_EQ(S_OK, state->SetState(nullptr, &out, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2500u, out);
    // (Out of process every out pointer of GetState must be given: the
    // marshalling refuses null ones before the call reaches the server.)

    BOOL inactive = FALSE;
    LONG bias = 60;
    FLOAT band = 2.5f;
    DWORD lcid = 2052;
    OPCHANDLE client = 9;
    ASSERT_EQ(S_OK, state->SetState(nullptr, &out, &inactive, &bias, &band, &lcid, &client));
    ASSERT_EQ(S_OK, state->SetName(L"renamed"));
    BOOL active = TRUE;
    LPWSTR name = nullptr;
    LONG gotBias = 0;
    FLOAT gotBand = 0;
    DWORD gotLcid = 0, gotRate = 0;
    OPCHANDLE gotClient = 0, gotServer = 0;
    ASSERT_EQ(S_OK, state->GetState(&gotRate, &active, &name, &gotBias, &gotBand, &gotLcid, &gotClient, &gotServer));
    EXPECT_FALSE(active);
    EXPECT_STREQ(L"renamed", name);
    CoTaskMemFree(name);
    EXPECT_EQ(60, gotBias);
    EXPECT_FLOAT_EQ(2.5f, gotBand);
    EXPECT_EQ(2052u, gotLcid);
    EXPECT_EQ(9u, gotClient);

    FLOAT negative = -1.0f;
    EXPECT_EQ(E_INVALIDARG, state->SetState(nullptr, &out, nullptr, nullptr, &negative, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, state->SetName(L""));

    // A clone: the same state and items, inactive, under a new handle.
    Added added = AddOrValidate(items.p, {Def(L"Plant.Temp", 41)}, true);
    ASSERT_EQ(S_OK, added.hr);
    Released<IOPCGroupStateMgt> clone;
    EXPECT_EQ(OPC_E_DUPLICATENAME, state->CloneGroup(L"renamed", IID_IOPCGroupStateMgt,
                                                     reinterpret_cast<LPUNKNOWN *>(clone.Out())));
    ASSERT_EQ(S_OK, state->CloneGroup(L"copy", IID_IOPCGroupStateMgt,
                                      reinterpret_cast<LPUNKNOWN *>(clone.Out())));
    ASSERT_EQ(S_OK, clone->GetState(&gotRate, &active, &name, &gotBias, &gotBand, &gotLcid, &gotClient, &gotServer));
    EXPECT_STREQ(L"copy", name);
    CoTaskMemFree(name);
    EXPECT_FALSE(active);
    EXPECT_EQ(2500u, gotRate);
    EXPECT_EQ(9u, gotClient);
    EXPECT_NE(handle, gotServer);
    Released<IOPCItemMgt> cloneItems;
    ASSERT_EQ(S_OK, clone->QueryInterface(IID_IOPCItemMgt, cloneItems.OutVoid()));
    HRESULT hr = E_FAIL;
    std::map<std::wstring, Attributes> attributes = Enumerate(cloneItems.p, &hr);
    ASSERT_EQ(1u, attributes.size());
    EXPECT_EQ(41u, attributes[L"Plant.Temp"].client);
}

TEST_F(Groups, InterfacesOfTheGroup)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"interfaces", 1000, &handle, &revised, items.Out()));
    for (const IID *iid : {&IID_IOPCItemMgt, &IID_IOPCGroupStateMgt, &IID_IOPCGroupStateMgt2,
                           &IID_IOPCSyncIO, &IID_IOPCSyncIO2, &IID_IOPCAsyncIO, &IID_IOPCAsyncIO2,
                           &IID_IOPCAsyncIO3, &IID_IOPCItemDeadbandMgt, &IID_IOPCItemSamplingMgt,
                           &IID_IDataObject, &IID_IConnectionPointContainer}) {
        Released<IUnknown> unknown;
        EXPECT_EQ(S_OK, items->QueryInterface(*iid, unknown.OutVoid()));
    }
    Released<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, items->QueryInterface(IID_IOPCBrowse, none.OutVoid()));
    EXPECT_EQ(nullptr, none.p);

    // Sampling rates of items: revised to the 100 ms grid, no buffering.
    Added added = AddOrValidate(items.p, {Def(L"Plant.Temp", 1)}, true);
    ASSERT_EQ(S_OK, added.hr);
    Released<IOPCItemSamplingMgt> sampling;
    ASSERT_EQ(S_OK, items->QueryInterface(IID_IOPCItemSamplingMgt, sampling.OutVoid()));
    OPCHANDLE temp = added.results[0].hServer;
    DWORD *rates = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, sampling->GetItemSamplingRate(1, &temp, &rates, &errors));
    EXPECT_EQ(OPC_E_RATENOTSET, errors[0]);
    CoTaskMemFree(rates);
    CoTaskMemFree(errors);
    DWORD requested = 250;
    ASSERT_EQ(S_OK, sampling->SetItemSamplingRate(1, &temp, &requested, &rates, &errors));
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, errors[0]);
    EXPECT_EQ(300u, rates[0]);
    CoTaskMemFree(rates);
    CoTaskMemFree(errors);
    BOOL enable = TRUE;
    ASSERT_EQ(S_FALSE, sampling->SetItemBufferEnable(1, &temp, &enable, &errors));
    EXPECT_EQ(OPC_E_NOBUFFERING, errors[0]);
    CoTaskMemFree(errors);

    Released<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, items->QueryInterface(IID_IConnectionPointContainer, container.OutVoid()));
    Released<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCDataCallback, point.Out()));
    IID iid;
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(IID_IOPCDataCallback, iid));
    Released<IConnectionPoint> other;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IOPCShutdown, other.Out()));
}

TEST_F(Groups, AddValidateAndRemoveItems)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"items", 1000, &handle, &revised, items.Out()));

    Added added = AddOrValidate(items.p,
                                {Def(L"Area.Pump.Speed", 11, VT_R8), Def(L"Area.Valve", 12),
                                 Def(L"No.Such", 13), Def(L"area.valve", 14), Def(L"Area.Pump.Speed", 15),
                                 Def(L"Host.Raw", 16, VT_R8)},
                                true);
    // Some items failed: S_FALSE, the errors tell which.
    ASSERT_EQ(S_FALSE, added.hr);
    EXPECT_EQ(S_OK, added.errors[0]);
    EXPECT_EQ(VT_I4, added.results[0].vtCanonicalDataType);
    EXPECT_EQ(3u, added.results[0].dwAccessRights);
    EXPECT_EQ(S_OK, added.errors[1]);
    EXPECT_EQ(VT_BOOL, added.results[1].vtCanonicalDataType);
    EXPECT_EQ(1u, added.results[1].dwAccessRights);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, added.errors[2]);
    EXPECT_EQ(0u, added.results[2].hServer);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, added.errors[3]);
    // The same ID twice: one item, the same handle, the later client handle.
    EXPECT_EQ(S_OK, added.errors[4]);
    EXPECT_EQ(added.results[0].hServer, added.results[4].hServer);
    const OPCHANDLE speed = added.results[0].hServer;
    const OPCHANDLE valve = added.results[1].hServer;
    EXPECT_NE(speed, valve);
    // A byte block can never be delivered as a number.
    EXPECT_EQ(OPC_E_BADTYPE, added.errors[5]);

    // Validating does not add; its results carry no handle.
    Added validated = AddOrValidate(items.p, {Def(L"Plant.Temp", 20), Def(L"Nope", 21)}, false);
    ASSERT_EQ(S_FALSE, validated.hr);
    EXPECT_EQ(S_OK, validated.errors[0]);
    EXPECT_EQ(0u, validated.results[0].hServer);
    EXPECT_EQ(VT_R4, validated.results[0].vtCanonicalDataType);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, validated.errors[1]);

    HRESULT hr = E_FAIL;
    std::map<std::wstring, Attributes> attributes = Enumerate(items.p, &hr);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(2u, attributes.size());
    const Attributes &s = attributes[L"Area.Pump.Speed"];
    EXPECT_EQ(15u, s.client);
    EXPECT_EQ(speed, s.server);
    EXPECT_EQ(VT_EMPTY, s.requested); // the second AddItems of the ID asked for VT_EMPTY
    EXPECT_EQ(VT_I4, s.canonical);
    EXPECT_EQ(3u, s.rights);
    EXPECT_TRUE(s.active);
    EXPECT_EQ(1u, attributes[L"Area.Valve"].rights);

    // Client handles, active state and requested types by server handle.
    OPCHANDLE handles[] = {speed, 999};
    OPCHANDLE clients[] = {31, 32};
    VARTYPE types[] = {VT_BSTR, VT_I2};
    HRESULT *errors = nullptr;
    hr = items->SetClientHandles(2, handles, clients, &errors);
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_INVALIDHANDLE}), Errors(hr, errors, 2));
    hr = items->SetActiveState(2, handles, FALSE, &errors);
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_INVALIDHANDLE}), Errors(hr, errors, 2));
    hr = items->SetDatatypes(2, handles, types, &errors);
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_INVALIDHANDLE}), Errors(hr, errors, 2));
    VARTYPE asArray[] = {VT_ARRAY | VT_UI1};
    hr = items->SetDatatypes(1, handles, asArray, &errors);
    EXPECT_EQ(std::vector<HRESULT>({OPC_E_BADTYPE}), Errors(hr, errors, 1));
    attributes = Enumerate(items.p, &hr);
    EXPECT_EQ(31u, attributes[L"Area.Pump.Speed"].client);
    EXPECT_FALSE(attributes[L"Area.Pump.Speed"].active);
    EXPECT_EQ(VT_BSTR, attributes[L"Area.Pump.Speed"].requested);

    // Removing twice: the second time the handle is gone.
    OPCHANDLE remove[] = {valve};
    hr = items->RemoveItems(1, remove, &errors);
    EXPECT_EQ(std::vector<HRESULT>({S_OK}), Errors(hr, errors, 1));
    hr = items->RemoveItems(1, remove, &errors);
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(std::vector<HRESULT>({OPC_E_INVALIDHANDLE}), Errors(hr, errors, 1));
    attributes = Enumerate(items.p, &hr);
    EXPECT_EQ(1u, attributes.size());

    hr = items->RemoveItems(1, handles, &errors);
    EXPECT_EQ(std::vector<HRESULT>({S_OK}), Errors(hr, errors, 1));
    attributes = Enumerate(items.p, &hr);
    EXPECT_EQ(S_FALSE, hr); // nothing left to enumerate
}

// The server holds its groups: a group the client released stays until
// RemoveGroup, which answers OPC_S_INUSE while the client still holds it.
TEST_F(Groups, GroupsStayUntilRemoved)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"released", 1000, &handle, &revised, items.Out()));
    items.Reset();
    EXPECT_EQ(1u, GroupCount());
    Released<IUnknown> found;
    ASSERT_EQ(S_OK, server->GetGroupByName(L"released", IID_IUnknown, found.Out()));
    found.Reset();
    EXPECT_EQ(S_OK, server->RemoveGroup(handle, FALSE));
    EXPECT_EQ(0u, GroupCount());
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"released", IID_IUnknown, found.Out()));

    ASSERT_EQ(S_OK, AddGroup(L"held", 1000, &handle, &revised, items.Out()));
    EXPECT_EQ(OPC_S_INUSE, server->RemoveGroup(handle, FALSE));
    EXPECT_EQ(0u, GroupCount());
    // Still usable by its client, and its name is free again.
    Added added = AddOrValidate(items.p, {Def(L"Plant.Temp", 1)}, true);
    EXPECT_EQ(S_OK, added.hr);
    Released<IOPCItemMgt> again;
    ASSERT_EQ(S_OK, AddGroup(L"held", 1000, &handle, &revised, again.Out()));
    EXPECT_EQ(S_OK, server->RemoveGroup(handle, TRUE)); // forced
    EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(handle, TRUE));
}

TEST_F(Groups, RemovedGroupStaysUsableWhileTheClientHoldsIt)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"removed", 1000, &handle, &revised, items.Out()));
    ASSERT_EQ(OPC_S_INUSE, server->RemoveGroup(handle, FALSE));
    EXPECT_EQ(0u, GroupCount());
    Added added = AddOrValidate(items.p, {Def(L"Plant.Temp", 1)}, true);
    EXPECT_EQ(S_OK, added.hr);

    // The same after the server object itself went away.
    Released<IOPCItemMgt> kept;
    ASSERT_EQ(S_OK, AddGroup(L"kept", 1000, &handle, &revised, kept.Out()));
    Released<IOPCServer> second;
    ASSERT_EQ(S_OK, testhost::CreateServer(second.Out())); // keeps the host running
    server.Reset();
    Released<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, kept->QueryInterface(IID_IOPCGroupStateMgt, state.OutVoid()));
    LPWSTR name = nullptr;
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LONG bias = 0;
    FLOAT band = 0;
    OPCHANDLE client = 0, serverHandle = 0;
    ASSERT_EQ(S_OK, state->GetState(&rate, &active, &name, &bias, &band, &lcid, &client, &serverHandle));
    EXPECT_STREQ(L"kept", name);
    CoTaskMemFree(name);
    added = AddOrValidate(kept.p, {Def(L"Area.Valve", 1)}, true);
    EXPECT_EQ(S_OK, added.hr);
}

TEST_F(Groups, BadHandlesAndCountsNeverHurtTheServer)
{
    Released<IOPCItemMgt> items;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, AddGroup(L"sweep", 1000, &handle, &revised, items.Out()));
    OPCHANDLE bad[] = {0, 0xFFFFFFFF, 424242};
    HRESULT *errors = nullptr;
    const std::vector<HRESULT> invalid(3, OPC_E_INVALIDHANDLE);
    HRESULT hr = items->RemoveItems(3, bad, &errors);
    EXPECT_EQ(invalid, Errors(hr, errors, 3));
    hr = items->SetActiveState(3, bad, TRUE, &errors);
    EXPECT_EQ(invalid, Errors(hr, errors, 3));
    OPCHANDLE clients[] = {1, 2, 3};
    hr = items->SetClientHandles(3, bad, clients, &errors);
    EXPECT_EQ(invalid, Errors(hr, errors, 3));
    VARTYPE types[] = {VT_I4, VT_I4, VT_I4};
    hr = items->SetDatatypes(3, bad, types, &errors);
    EXPECT_EQ(invalid, Errors(hr, errors, 3));

    // An empty remove is fine; an empty add or change is refused.
    OPCHANDLE one[] = {1};
    errors = nullptr;
    EXPECT_EQ(S_OK, items->RemoveItems(0, one, &errors));
    CoTaskMemFree(errors);
    OPCITEMDEF def = Def(L"Plant.Temp", 1);
    OPCITEMRESULT *results = nullptr;
    EXPECT_EQ(E_INVALIDARG, items->AddItems(0, &def, &results, &errors));
    EXPECT_EQ(E_INVALIDARG, items->SetActiveState(0, one, TRUE, &errors));

    Released<IUnknown> enumerator;
    EXPECT_EQ(E_NOINTERFACE, items->CreateEnumerator(IID_IEnumString, enumerator.Out()));

    // The server still answers.
    EXPECT_EQ(1u, GroupCount());
}
