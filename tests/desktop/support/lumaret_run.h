// lumaret_run.h - CLumaretRun, one run of the real Lumaret.exe for a test:
// a program directory of its own (Lumaret.exe, the bridge and the OPC
// library copied from the build), its settings file, the process, and the
// windows and controls a test drives.
#pragma once

#include <windows.h>

#include <string>

// Window class of Lumaret's main window.
extern const char kLumaretWindowClass[];

class CLumaretRun {
public:
    // A fresh directory <work root>\<name> with the three program files.
    explicit CLumaretRun(const std::string &name);
    // Ends the program if it still runs.
    ~CLumaretRun();
    CLumaretRun(const CLumaretRun &) = delete;
    CLumaretRun &operator=(const CLumaretRun &) = delete;

    const std::string &Dir() const { return m_dir; }
    std::string File(const std::string &name) const { return m_dir + "\\" + name; }
    std::string SettingsPath() const { return File("Lumaret.ini"); }
    std::string ProjectFilePath() const { return File("qlrsvr.savefile.v2.01"); }

    // Settings file values (private profile format).
    void SetSetting(const char *section, const char *key, const std::string &value);
    std::string Setting(const char *section, const char *key) const; // "<missing>" when absent
    // Platform address of the stand-in, no autorun, registration marker present.
    void PrepareForPlatform(int port);
    bool CreateRegistrationMarker();
    std::string RegistrationMarkerPath() const;
    // The bridge program of the directory: replaced by another program, or removed.
    bool ReplaceBridge(const std::string &programPath);
    void RemoveBridge();
    // Runs the directory's bridge program as COM would start it (not
    // registering); the caller owns the process handle. Null on failure.
    HANDLE StartBridge() const;

    bool Start();
    DWORD ProcessId() const { return m_processId; }
    bool IsRunning() const;
    // Waits for the process to end; its exit code through code.
    bool WaitForExit(DWORD timeoutMs, DWORD *code = nullptr);
    // Waits until the main window is up and its start-up has run.
    bool WaitForMainWindow(DWORD timeoutMs = 60000);
    // "退出程序" from the menu, then waits; ends the process if it stays.
    bool Exit(DWORD timeoutMs = 20000);
    void Kill();

    HWND Main() const { return m_main; }
    HWND StatePanel() const;
    HWND Toolbar() const;
    HWND Tree() const;
    HWND List() const;
    HWND StatusBar() const;
    HWND PanelControl(int id) const { return GetDlgItem(StatePanel(), id); }
    HWND ToolbarControl(int id) const { return GetDlgItem(Toolbar(), id); }
    std::string StatusBarText() const;

    // Posts a menu command to the main window.
    void Command(UINT id) const;

private:
    std::string m_dir;
    HANDLE m_process = nullptr;
    DWORD m_processId = 0;
    HWND m_main = nullptr;
};

// Directory of the running test program (where the build puts the programs).
std::string TestProgramDir();
// Work root of the desktop tests (LUMARET_DESKTOP_WORK), created if missing.
std::string DesktopWorkRoot();
