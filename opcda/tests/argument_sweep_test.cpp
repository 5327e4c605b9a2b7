// Every method of the server and group objects called in process with null
// pointers and empty counts: the documented result, and no crash. (Out of
// process the marshalling refuses null pointers before they reach us.)
#include "library_state.h"
#include "opc_interfaces.h"
#include "opc_errors.h"

#include <olectl.h>

#include <gtest/gtest.h>

namespace {

class ArgumentSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // Releasing the last server object would end this process.
        CoAddRefServerProcess();
        dakora_addtag("Sweep.Tag", "Sweep.Tag", "", DAKORA_TAG_I4, 1);
    }

    void SetUp() override
    {
        ASSERT_EQ(S_OK, ServerFactory().CreateInstance(nullptr, IID_IOPCServer,
                                                       reinterpret_cast<void **>(&server)));
        DWORD revised = 0;
        OPCHANDLE handle = 0;
        ASSERT_EQ(S_OK, server->AddGroup(L"g", TRUE, 1000, 1, nullptr, nullptr, 0, &handle,
                                         &revised, IID_IOPCItemMgt,
                                         reinterpret_cast<LPUNKNOWN *>(&items)));
    }
    void TearDown() override
    {
        items->Release();
        server->Release();
    }

    template <typename T>
    T *As(IUnknown *object, REFIID iid)
    {
        T *p = nullptr;
        EXPECT_EQ(S_OK, object->QueryInterface(iid, reinterpret_cast<void **>(&p)));
        if (p != nullptr)
            p->Release(); // the object stays alive through server/items
        return p;
    }

    IOPCServer *server = nullptr;
    IOPCItemMgt *items = nullptr;
};

} // namespace

TEST_F(ArgumentSweep, FactoryAndQueryInterface)
{
    IClassFactory &factory = ServerFactory();
    IUnknown *object = nullptr;
    EXPECT_EQ(E_INVALIDARG, factory.CreateInstance(nullptr, IID_IUnknown, nullptr));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory.CreateInstance(server, IID_IUnknown, reinterpret_cast<void **>(&object)));
    EXPECT_EQ(E_NOINTERFACE, factory.CreateInstance(nullptr, IID_IOPCSyncIO, reinterpret_cast<void **>(&object)));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_INVALIDARG, factory.QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOINTERFACE, factory.QueryInterface(IID_IOPCServer, reinterpret_cast<void **>(&object)));
    EXPECT_EQ(1u, factory.AddRef());
    EXPECT_EQ(1u, factory.Release());
    EXPECT_EQ(E_INVALIDARG, server->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_INVALIDARG, items->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ArgumentSweep, ServerObject)
{
    DWORD revised = 0;
    OPCHANDLE handle = 0;
    EXPECT_EQ(E_INVALIDARG, server->AddGroup(L"x", TRUE, 100, 1, nullptr, nullptr, 0, &handle,
                                             &revised, IID_IOPCItemMgt, nullptr));
    IUnknown *group = nullptr;
    // Null name and out pointers for handle and rate are accepted.
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, server->AddGroup(nullptr, TRUE, 100, 1, nullptr, nullptr, 0,
                                                      nullptr, nullptr, IID_IUnknown, &group));
    group->Release();
    EXPECT_EQ(E_INVALIDARG, server->GetErrorString(E_FAIL, 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(nullptr, IID_IUnknown, &group));
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"g", IID_IUnknown, nullptr));
    EXPECT_EQ(E_INVALIDARG, server->GetStatus(nullptr));
    EXPECT_EQ(E_INVALIDARG, server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IUnknown, nullptr));

    IOPCCommon *common = As<IOPCCommon>(server, IID_IOPCCommon);
    DWORD count = 0;
    LCID *locales = nullptr;
    EXPECT_EQ(E_INVALIDARG, common->GetLocaleID(nullptr));
    EXPECT_EQ(E_INVALIDARG, common->QueryAvailableLocaleIDs(nullptr, &locales));
    EXPECT_EQ(E_INVALIDARG, common->QueryAvailableLocaleIDs(&count, nullptr));
    EXPECT_EQ(E_INVALIDARG, common->GetErrorString(E_FAIL, nullptr));
    EXPECT_EQ(E_INVALIDARG, common->SetClientName(nullptr));

    IOPCItemProperties *properties = As<IOPCItemProperties>(server, IID_IOPCItemProperties);
    DWORD *ids = nullptr;
    LPWSTR *texts = nullptr;
    VARTYPE *types = nullptr;
    EXPECT_EQ(E_INVALIDARG, properties->QueryAvailableProperties(nullptr, nullptr, &ids, &texts, &types));
    EXPECT_EQ(E_INVALIDARG, properties->QueryAvailableProperties(nullptr, &count, nullptr, &texts, &types));
    EXPECT_EQ(E_INVALIDARG, properties->QueryAvailableProperties(nullptr, &count, &ids, nullptr, &types));
    EXPECT_EQ(E_INVALIDARG, properties->QueryAvailableProperties(nullptr, &count, &ids, &texts, nullptr));
    DWORD wanted[] = {1};
    VARIANT *values = nullptr;
    HRESULT *errors = nullptr;
    EXPECT_EQ(E_INVALIDARG, properties->GetItemProperties(nullptr, 1, nullptr, &values, &errors));
    EXPECT_EQ(E_INVALIDARG, properties->GetItemProperties(nullptr, 1, wanted, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, properties->GetItemProperties(nullptr, 1, wanted, &values, nullptr));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, properties->GetItemProperties(nullptr, 1, wanted, &values, &errors));
    EXPECT_EQ(E_INVALIDARG, properties->LookupItemIDs(nullptr, 1, nullptr, &texts, &errors));

    IOPCBrowseServerAddressSpace *browse = As<IOPCBrowseServerAddressSpace>(server, IID_IOPCBrowseServerAddressSpace);
    IEnumString *names = nullptr;
    LPWSTR id = nullptr;
    EXPECT_EQ(E_INVALIDARG, browse->QueryOrganization(nullptr));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, nullptr));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, nullptr));
    EXPECT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, nullptr));
    EXPECT_EQ(E_INVALIDARG, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, nullptr));
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, nullptr, VT_EMPTY, 0, &names));
    EXPECT_EQ(E_INVALIDARG, names->Next(1, nullptr, nullptr));
    LPOLESTR one[2] = {};
    EXPECT_EQ(E_POINTER, names->Next(2, one, nullptr));
    names->Release();
    EXPECT_EQ(E_INVALIDARG, browse->GetItemID(const_cast<LPWSTR>(L"a"), nullptr));
    EXPECT_EQ(E_INVALIDARG, browse->GetItemID(nullptr, &id));
    EXPECT_EQ(E_INVALIDARG, browse->BrowseAccessPaths(nullptr, nullptr));

    IOPCItemIO *io = As<IOPCItemIO>(server, IID_IOPCItemIO);
    LPCWSTR itemIds[] = {L"Sweep.Tag"};
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    EXPECT_EQ(E_INVALIDARG, io->Read(1, nullptr, nullptr, &values, &qualities, &times, &errors));
    EXPECT_EQ(E_INVALIDARG, io->Read(1, itemIds, nullptr, nullptr, &qualities, &times, &errors));
    EXPECT_EQ(E_INVALIDARG, io->Read(1, itemIds, nullptr, &values, nullptr, &times, &errors));
    EXPECT_EQ(E_INVALIDARG, io->Read(1, itemIds, nullptr, &values, &qualities, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, io->Read(1, itemIds, nullptr, &values, &qualities, &times, nullptr));
    OPCITEMVQT vqt = {};
    EXPECT_EQ(E_INVALIDARG, io->WriteVQT(1, nullptr, &vqt, &errors));
    EXPECT_EQ(E_INVALIDARG, io->WriteVQT(1, itemIds, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, io->WriteVQT(1, itemIds, &vqt, nullptr));
    // An empty read is fine.
    ASSERT_EQ(S_OK, io->Read(0, itemIds, nullptr, &values, &qualities, &times, &errors));
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);

    IConnectionPointContainer *container = As<IConnectionPointContainer>(server, IID_IConnectionPointContainer);
    EXPECT_EQ(E_INVALIDARG, container->EnumConnectionPoints(nullptr));
    EXPECT_EQ(E_INVALIDARG, container->FindConnectionPoint(IID_IOPCShutdown, nullptr));
}

TEST_F(ArgumentSweep, GroupItemManagementAndState)
{
    OPCITEMDEF def = {};
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    OPCHANDLE handles[] = {1};
    EXPECT_EQ(E_INVALIDARG, items->AddItems(0, &def, &results, &errors));
    EXPECT_EQ(E_INVALIDARG, items->AddItems(1, nullptr, &results, &errors));
    EXPECT_EQ(E_INVALIDARG, items->AddItems(1, &def, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, items->AddItems(1, &def, &results, nullptr));
    EXPECT_EQ(E_INVALIDARG, items->ValidateItems(1, nullptr, FALSE, &results, &errors));
    EXPECT_EQ(E_INVALIDARG, items->RemoveItems(1, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, items->RemoveItems(1, handles, nullptr));
    EXPECT_EQ(E_INVALIDARG, items->SetActiveState(1, nullptr, TRUE, &errors));
    EXPECT_EQ(E_INVALIDARG, items->SetClientHandles(1, handles, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, items->SetDatatypes(1, handles, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, items->CreateEnumerator(IID_IEnumOPCItemAttributes, nullptr));

    // A null item ID is an unknown item, not a crash.
    ASSERT_EQ(S_FALSE, items->AddItems(1, &def, &results, &errors));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[0]);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);

    IOPCGroupStateMgt *state = As<IOPCGroupStateMgt>(items, IID_IOPCGroupStateMgt);
    EXPECT_EQ(S_OK, state->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, state->SetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, state->SetName(nullptr));
    EXPECT_EQ(E_INVALIDARG, state->CloneGroup(L"c", IID_IUnknown, nullptr));
}

TEST_F(ArgumentSweep, GroupReadsWritesAndSubscriptions)
{
    OPCHANDLE handles[] = {1};
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    VARIANT value;
    VariantInit(&value);
    IOPCSyncIO2 *sync = As<IOPCSyncIO2>(items, IID_IOPCSyncIO2);
    EXPECT_EQ(E_INVALIDARG, sync->Read(OPC_DS_CACHE, 0, handles, &states, &errors));
    EXPECT_EQ(E_INVALIDARG, sync->Read(OPC_DS_CACHE, 1, nullptr, &states, &errors));
    EXPECT_EQ(E_INVALIDARG, sync->Read(OPC_DS_CACHE, 1, handles, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, sync->Read(OPC_DS_CACHE, 1, handles, &states, nullptr));
    EXPECT_EQ(E_INVALIDARG, sync->Write(1, handles, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, sync->Write(0, handles, &value, &errors));
    DWORD ages[] = {0};
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    EXPECT_EQ(E_INVALIDARG, sync->ReadMaxAge(1, handles, nullptr, &values, &qualities, &times, &errors));
    EXPECT_EQ(E_INVALIDARG, sync->WriteVQT(1, handles, nullptr, &errors));

    IOPCAsyncIO3 *async = As<IOPCAsyncIO3>(items, IID_IOPCAsyncIO3);
    DWORD cancel = 0;
    EXPECT_EQ(E_INVALIDARG, async->Read(0, handles, 1, &cancel, &errors));
    EXPECT_EQ(E_INVALIDARG, async->Read(1, handles, 1, nullptr, &errors));
    EXPECT_EQ(E_INVALIDARG, async->Read(1, handles, 1, &cancel, nullptr));
    EXPECT_EQ(E_INVALIDARG, async->Write(1, handles, nullptr, 1, &cancel, &errors));
    EXPECT_EQ(E_INVALIDARG, async->ReadMaxAge(1, handles, nullptr, 1, &cancel, &errors));
    EXPECT_EQ(E_INVALIDARG, async->WriteVQT(1, handles, nullptr, 1, &cancel, &errors));
    EXPECT_EQ(E_INVALIDARG, async->Refresh2(OPC_DS_CACHE, 1, nullptr));
    EXPECT_EQ(E_INVALIDARG, async->RefreshMaxAge(0, 1, nullptr));
    EXPECT_EQ(E_INVALIDARG, async->GetEnable(nullptr));
    EXPECT_EQ(E_FAIL, async->Cancel2(4711));
    (void)ages;

    IDataObject *data = As<IDataObject>(items, IID_IDataObject);
    FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATA")), nullptr,
                        DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    EXPECT_EQ(E_INVALIDARG, data->DAdvise(nullptr, 0, nullptr, &connection));
    EXPECT_EQ(E_INVALIDARG, data->DAdvise(&format, 0, nullptr, &connection));
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(99));
    EXPECT_EQ(E_NOTIMPL, data->GetData(&format, nullptr));

    IConnectionPointContainer *container = As<IConnectionPointContainer>(items, IID_IConnectionPointContainer);
    EXPECT_EQ(E_INVALIDARG, container->EnumConnectionPoints(nullptr));
    EXPECT_EQ(E_INVALIDARG, container->FindConnectionPoint(IID_IOPCDataCallback, nullptr));
    IConnectionPoint *point = nullptr;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCDataCallback, &point));
    DWORD cookie = 0;
    EXPECT_EQ(E_INVALIDARG, point->Advise(nullptr, &cookie));
    EXPECT_EQ(E_INVALIDARG, point->Advise(server, nullptr));
    EXPECT_EQ(E_INVALIDARG, point->GetConnectionInterface(nullptr));
    EXPECT_EQ(E_INVALIDARG, point->GetConnectionPointContainer(nullptr));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(77));
    point->Release();
}
