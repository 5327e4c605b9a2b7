// Write forwarding: client writes reach the host callback one at a time in
// queue order, survive a stop of the server, and a full ring refuses the
// write. The host's tag value is never changed by a client write.
#include "dakora_da.h"
#include "library_state.h"
#include "opc_errors.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

const char kClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A01}";

struct Delivered {
    std::string itemId;
    VARTYPE type;
    LONG value;
    DWORD quality;
    ULONGLONG timestamp;
    void *userData;
};

std::mutex g_mutex;
std::vector<Delivered> g_delivered;
DWORD g_callbackThread = 0;

int DAKORA_CALL RecordWrite(const char *itemId, VARIANT *value, DWORD quality,
                            FILETIME timestamp, void *userData)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_callbackThread = GetCurrentThreadId();
    g_delivered.push_back({itemId, V_VT(value), V_VT(value) == VT_I4 ? V_I4(value) : -1, quality,
                           (static_cast<ULONGLONG>(timestamp.dwHighDateTime) << 32) |
                               timestamp.dwLowDateTime,
                           userData});
    return 0;
}

int DAKORA_CALL OtherCallback(const char *, VARIANT *, DWORD, FILETIME, void *)
{
    return 0;
}

size_t DeliveredCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_delivered.size();
}

bool WaitForDelivered(size_t count, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (DeliveredCount() < count) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

bool WaitForServerStopped(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (DakoarThread().IsRunning() || SvrData().WriteToDec().IsRunning()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

DWORD HandleOf(const char *itemId)
{
    ItemInfo info = {};
    lstrcpynA(info.itemId, itemId, sizeof(info.itemId));
    return SvrData().LookupItem(info) ? info.handle : 0;
}

VARIANT MakeI4(LONG v)
{
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_I4;
    V_I4(&var) = v;
    return var;
}

int Start(dakora_write_callback callback, void *userData)
{
    return dakora_start(kClassId, "LumaretTest", "Ring", "1", "Write ring test server", callback,
                        userData, 0);
}

} // namespace

TEST(WriteForwarding, WritesReachTheHostInOrderAndSurviveAStop)
{
    int marker = 0;
    ASSERT_EQ(0, dakora_addtag("Line.Speed", "Line.Speed", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, dakora_addtag("Line.Count", "Line.Count", "", DAKORA_TAG_I4, 1));
    VARIANT initial = MakeI4(5);
    ASSERT_EQ(0, dakora_setval("Line.Speed", &initial, 192, 0, 0));
    const DWORD speed = HandleOf("Line.Speed");
    const DWORD count = HandleOf("Line.Count");
    ASSERT_NE(0u, speed);
    ASSERT_NE(0u, count);

    ASSERT_EQ(0, Start(&RecordWrite, &marker));
    // A second start changes nothing, not even the callback.
    EXPECT_EQ(DAKORA_E_RUNNING, Start(&OtherCallback, nullptr));

    FILETIME when = {0x11111111, 0x01D00000};
    VARIANT a = MakeI4(100), b = MakeI4(200);
    ASSERT_EQ(S_OK, SvrData().WriteItem(speed, when, 192, a, 2052));
    ASSERT_EQ(S_OK, SvrData().WriteItem(count, when, 0x40, b, 2052));
    ASSERT_TRUE(WaitForDelivered(2, 5000));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        EXPECT_EQ("Line.Speed", g_delivered[0].itemId);
        EXPECT_EQ(100, g_delivered[0].value);
        EXPECT_EQ(192u, g_delivered[0].quality);
        EXPECT_EQ(0x01D0000011111111ull, g_delivered[0].timestamp);
        EXPECT_EQ(&marker, g_delivered[0].userData);
        EXPECT_EQ("Line.Count", g_delivered[1].itemId);
        EXPECT_EQ(200, g_delivered[1].value);
        EXPECT_EQ(0x40u, g_delivered[1].quality);
        EXPECT_NE(GetCurrentThreadId(), g_callbackThread);
    }

    // The client write did not touch the tag's own value.
    VARIANT read;
    FILETIME ts;
    WORD quality = 0;
    ASSERT_TRUE(SvrData().ReadValue(speed, &ts, &quality, &read));
    EXPECT_EQ(VT_I4, V_VT(&read));
    EXPECT_EQ(5, V_I4(&read));

    // Stopped: writes of still-connected clients wait in the ring, 1023 at most.
    ASSERT_EQ(0, dakora_stop());
    ASSERT_TRUE(WaitForServerStopped(10000));
    EXPECT_EQ(DAKORA_E_NOTRUNNING, dakora_stop());
    for (LONG i = 0; i < 1023; ++i) {
        VARIANT v = MakeI4(i);
        ASSERT_EQ(S_OK, SvrData().WriteItem(i % 2 ? count : speed, when, 192, v, 2052)) << i;
    }
    VARIANT overflow = MakeI4(-5);
    EXPECT_EQ(E_FAIL, SvrData().WriteItem(speed, when, 192, overflow, 2052));
    EXPECT_EQ(1023u, SvrData().WriteToDec().Pending());
    Sleep(300);
    EXPECT_EQ(2u, DeliveredCount());

    // The next start delivers all of them, in order.
    ASSERT_EQ(0, Start(&RecordWrite, &marker));
    ASSERT_TRUE(WaitForDelivered(2 + 1023, 30000));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        ASSERT_EQ(2u + 1023u, g_delivered.size());
        for (LONG i = 0; i < 1023; ++i) {
            const Delivered &d = g_delivered[2 + i];
            ASSERT_EQ(i, d.value) << i;
            ASSERT_EQ(i % 2 ? "Line.Count" : "Line.Speed", d.itemId) << i;
        }
    }
    EXPECT_EQ(0u, SvrData().WriteToDec().Pending());
    EXPECT_EQ(0, dakora_stop());
    ASSERT_TRUE(WaitForServerStopped(10000));
}

TEST(WriteForwarding, NullCallbackDropsWritesAfterClearingThem)
{
    ASSERT_EQ(0, dakora_addtag("Drop.Me", "Drop.Me", "", DAKORA_TAG_TEXT, 1));
    const DWORD handle = HandleOf("Drop.Me");
    ASSERT_EQ(0, Start(nullptr, nullptr));
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"dropped");
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const size_t before = DeliveredCount();
    ASSERT_EQ(S_OK, SvrData().WriteItem(handle, now, 192, text, 2052));
    VariantClear(&text);
    const DWORD start = GetTickCount();
    while (SvrData().WriteToDec().Pending() != 0 && GetTickCount() - start < 5000)
        Sleep(10);
    EXPECT_EQ(0u, SvrData().WriteToDec().Pending());
    EXPECT_EQ(before, DeliveredCount());
    EXPECT_EQ(0, dakora_stop());
    ASSERT_TRUE(WaitForServerStopped(10000));
}
