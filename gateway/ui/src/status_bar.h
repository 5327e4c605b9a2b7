// status_bar.h - CStatusBar, the main window's status bar: pane 0 of no
// width, pane 1 stretching over the whole bar.
#pragma once

#include <windows.h>

class CStatusBar {
public:
    bool Create(HWND parent, int id);
    HWND Hwnd() const { return m_bar; }
    // The two panes; pane 0 holds the idle text, pane 1 the given text.
    void SetupPanes(const char *idleText, const char *firstText);
    // Sets the pane's text and paints it at once.
    void SetPaneText(int pane, const char *text);
    // Keeps the bar at the bottom of its parent after a resize.
    void Reposition();
    int Height() const;

private:
    HWND m_bar = nullptr;
};
