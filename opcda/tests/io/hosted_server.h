// hosted_server.h - the fixture of the out-of-process I/O tests. COM runs in
// the multithreaded apartment (the server's callbacks arrive on threads of
// their own) and the test host is registered; every test creates its own
// server object through CoCreateInstance(CLSCTX_LOCAL_SERVER), so COM starts
// a fresh host with the example tags:
//   Area.Pump.Flow  r8 12.5   writable     Plant.Temp  r4 21.5  writable
//   Area.Pump.Speed i4 1450   writable     Host.Name   text "测试" writable
//   Area.Valve      bool true read-only    Host.Raw    blob 01 02 ff writable
//   Host.Never      i4, never set, writable
// and the host ends when the test releases its last server object.
#pragma once

#include "com_ptr.h"
#include "opc_interfaces.h"
#include "test_host_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace iotest {

// A client write as the host's write callback received it.
struct HostWrite {
    std::string itemId;
    std::string type;  // "VT_I4", ...
    std::string value; // as opccli prints it
    unsigned quality = 0;
    ULONGLONG time = 0; // FILETIME as one number
};

// The writes the host recorded since the last call (they are taken).
std::vector<HostWrite> TakeHostWrites();
// Takes writes until at least count arrived or the time is up.
std::vector<HostWrite> WaitForHostWrites(size_t count, DWORD timeoutMs);

// The host's setters, through its pipe: true when they returned 0.
bool HostSet(const std::string &itemId, const std::string &type, const std::string &value,
             unsigned quality = 192);
bool HostSetText(const std::string &itemId, const std::string &text);
bool HostSetBlob(const std::string &itemId, const std::string &hex);

ULONGLONG FileTimeValue(const FILETIME &time);
ULONGLONG NowValue();
FILETIME MakeFileTime(ULONGLONG value);
// 100-ns units.
const ULONGLONG kSecond = 10000000ULL;

class HostedServer : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A new group; its server handle goes to serverGroup when given.
    ComPtr<IOPCItemMgt> AddGroup(DWORD rate, OPCHANDLE clientGroup, BOOL active = TRUE,
                                 OPCHANDLE *serverGroup = nullptr);
    // Adds the items with these client handles; the server handles in the
    // same order (a failed item gives 0 and a test failure).
    std::vector<OPCHANDLE> AddItems(IOPCItemMgt *group, const std::vector<std::string> &itemIds,
                                    const std::vector<OPCHANDLE> &clientHandles,
                                    VARTYPE requestedType = VT_EMPTY);
    // The tag handle of an item ID, learnt through a group of its own.
    OPCHANDLE TagHandle(const std::string &itemId);
    // Time stamp and quality of a tag as a synchronous read gives them.
    bool ReadState(const std::string &itemId, FILETIME *timestamp, WORD *quality);

    ComPtr<IOPCServer> server;
    // A test that leaves a server object behind in the host (a killed
    // client) clears this; the host is then ended instead of awaited.
    bool expectHostEnd = true;

private:
    HANDLE m_host = nullptr;
};

// Ends a host that is still running (one that a lost client keeps alive):
// it withdraws its class object, then exits.
void EndHostGracefully();

// Seconds it may take, on a loaded machine, for something the server does
// at its next scan or pass to arrive.
const DWORD kArrival = 15000;

} // namespace iotest
