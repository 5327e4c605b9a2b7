// setting_dialog.cpp - the server settings dialog and its checks in order:
// port range, then the host checks (server_address_check.h).
#include "setting_dialog.h"

#include "dialog_owner.h"
#include "message_box.h"
#include "resource_ids.h"
#include "server_address_check.h"
#include "settings.h"
#include "visual_style.h"

#include <cstdlib>
#include <vector>

namespace {

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthA(control);
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(control, text.data(), length + 1);
    return std::string(text.data());
}

// The port edit keeps the focus with its text selected, so that the operator
// can type the number again.
void RefusePort(HWND dialog, const char *message)
{
    ShowMessage(dialog, message, MB_OK | MB_ICONEXCLAMATION);
    HWND port = GetDlgItem(dialog, IDC_PORT);
    SetFocus(port);
    SendMessageA(port, EM_SETSEL, 0, -1);
}

} // namespace

INT_PTR CSettingDialog::DoModal(HWND owner)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CSettingDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    CSettingDialog *self = DialogOwner<CSettingDialog>(dialog, message, lParam);
    if (self == nullptr)
        return FALSE;
    if (message == WM_INITDIALOG) {
        self->m_dialog = dialog;
        self->OnInitDialog();
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            self->OnOk();
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return StyleDialogColours(message, wParam);
    default:
        return FALSE;
    }
}

void CSettingDialog::OnInitDialog()
{
    const CSettings settings;
    m_host = settings.Host();
    m_port = std::atoi(settings.Port().c_str());
    SetDlgItemTextA(m_dialog, IDC_HOST, m_host.c_str());
    SetDlgItemInt(m_dialog, IDC_PORT, static_cast<UINT>(m_port), TRUE);
}

void CSettingDialog::OnOk()
{
    int port = 0;
    if (!ParsePortText(ControlText(m_dialog, IDC_PORT), port)) {
        RefusePort(m_dialog, kPortNotIntegerMessage);
        return;
    }
    if (port < kMinPort || port > kMaxPort) {
        RefusePort(m_dialog, kPortRangeMessage);
        return;
    }
    m_host = ControlText(m_dialog, IDC_HOST);
    m_port = port;

    if (const char *refusal = HostCheckMessage(m_host)) {
        ShowMessage(m_dialog, refusal);
        return;
    }
    const CSettings settings;
    settings.WriteHost(m_host);
    settings.WritePort(m_port);
    EndDialog(m_dialog, IDOK);
}
