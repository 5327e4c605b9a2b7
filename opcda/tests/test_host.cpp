// dakora_test_host - a host of dakora_da for cross-process tests.
//   dakora_test_host -reg | -unreg   registers or unregisters itself as the
//                                    local server of the test class id
//   dakora_test_host -hold           runs the server with hold-process flag 1
//   dakora_test_host [anything]      runs the server with hold-process flag 0
//                                    (how COM starts it)
// A running host declares the example tags (none while the mutex
// "LumaretTestHostEmpty" exists), records every client write the library
// hands it, and takes commands on the pipe \\.\pipe\dakora_test_host
// (one line each; see HandleCommand). It ends when the library ends it, on
// "exit", or with code 3 after 120 s (or the time a "lifetime" command set).
#include "dakora_da.h"
#include "value_format.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A20}";
const char kVendor[] = "LumaretTest";
const char kServer[] = "Host";
const char kVersion[] = "1";
const char kName[] = "Lumaret test host";
const char kPipeName[] = "\\\\.\\pipe\\dakora_test_host";

std::mutex g_writesLock;
std::vector<std::string> g_writes;

// When the host ends itself (GetTickCount64 ms).
std::atomic<ULONGLONG> g_endTick{0};
// The running bulk writer's number (a new bulk command ends the old one)
// and the rounds it has set.
std::atomic<unsigned> g_bulkGeneration{0};
std::atomic<unsigned long long> g_bulkRounds{0};

// Sets Bulk.T0.. every period, all of a round in one dakora_setvals call as
// a bridge publishes a snapshot's changes, until another bulk writer
// starts. The rounds lie half a period after the multiples of the period on
// the tick clock, where the library's scans of that rate are due: every
// scan then finds exactly one new round, and what a client misses is lost
// by the server, not by the two clocks meeting.
void RunBulkWriter(unsigned generation, std::vector<DWORD> handles, DWORD period)
{
    const DWORD count = static_cast<DWORD>(handles.size());
    std::vector<VARIANT> values(count);
    std::vector<WORD> qualities(count, 192);
    std::vector<FILETIME> timestamps(count, FILETIME{0, 0});
    for (VARIANT &v : values) {
        VariantInit(&v);
        V_VT(&v) = VT_I4;
    }
    ULONGLONG due = (GetTickCount64() / period + 1) * period + period / 2;
    for (LONG round = 1; g_bulkGeneration.load() == generation; ++round) {
        const ULONGLONG now = GetTickCount64();
        if (due > now)
            Sleep(static_cast<DWORD>(due - now));
        for (VARIANT &v : values)
            V_I4(&v) = round;
        dakora_setvals(count, handles.data(), values.data(), qualities.data(), timestamps.data(),
                       nullptr);
        ++g_bulkRounds;
        due += period;
    }
}

int DAKORA_CALL RecordWrite(const char *itemId, VARIANT *value, DWORD quality, FILETIME timestamp,
                            void *)
{
    char line[512];
    std::snprintf(line, sizeof(line), "write %s %s %s %lu %08lx%08lx", itemId,
                  FormatType(V_VT(value)).c_str(), FormatValue(*value).c_str(),
                  static_cast<unsigned long>(quality),
                  static_cast<unsigned long>(timestamp.dwHighDateTime),
                  static_cast<unsigned long>(timestamp.dwLowDateTime));
    std::lock_guard<std::mutex> lock(g_writesLock);
    g_writes.push_back(line);
    return 0;
}

void DeclareExampleTags()
{
    dakora_addtag("Area.Pump.Flow", "Area.Pump.Flow", "m3/h", DAKORA_TAG_R8, 1);
    dakora_addtag("Area.Pump.Speed", "Area.Pump.Speed", "rpm", DAKORA_TAG_I4, 1);
    dakora_addtag("Area.Valve", "Area.Valve", "", DAKORA_TAG_BOOL, 0);
    dakora_addtag("Plant.Temp", "Plant temperature", "degC", DAKORA_TAG_R4, 1);
    dakora_addtag("Host.Name", "Host.Name", "", DAKORA_TAG_TEXT, 1);
    dakora_addtag("Host.Raw", "Host.Raw", "", DAKORA_TAG_BLOB, 1);
    dakora_addtag("Host.Never", "Host.Never", "", DAKORA_TAG_I4, 1);
    VARIANT v;
    std::string error;
    ParseValue("r8", "12.5", &v, &error);
    dakora_setval("Area.Pump.Flow", &v, 192, 0, 0);
    ParseValue("i4", "1450", &v, &error);
    dakora_setval("Area.Pump.Speed", &v, 192, 0, 0);
    ParseValue("bool", "true", &v, &error);
    dakora_setval("Area.Valve", &v, 192, 0, 0);
    ParseValue("r4", "21.5", &v, &error);
    dakora_setval("Plant.Temp", &v, 192, 0, 0);
    dakora_setstr("Host.Name", "\xB2\xE2\xCA\xD4", 192, 0, 0); // "测试" in GBK
    dakora_setblob("Host.Raw", "\x01\x02\xFF", 3, 192, 0, 0);
    // Flow is an analog item; texts are written 16 ANSI bytes at most.
    dakora_seteurange("Area.Pump.Flow", 0.0, 100.0);
    dakora_setwritelimit(16);
}

bool EmptyHostRequested()
{
    HANDLE marker = OpenMutexA(SYNCHRONIZE, FALSE, "LumaretTestHostEmpty");
    if (marker == nullptr)
        return false;
    CloseHandle(marker);
    return true;
}

// Commands:
//   set <item> <type> <value> [quality]   dakora_setval ("ok <code>")
//   setstr <item> <text>                   dakora_setstr
//   setblob <item> <hex>                   dakora_setblob
//   addtag <item> <type code> <writable>   dakora_addtag
//   writes                                 the recorded client writes, then "end"
//   bulk <count> <period ms>               declares Bulk.T0.. (i4) and sets every
//                                          one of them each period, until the
//                                          next bulk command ("bulk 0 0" stops)
//   bulkrounds                             "ok <rounds the bulk writer set>"
//   lifetime <seconds>                     the host ends itself that long from now
//   stop                                   dakora_stop
//   pid                                    the process id
//   exit                                   ends the process (code 0)
std::string HandleCommand(const std::string &line)
{
    std::istringstream in(line);
    std::string command, item;
    in >> command >> item;
    char reply[64];
    if (command == "set") {
        std::string type, text;
        unsigned quality = 192;
        in >> type >> text >> quality;
        VARIANT v;
        std::string error;
        if (!ParseValue(type, text, &v, &error))
            return "error " + error + "\n";
        int code = dakora_setval(item.c_str(), &v, static_cast<WORD>(quality), 0, 0);
        VariantClear(&v);
        std::snprintf(reply, sizeof(reply), "ok %d\n", code);
        return reply;
    }
    if (command == "setstr") {
        std::string text;
        std::getline(in, text);
        if (!text.empty() && text[0] == ' ')
            text.erase(0, 1);
        std::snprintf(reply, sizeof(reply), "ok %d\n", dakora_setstr(item.c_str(), text.c_str(), 192, 0, 0));
        return reply;
    }
    if (command == "setblob") {
        std::string hex;
        in >> hex;
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
        std::snprintf(reply, sizeof(reply), "ok %d\n",
                      dakora_setblob(item.c_str(), bytes.data(), static_cast<DWORD>(bytes.size()), 192, 0, 0));
        return reply;
    }
    if (command == "addtag") {
        int type = 0, writable = 0;
        in >> type >> writable;
        std::snprintf(reply, sizeof(reply), "ok %d\n",
                      dakora_addtag(item.c_str(), item.c_str(), "", type, static_cast<unsigned char>(writable)));
        return reply;
    }
    if (command == "writes") {
        std::lock_guard<std::mutex> lock(g_writesLock);
        std::string out;
        for (const std::string &w : g_writes)
            out += w + "\n";
        g_writes.clear();
        return out + "end\n";
    }
    if (command == "bulk") {
        // The item word is the count here.
        const int count = std::atoi(item.c_str());
        int period = 200;
        in >> period;
        const unsigned generation = ++g_bulkGeneration;
        g_bulkRounds = 0;
        std::vector<DWORD> handles;
        for (int i = 0; i < count; ++i) {
            const std::string name = "Bulk.T" + std::to_string(i);
            dakora_addtag(name.c_str(), name.c_str(), "", DAKORA_TAG_I4, 1);
            DWORD handle = 0;
            if (dakora_gethandle(name.c_str(), &handle) == DAKORA_OK)
                handles.push_back(handle);
        }
        if (count > 0 && period > 0)
            std::thread(RunBulkWriter, generation, std::move(handles), static_cast<DWORD>(period)).detach();
        std::snprintf(reply, sizeof(reply), "ok %d\n", count);
        return reply;
    }
    if (command == "bulkrounds") {
        std::snprintf(reply, sizeof(reply), "ok %llu\n", g_bulkRounds.load());
        return reply;
    }
    if (command == "lifetime") {
        g_endTick = GetTickCount64() + static_cast<ULONGLONG>(std::atoi(item.c_str())) * 1000;
        std::snprintf(reply, sizeof(reply), "ok 0\n");
        return reply;
    }
    if (command == "stop") {
        std::snprintf(reply, sizeof(reply), "ok %d\n", dakora_stop());
        return reply;
    }
    if (command == "pid") {
        std::snprintf(reply, sizeof(reply), "ok %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
        return reply;
    }
    if (command == "exit")
        ExitProcess(0);
    return "error unknown command\n";
}

DWORD WINAPI ServeCommands(void *)
{
    for (;;) {
        HANDLE pipe = CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536,
                                       65536, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(100);
            continue;
        }
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            std::string pending;
            char buffer[1024];
            DWORD read = 0;
            while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
                pending.append(buffer, read);
                size_t end;
                while ((end = pending.find('\n')) != std::string::npos) {
                    std::string reply = HandleCommand(pending.substr(0, end));
                    pending.erase(0, end + 1);
                    DWORD written = 0;
                    WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
                }
            }
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }
}

int RunServer(bool hold)
{
    if (!EmptyHostRequested())
        DeclareExampleTags();
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "LumaretTestHostStop");
    int result = dakora_start(kClassId, kVendor, kServer, kVersion, kName, &RecordWrite, nullptr,
                              hold ? 1 : 0);
    if (result != DAKORA_OK)
        return 10 + result;
    CloseHandle(CreateThread(nullptr, 0, &ServeCommands, nullptr, 0, nullptr));

    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "LumaretTestHostStarted");
    if (started != nullptr) {
        SetEvent(started);
        CloseHandle(started);
    }
    g_endTick = GetTickCount64() + 120000;
    while (GetTickCount64() < g_endTick.load()) {
        if (WaitForSingleObject(stop, 200) == WAIT_OBJECT_0) {
            dakora_stop();
            Sleep(60000);
            break;
        }
    }
    return 3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "-reg") == 0)
        return dakoar_reg(kClassId, kVendor, kServer, kVersion, kName, 0);
    if (argc > 1 && std::strcmp(argv[1], "-unreg") == 0)
        return dakoar_unreg(kClassId, kVendor, kServer, kVersion, kName);
    return RunServer(argc > 1 && std::strcmp(argv[1], "-hold") == 0);
}
