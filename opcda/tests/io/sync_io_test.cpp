// Synchronous reads and writes of a group (IOPCSyncIO, IOPCSyncIO2), called
// through COM on a host in another process: cache and device reads both
// give the tag table's values in each item's requested type, only the
// group's items can be read and written, partial success is S_FALSE, and
// writes go to the host's write callback converted to the tag's type, with
// quality and time stamp, and never change the tag themselves.
#include "hosted_server.h"
#include "opc_errors.h"
#include "value_format.h"

#include <gtest/gtest.h>

using namespace iotest;

namespace {

struct ReadResult {
    OPCHANDLE clientHandle = 0;
    VARTYPE type = VT_EMPTY;
    std::string value;
    WORD quality = 0;
    ULONGLONG time = 0;
    HRESULT error = S_OK;
};

bool operator==(const ReadResult &a, const ReadResult &b)
{
    return a.clientHandle == b.clientHandle && a.type == b.type && a.value == b.value &&
           a.quality == b.quality && a.time == b.time && a.error == b.error;
}

// "测试" as the host's code page 936 gives it back.
const char kHostNameText[] = "\"\xB2\xE2\xCA\xD4\"";

class SyncIo : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        group = AddGroup(1000, 7);
        handles = AddItems(group.Get(),
                           {"Area.Pump.Speed", "Area.Pump.Flow", "Host.Name", "Host.Raw",
                            "Area.Valve", "Host.Never"},
                           {1, 2, 3, 4, 5, 6});
        io = Query<IOPCSyncIO2>(group.Get(), IID_IOPCSyncIO2);
        ASSERT_TRUE(io);
    }

    void TearDown() override
    {
        io.Reset();
        group.Reset();
        HostedServer::TearDown();
    }

    std::vector<ReadResult> Read(OPCDATASOURCE source, std::vector<OPCHANDLE> which,
                                 HRESULT *result)
    {
        std::vector<ReadResult> out;
        OPCITEMSTATE *states = nullptr;
        HRESULT *errors = nullptr;
        *result = io->Read(source, static_cast<DWORD>(which.size()), which.data(), &states,
                           &errors);
        if (FAILED(*result))
            return out;
        for (size_t i = 0; i < which.size(); ++i) {
            ReadResult r;
            r.clientHandle = states[i].hClient;
            r.type = V_VT(&states[i].vDataValue);
            r.value = FormatValue(states[i].vDataValue);
            r.quality = states[i].wQuality;
            r.time = FileTimeValue(states[i].ftTimeStamp);
            r.error = errors[i];
            out.push_back(r);
            VariantClear(&states[i].vDataValue);
        }
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
        return out;
    }

    std::string ValueOf(OPCHANDLE handle)
    {
        HRESULT hr = E_FAIL;
        std::vector<ReadResult> r = Read(OPC_DS_CACHE, {handle}, &hr);
        return r.empty() ? "(read failed)" : r[0].value;
    }

    HRESULT WriteOne(OPCHANDLE handle, const std::string &type, const std::string &text)
    {
        VARIANT value;
        std::string error;
        if (!ParseValue(type, text, &value, &error))
            return E_INVALIDARG;
        HRESULT *errors = nullptr;
        HRESULT hr = io->Write(1, &handle, &value, &errors);
        VariantClear(&value);
        if (FAILED(hr))
            return hr;
        const HRESULT itemResult = errors[0];
        EXPECT_EQ(itemResult == S_OK ? S_OK : S_FALSE, hr);
        CoTaskMemFree(errors);
        return itemResult;
    }

    HRESULT WriteVqt(OPCHANDLE handle, LONG value, bool withQuality, WORD quality,
                     bool withTime, ULONGLONG time)
    {
        OPCITEMVQT vqt;
        ZeroMemory(&vqt, sizeof(vqt));
        V_VT(&vqt.vDataValue) = VT_I4;
        V_I4(&vqt.vDataValue) = value;
        vqt.bQualitySpecified = withQuality;
        vqt.wQuality = quality;
        vqt.bTimeStampSpecified = withTime;
        vqt.ftTimeStamp = MakeFileTime(time);
        HRESULT *errors = nullptr;
        HRESULT hr = io->WriteVQT(1, &handle, &vqt, &errors);
        if (FAILED(hr))
            return hr;
        const HRESULT itemResult = errors[0];
        EXPECT_EQ(itemResult == S_OK ? S_OK : S_FALSE, hr);
        CoTaskMemFree(errors);
        return itemResult;
    }

    ComPtr<IOPCItemMgt> group;
    std::vector<OPCHANDLE> handles; // Speed, Flow, Name, Raw, Valve, Never
    ComPtr<IOPCSyncIO2> io;
};

} // namespace

// Reads

TEST_F(SyncIo, CacheReadGivesEachItemsValueQualityTimeAndClientHandle)
{
    const ULONGLONG now = NowValue();
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> r = Read(OPC_DS_CACHE, {handles[0], handles[1], handles[2], handles[3]}, &hr);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(4u, r.size());
    EXPECT_EQ(1u, r[0].clientHandle);
    EXPECT_EQ(VT_I4, r[0].type);
    EXPECT_EQ("1450", r[0].value);
    EXPECT_EQ(2u, r[1].clientHandle);
    EXPECT_EQ(VT_R8, r[1].type);
    EXPECT_EQ("12.5", r[1].value);
    EXPECT_EQ(3u, r[2].clientHandle);
    EXPECT_EQ(VT_BSTR, r[2].type);
    EXPECT_EQ(kHostNameText, r[2].value);
    EXPECT_EQ(4u, r[3].clientHandle);
    EXPECT_EQ(VT_ARRAY | VT_UI1, r[3].type);
    EXPECT_EQ("bytes:0102ff", r[3].value);
    for (const ReadResult &item : r) {
        EXPECT_EQ(192u, item.quality);
        EXPECT_EQ(S_OK, item.error);
        // Set by the host when it started, a moment ago.
        EXPECT_LT(item.time, now + 5 * kSecond);
        EXPECT_GT(item.time, now - 120 * kSecond);
    }
}

TEST_F(SyncIo, DeviceReadGivesExactlyWhatCacheReadGives)
{
    HRESULT cacheResult = E_FAIL, deviceResult = E_FAIL;
    std::vector<ReadResult> cache = Read(OPC_DS_CACHE, handles, &cacheResult);
    std::vector<ReadResult> device = Read(OPC_DS_DEVICE, handles, &deviceResult);
    EXPECT_EQ(S_OK, cacheResult);
    EXPECT_EQ(S_OK, deviceResult);
    ASSERT_EQ(handles.size(), cache.size());
    EXPECT_TRUE(cache == device);
}

// Handles are the group's items: a tag that another group holds is not an
// item of this one, for reading or writing.
TEST_F(SyncIo, TagOutsideTheGroupIsAnInvalidHandle)
{
    const OPCHANDLE temp = TagHandle("Plant.Temp");
    ASSERT_NE(0u, temp);
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> r = Read(OPC_DS_CACHE, {handles[0], temp}, &hr);
    ASSERT_EQ(S_FALSE, hr);
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ(1u, r[0].clientHandle);
    EXPECT_EQ(S_OK, r[0].error);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, r[1].error);
    EXPECT_EQ(VT_EMPTY, r[1].type);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, WriteOne(temp, "r4", "1"));
}

// Cache reads of an inactive item, or of any item of an inactive group,
// carry the quality "out of service"; device reads do not care.
TEST_F(SyncIo, CacheReadsOfInactiveItemsAreOutOfService)
{
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, group->SetActiveState(1, &handles[0], FALSE, &errors));
    CoTaskMemFree(errors);
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> cache = Read(OPC_DS_CACHE, {handles[0], handles[1]}, &hr);
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(0x1Cu, cache[0].quality);
    EXPECT_EQ("1450", cache[0].value);
    EXPECT_EQ(192u, cache[1].quality);
    std::vector<ReadResult> device = Read(OPC_DS_DEVICE, {handles[0]}, &hr);
    EXPECT_EQ(192u, device[0].quality);

    ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get(), IID_IOPCGroupStateMgt);
    BOOL inactive = FALSE;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, &inactive, nullptr, nullptr, nullptr, nullptr));
    cache = Read(OPC_DS_CACHE, {handles[1]}, &hr);
    EXPECT_EQ(0x1Cu, cache[0].quality);
}

TEST_F(SyncIo, UnknownHandleFailsOnlyItsItem)
{
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> r = Read(OPC_DS_CACHE, {0xBAD0BAD, handles[0]}, &hr);
    ASSERT_EQ(S_FALSE, hr);
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ(OPC_E_INVALIDHANDLE, r[0].error);
    EXPECT_EQ(VT_EMPTY, r[0].type);
    EXPECT_EQ(0u, r[0].clientHandle);
    EXPECT_EQ(S_OK, r[1].error);
    EXPECT_EQ("1450", r[1].value);
}

TEST_F(SyncIo, NeverSetTagReadsEmptyWaitingForInitialData)
{
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> r = Read(OPC_DS_DEVICE, {handles[5]}, &hr);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ(S_OK, r[0].error);
    EXPECT_EQ(6u, r[0].clientHandle);
    EXPECT_EQ(VT_EMPTY, r[0].type);
    EXPECT_EQ(0x20u, r[0].quality);
}

// Values come in the type the item asked for (OLE conversion).
TEST_F(SyncIo, ValuesComeInTheRequestedType)
{
    ComPtr<IOPCItemMgt> other = AddGroup(1000, 8);
    std::vector<OPCHANDLE> h = AddItems(other.Get(), {"Area.Pump.Speed", "Area.Pump.Flow"},
                                        {21, 22}, VT_BSTR);
    ComPtr<IOPCSyncIO2> otherIo = Query<IOPCSyncIO2>(other.Get(), IID_IOPCSyncIO2);
    ASSERT_TRUE(otherIo);
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, otherIo->Read(OPC_DS_CACHE, 2, h.data(), &states, &errors));
    ASSERT_EQ(VT_BSTR, V_VT(&states[0].vDataValue));
    EXPECT_STREQ(L"1450", V_BSTR(&states[0].vDataValue));
    ASSERT_EQ(VT_BSTR, V_VT(&states[1].vDataValue));
    EXPECT_EQ(21u, states[0].hClient);
    for (int i = 0; i < 2; ++i)
        VariantClear(&states[i].vDataValue);
    CoTaskMemFree(states);
    CoTaskMemFree(errors);

    DWORD maxAge[2] = {0, 0};
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    ASSERT_EQ(S_OK, otherIo->ReadMaxAge(2, h.data(), maxAge, &values, &qualities, &times, &errors));
    EXPECT_EQ(VT_BSTR, V_VT(&values[0]));
    EXPECT_EQ(VT_BSTR, V_VT(&values[1]));
    for (int i = 0; i < 2; ++i)
        VariantClear(&values[i]);
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
}

TEST_F(SyncIo, ReadMaxAgeGivesWhatReadGives)
{
    const std::vector<OPCHANDLE> which = {handles[0], handles[5], 0xBAD0BAD, handles[2]};
    HRESULT hr = E_FAIL;
    std::vector<ReadResult> read = Read(OPC_DS_CACHE, which, &hr);
    ASSERT_EQ(S_FALSE, hr);

    std::vector<OPCHANDLE> h = which;
    DWORD maxAge[4] = {0, 1000, 0xFFFFFFFF, 0};
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, io->ReadMaxAge(4, h.data(), maxAge, &values, &qualities, &times, &errors));
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read[i].type, V_VT(&values[i]));
        EXPECT_EQ(read[i].value, FormatValue(values[i]));
        EXPECT_EQ(read[i].quality, qualities[i]);
        EXPECT_EQ(read[i].time, FileTimeValue(times[i]));
        EXPECT_EQ(read[i].error, errors[i]);
        VariantClear(&values[i]);
    }
    EXPECT_EQ(OPC_E_INVALIDHANDLE, read[2].error);
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
}

TEST_F(SyncIo, ReadMaxAgeOfNoItemsSucceeds)
{
    OPCHANDLE h = handles[0];
    DWORD maxAge = 0;
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    HRESULT *errors = nullptr;
    EXPECT_EQ(S_OK, io->ReadMaxAge(0, &h, &maxAge, &values, &qualities, &times, &errors));
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
}

TEST_F(SyncIo, ZeroCountReadAndWritesAreInvalid)
{
    OPCHANDLE h = handles[0];
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    EXPECT_EQ(E_INVALIDARG, io->Read(OPC_DS_CACHE, 0, &h, &states, &errors));
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(E_INVALIDARG, io->Write(0, &h, &value, &errors));
    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    EXPECT_EQ(E_INVALIDARG, io->WriteVQT(0, &h, &vqt, &errors));
}

// Writes

TEST_F(SyncIo, WriteToReadOnlyTagIsRefusedAndNeverReachesTheHost)
{
    EXPECT_EQ(OPC_E_BADRIGHTS, WriteOne(handles[4], "bool", "false"));
    // Writes reach the host in order: the next one arriving first shows
    // that the refused one was never queued.
    EXPECT_EQ(S_OK, WriteOne(handles[0], "i4", "1501"));
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("Area.Pump.Speed", writes[0].itemId);
}

TEST_F(SyncIo, WriteReachesTheHostWithGoodQualityAndTheCurrentTime)
{
    const ULONGLONG before = NowValue();
    EXPECT_EQ(S_OK, WriteOne(handles[0], "i4", "1600"));
    const ULONGLONG after = NowValue();
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("Area.Pump.Speed", writes[0].itemId);
    EXPECT_EQ("VT_I4", writes[0].type);
    EXPECT_EQ("1600", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
    // Same clock on both sides; a second of slack for its granularity.
    EXPECT_GE(writes[0].time + kSecond, before);
    EXPECT_LE(writes[0].time, after + kSecond);
}

TEST_F(SyncIo, WriteChangesTheTagOnlyWhenTheHostSetsIt)
{
    EXPECT_EQ(S_OK, WriteOne(handles[0], "i4", "1600"));
    EXPECT_EQ("1450", ValueOf(handles[0]));
    ASSERT_EQ(1u, WaitForHostWrites(1, kArrival).size());
    EXPECT_EQ("1450", ValueOf(handles[0]));
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1600"));
    EXPECT_EQ("1600", ValueOf(handles[0]));
}

// The host receives every value in the tag's own type; values that do not
// convert or do not fit are refused per item and never reach it.
TEST_F(SyncIo, WritesReachTheHostInOrderConvertedToTheTagType)
{
    EXPECT_EQ(S_OK, WriteOne(handles[0], "i4", "1"));
    EXPECT_EQ(S_OK, WriteOne(handles[0], "r8", "2.25")); // an i4 tag written as r8
    EXPECT_EQ(OPC_E_BADTYPE, WriteOne(handles[0], "str", "three"));
    EXPECT_EQ(OPC_E_RANGE, WriteOne(handles[0], "r8", "1e30"));
    EXPECT_EQ(S_OK, WriteOne(handles[2], "str", "three"));
    // The host takes texts of 16 ANSI bytes at most.
    EXPECT_EQ(OPC_E_RANGE, WriteOne(handles[2], "str", "seventeen letters"));
    EXPECT_EQ(S_OK, WriteOne(handles[3], "blob", "0405"));

    VARIANT values[2];
    std::string error;
    ASSERT_TRUE(ParseValue("i4", "5", &values[0], &error));
    ASSERT_TRUE(ParseValue("r8", "6.5", &values[1], &error));
    OPCHANDLE both[2] = {handles[0], handles[1]};
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, io->Write(2, both, values, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    CoTaskMemFree(errors);

    std::vector<HostWrite> writes = WaitForHostWrites(6, kArrival);
    ASSERT_EQ(6u, writes.size());
    const char *expected[6][3] = {
        {"Area.Pump.Speed", "VT_I4", "1"},     {"Area.Pump.Speed", "VT_I4", "2"},
        {"Host.Name", "VT_BSTR", "\"three\""}, {"Host.Raw", "VT_ARRAY|VT_UI1", "bytes:0405"},
        {"Area.Pump.Speed", "VT_I4", "5"},     {"Area.Pump.Flow", "VT_R8", "6.5"},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i][0], writes[i].itemId);
        EXPECT_EQ(expected[i][1], writes[i].type);
        EXPECT_EQ(expected[i][2], writes[i].value);
    }
}

// A value passed by reference lives only as long as the call: the host
// receives the value itself.
TEST_F(SyncIo, ValueWrittenByReferenceReachesTheHostAsItsValue)
{
    LONG number = 4321;
    VARIANT byReference;
    VariantInit(&byReference);
    V_VT(&byReference) = VT_BYREF | VT_I4;
    V_I4REF(&byReference) = &number;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, io->Write(1, &handles[0], &byReference, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    CoTaskMemFree(errors);

    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    V_VT(&vqt.vDataValue) = VT_BYREF | VT_I4;
    V_I4REF(&vqt.vDataValue) = &number;
    ASSERT_EQ(S_OK, io->WriteVQT(1, &handles[0], &vqt, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    CoTaskMemFree(errors);

    std::vector<HostWrite> writes = WaitForHostWrites(2, kArrival);
    ASSERT_EQ(2u, writes.size());
    for (const HostWrite &write : writes) {
        EXPECT_EQ("VT_I4", write.type);
        EXPECT_EQ("4321", write.value);
    }
}

TEST_F(SyncIo, WriteOfUnknownHandleFailsOnlyItsItem)
{
    VARIANT values[2];
    std::string error;
    ASSERT_TRUE(ParseValue("i4", "7", &values[0], &error));
    ASSERT_TRUE(ParseValue("i4", "8", &values[1], &error));
    OPCHANDLE which[2] = {0xBAD0BAD, handles[0]};
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, io->Write(2, which, values, &errors));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    CoTaskMemFree(errors);
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("8", writes[0].value);
}

TEST_F(SyncIo, WriteVqtWithoutQualityAndTimeForwardsGoodQualityAndTheCurrentTime)
{
    const ULONGLONG before = NowValue();
    EXPECT_EQ(S_OK, WriteVqt(handles[0], 31, false, 0x40, false, 0));
    const ULONGLONG after = NowValue();
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("31", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
    EXPECT_GE(writes[0].time + kSecond, before);
    EXPECT_LE(writes[0].time, after + kSecond);
}

// The host takes values only: a write that specifies a quality or a time
// stamp is not supported, and none of it reaches the host.
TEST_F(SyncIo, WriteVqtWithQualityOrTimeIsNotSupported)
{
    const ULONGLONG stamp = 0x01D5C1A2B3C4D5E6ULL; // some moment in 2019
    EXPECT_EQ(OPC_E_NOTSUPPORTED, WriteVqt(handles[0], 32, true, 0x44, true, stamp));
    EXPECT_EQ(OPC_E_NOTSUPPORTED, WriteVqt(handles[0], 33, true, 0xC0, false, 0));
    EXPECT_EQ(OPC_E_NOTSUPPORTED, WriteVqt(handles[0], 34, false, 0, true, stamp + 1));
    EXPECT_EQ(S_OK, WriteVqt(handles[0], 35, false, 0x44, false, stamp));
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("35", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
    // None of it touched the tag.
    EXPECT_EQ("1450", ValueOf(handles[0]));
}

TEST_F(SyncIo, WriteVqtToReadOnlyOrUnknownItemsFailsPerItem)
{
    EXPECT_EQ(OPC_E_BADRIGHTS, WriteVqt(handles[4], 1, false, 0, false, 0));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, WriteVqt(0xBAD0BAD, 1, false, 0, false, 0));
}
