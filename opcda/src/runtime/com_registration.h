// com_registration.h - registry entries through which COM finds the server:
// ProgID, CLSID with its local server program and OPC DA categories, AppID.
#pragma once

#include "server_identity.h"

// Writes every entry for the identity; 0 or 1 (a key or counted value failed).
int RegisterServer(const ServerIdentity &identity, int serviceFlag);
// Deletes the entries; 0 when the ProgID key itself was deleted and no
// deletion was refused for lack of access, else 1.
int UnregisterServer(const ServerIdentity &identity);
