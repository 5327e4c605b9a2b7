// The server object as an OPC client sees it, out of process through COM:
// status, locale, interfaces, browsing, item properties, and the end of the
// host process with its last server object.
#include "opc_constants.h"
#include "opc_errors.h"
#include "test_host_control.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

template <typename T>
struct Released {
    T *p = nullptr;
    ~Released()
    {
        if (p != nullptr)
            p->Release();
    }
    T **Out() { return &p; }
    void **OutVoid() { return reinterpret_cast<void **>(&p); }
    T *operator->() const { return p; }
};

ULONGLONG Ticks(const FILETIME &ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::vector<std::wstring> Drain(IEnumString *names)
{
    std::vector<std::wstring> result;
    if (names == nullptr)
        return result;
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    while (names->Next(1, &name, &fetched) == S_OK && fetched == 1) {
        result.push_back(name);
        CoTaskMemFree(name);
    }
    std::sort(result.begin(), result.end());
    return result;
}

class ServerObject : public ::testing::Test {
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
        ASSERT_EQ(S_OK, server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.OutVoid()));
    }
    void TearDown() override
    {
        browse.~Released();
        browse.p = nullptr;
        server.~Released();
        server.p = nullptr;
        CoUninitialize();
    }

    std::vector<std::wstring> List(OPCBROWSETYPE type, const wchar_t *filter = L"",
                                   VARTYPE vt = VT_EMPTY)
    {
        Released<IEnumString> names;
        EXPECT_EQ(S_OK, browse->BrowseOPCItemIDs(type, filter, vt, 0, names.Out()));
        return Drain(names.p);
    }

    Released<IOPCServer> server;
    Released<IOPCBrowseServerAddressSpace> browse;
};

typedef std::vector<std::wstring> Names;

} // namespace

TEST_F(ServerObject, StatusTwiceKeepsStartTimeAndMovesCurrentTime)
{
    OPCSERVERSTATUS *first = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&first));
    Sleep(20);
    OPCSERVERSTATUS *second = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&second));
    EXPECT_EQ(OPC_STATUS_RUNNING, first->dwServerState);
    EXPECT_EQ(0u, first->dwGroupCount);
    EXPECT_EQ(0u, first->dwBandWidth);
    EXPECT_EQ(1, first->wMajorVersion);
    EXPECT_EQ(1, first->wMinorVersion);
    EXPECT_EQ(1, first->wBuildNumber);
    ASSERT_NE(nullptr, first->szVendorInfo);
    EXPECT_STREQ(L"Lumaret test host", first->szVendorInfo);
    // Nothing was sent to this client yet.
    EXPECT_EQ(0u, Ticks(first->ftLastUpdateTime));
    EXPECT_LE(Ticks(first->ftStartTime), Ticks(first->ftCurrentTime));
    EXPECT_EQ(Ticks(first->ftStartTime), Ticks(second->ftStartTime));
    EXPECT_GE(Ticks(second->ftCurrentTime), Ticks(first->ftCurrentTime));
    CoTaskMemFree(first->szVendorInfo);
    CoTaskMemFree(second->szVendorInfo);
    CoTaskMemFree(first);
    CoTaskMemFree(second);
}

// A host that has declared no tag yet serves no configuration; its first
// tag makes it a running server.
TEST_F(ServerObject, StatusIsNoConfigUntilTheFirstTag)
{
    HANDLE host = testhost::OpenHostProcess();
    ASSERT_NE(nullptr, host);
    browse.~Released();
    browse.p = nullptr;
    server.~Released();
    server.p = nullptr;
    ASSERT_EQ(0u, testhost::ExitCodeAfter(host, 15000));
    CloseHandle(host);

    struct EmptyHost {
        HANDLE marker = testhost::RequestEmptyHost();
        ~EmptyHost() { CloseHandle(marker); }
    } empty;
    ASSERT_EQ(S_OK, testhost::CreateServer(server.Out()));
    OPCSERVERSTATUS *status = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&status));
    EXPECT_EQ(OPC_STATUS_NOCONFIG, status->dwServerState);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    EXPECT_EQ(0, testhost::CommandCode("addtag First.Tag 5 1"));
    ASSERT_EQ(S_OK, server->GetStatus(&status));
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

TEST_F(ServerObject, LocaleIsPerServerObject)
{
    Released<IOPCCommon> common;
    ASSERT_EQ(S_OK, server->QueryInterface(IID_IOPCCommon, common.OutVoid()));
    LCID lcid = 0;
    EXPECT_EQ(S_OK, common->GetLocaleID(&lcid));
    EXPECT_EQ(2052u, lcid);
    EXPECT_EQ(S_OK, common->SetLocaleID(1033));
    EXPECT_EQ(S_OK, common->GetLocaleID(&lcid));
    EXPECT_EQ(1033u, lcid);
    EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(0x0407)); // German is not spoken
    EXPECT_EQ(S_OK, common->GetLocaleID(&lcid));
    EXPECT_EQ(1033u, lcid);

    DWORD count = 0;
    LCID *locales = nullptr;
    ASSERT_EQ(S_OK, common->QueryAvailableLocaleIDs(&count, &locales));
    ASSERT_EQ(2u, count);
    EXPECT_EQ(1033u, locales[0]);
    EXPECT_EQ(2052u, locales[1]);
    CoTaskMemFree(locales);
    EXPECT_EQ(S_OK, common->SetClientName(L"server object test"));

    // Error texts in the server object's language, or the one asked for.
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, common->GetErrorString(OPC_E_UNKNOWNITEMID, &text));
    EXPECT_STREQ(L"The item ID is not defined in the server address space or no longer exists in it.", text);
    CoTaskMemFree(text);
    ASSERT_EQ(S_OK, server->GetErrorString(OPC_E_UNKNOWNITEMID, 2052, &text));
    EXPECT_STREQ(L"项 ID 未在服务器地址空间中定义，或已不存在。", text);
    CoTaskMemFree(text);
    ASSERT_EQ(S_OK, server->GetErrorString(OPC_S_INUSE, 1033, &text));
    EXPECT_STREQ(L"The operation cannot be performed because the object is still referenced.", text);
    CoTaskMemFree(text);
    // System codes come from the system's message tables.
    ASSERT_EQ(S_OK, server->GetErrorString(E_OUTOFMEMORY, 1033, &text));
    EXPECT_GT(wcslen(text), 0u);
    CoTaskMemFree(text);
    EXPECT_EQ(E_INVALIDARG, server->GetErrorString(static_cast<HRESULT>(0xC004ABCD), 1033, &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(E_INVALIDARG, server->GetErrorString(OPC_E_RANGE, 0x0407, &text));

    Released<IOPCServer> other;
    ASSERT_EQ(S_OK, testhost::CreateServer(other.Out()));
    Released<IOPCCommon> otherCommon;
    ASSERT_EQ(S_OK, other->QueryInterface(IID_IOPCCommon, otherCommon.OutVoid()));
    EXPECT_EQ(S_OK, otherCommon->GetLocaleID(&lcid));
    EXPECT_EQ(2052u, lcid);
}

TEST_F(ServerObject, InterfacesOfTheServerObject)
{
    for (const IID *iid : {&IID_IOPCServer, &IID_IOPCCommon, &IID_IOPCItemProperties,
                           &IID_IOPCBrowseServerAddressSpace, &IID_IOPCItemIO, &IID_IOPCBrowse,
                           &IID_IConnectionPointContainer}) {
        Released<IUnknown> unknown;
        EXPECT_EQ(S_OK, server->QueryInterface(*iid, unknown.OutVoid()));
    }
    Released<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, server->QueryInterface(IID_IOPCSyncIO, none.OutVoid()));
    EXPECT_EQ(nullptr, none.p);

    // The group enumerators: empty without groups, then by name and object.
    Released<IEnumString> names;
    EXPECT_EQ(S_FALSE, server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString,
                                                     reinterpret_cast<LPUNKNOWN *>(names.Out())));
    Released<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD rate = 0;
    ASSERT_EQ(S_OK, server->AddGroup(L"listed", TRUE, 1000, 1, nullptr, nullptr, 0, &handle, &rate,
                                     IID_IUnknown, group.Out()));
    Released<IEnumString> listed;
    ASSERT_EQ(S_OK, server->CreateGroupEnumerator(OPC_ENUM_PRIVATE_CONNECTIONS, IID_IEnumString,
                                                  reinterpret_cast<LPUNKNOWN *>(listed.Out())));
    EXPECT_EQ(Names({L"listed"}), Drain(listed.p));
    Released<IEnumUnknown> objects;
    ASSERT_EQ(S_OK, server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown,
                                                  reinterpret_cast<LPUNKNOWN *>(objects.Out())));
    IUnknown *first = nullptr;
    ULONG got = 0;
    ASSERT_EQ(S_OK, objects->Next(1, &first, &got));
    Released<IOPCGroupStateMgt> state;
    EXPECT_EQ(S_OK, first->QueryInterface(IID_IOPCGroupStateMgt, state.OutVoid()));
    first->Release();
    Released<IEnumUnknown> publicGroups;
    EXPECT_EQ(S_FALSE, server->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumUnknown,
                                                     reinterpret_cast<LPUNKNOWN *>(publicGroups.Out())));

    // One connection point (for shutdown sinks), then the end.
    Released<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, server->QueryInterface(IID_IConnectionPointContainer, container.OutVoid()));
    Released<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Out()));
    IConnectionPoint *point = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, points->Next(1, &point, &fetched));
    ASSERT_EQ(1u, fetched);
    IID sinkIid;
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&sinkIid));
    EXPECT_TRUE(IsEqualIID(IID_IOPCShutdown, sinkIid));
    point->Release();
    EXPECT_EQ(S_FALSE, points->Next(1, &point, &fetched));
    EXPECT_EQ(0u, fetched);
    Released<IConnectionPoint> found;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCShutdown, found.Out()));
    EXPECT_EQ(S_OK, found->GetConnectionInterface(&sinkIid));
    EXPECT_TRUE(IsEqualIID(IID_IOPCShutdown, sinkIid));
    Released<IConnectionPoint> other;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IOPCDataCallback, other.Out()));
}

TEST_F(ServerObject, BrowsingTheHierarchy)
{
    OPCNAMESPACETYPE organization = OPC_NS_FLAT;
    EXPECT_EQ(S_OK, browse->QueryOrganization(&organization));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, organization);

    EXPECT_EQ(Names({L"Area", L"Host", L"Plant"}), List(OPC_BRANCH));
    EXPECT_TRUE(List(OPC_LEAF).empty());
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));

    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Area"));
    EXPECT_EQ(Names({L"Pump"}), List(OPC_BRANCH));
    EXPECT_EQ(Names({L"Valve"}), List(OPC_LEAF));
    EXPECT_TRUE(List(OPC_LEAF, L"Valve").empty()); // matched against Area.Valve
    EXPECT_EQ(Names({L"Valve"}), List(OPC_LEAF, L"*Valve"));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Valve")); // a leaf
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L""));

    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Valve"), &id));
    ASSERT_NE(nullptr, id);
    EXPECT_STREQ(L"Area.Valve", id);
    CoTaskMemFree(id);

    Released<IEnumString> paths;
    ASSERT_EQ(S_OK, browse->BrowseAccessPaths(L"Area.Valve", paths.Out()));
    EXPECT_EQ(Names({L"Area"}), Drain(paths.p));

    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Area.Pump"));
    EXPECT_EQ(Names({L"Flow", L"Speed"}), List(OPC_LEAF));
    EXPECT_EQ(Names({L"Speed"}), List(OPC_LEAF, L"", VT_I4));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Area.Pump.Flow"));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Nowhere"));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(static_cast<OPCBROWSEDIRECTION>(7), L"Area"));
    EXPECT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));

    ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Top"), &id));
    EXPECT_STREQ(L"Top", id);
    CoTaskMemFree(id);

    EXPECT_EQ(Names({L"Area.Pump.Flow", L"Area.Pump.Speed", L"Area.Valve", L"Host.Name",
                     L"Host.Never", L"Host.Raw", L"Plant.Temp"}),
              List(OPC_FLAT, L"ignored"));
    EXPECT_EQ(Names({L"Area.Pump.Speed", L"Host.Never"}), List(OPC_FLAT, L"", VT_I4));

    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Area"));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
    EXPECT_EQ(Names({L"Area", L"Host", L"Plant"}), List(OPC_BRANCH));
}

TEST_F(ServerObject, BrowsePositionIsPrivateToEachServerObject)
{
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Plant"));
    Released<IOPCServer> other;
    ASSERT_EQ(S_OK, testhost::CreateServer(other.Out()));
    Released<IOPCBrowseServerAddressSpace> otherBrowse;
    ASSERT_EQ(S_OK, other->QueryInterface(IID_IOPCBrowseServerAddressSpace, otherBrowse.OutVoid()));
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, otherBrowse->GetItemID(const_cast<LPWSTR>(L"Temp"), &id));
    EXPECT_STREQ(L"Temp", id);
    CoTaskMemFree(id);
    ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Temp"), &id));
    EXPECT_STREQ(L"Plant.Temp", id);
    CoTaskMemFree(id);
}

namespace {

struct BrowsePage {
    HRESULT hr = E_FAIL;
    BOOL more = TRUE;
    std::vector<std::wstring> names, ids;
    std::vector<DWORD> flags;
    std::vector<OPCITEMPROPERTIES> properties; // taken over: free with FreeProperties
};

void FreeProperties(OPCITEMPROPERTIES &p)
{
    for (DWORD i = 0; i < p.dwNumProperties; ++i) {
        CoTaskMemFree(p.pItemProperties[i].szItemID);
        CoTaskMemFree(p.pItemProperties[i].szDescription);
        VariantClear(&p.pItemProperties[i].vValue);
    }
    CoTaskMemFree(p.pItemProperties);
}

// One Browse call; *continuation goes in and comes back (task memory).
BrowsePage BrowseOnce(IOPCBrowse *browse, const wchar_t *position, LPWSTR *continuation, DWORD max,
                      OPCBROWSEFILTER filter, const wchar_t *names = L"", BOOL allProperties = FALSE)
{
    BrowsePage page;
    DWORD count = 0;
    OPCBROWSEELEMENT *elements = nullptr;
    DWORD noIds = 0; // marshalled even when no property is asked for
    page.hr = browse->Browse(const_cast<LPWSTR>(position), continuation, max, filter,
                             const_cast<LPWSTR>(names), const_cast<LPWSTR>(L""), allProperties,
                             allProperties, 0, &noIds, &page.more, &count, &elements);
    for (DWORD i = 0; SUCCEEDED(page.hr) && i < count; ++i) {
        page.names.push_back(elements[i].szName);
        page.ids.push_back(elements[i].szItemID);
        page.flags.push_back(elements[i].dwFlagValue);
        page.properties.push_back(elements[i].ItemProperties);
        CoTaskMemFree(elements[i].szName);
        CoTaskMemFree(elements[i].szItemID);
    }
    CoTaskMemFree(elements);
    return page;
}

} // namespace

// IOPCBrowse: the elements below a branch, sorted, in pieces with
// continuation points; filters by kind and name; item properties.
TEST_F(ServerObject, BrowseElementsWithContinuationPoints)
{
    Released<IOPCBrowse> browse3;
    ASSERT_EQ(S_OK, server->QueryInterface(IID_IOPCBrowse, browse3.OutVoid()));
    LPWSTR point = nullptr;
    BrowsePage root = BrowseOnce(browse3.p, L"", &point, 0, OPC_BROWSE_FILTER_ALL);
    ASSERT_EQ(S_OK, root.hr);
    EXPECT_EQ(Names({L"Area", L"Host", L"Plant"}), root.names);
    EXPECT_EQ(std::vector<DWORD>(3, static_cast<DWORD>(OPC_BROWSE_HASCHILDREN)), root.flags);
    ASSERT_NE(nullptr, point);
    EXPECT_STREQ(L"", point);

    // One element at a time below Area: Pump, then Valve.
    BrowsePage first = BrowseOnce(browse3.p, L"Area", &point, 1, OPC_BROWSE_FILTER_ALL);
    ASSERT_EQ(S_OK, first.hr);
    EXPECT_EQ(Names({L"Pump"}), first.names);
    EXPECT_EQ(Names({L"Area.Pump"}), first.ids);
    EXPECT_FALSE(first.more); // the continuation point tells
    ASSERT_NE(nullptr, point);
    ASSERT_STRNE(L"", point);
    const std::wstring saved = point;
    BrowsePage second = BrowseOnce(browse3.p, L"Area", &point, 1, OPC_BROWSE_FILTER_ALL);
    ASSERT_EQ(S_OK, second.hr);
    EXPECT_EQ(Names({L"Valve"}), second.names);
    EXPECT_EQ(Names({L"Area.Valve"}), second.ids);
    EXPECT_EQ(std::vector<DWORD>({static_cast<DWORD>(OPC_BROWSE_ISITEM)}), second.flags);
    EXPECT_STREQ(L"", point);
    CoTaskMemFree(point);

    // A continuation point belongs to its browse.
    point = static_cast<LPWSTR>(CoTaskMemAlloc((saved.size() + 1) * sizeof(wchar_t)));
    wcscpy(point, saved.c_str());
    EXPECT_EQ(OPC_E_INVALIDCONTINUATIONPOINT,
              BrowseOnce(browse3.p, L"Host", &point, 1, OPC_BROWSE_FILTER_ALL).hr);
    CoTaskMemFree(point);
    point = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(L"bogus")));
    wcscpy(point, L"bogus");
    EXPECT_EQ(OPC_E_INVALIDCONTINUATIONPOINT,
              BrowseOnce(browse3.p, L"Area", &point, 1, OPC_BROWSE_FILTER_ALL).hr);
    CoTaskMemFree(point);
    point = nullptr;

    // Items only, by name, with every property and its value.
    BrowsePage speed = BrowseOnce(browse3.p, L"Area.Pump", &point, 0, OPC_BROWSE_FILTER_ITEMS, L"S*", TRUE);
    ASSERT_EQ(S_OK, speed.hr);
    ASSERT_EQ(Names({L"Speed"}), speed.names);
    const OPCITEMPROPERTIES &properties = speed.properties[0];
    EXPECT_EQ(S_OK, properties.hrErrorID);
    ASSERT_EQ(8u, properties.dwNumProperties);
    EXPECT_EQ(2u, properties.pItemProperties[1].dwPropertyID);
    EXPECT_STREQ(L"Item Value", properties.pItemProperties[1].szDescription);
    EXPECT_EQ(VT_I4, V_VT(&properties.pItemProperties[1].vValue));
    EXPECT_EQ(1450, V_I4(&properties.pItemProperties[1].vValue));
    FreeProperties(speed.properties[0]);
    CoTaskMemFree(point);
    point = nullptr;
    EXPECT_TRUE(BrowseOnce(browse3.p, L"Area", &point, 0, OPC_BROWSE_FILTER_BRANCHES).names ==
                Names({L"Pump"}));
    CoTaskMemFree(point);
    point = nullptr;

    EXPECT_EQ(OPC_E_UNKNOWNITEMID, BrowseOnce(browse3.p, L"Nowhere", &point, 0, OPC_BROWSE_FILTER_ALL).hr);
    EXPECT_EQ(E_INVALIDARG,
              BrowseOnce(browse3.p, L"", &point, 0, static_cast<OPCBROWSEFILTER>(7)).hr);

    // Properties by item ID: the unknown item and the unknown property fail.
    LPWSTR items[2] = {const_cast<LPWSTR>(L"Plant.Temp"), const_cast<LPWSTR>(L"No.Such")};
    DWORD ids[2] = {1, 999};
    OPCITEMPROPERTIES *found = nullptr;
    ASSERT_EQ(S_FALSE, browse3->GetProperties(2, items, TRUE, 2, ids, &found));
    EXPECT_EQ(S_FALSE, found[0].hrErrorID);
    ASSERT_EQ(2u, found[0].dwNumProperties);
    EXPECT_EQ(S_OK, found[0].pItemProperties[0].hrErrorID);
    EXPECT_EQ(VT_R4, V_I2(&found[0].pItemProperties[0].vValue));
    EXPECT_EQ(OPC_E_INVALID_PID, found[0].pItemProperties[1].hrErrorID);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, found[1].hrErrorID);
    EXPECT_EQ(0u, found[1].dwNumProperties);
    FreeProperties(found[0]);
    CoTaskMemFree(found);
}

TEST_F(ServerObject, EnumeratorStepping)
{
    Released<IEnumString> names;
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, names.Out()));
    LPOLESTR batch[10] = {};
    ULONG fetched = 0;
    // Fewer left than asked: all of them, and S_FALSE (S_OK would make the
    // marshalling hand out ten entries).
    ASSERT_EQ(S_FALSE, names->Next(10, batch, &fetched));
    EXPECT_EQ(7u, fetched);
    for (ULONG i = 0; i < fetched; ++i)
        CoTaskMemFree(batch[i]);
    EXPECT_EQ(S_FALSE, names->Next(1, batch, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_OK, names->Reset());
    EXPECT_EQ(S_OK, names->Skip(6));
    EXPECT_EQ(S_FALSE, names->Skip(1));
    ASSERT_EQ(S_OK, names->Next(1, batch, &fetched));
    EXPECT_EQ(1u, fetched);
    CoTaskMemFree(batch[0]);
    Released<IEnumString> clone;
    EXPECT_EQ(E_NOTIMPL, names->Clone(clone.Out()));
}

// Properties 1 to 6 for every item, the units and the description; the
// EU type and range only for analog items.
TEST_F(ServerObject, ItemProperties)
{
    Released<IOPCItemProperties> properties;
    ASSERT_EQ(S_OK, server->QueryInterface(IID_IOPCItemProperties, properties.OutVoid()));
    DWORD count = 0;
    DWORD *ids = nullptr;
    LPWSTR *descriptions = nullptr;
    VARTYPE *types = nullptr;
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, properties->QueryAvailableProperties(
                                       const_cast<LPWSTR>(L"No.Such.Item"), &count, &ids,
                                       &descriptions, &types));
    ASSERT_EQ(S_OK, properties->QueryAvailableProperties(const_cast<LPWSTR>(L"Plant.Temp"), &count,
                                                         &ids, &descriptions, &types));
    ASSERT_EQ(8u, count);
    const DWORD expectedIds[] = {1, 2, 3, 4, 5, 6, 100, 101};
    const VARTYPE expectedTypes[] = {VT_I2, VT_VARIANT, VT_I2, VT_DATE, VT_I4, VT_R4, VT_BSTR, VT_BSTR};
    const wchar_t *expectedText[] = {L"Item Canonical Data Type", L"Item Value", L"Item Quality",
                                     L"Item Timestamp", L"Item Access Rights", L"Server Scan Rate",
                                     L"EU Units", L"Item Description"};
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(expectedIds[i], ids[i]);
        EXPECT_EQ(expectedTypes[i], types[i]);
        EXPECT_STREQ(expectedText[i], descriptions[i]);
        CoTaskMemFree(descriptions[i]);
    }
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);

    DWORD wanted[] = {1, 2, 3, 4, 5, 6, 100, 101, 102};
    VARIANT *values = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, properties->GetItemProperties(const_cast<LPWSTR>(L"Plant.Temp"), 9, wanted,
                                                     &values, &errors));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(S_OK, errors[i]) << wanted[i];
    EXPECT_EQ(VT_I2, V_VT(&values[0]));
    EXPECT_EQ(VT_R4, V_I2(&values[0]));
    ASSERT_EQ(VT_R4, V_VT(&values[1]));
    EXPECT_FLOAT_EQ(21.5f, V_R4(&values[1]));
    ASSERT_EQ(VT_I2, V_VT(&values[2]));
    EXPECT_EQ(192, V_I2(&values[2]));
    ASSERT_EQ(VT_DATE, V_VT(&values[3]));
    EXPECT_GT(V_DATE(&values[3]), 40000.0); // set this century
    EXPECT_EQ(VT_I4, V_VT(&values[4]));
    EXPECT_EQ(3, V_I4(&values[4]));
    ASSERT_EQ(VT_R4, V_VT(&values[5]));
    EXPECT_FLOAT_EQ(200.0f, V_R4(&values[5]));
    ASSERT_EQ(VT_BSTR, V_VT(&values[6]));
    EXPECT_STREQ(L"degC", V_BSTR(&values[6]));
    ASSERT_EQ(VT_BSTR, V_VT(&values[7]));
    EXPECT_STREQ(L"Plant temperature", V_BSTR(&values[7]));
    // Plant.Temp has no EU range: no EU properties.
    EXPECT_EQ(OPC_E_INVALID_PID, errors[8]);
    EXPECT_EQ(VT_EMPTY, V_VT(&values[8]));
    for (int i = 0; i < 9; ++i)
        VariantClear(&values[i]);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    // A read-only tag reports access rights 1; a tag never set is bad,
    // waiting for its initial data.
    DWORD rightsAndQuality[] = {5, 3};
    ASSERT_EQ(S_OK, properties->GetItemProperties(const_cast<LPWSTR>(L"Area.Valve"), 1,
                                                  rightsAndQuality, &values, &errors));
    EXPECT_EQ(1, V_I4(&values[0]));
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
    ASSERT_EQ(S_OK, properties->GetItemProperties(const_cast<LPWSTR>(L"Host.Never"), 2,
                                                  rightsAndQuality, &values, &errors));
    EXPECT_EQ(0x20, V_I2(&values[1]));
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    // The analog item: EU type and range.
    ASSERT_EQ(S_OK, properties->QueryAvailableProperties(const_cast<LPWSTR>(L"Area.Pump.Flow"),
                                                         &count, &ids, &descriptions, &types));
    EXPECT_EQ(11u, count);
    for (DWORD i = 0; i < count; ++i)
        CoTaskMemFree(descriptions[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    DWORD range[] = {7, 102, 103};
    ASSERT_EQ(S_OK, properties->GetItemProperties(const_cast<LPWSTR>(L"Area.Pump.Flow"), 3, range,
                                                  &values, &errors));
    EXPECT_EQ(OPC_ANALOG, V_I4(&values[0]));
    EXPECT_DOUBLE_EQ(100.0, V_R8(&values[1]));
    EXPECT_DOUBLE_EQ(0.0, V_R8(&values[2]));
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    EXPECT_EQ(OPC_E_UNKNOWNITEMID, properties->GetItemProperties(const_cast<LPWSTR>(L"plant.temp"), 1,
                                                                 rightsAndQuality, &values, &errors));
    EXPECT_EQ(nullptr, values);
    // No property is an item of its own.
    LPWSTR *newIds = nullptr;
    ASSERT_EQ(S_FALSE, properties->LookupItemIDs(const_cast<LPWSTR>(L"Plant.Temp"), 2,
                                                 rightsAndQuality, &newIds, &errors));
    EXPECT_EQ(OPC_E_INVALID_PID, errors[0]);
    EXPECT_EQ(nullptr, newIds[0]);
    CoTaskMemFree(newIds);
    CoTaskMemFree(errors);
}

// With hold-process flag 0 the host ends when its last server object is
// released, whoever held it.
TEST_F(ServerObject, HostEndsWithTheLastServerObject)
{
    HANDLE host = testhost::OpenHostProcess();
    ASSERT_NE(nullptr, host);
    Released<IOPCServer> other;
    ASSERT_EQ(S_OK, testhost::CreateServer(other.Out()));
    browse.~Released();
    browse.p = nullptr;
    server.~Released();
    server.p = nullptr;
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(host, 500));
    other.~Released();
    other.p = nullptr;
    EXPECT_EQ(0u, testhost::ExitCodeAfter(host, 15000));
    CloseHandle(host);
}
