// window_search.cpp - window look-ups across processes.
#include "window_search.h"

#include "control_access.h"
#include "wait_until.h"

#include <cstring>

namespace gui {

namespace {

struct TopLevelSearch {
    DWORD processId;
    const char *className;
    const char *title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM data)
{
    TopLevelSearch &search = *reinterpret_cast<TopLevelSearch *>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window))
        return TRUE;
    if (search.className != nullptr) {
        char name[128] = "";
        GetClassNameA(window, name, sizeof(name));
        if (std::strcmp(name, search.className) != 0)
            return TRUE;
    }
    if (search.title != nullptr && Text(window) != search.title)
        return TRUE;
    search.found.push_back(window);
    return TRUE;
}

struct DescendantSearch {
    const char *className;
    int id;
    HWND found;
};

BOOL CALLBACK FindDescendantProc(HWND window, LPARAM data)
{
    DescendantSearch &search = *reinterpret_cast<DescendantSearch *>(data);
    if (GetDlgCtrlID(window) != search.id)
        return TRUE;
    if (search.className != nullptr) {
        char name[128] = "";
        GetClassNameA(window, name, sizeof(name));
        if (lstrcmpiA(name, search.className) != 0)
            return TRUE;
    }
    search.found = window;
    return FALSE;
}

BOOL CALLBACK FindHolderProc(HWND window, LPARAM data)
{
    DescendantSearch &search = *reinterpret_cast<DescendantSearch *>(data);
    if (GetDlgItem(window, search.id) != nullptr) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

const char *const kMessageBoxCaptions[] = {"Lumaret", "提示"};

} // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const char *className, const char *title)
{
    TopLevelSearch search = {processId, className, title, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopLevel(DWORD processId, const char *className, const char *title, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> windows = TopLevelWindows(processId, className, title);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

HWND FindDialogHolding(HWND parent, int controlId)
{
    DescendantSearch search = {nullptr, controlId, nullptr};
    EnumChildWindows(parent, FindHolderProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindDescendant(HWND parent, const char *className, int id)
{
    DescendantSearch search = {className, id, nullptr};
    EnumChildWindows(parent, FindDescendantProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

MessageBoxInfo WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    MessageBoxInfo box;
    WaitUntil(
        [&] {
            for (const char *caption : kMessageBoxCaptions) {
                const std::vector<HWND> boxes = TopLevelWindows(processId, "#32770", caption);
                if (!boxes.empty()) {
                    box.window = boxes.front();
                    box.caption = caption;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (box.window != nullptr) {
        // The text is the static control 0xFFFF; wait until it has been filled.
        WaitUntil(
            [&] {
                HWND label = GetDlgItem(box.window, 0xFFFF);
                box.text = label != nullptr ? Text(label) : std::string();
                return !box.text.empty();
            },
            3000);
    }
    return box;
}

bool AnswerMessageBox(const MessageBoxInfo &box, int button, DWORD timeoutMs)
{
    if (box.window == nullptr)
        return false;
    HWND control = GetDlgItem(box.window, button);
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, timeoutMs);
}

bool AnyMessageBox(DWORD processId)
{
    for (const char *caption : kMessageBoxCaptions)
        if (!TopLevelWindows(processId, "#32770", caption).empty())
            return true;
    return false;
}

} // namespace gui
