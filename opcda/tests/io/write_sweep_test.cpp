// The client-write side of the argument sweep, through COM on a host in
// another process: VARIANTs of every type, arrays (one and two dimensions,
// empty, of texts, of nested variants), values by reference and BSTRs with
// embedded NULs, written by synchronous, asynchronous and
// value-quality-timestamp writes. Every write is refused with its reason or
// reaches the host once, in order, converted to the item's type; none
// crashes either process, and the server still answers afterwards.
#include "data_callback_recorder.h"
#include "hosted_server.h"
#include "opc_errors.h"
#include "value_format.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace iotest;

namespace {

const OPCHANDLE kClientGroup = 61;
const char kItem[] = "Area.Pump.Speed";

BSTR TextWithNuls()
{
    return SysAllocStringLen(L"ab\0cd\0", 6);
}

SAFEARRAY *ArrayOfLongs(ULONG count)
{
    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, count);
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        LONG value = 100 + i;
        SafeArrayPutElement(array, &i, &value);
    }
    return array;
}

// A variant array holding a number, a text with NULs and a byte array.
SAFEARRAY *ArrayOfVariants()
{
    SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT element;
    LONG at = 0;
    VariantInit(&element);
    V_VT(&element) = VT_I4;
    V_I4(&element) = 7;
    SafeArrayPutElement(array, &at, &element);
    at = 1;
    V_VT(&element) = VT_BSTR;
    V_BSTR(&element) = TextWithNuls();
    SafeArrayPutElement(array, &at, &element); // copies
    VariantClear(&element);
    at = 2;
    V_VT(&element) = VT_ARRAY | VT_UI1;
    V_ARRAY(&element) = SafeArrayCreateVector(VT_UI1, 0, 4);
    SafeArrayPutElement(array, &at, &element);
    VariantClear(&element);
    return array;
}

// One value of the sweep: how to build it, and its type with the reference
// removed (what the conversion to the item's type starts from).
struct SweepValue {
    const char *name;
    VARTYPE arrives;
    std::function<void(VARIANT &)> build;
};

// Storage that the by-reference values point into; it outlives each call.
struct ReferencedValues {
    LONG number = 4321;
    double real = 2.5;
    BSTR text = nullptr;
    VARIANT inner;
    VARIANT nested;
    SAFEARRAY *array = nullptr;
    ReferencedValues()
    {
        text = TextWithNuls();
        VariantInit(&inner);
        V_VT(&inner) = VT_BSTR;
        V_BSTR(&inner) = TextWithNuls();
        VariantInit(&nested);
        V_VT(&nested) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&nested) = ArrayOfVariants();
        array = ArrayOfLongs(3);
    }
    ~ReferencedValues()
    {
        SysFreeString(text);
        VariantClear(&inner);
        VariantClear(&nested);
        SafeArrayDestroy(array);
    }
    ReferencedValues(const ReferencedValues &) = delete;
    ReferencedValues &operator=(const ReferencedValues &) = delete;
};

std::vector<SweepValue> SweepValues(ReferencedValues &refs)
{
    std::vector<SweepValue> values = {
        {"empty", VT_EMPTY, [](VARIANT &) {}},
        {"null", VT_NULL, [](VARIANT &v) { V_VT(&v) = VT_NULL; }},
        {"i1", VT_I1, [](VARIANT &v) { V_VT(&v) = VT_I1; V_I1(&v) = -128; }},
        {"i2", VT_I2, [](VARIANT &v) { V_VT(&v) = VT_I2; V_I2(&v) = -32768; }},
        {"i4", VT_I4, [](VARIANT &v) { V_VT(&v) = VT_I4; V_I4(&v) = 0x7FFFFFFF; }},
        {"i8", VT_I8, [](VARIANT &v) { V_VT(&v) = VT_I8; V_I8(&v) = -9223372036854775807LL - 1; }},
        {"ui1", VT_UI1, [](VARIANT &v) { V_VT(&v) = VT_UI1; V_UI1(&v) = 255; }},
        {"ui2", VT_UI2, [](VARIANT &v) { V_VT(&v) = VT_UI2; V_UI2(&v) = 65535; }},
        {"ui4", VT_UI4, [](VARIANT &v) { V_VT(&v) = VT_UI4; V_UI4(&v) = 0xFFFFFFFFu; }},
        {"ui8", VT_UI8, [](VARIANT &v) { V_VT(&v) = VT_UI8; V_UI8(&v) = 0xFFFFFFFFFFFFFFFFull; }},
        {"int", VT_INT, [](VARIANT &v) { V_VT(&v) = VT_INT; V_INT(&v) = -1; }},
        {"uint", VT_UINT, [](VARIANT &v) { V_VT(&v) = VT_UINT; V_UINT(&v) = 1; }},
        {"r4", VT_R4, [](VARIANT &v) { V_VT(&v) = VT_R4; V_R4(&v) = 3.4e38f; }},
        {"r8", VT_R8, [](VARIANT &v) { V_VT(&v) = VT_R8; V_R8(&v) = 1e308; }},
        {"cy", VT_CY, [](VARIANT &v) { V_VT(&v) = VT_CY; V_CY(&v).int64 = 125000; }},
        {"date", VT_DATE, [](VARIANT &v) { V_VT(&v) = VT_DATE; V_DATE(&v) = 45000.0; }},
        {"bool", VT_BOOL, [](VARIANT &v) { V_VT(&v) = VT_BOOL; V_BOOL(&v) = VARIANT_TRUE; }},
        {"error", VT_ERROR, [](VARIANT &v) { V_VT(&v) = VT_ERROR; V_ERROR(&v) = DISP_E_PARAMNOTFOUND; }},
        {"decimal", VT_DECIMAL,
         [](VARIANT &v) {
             DECIMAL d;
             ZeroMemory(&d, sizeof(d));
             d.scale = 1;
             d.Lo32 = 125;
             V_DECIMAL(&v) = d; // overlays the type word: set it afterwards
             V_VT(&v) = VT_DECIMAL;
         }},
        {"unknown null", VT_UNKNOWN, [](VARIANT &v) { V_VT(&v) = VT_UNKNOWN; V_UNKNOWN(&v) = nullptr; }},
        {"dispatch null", VT_DISPATCH, [](VARIANT &v) { V_VT(&v) = VT_DISPATCH; V_DISPATCH(&v) = nullptr; }},
        {"bstr", VT_BSTR, [](VARIANT &v) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L"text"); }},
        {"bstr empty", VT_BSTR, [](VARIANT &v) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L""); }},
        {"bstr null", VT_BSTR, [](VARIANT &v) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = nullptr; }},
        {"bstr with nuls", VT_BSTR, [](VARIANT &v) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = TextWithNuls(); }},
        {"bstr long with nuls", VT_BSTR,
         [](VARIANT &v) {
             std::wstring text(70000, L'x');
             for (std::size_t i = 0; i < text.size(); i += 1000)
                 text[i] = L'\0';
             V_VT(&v) = VT_BSTR;
             V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
         }},
        {"array i4", VT_ARRAY | VT_I4, [](VARIANT &v) { V_VT(&v) = VT_ARRAY | VT_I4; V_ARRAY(&v) = ArrayOfLongs(3); }},
        {"array empty", VT_ARRAY | VT_I4, [](VARIANT &v) { V_VT(&v) = VT_ARRAY | VT_I4; V_ARRAY(&v) = ArrayOfLongs(0); }},
        {"array r8 2x2", VT_ARRAY | VT_R8,
         [](VARIANT &v) {
             SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 1}};
             V_VT(&v) = VT_ARRAY | VT_R8;
             V_ARRAY(&v) = SafeArrayCreate(VT_R8, 2, bounds);
         }},
        {"array bstr with nuls", VT_ARRAY | VT_BSTR,
         [](VARIANT &v) {
             SAFEARRAY *array = SafeArrayCreateVector(VT_BSTR, 0, 2);
             BSTR text = TextWithNuls();
             for (LONG i = 0; i < 2; ++i)
                 SafeArrayPutElement(array, &i, text); // copies
             SysFreeString(text);
             V_VT(&v) = VT_ARRAY | VT_BSTR;
             V_ARRAY(&v) = array;
         }},
        {"array of variants", VT_ARRAY | VT_VARIANT,
         [](VARIANT &v) { V_VT(&v) = VT_ARRAY | VT_VARIANT; V_ARRAY(&v) = ArrayOfVariants(); }},
    };
    // By reference: the storage stays with the caller.
    values.push_back({"byref i4", VT_I4, [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_I4; V_I4REF(&v) = &refs.number; }});
    values.push_back({"byref r8", VT_R8, [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_R8; V_R8REF(&v) = &refs.real; }});
    values.push_back(
        {"byref bstr with nuls", VT_BSTR, [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_BSTR; V_BSTRREF(&v) = &refs.text; }});
    values.push_back({"byref variant of bstr", VT_BSTR,
                      [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&v) = &refs.inner; }});
    values.push_back({"byref variant of variant array", VT_ARRAY | VT_VARIANT,
                      [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&v) = &refs.nested; }});
    values.push_back({"byref array i4", VT_ARRAY | VT_I4,
                      [&refs](VARIANT &v) { V_VT(&v) = VT_BYREF | VT_ARRAY | VT_I4; V_ARRAYREF(&v) = &refs.array; }});
    return values;
}

// The host's recorded writes, as lines, until count arrived or time is up.
// Only the item and the type are read: some values print with blanks.
std::vector<std::string> WaitForWriteTypes(std::size_t count)
{
    std::vector<std::string> types;
    testhost::WaitFor(
        [&] {
            for (const std::string &line : testhost::Command("writes")) {
                const std::string prefix = std::string("write ") + kItem + " ";
                if (line.compare(0, prefix.size(), prefix) == 0)
                    types.push_back(line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size()));
            }
            return types.size() >= count;
        },
        kArrival);
    return types;
}

class WriteSweep : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        group = AddGroup(1000, kClientGroup);
        handle = AddItems(group.Get(), {kItem}, {1})[0];
        values = SweepValues(refs);
        variants.resize(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            VariantInit(&variants[i]);
            values[i].build(variants[i]);
        }
        handles.assign(values.size(), handle);
    }

    void TearDown() override
    {
        for (VARIANT &v : variants) {
            // By-reference values point into refs, which frees them.
            if ((V_VT(&v) & VT_BYREF) == 0)
                VariantClear(&v);
        }
        group.Reset();
        HostedServer::TearDown();
    }

    // Value-only records (a quality or time stamp to write is not supported).
    std::vector<OPCITEMVQT> Vqts()
    {
        std::vector<OPCITEMVQT> vqts(variants.size());
        for (std::size_t i = 0; i < variants.size(); ++i) {
            ZeroMemory(&vqts[i], sizeof(OPCITEMVQT));
            vqts[i].vDataValue = variants[i]; // shallow: the call copies
        }
        return vqts;
    }

    // Every write is either refused with the reason a value cannot become
    // the item's type, or reaches the host once, in order, as that type.
    void ExpectAtTheHost(const std::vector<HRESULT> &results)
    {
        ASSERT_EQ(values.size(), results.size());
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < results.size(); ++i) {
            EXPECT_TRUE(results[i] == S_OK || results[i] == OPC_E_BADTYPE || results[i] == OPC_E_RANGE)
                << values[i].name << " " << std::hex << results[i];
            if (results[i] == S_OK)
                expected.push_back("VT_I4");
        }
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(expected, WaitForWriteTypes(expected.size()));
        OPCSERVERSTATUS *status = nullptr;
        ASSERT_EQ(S_OK, server->GetStatus(&status)) << "the server answers after the sweep";
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }

    // The per-item results of a synchronous call, which must have run.
    std::vector<HRESULT> Results(HRESULT hr, HRESULT *errors)
    {
        EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
        std::vector<HRESULT> results;
        if (errors != nullptr)
            results.assign(errors, errors + values.size());
        CoTaskMemFree(errors);
        return results;
    }

    // Results of an asynchronous request: accepted at the call, then the
    // per-item outcome of its completion.
    std::vector<HRESULT> Completed(DataCallbackRecorder &sink, DWORD transactionId, const HRESULT *errors)
    {
        std::vector<HRESULT> results(errors, errors + values.size());
        EXPECT_TRUE(testhost::WaitFor(
            [&] {
                for (const CallbackRecord &r : sink.Records(CallbackKind::kWriteComplete))
                    if (r.transactionId == transactionId)
                        return true;
                return false;
            },
            kArrival));
        for (const CallbackRecord &r : sink.Records(CallbackKind::kWriteComplete)) {
            if (r.transactionId != transactionId)
                continue;
            // Items of the completion in request order, the accepted ones only.
            std::size_t item = 0;
            for (std::size_t i = 0; i < results.size() && item < r.items.size(); ++i) {
                if (results[i] == S_OK)
                    results[i] = r.items[item++].error;
            }
        }
        return results;
    }

    ReferencedValues refs;
    std::vector<SweepValue> values;
    std::vector<VARIANT> variants;
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE handle = 0;
    std::vector<OPCHANDLE> handles;
};

} // namespace

TEST_F(WriteSweep, SynchronousWrite)
{
    ComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group.Get(), IID_IOPCSyncIO);
    ASSERT_TRUE(io);
    HRESULT *errors = nullptr;
    const HRESULT hr = io->Write(static_cast<DWORD>(values.size()), handles.data(), variants.data(), &errors);
    ExpectAtTheHost(Results(hr, errors));
}

TEST_F(WriteSweep, SynchronousWriteVqt)
{
    ComPtr<IOPCSyncIO2> io = Query<IOPCSyncIO2>(group.Get(), IID_IOPCSyncIO2);
    ASSERT_TRUE(io);
    std::vector<OPCITEMVQT> vqts = Vqts();
    HRESULT *errors = nullptr;
    const HRESULT hr = io->WriteVQT(static_cast<DWORD>(values.size()), handles.data(), vqts.data(), &errors);
    ExpectAtTheHost(Results(hr, errors));
}

TEST_F(WriteSweep, ServerWriteVqtByItemId)
{
    ComPtr<IOPCItemIO> io = Query<IOPCItemIO>(server.Get(), IID_IOPCItemIO);
    ASSERT_TRUE(io);
    std::vector<OPCITEMVQT> vqts = Vqts();
    std::wstring id(kItem, kItem + sizeof(kItem) - 1);
    std::vector<LPCWSTR> ids(values.size(), id.c_str());
    HRESULT *errors = nullptr;
    const HRESULT hr = io->WriteVQT(static_cast<DWORD>(values.size()), ids.data(), vqts.data(), &errors);
    ExpectAtTheHost(Results(hr, errors));
}

TEST_F(WriteSweep, AsynchronousWriteAndWriteVqt)
{
    ComPtr<IOPCAsyncIO3> io = Query<IOPCAsyncIO3>(group.Get(), IID_IOPCAsyncIO3);
    ASSERT_TRUE(io);
    ComPtr<DataCallbackRecorder> sink = DataCallbackRecorder::Create();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &cookie));

    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    HRESULT hr = io->Write(static_cast<DWORD>(values.size()), handles.data(), variants.data(), 501, &cancelId, &errors);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    std::vector<HRESULT> results = Completed(*sink.Get(), 501, errors);
    CoTaskMemFree(errors);
    ExpectAtTheHost(results);

    std::vector<OPCITEMVQT> vqts = Vqts();
    errors = nullptr;
    hr = io->WriteVQT(static_cast<DWORD>(values.size()), handles.data(), vqts.data(), 502, &cancelId, &errors);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    results = Completed(*sink.Get(), 502, errors);
    CoTaskMemFree(errors);
    ExpectAtTheHost(results);
}
