// dakora_test_host - a minimal host of dakora_da for cross-process tests.
//   dakora_test_host -reg | -unreg   registers or unregisters itself as the
//                                    local server of the test class id
//   dakora_test_host -hold           runs the server with hold-process flag
//                                    1 and calls dakora_stop when the event
//                                    "LumaretTestHostStop" is signalled
//   dakora_test_host [anything]      runs the server with hold-process flag 0
// A running host ends when the library ends it, or with code 3 after 60 s.
#include "dakora_da.h"

#include <cstring>

namespace {

const char kClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A20}";
const char kVendor[] = "LumaretTest";
const char kServer[] = "Host";
const char kVersion[] = "1";
const char kName[] = "Lumaret test host";

int RunServer(bool hold)
{
    dakora_addtag("Host.Counter", "Host.Counter", "", DAKORA_TAG_I4, 1);
    dakora_addtag("Host.Name", "Host.Name", "", DAKORA_TAG_TEXT, 1);
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = 1;
    dakora_setval("Host.Counter", &v, 192, 0, 0);
    dakora_setstr("Host.Name", "host", 192, 0, 0);

    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "LumaretTestHostStop");
    int result = dakora_start(kClassId, kVendor, kServer, kVersion, kName, nullptr, nullptr,
                              hold ? 1 : 0);
    if (result != DAKORA_OK)
        return 10 + result;

    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "LumaretTestHostStarted");
    if (started != nullptr) {
        SetEvent(started);
        CloseHandle(started);
    }
    if (WaitForSingleObject(stop, 60000) == WAIT_OBJECT_0) {
        dakora_stop();
        Sleep(60000);
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
