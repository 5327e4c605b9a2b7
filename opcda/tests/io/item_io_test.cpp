// Reads and writes by item ID on the server object (IOPCItemIO), through
// COM on a host in another process: values as a group read gives them,
// unknown IDs fail per item, writes reach the host's write callback with the
// quality and time stamp the client specified.
#include "hosted_server.h"
#include "opc_errors.h"
#include "value_format.h"

#include <gtest/gtest.h>

using namespace iotest;

namespace {

class ItemIo : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        io = Query<IOPCItemIO>(server.Get(), IID_IOPCItemIO);
        ASSERT_TRUE(io);
    }

    void TearDown() override
    {
        io.Reset();
        HostedServer::TearDown();
    }

    ComPtr<IOPCItemIO> io;
};

OPCITEMVQT Vqt(LONG value, bool withQuality, WORD quality, bool withTime, ULONGLONG time)
{
    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    V_VT(&vqt.vDataValue) = VT_I4;
    V_I4(&vqt.vDataValue) = value;
    vqt.bQualitySpecified = withQuality;
    vqt.wQuality = quality;
    vqt.bTimeStampSpecified = withTime;
    vqt.ftTimeStamp = MakeFileTime(time);
    return vqt;
}

} // namespace

TEST_F(ItemIo, ReadByItemIdGivesValuesAndUnknownIdsFailPerItem)
{
    LPCWSTR ids[4] = {L"Area.Pump.Speed", L"Area.No.Such.Tag", L"Host.Never", L"Plant.Temp"};
    DWORD maxAge[4] = {0, 0, 0, 0};
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, io->Read(4, ids, maxAge, &values, &qualities, &times, &errors));

    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(VT_I4, V_VT(&values[0]));
    EXPECT_EQ("1450", FormatValue(values[0]));
    EXPECT_EQ(192u, qualities[0]);
    EXPECT_NE(0u, FileTimeValue(times[0]));

    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[1]);
    EXPECT_EQ(VT_EMPTY, V_VT(&values[1]));

    EXPECT_EQ(S_OK, errors[2]);
    EXPECT_EQ(VT_EMPTY, V_VT(&values[2]));
    EXPECT_EQ(0x20u, qualities[2]);

    EXPECT_EQ(S_OK, errors[3]);
    EXPECT_EQ("21.5", FormatValue(values[3]));

    // The same time stamp a group read gives.
    FILETIME groupTime;
    WORD groupQuality = 0;
    ASSERT_TRUE(ReadState("Area.Pump.Speed", &groupTime, &groupQuality));
    EXPECT_EQ(FileTimeValue(groupTime), FileTimeValue(times[0]));

    for (int i = 0; i < 4; ++i)
        VariantClear(&values[i]);
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
}

TEST_F(ItemIo, ReadOfNoItemsSucceeds)
{
    LPCWSTR id = L"Area.Pump.Speed";
    DWORD maxAge = 0;
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *times = nullptr;
    HRESULT *errors = nullptr;
    EXPECT_EQ(S_OK, io->Read(0, &id, &maxAge, &values, &qualities, &times, &errors));
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
}

TEST_F(ItemIo, WriteVqtByItemIdReachesTheHostAsAValue)
{
    const ULONGLONG stamp = 0x01D5C1A2B3C4D5E6ULL;
    LPCWSTR ids[5] = {L"Area.Pump.Speed", L"Area.Valve", L"Area.No.Such.Tag", L"Area.Pump.Flow",
                      L"Area.Pump.Speed"};
    OPCITEMVQT vqts[5] = {Vqt(41, false, 0x40, false, stamp), Vqt(1, false, 0, false, 0),
                          Vqt(2, false, 0, false, 0), Vqt(42, false, 0, false, 0),
                          Vqt(43, true, 0x40, true, stamp)};
    const ULONGLONG before = NowValue();
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, io->WriteVQT(5, ids, vqts, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_BADRIGHTS, errors[1]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[2]);
    EXPECT_EQ(S_OK, errors[3]);
    EXPECT_EQ(OPC_E_NOTSUPPORTED, errors[4]); // quality and time stamp are not written
    CoTaskMemFree(errors);

    std::vector<HostWrite> writes = WaitForHostWrites(2, kArrival);
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("Area.Pump.Speed", writes[0].itemId);
    EXPECT_EQ("VT_I4", writes[0].type);
    EXPECT_EQ("41", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
    EXPECT_GE(writes[0].time + kSecond, before);
    EXPECT_EQ("Area.Pump.Flow", writes[1].itemId);
    EXPECT_EQ("VT_R8", writes[1].type); // converted to the r8 tag's type
    EXPECT_EQ(192u, writes[1].quality);
    EXPECT_GE(writes[1].time + kSecond, before);
}

TEST_F(ItemIo, WriteVqtOfNoItemsSucceeds)
{
    LPCWSTR id = L"Area.Pump.Speed";
    OPCITEMVQT vqt = Vqt(1, false, 0, false, 0);
    HRESULT *errors = nullptr;
    EXPECT_EQ(S_OK, io->WriteVQT(0, &id, &vqt, &errors));
    CoTaskMemFree(errors);
}
