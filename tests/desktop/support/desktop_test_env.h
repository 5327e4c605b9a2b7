// desktop_test_env.h - what every desktop test shares: COM for the
// screenshots, the stand-in platform of the fixture (reset before each
// test), the screenshot folder, and waits on the texts of the program.
#pragma once

#include "control_access.h"
#include "lumaret_run.h"
#include "standin_platform.h"
#include "test_files.h"
#include "wait_until.h"
#include "window_search.h"

#include <gtest/gtest.h>

#include <string>

// Control ids and commands of Lumaret that the tests use.
namespace lumaret {
const int kPassword = 1001;
const int kLogin = 1004;
const int kLogout = 1008;
const int kStatusButton = 1017;
const int kUserName = 1018;
const int kProjectList = 1001;
const int kSelectAllProjects = 1032;
const int kProjectProgress = 1040;
const int kHost = 1021;
const int kPort = 1022;
const int kSearch = 1026;
const int kSelectAll = 1028;
const int kSetGroup = 1029;
const int kGroupName = 1030;
const int kSubmit = 1031;
const int kClearGroup = 1032;

const UINT kShowWindow = 32791;
const UINT kExitProgram = 32792;
const UINT kRegisterOpc = 32797;
const UINT kServerSettings = 32798;
const UINT kRememberPassword = 32800;
const UINT kClearPassword = 32801;
const UINT kAutoRun = 32802;
const UINT kAbout = 57664;

const UINT kTrayNotify = 0x0A06;
} // namespace lumaret

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The stand-in platform of the gateway tests' fixture (plain HTTP),
    // reset and with an empty request log before each test.
    CStandinPlatform platform;

    // Saves a picture of the window as <screenshots>\<name>.png and prints where.
    void Screenshot(HWND window, const std::string &name);
    // Expects a message box of the process with this text (and caption), answers it.
    void ExpectMessage(const CLumaretRun &run, const std::string &text, int answer = IDOK,
                       const char *caption = "Lumaret");
    // The same for a text of the prefix followed by a decimal number (an
    // elapsed time); answers with OK.
    void ExpectMessageWithNumber(const CLumaretRun &run, const std::string &prefix,
                                 DWORD timeoutMs = kDefaultWaitMs);
    // The window's thread takes a message within two seconds (WM_NULL).
    static bool Answers(HWND window);
    // Waits until a control's text (WM_GETTEXT) is the expected one.
    static bool WaitForText(HWND window, const std::string &expected, DWORD timeoutMs = kDefaultWaitMs);
};

// The screenshot folder (LUMARET_SCREENSHOTS), created if missing.
std::string ScreenshotDir();
// Value of the autorun entry, or "<missing>".
std::string AutorunValue(DWORD *size = nullptr);
void DeleteAutorunValue();
// Ends every process of the session running the named program.
void EndProcesses(const char *name);
