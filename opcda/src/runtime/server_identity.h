// server_identity.h - the five identity texts of the server (class id,
// ProgID, vendor word, server name), validated and stored by dakora_start,
// dakoar_reg and dakoar_unreg.
#pragma once

#include <string>

struct ServerIdentity {
    std::string classId;    // registry form, with braces
    std::string progId;     // vendor.server.version
    std::string vendor;     // vendor word
    std::string serverName; // description of the registry entries
};

// Checks the five texts (all non-empty; class id < 80 characters, vendor,
// server word and version < 16, server name < 128) and on success stores
// them as the library's identity. False leaves the stored identity as it was.
bool ValidateAndStoreIdentity(const char *classId, const char *vendor, const char *server,
                              const char *version, const char *serverName);

// A copy of the stored identity.
ServerIdentity CurrentIdentity();
