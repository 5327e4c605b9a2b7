// OPC DA 1.0 data streams across processes: IAdviseSink objects of this
// process, advised on a group's IDataObject with the registered stream
// formats, receive the exact stream for integer, floating, boolean, text and
// byte-block tags, with and without time stamps; subscription updates
// carry transaction ID 0. Foreign formats are refused, write-complete
// advises and IOPCAsyncIO2 refreshes produce no stream. The OPC DA 1.0
// IOPCAsyncIO completes its reads, refreshes and writes through the advise
// it names, with the transaction ID it handed out.
#include "advise_sink_recorder.h"
#include "data_callback_recorder.h"
#include "hosted_server.h"
#include "opc_errors.h"
#include "stream_image.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <map>

using namespace iotest;

namespace {

const OPCHANDLE kClientGroup = 0x51;
const char kData[] = "OPCSTMFORMATDATA";
const char kDataTime[] = "OPCSTMFORMATDATATIME";
const char kWriteComplete[] = "OPCSTMFORMATWRITECOMPLETE";
const DWORD kQuietPeriod = 1500;

// What a stream must say about one item.
struct ItemExpectation {
    std::string itemId;
    ValueImage value;
};

class DataStream : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        // Inactive until every sink of a test is advised.
        group = AddGroup(200, kClientGroup, FALSE);
        handles = AddItems(group.Get(),
                           {"Area.Pump.Speed", "Area.Pump.Flow", "Host.Name", "Host.Raw",
                            "Plant.Temp", "Area.Valve"},
                           {11, 12, 13, 14, 15, 16});
        data = Query<IDataObject>(group.Get(), IID_IDataObject);
        ASSERT_TRUE(data);
    }

    void TearDown() override
    {
        data.Reset();
        group.Reset();
        HostedServer::TearDown();
    }

    ComPtr<AdviseSinkRecorder> Advise(const char *formatName, DWORD *connection)
    {
        ComPtr<AdviseSinkRecorder> sink = AdviseSinkRecorder::Create();
        FORMATETC format = StreamFormat(formatName);
        EXPECT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), connection));
        return sink;
    }

    void SetActive(BOOL active)
    {
        ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get(), IID_IOPCGroupStateMgt);
        ASSERT_TRUE(state);
        DWORD revised = 0;
        ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr));
    }

    // Compares a received stream with the expected one. The items may come
    // in any order; their headers tell which, and the expected stream is
    // laid out in that order.
    void ExpectStream(const StreamRecord &record, const char *formatName, DWORD transactionId,
                      const std::map<OPCHANDLE, ItemExpectation> &items)
    {
        const bool withTime = std::string(formatName) != kData;
        EXPECT_EQ(StreamFormat(formatName).cfFormat, record.format);
        EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), record.tymed);
        ASSERT_GE(record.bytes.size(), kGroupHeaderSize);
        const DWORD size = StreamDword(record.bytes, 0);
        ASSERT_LE(size, record.blockSize);
        std::vector<BYTE> bytes(record.bytes.begin(), record.bytes.begin() + size);
        const DWORD count = StreamDword(bytes, 4);
        ASSERT_EQ(items.size(), count);

        ExpectedStream expected(withTime);
        const size_t headerSize = withTime ? kItemHeaderWithTime : kItemHeaderWithoutTime;
        for (DWORD i = 0; i < count; ++i) {
            const OPCHANDLE client = StreamDword(bytes, kGroupHeaderSize + i * headerSize);
            auto found = items.find(client);
            ASSERT_NE(items.end(), found) << "client handle " << client;
            FILETIME time = {0, 0};
            WORD quality = 0;
            ASSERT_TRUE(ReadState(found->second.itemId, &time, &quality));
            expected.AddItem(client, quality, time, found->second.value);
        }
        std::vector<BYTE> image;
        std::vector<bool> checked;
        expected.Build(kClientGroup, transactionId, &image, &checked);
        EXPECT_EQ("", CompareStream(bytes, image, checked));
    }

    // Offset of the value image of an item, from its header.
    static DWORD ValueOffset(const std::vector<BYTE> &bytes, bool withTime, OPCHANDLE client)
    {
        const size_t headerSize = withTime ? kItemHeaderWithTime : kItemHeaderWithoutTime;
        const DWORD count = StreamDword(bytes, 4);
        for (DWORD i = 0; i < count; ++i) {
            if (StreamDword(bytes, kGroupHeaderSize + i * headerSize) == client)
                return StreamDword(bytes, kGroupHeaderSize + i * headerSize + 4);
        }
        return 0;
    }

    ComPtr<IOPCItemMgt> group;
    std::vector<OPCHANDLE> handles;
    ComPtr<IDataObject> data;
};

std::map<OPCHANDLE, ItemExpectation> InitialValues()
{
    return {
        {11, {"Area.Pump.Speed", ValueImage::Integer(1450)}},
        {12, {"Area.Pump.Flow", ValueImage::Double(12.5)}},
        {13, {"Host.Name", ValueImage::Text(L"\x6D4B\x8BD5")}}, // "测试"
        {14, {"Host.Raw", ValueImage::Bytes({0x01, 0x02, 0xFF})}},
        {15, {"Plant.Temp", ValueImage::Float(21.5f)}},
        {16, {"Area.Valve", ValueImage::Boolean(true)}},
    };
}

} // namespace

TEST_F(DataStream, StreamsCarryEveryValueWithAndWithoutTime)
{
    DWORD plainConnection = 0, timedConnection = 0;
    ComPtr<AdviseSinkRecorder> plain = Advise(kData, &plainConnection);
    ComPtr<AdviseSinkRecorder> timed = Advise(kDataTime, &timedConnection);
    EXPECT_EQ(1u, plainConnection);
    EXPECT_EQ(2u, timedConnection);
    SetActive(TRUE);
    ASSERT_TRUE(plain->WaitForCount(1, kArrival));
    ASSERT_TRUE(timed->WaitForCount(1, kArrival));

    const StreamRecord plainStream = plain->Records()[0];
    const StreamRecord timedStream = timed->Records()[0];
    // Subscription updates carry transaction ID 0.
    ExpectStream(plainStream, kData, 0, InitialValues());
    ExpectStream(timedStream, kDataTime, 0, InitialValues());

    // The two-character text: VARIANT image, length field 4, two
    // characters and the NUL (16 + 4 + 4 + 2 = 26 bytes on i686).
    const DWORD textOffset = ValueOffset(timedStream.bytes, true, 13);
    ASSERT_NE(0u, textOffset);
    EXPECT_EQ(VT_BSTR, StreamWord(timedStream.bytes, textOffset));
    EXPECT_EQ(4u, StreamDword(timedStream.bytes, textOffset + kVariantImageSize));
    EXPECT_EQ(kVariantImageSize + 4 + 4 + 2, ValueImage::Text(L"ab").Size());
    // Items without time have 12-byte headers: every value sits 8 bytes
    // per item earlier than with time.
    EXPECT_EQ(textOffset - 6 * 8, ValueOffset(plainStream.bytes, false, 13));
}

TEST_F(DataStream, ChangedTextAndBytesAreStreamedAlone)
{
    DWORD connection = 0;
    ComPtr<AdviseSinkRecorder> timed = Advise(kDataTime, &connection);
    SetActive(TRUE);
    ASSERT_TRUE(timed->WaitForCount(1, kArrival));

    // Both changes in one scan: no scans while the group is disabled (an
    // inactive group would send every item once active again).
    ComPtr<IOPCAsyncIO2> async = Query<IOPCAsyncIO2>(group.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(async);
    ASSERT_EQ(S_OK, async->SetEnable(FALSE));
    ASSERT_TRUE(HostSetText("Host.Name", "OK"));
    ASSERT_TRUE(HostSetBlob("Host.Raw", "0a0b0c0d"));
    ASSERT_EQ(S_OK, async->SetEnable(TRUE));
    ASSERT_TRUE(timed->WaitForCount(2, kArrival));
    ExpectStream(timed->Records()[1], kDataTime, 0,
                 {{13, {"Host.Name", ValueImage::Text(L"OK")}},
                  {14, {"Host.Raw", ValueImage::Bytes({0x0A, 0x0B, 0x0C, 0x0D})}}});

    // An empty text: length 0 and the NUL.
    ASSERT_TRUE(HostSetText("Host.Name", ""));
    ASSERT_TRUE(timed->WaitForCount(3, kArrival));
    ExpectStream(timed->Records()[2], kDataTime, 0,
                 {{13, {"Host.Name", ValueImage::Text(L"")}}});
}

TEST_F(DataStream, ForeignFormatIsRefused)
{
    ComPtr<AdviseSinkRecorder> sink = AdviseSinkRecorder::Create();
    FORMATETC text = StreamFormat(kData);
    text.cfFormat = CF_TEXT;
    DWORD connection = 0;
    EXPECT_EQ(DV_E_FORMATETC, data->DAdvise(&text, 0, sink.Get(), &connection));
    FORMATETC other = StreamFormat("LumaretSomeOtherFormat");
    EXPECT_EQ(DV_E_FORMATETC, data->DAdvise(&other, 0, sink.Get(), &connection));
    // The refused advises took no connection number.
    DWORD first = 0;
    ComPtr<AdviseSinkRecorder> accepted = Advise(kData, &first);
    EXPECT_EQ(1u, first);
}

TEST_F(DataStream, WriteCompleteAdviseIsAcceptedAndReceivesNothing)
{
    DWORD writeConnection = 0, dataConnection = 0;
    ComPtr<AdviseSinkRecorder> writes = Advise(kWriteComplete, &writeConnection);
    ComPtr<AdviseSinkRecorder> values = Advise(kData, &dataConnection);
    EXPECT_EQ(1u, writeConnection);
    EXPECT_EQ(2u, dataConnection);
    SetActive(TRUE);
    ASSERT_TRUE(values->WaitForCount(1, kArrival));
    EXPECT_EQ(0u, StreamDword(values->Records()[0].bytes, 12)); // dwTransactionID
    // Sinks are called in DAdvise order: the write-complete advise would
    // have had its stream before the data advise.
    EXPECT_EQ(0u, writes->Count());
}

TEST_F(DataStream, DUnadviseStopsOnlyThatAdvise)
{
    DWORD first = 0, second = 0;
    ComPtr<AdviseSinkRecorder> a = Advise(kData, &first);
    ComPtr<AdviseSinkRecorder> b = Advise(kDataTime, &second);
    SetActive(TRUE);
    ASSERT_TRUE(a->WaitForCount(1, kArrival));
    ASSERT_TRUE(b->WaitForCount(1, kArrival));
    EXPECT_EQ(S_OK, data->DUnadvise(first));
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(first));
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1460"));
    ASSERT_TRUE(b->WaitForCount(2, kArrival));
    ExpectStream(b->Records()[1], kDataTime, 0,
                 {{11, {"Area.Pump.Speed", ValueImage::Integer(1460)}}});
    EXPECT_EQ(1u, a->Count());
}

TEST_F(DataStream, RefreshProducesNoStream)
{
    DWORD connection = 0;
    ComPtr<AdviseSinkRecorder> streams = Advise(kDataTime, &connection);
    ComPtr<DataCallbackRecorder> callback = DataCallbackRecorder::Create();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), callback.Get(), &cookie));
    SetActive(TRUE);
    ASSERT_TRUE(streams->WaitForCount(1, kArrival));

    ComPtr<IOPCAsyncIO2> async = Query<IOPCAsyncIO2>(group.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(async);
    DWORD cancelId = 0;
    ASSERT_EQ(S_OK, async->Refresh2(OPC_DS_CACHE, 5, &cancelId));
    ASSERT_TRUE(testhost::WaitFor(
        [&] {
            for (const CallbackRecord &r : callback->Records())
                if (r.transactionId == 5)
                    return true;
            return false;
        },
        kArrival));
    Sleep(kQuietPeriod);
    EXPECT_EQ(1u, streams->Count());
}

TEST_F(DataStream, AdviseArgumentsAreChecked)
{
    ComPtr<AdviseSinkRecorder> sink = AdviseSinkRecorder::Create();
    FORMATETC format = StreamFormat(kData);
    DWORD connection = 0;
    EXPECT_EQ(S_OK, data->DAdvise(&format, 0, sink.Get(), &connection));
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(connection + 100));
    EXPECT_EQ(E_NOTIMPL, data->QueryGetData(&format));
}

TEST_F(DataStream, AsyncIoOfDa10CompletesThroughTheNamedAdvise)
{
    DWORD dataConnection = 0, writeConnection = 0;
    ComPtr<AdviseSinkRecorder> streams = Advise(kDataTime, &dataConnection);
    ComPtr<AdviseSinkRecorder> writes = Advise(kWriteComplete, &writeConnection);
    // Active but disabled: no subscription updates, only the completions.
    ComPtr<IOPCAsyncIO2> async2 = Query<IOPCAsyncIO2>(group.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(async2);
    ASSERT_EQ(S_OK, async2->SetEnable(FALSE));
    SetActive(TRUE);
    ComPtr<IOPCAsyncIO> async = Query<IOPCAsyncIO>(group.Get(), IID_IOPCAsyncIO);
    ASSERT_TRUE(async);

    // Read: a stream of the two items with the server's transaction ID.
    OPCHANDLE which[3] = {handles[0], 0xBAD0BAD, handles[4]};
    DWORD readId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, async->Read(dataConnection, OPC_DS_CACHE, 3, which, &readId, &errors));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
    CoTaskMemFree(errors);
    EXPECT_NE(0u, readId);
    ASSERT_TRUE(streams->WaitForCount(1, kArrival));
    ExpectStream(streams->Records()[0], kDataTime, readId,
                 {{11, {"Area.Pump.Speed", ValueImage::Integer(1450)}},
                  {15, {"Plant.Temp", ValueImage::Float(21.5f)}}});
    // A read needs a data advise; a write a write-complete one.
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->Read(writeConnection, OPC_DS_CACHE, 1, which, &readId, &errors));

    // Refresh: every active item.
    DWORD refreshId = 0;
    ASSERT_EQ(S_OK, async->Refresh(dataConnection, OPC_DS_DEVICE, &refreshId));
    ASSERT_TRUE(streams->WaitForCount(2, kArrival));
    EXPECT_EQ(refreshId, StreamDword(streams->Records()[1].bytes, 12));
    EXPECT_EQ(6u, StreamDword(streams->Records()[1].bytes, 4));

    // Write: the write-complete stream, the value at the host.
    VARIANT values[2];
    VariantInit(&values[0]);
    V_VT(&values[0]) = VT_I4;
    V_I4(&values[0]) = 1234;
    VariantInit(&values[1]);
    V_VT(&values[1]) = VT_BOOL;
    V_BOOL(&values[1]) = VARIANT_FALSE;
    OPCHANDLE targets[2] = {handles[0], handles[5]}; // Speed, Valve (read-only)
    DWORD writeId = 0;
    ASSERT_EQ(S_OK, async->Write(writeConnection, 2, targets, values, &writeId, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(writes->WaitForCount(1, kArrival));
    const std::vector<BYTE> done = writes->Records()[0].bytes;
    ASSERT_GE(done.size(), 16u + 2 * 8u);
    EXPECT_EQ(2u, StreamDword(done, 0));                 // dwItemCount
    EXPECT_EQ(kClientGroup, StreamDword(done, 4));       // hClientGroup
    EXPECT_EQ(writeId, StreamDword(done, 8));            // dwTransactionID
    EXPECT_EQ(static_cast<DWORD>(S_FALSE), StreamDword(done, 12)); // hrStatus
    EXPECT_EQ(11u, StreamDword(done, 16));
    EXPECT_EQ(static_cast<DWORD>(S_OK), StreamDword(done, 20));
    EXPECT_EQ(16u, StreamDword(done, 24));
    EXPECT_EQ(static_cast<DWORD>(OPC_E_BADRIGHTS), StreamDword(done, 28));
    std::vector<HostWrite> host = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, host.size());
    EXPECT_EQ("1234", host[0].value);
}
