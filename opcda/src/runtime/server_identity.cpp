// server_identity.cpp - identity validation and storage.
#include "server_identity.h"

#include "lock.h"

#include <cstring>

namespace {

CLock &IdentityLock()
{
    static CLock lock;
    return lock;
}

ServerIdentity &StoredIdentity()
{
    static ServerIdentity identity;
    return identity;
}

bool TextFits(const char *text, size_t limit)
{
    return text != nullptr && *text != '\0' && std::strlen(text) < limit;
}

} // namespace

bool ValidateAndStoreIdentity(const char *classId, const char *vendor, const char *server,
                              const char *version, const char *serverName)
{
    if (!TextFits(classId, 80) || !TextFits(vendor, 16) || !TextFits(server, 16) ||
        !TextFits(version, 16) || !TextFits(serverName, 128))
        return false;
    ServerIdentity identity;
    identity.classId = classId;
    identity.progId = std::string(vendor) + "." + server + "." + version;
    identity.vendor = vendor;
    identity.serverName = serverName;
    CAutoLock guard(IdentityLock());
    StoredIdentity() = identity;
    return true;
}

ServerIdentity CurrentIdentity()
{
    CAutoLock guard(IdentityLock());
    return StoredIdentity();
}
