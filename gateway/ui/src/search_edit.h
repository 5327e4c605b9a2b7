// search_edit.h - CSearchEdit, an edit control in search mode: a grey
// prompt while it is empty, a magnifier at its right end, and in its place
// a clear mark while it holds text (a click on it empties the edit).
#pragma once

#include <windows.h>

class CSearchEdit {
public:
    // Takes over the dialog's edit control.
    void Attach(HWND edit, const char *prompt);
    HWND Hwnd() const { return m_edit; }
    // Redraws the mark after the text changed (called on EN_CHANGE).
    void OnTextChanged();

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    RECT MarkRect() const; // in window coordinates
    void PaintMark();
    bool HasText() const;
    bool IsOnMark(LPARAM screenPoint) const;

    HWND m_edit = nullptr;
};
