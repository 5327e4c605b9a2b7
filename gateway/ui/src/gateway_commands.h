// gateway_commands.h - IGatewayCommands, the operations of the main window
// that the panels of the main view call: submit, logout and the credential
// store, and the window that owns their message boxes.
#pragma once

#include <windows.h>

class IGatewayCommands {
public:
    virtual ~IGatewayCommands() = default;

    // Ends the bridge program and publishes the current selection.
    virtual void Submit() = 0;
    // Asks, then stops the gateway and empties list and tree.
    virtual void Logout() = 0;
    // The panel's user name and password into the data model and the project file.
    virtual void StoreCredentials() = 0;
    virtual HWND MainWindow() const = 0;
};
