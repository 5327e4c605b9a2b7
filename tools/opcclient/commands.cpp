// commands.cpp - opccli's subcommands.
#include "commands.h"

#include "data_callback_sink.h"
#include "opc_constants.h"
#include "opc_errors.h"
#include "server_connection.h"
#include "server_list.h"
#include "value_format.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

int Fail(const ClientError &error)
{
    std::fprintf(stderr, "opccli: %s\n", error.message.c_str());
    return error.exitCode;
}

int Usage(const char *text)
{
    std::fprintf(stderr, "usage: opccli %s\n", text);
    return kExitUsage;
}

int FailCall(const char *what, HRESULT hr)
{
    ClientError error;
    error.exitCode = hr == E_ACCESSDENIED ? kExitAccessDenied : kExitFailed;
    error.message = std::string(what) + " failed: " + FormatResult(hr);
    return Fail(error);
}

std::string GuidText(const GUID &guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

// Walks the hierarchy below the current browse position.
void BrowseTree(IOPCBrowseServerAddressSpace *browse, int depth)
{
    ComPtr<IEnumString> leaves;
    if (SUCCEEDED(browse->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, leaves.Out())) &&
        leaves.Get() != nullptr) {
        LPOLESTR name = nullptr;
        ULONG fetched = 0;
        while (leaves->Next(1, &name, &fetched) == S_OK && fetched == 1) {
            LPWSTR full = nullptr;
            std::string id = Narrow(name);
            if (SUCCEEDED(browse->GetItemID(name, &full)) && full != nullptr) {
                id = Narrow(full);
                CoTaskMemFree(full);
            }
            std::printf("%*sleaf %s\n", depth * 2, "", id.c_str());
            CoTaskMemFree(name);
        }
    }
    ComPtr<IEnumString> branches;
    if (FAILED(browse->BrowseOPCItemIDs(OPC_BRANCH, L"", VT_EMPTY, 0, branches.Out())) ||
        branches.Get() == nullptr)
        return;
    std::vector<std::wstring> names;
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    while (branches->Next(1, &name, &fetched) == S_OK && fetched == 1) {
        names.push_back(name);
        CoTaskMemFree(name);
    }
    for (const std::wstring &branch : names) {
        std::printf("%*sbranch %s\n", depth * 2, "", Narrow(branch.c_str()).c_str());
        if (SUCCEEDED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, branch.c_str()))) {
            BrowseTree(browse, depth + 1);
            browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
        }
    }
}

// Walks the hierarchy below a branch through IOPCBrowse, page by page
// (continuation points) when a page size is given; a branch's children
// follow it.
bool BrowseElements(IOPCBrowse *browse, const std::wstring &branch, DWORD page, bool properties,
                    int depth, HRESULT *failure)
{
    struct Element {
        std::string text;           // the element's lines
        std::wstring childrenOf;    // item ID when it has children
    };
    LPWSTR continuation = nullptr;
    do {
        BOOL more = FALSE;
        DWORD count = 0;
        DWORD noIds = 0;
        OPCBROWSEELEMENT *elements = nullptr;
        HRESULT hr = browse->Browse(const_cast<LPWSTR>(branch.c_str()), &continuation, page,
                                    OPC_BROWSE_FILTER_ALL, const_cast<LPWSTR>(L""),
                                    const_cast<LPWSTR>(L""), properties, properties, 0, &noIds,
                                    &more, &count, &elements);
        if (FAILED(hr)) {
            CoTaskMemFree(continuation);
            *failure = hr;
            return false;
        }
        std::vector<Element> shown;
        const std::string indent(static_cast<size_t>(depth) * 2, ' ');
        for (DWORD i = 0; i < count; ++i) {
            OPCBROWSEELEMENT &e = elements[i];
            const bool isItem = (e.dwFlagValue & OPC_BROWSE_ISITEM) != 0;
            const bool hasChildren = (e.dwFlagValue & OPC_BROWSE_HASCHILDREN) != 0;
            Element element;
            element.text = indent + (isItem ? (hasChildren ? "item+branch " : "item ") : "branch ") +
                           Narrow(isItem ? e.szItemID : e.szName) + "\n";
            for (DWORD k = 0; k < e.ItemProperties.dwNumProperties; ++k) {
                OPCITEMPROPERTY &p = e.ItemProperties.pItemProperties[k];
                element.text += indent + "  " + std::to_string(p.dwPropertyID) + " \"" +
                                (p.szDescription ? Narrow(p.szDescription) : std::string()) + "\" " +
                                FormatValue(p.vValue) + " " + FormatResult(p.hrErrorID) + "\n";
                CoTaskMemFree(p.szItemID);
                CoTaskMemFree(p.szDescription);
                VariantClear(&p.vValue);
            }
            CoTaskMemFree(e.ItemProperties.pItemProperties);
            if (hasChildren)
                element.childrenOf = e.szItemID;
            CoTaskMemFree(e.szName);
            CoTaskMemFree(e.szItemID);
            shown.push_back(element);
        }
        CoTaskMemFree(elements);
        for (const Element &element : shown) {
            std::fputs(element.text.c_str(), stdout);
            if (!element.childrenOf.empty() &&
                !BrowseElements(browse, element.childrenOf, page, properties, depth + 1, failure)) {
                CoTaskMemFree(continuation);
                return false;
            }
        }
    } while (continuation != nullptr && continuation[0] != L'\0');
    CoTaskMemFree(continuation);
    return true;
}

HANDLE g_interrupt = nullptr;

BOOL WINAPI OnConsoleControl(DWORD)
{
    if (g_interrupt != nullptr)
        SetEvent(g_interrupt);
    return TRUE;
}

} // namespace

int RunList(const CommandLine &)
{
    std::vector<RegisteredServer> servers;
    std::string error;
    if (!ListServers(servers, &error)) {
        std::fprintf(stderr, "opccli: %s\n", error.c_str());
        return kExitFailed;
    }
    for (const RegisteredServer &s : servers)
        std::printf("%s %s DA %s \"%s\"\n", s.progId.c_str(), GuidText(s.clsid).c_str(),
                    s.versions.c_str(), s.description.c_str());
    std::printf("%u server(s)\n", static_cast<unsigned>(servers.size()));
    return kExitOk;
}

int RunStatus(const CommandLine &line)
{
    if (line.arguments.size() != 1)
        return Usage("status <ProgID|{CLSID}>");
    ClientError error;
    ComPtr<IOPCServer> server;
    if (!ConnectServer(line.arguments[0], server, &error))
        return Fail(error);
    OPCSERVERSTATUS *status = nullptr;
    HRESULT hr = server->GetStatus(&status);
    if (FAILED(hr) || status == nullptr)
        return FailCall("GetStatus", hr);
    static const char *const kStates[] = {"?", "running", "failed", "no configuration", "suspended",
                                           "test", "communication fault"};
    const DWORD state = status->dwServerState;
    std::printf("state %s\n", state < sizeof(kStates) / sizeof(kStates[0]) ? kStates[state] : "?");
    std::printf("groups %lu\n", static_cast<unsigned long>(status->dwGroupCount));
    std::printf("start %s\n", FormatTime(status->ftStartTime).c_str());
    std::printf("current %s\n", FormatTime(status->ftCurrentTime).c_str());
    std::printf("version %u.%u.%u\n", status->wMajorVersion, status->wMinorVersion,
                status->wBuildNumber);
    std::printf("vendor %s\n", status->szVendorInfo ? Narrow(status->szVendorInfo).c_str() : "-");
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    return kExitOk;
}

int RunBrowse(const CommandLine &line)
{
    if (line.arguments.size() != 1)
        return Usage("browse <server> [--flat]");
    ClientError error;
    ComPtr<IOPCServer> server;
    if (!ConnectServer(line.arguments[0], server, &error))
        return Fail(error);
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    HRESULT hr = server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.OutVoid());
    if (FAILED(hr))
        return FailCall("browsing", hr);
    if (!line.Has("--flat")) {
        browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"");
        BrowseTree(browse.Get(), 0);
        return kExitOk;
    }
    ComPtr<IEnumString> names;
    hr = browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, names.Out());
    if (FAILED(hr))
        return FailCall("BrowseOPCItemIDs", hr);
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    while (names.Get() != nullptr && names->Next(1, &name, &fetched) == S_OK && fetched == 1) {
        std::printf("item %s\n", Narrow(name).c_str());
        CoTaskMemFree(name);
    }
    return kExitOk;
}

int RunBrowse3(const CommandLine &line)
{
    if (line.arguments.empty() || line.arguments.size() > 2)
        return Usage("browse3 <server> [<branch>] [--page N] [--properties]");
    ClientError error;
    ComPtr<IOPCServer> server;
    if (!ConnectServer(line.arguments[0], server, &error))
        return Fail(error);
    ComPtr<IOPCBrowse> browse;
    HRESULT hr = server->QueryInterface(IID_IOPCBrowse, browse.OutVoid());
    if (FAILED(hr))
        return FailCall("IOPCBrowse", hr);
    const DWORD page = static_cast<DWORD>(std::strtoul(line.Option("--page", "0").c_str(), nullptr, 10));
    const std::wstring branch = line.arguments.size() == 2 ? Widen(line.arguments[1]) : std::wstring();
    if (!BrowseElements(browse.Get(), branch, page, line.Has("--properties"), 0, &hr)) {
        if (hr == OPC_E_UNKNOWNITEMID) {
            error.exitCode = kExitUnknownItem;
            error.message = "branch '" + line.arguments[1] + "' is unknown";
            return Fail(error);
        }
        return FailCall("Browse", hr);
    }
    return kExitOk;
}

int RunProperties(const CommandLine &line)
{
    if (line.arguments.size() != 2)
        return Usage("properties <server> <item>");
    ClientError error;
    ComPtr<IOPCServer> server;
    if (!ConnectServer(line.arguments[0], server, &error))
        return Fail(error);
    ComPtr<IOPCItemProperties> properties;
    HRESULT hr = server->QueryInterface(IID_IOPCItemProperties, properties.OutVoid());
    if (FAILED(hr))
        return FailCall("item properties", hr);
    std::wstring item = Widen(line.arguments[1]);
    DWORD count = 0;
    DWORD *ids = nullptr;
    LPWSTR *descriptions = nullptr;
    VARTYPE *types = nullptr;
    hr = properties->QueryAvailableProperties(&item[0], &count, &ids, &descriptions, &types);
    if (hr == OPC_E_UNKNOWNITEMID || hr == OPC_E_INVALIDITEMID) {
        error.exitCode = kExitUnknownItem;
        error.message = "item '" + line.arguments[1] + "' is unknown: " + FormatResult(hr);
        return Fail(error);
    }
    if (FAILED(hr))
        return FailCall("QueryAvailableProperties", hr);
    VARIANT *values = nullptr;
    HRESULT *errors = nullptr;
    hr = properties->GetItemProperties(&item[0], count, ids, &values, &errors);
    int code = kExitOk;
    if (FAILED(hr)) {
        error.exitCode = kExitUnknownItem;
        error.message = "item '" + line.arguments[1] + "' is unknown: " + FormatResult(hr);
        code = Fail(error);
    }
    for (DWORD i = 0; i < count; ++i) {
        if (code == kExitOk)
            std::printf("%lu \"%s\" %s %s %s\n", static_cast<unsigned long>(ids[i]),
                        Narrow(descriptions[i]).c_str(), FormatType(types[i]).c_str(),
                        FormatValue(values[i]).c_str(), FormatResult(errors[i]).c_str());
        CoTaskMemFree(descriptions[i]);
        if (values != nullptr)
            VariantClear(&values[i]);
    }
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
    return code;
}

namespace {

void PrintRead(const std::string &id, const VARIANT &value, WORD quality, const FILETIME &time,
               HRESULT error)
{
    std::printf("%s %s %s %s %s %s\n", id.c_str(), FormatValue(value).c_str(),
                FormatType(V_VT(&value)).c_str(), FormatQuality(quality).c_str(),
                FormatTime(time).c_str(), FormatResult(error).c_str());
}

} // namespace

// Cache or device reads (IOPCSyncIO), or with --max-age reads that accept
// values up to that age (IOPCSyncIO2, DA 3.0).
int RunRead(const CommandLine &line)
{
    if (line.arguments.size() < 2)
        return Usage("read <server> <item>... [--device | --max-age ms]");
    ClientError error;
    ComPtr<IOPCServer> server;
    if (!ConnectServer(line.arguments[0], server, &error))
        return Fail(error);
    ItemGroup group;
    std::vector<std::string> ids(line.arguments.begin() + 1, line.arguments.end());
    if (!AddItemGroup(server.Get(), ids, 1000, group, &error))
        return Fail(error);
    const DWORD count = static_cast<DWORD>(ids.size());
    int code = kExitOk;
    if (line.Has("--max-age")) {
        ComPtr<IOPCSyncIO2> io;
        HRESULT hr = group.items->QueryInterface(IID_IOPCSyncIO2, io.OutVoid());
        if (FAILED(hr))
            return FailCall("IOPCSyncIO2", hr);
        std::vector<DWORD> ages(count, static_cast<DWORD>(std::strtoul(line.Option("--max-age", "0").c_str(),
                                                                        nullptr, 10)));
        VARIANT *values = nullptr;
        WORD *qualities = nullptr;
        FILETIME *times = nullptr;
        HRESULT *errors = nullptr;
        hr = io->ReadMaxAge(count, group.serverHandles.data(), ages.data(), &values, &qualities, &times,
                            &errors);
        if (FAILED(hr))
            return FailCall("ReadMaxAge", hr);
        for (DWORD i = 0; i < count; ++i) {
            PrintRead(ids[i], values[i], qualities[i], times[i], errors[i]);
            if (FAILED(errors[i]))
                code = kExitFailed;
            VariantClear(&values[i]);
        }
        CoTaskMemFree(values);
        CoTaskMemFree(qualities);
        CoTaskMemFree(times);
        CoTaskMemFree(errors);
    } else {
        ComPtr<IOPCSyncIO> io;
        HRESULT hr = group.items->QueryInterface(IID_IOPCSyncIO, io.OutVoid());
        if (FAILED(hr))
            return FailCall("synchronous I/O", hr);
        OPCITEMSTATE *states = nullptr;
        HRESULT *errors = nullptr;
        hr = io->Read(line.Has("--device") ? OPC_DS_DEVICE : OPC_DS_CACHE, count,
                      group.serverHandles.data(), &states, &errors);
        if (FAILED(hr))
            return FailCall("Read", hr);
        for (DWORD i = 0; i < count; ++i) {
            PrintRead(ids[i], states[i].vDataValue, states[i].wQuality, states[i].ftTimeStamp,
                      errors[i]);
            if (FAILED(errors[i]))
                code = kExitFailed;
            VariantClear(&states[i].vDataValue);
        }
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    server->RemoveGroup(group.serverGroup, FALSE);
    return code;
}

int RunWrite(const CommandLine &line)
{
    if (line.arguments.size() != 4)
        return Usage("write <server> <item> <type> <value>   (type: i1 ui1 i2 ui2 i4 ui4 i8 ui8 r4 r8 bool str blob)");
    VARIANT value;
    std::string parseError;
    if (!ParseValue(line.arguments[2], line.arguments[3], &value, &parseError)) {
        std::fprintf(stderr, "opccli: %s\n", parseError.c_str());
        return kExitUsage;
    }
    ClientError error;
    ComPtr<IOPCServer> server;
    ItemGroup group;
    if (!ConnectServer(line.arguments[0], server, &error) ||
        !AddItemGroup(server.Get(), {line.arguments[1]}, 1000, group, &error)) {
        VariantClear(&value);
        return Fail(error);
    }
    ComPtr<IOPCSyncIO> io;
    HRESULT hr = group.items->QueryInterface(IID_IOPCSyncIO, io.OutVoid());
    HRESULT *errors = nullptr;
    if (SUCCEEDED(hr))
        hr = io->Write(1, group.serverHandles.data(), &value, &errors);
    VariantClear(&value);
    if (FAILED(hr))
        return FailCall("Write", hr);
    const HRESULT result = errors[0];
    CoTaskMemFree(errors);
    server->RemoveGroup(group.serverGroup, FALSE);
    std::printf("write %s %s\n", line.arguments[1].c_str(), FormatResult(result).c_str());
    if (result == OPC_E_BADRIGHTS) {
        error.exitCode = kExitAccessDenied;
        error.message = "item '" + line.arguments[1] + "' is read-only (access denied)";
        return Fail(error);
    }
    return FAILED(result) ? kExitFailed : kExitOk;
}

int RunSubscribe(const CommandLine &line)
{
    if (line.arguments.size() < 2)
        return Usage("subscribe <server> <item>... [--rate ms] [--seconds N] [--count N]");
    const DWORD rate = static_cast<DWORD>(std::strtoul(line.Option("--rate", "1000").c_str(), nullptr, 10));
    const DWORD seconds = static_cast<DWORD>(std::strtoul(line.Option("--seconds", "0").c_str(), nullptr, 10));
    const unsigned long wanted = std::strtoul(line.Option("--count", "0").c_str(), nullptr, 10);
    ClientError error;
    ComPtr<IOPCServer> server;
    ItemGroup group;
    std::vector<std::string> ids(line.arguments.begin() + 1, line.arguments.end());
    if (!ConnectServer(line.arguments[0], server, &error) ||
        !AddItemGroup(server.Get(), ids, rate, group, &error))
        return Fail(error);

    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = group.items->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.Out());
    if (FAILED(hr))
        return FailCall("subscription", hr);
    CDataCallbackSink *sink = new CDataCallbackSink(ids);
    sink->AddRef();
    DWORD cookie = 0;
    hr = point->Advise(sink, &cookie);
    if (FAILED(hr)) {
        sink->Release();
        return FailCall("Advise", hr);
    }
    std::printf("subscribed %u item(s) at %lu ms\n", static_cast<unsigned>(ids.size()),
                static_cast<unsigned long>(rate));
    std::fflush(stdout);

    g_interrupt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(g_interrupt, 100) == WAIT_TIMEOUT) {
        if (seconds != 0 && GetTickCount() - start >= seconds * 1000)
            break;
        if (wanted != 0 && sink->Changes() >= wanted)
            break;
    }
    point->Unadvise(cookie);
    std::printf("received %lu change(s)\n", sink->Changes());
    sink->Release();
    server->RemoveGroup(group.serverGroup, FALSE);
    return kExitOk;
}
