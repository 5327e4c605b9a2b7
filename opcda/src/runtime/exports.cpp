// exports.cpp - the exports of dakora_da: argument checks, then the tag
// table, the registration thread or the registry.
#include "dakora_da.h"

#include "com_registration.h"
#include "library_state.h"
#include "server_identity.h"
#include "server_registry.h"

extern "C" {

DAKORA_API int DAKORA_CALL dakora_start(const char *classId, const char *vendor,
                                        const char *server, const char *version,
                                        const char *serverName,
                                        dakora_write_callback writeCallback, void *userData,
                                        int holdProcess)
{
    CAutoLock guard(StartStopLock());
    CDakoarThread &thread = DakoarThread();
    if (thread.IsRunning())
        return DAKORA_E_RUNNING;
    if (!ValidateAndStoreIdentity(classId, vendor, server, version, serverName))
        return DAKORA_E_ARGUMENT;
    CWriteToDec &writer = SvrData().WriteToDec();
    writer.SetHost(writeCallback, userData);
    writer.StartWorker();
    return thread.StartRegistration(holdProcess);
}

DAKORA_API int DAKORA_CALL dakora_stop(void)
{
    CAutoLock guard(StartStopLock());
    CDakoarThread &thread = DakoarThread();
    if (!thread.IsRunning())
        return DAKORA_E_NOTRUNNING;
    thread.SignalStop();
    return DAKORA_OK;
}

DAKORA_API int DAKORA_CALL dakora_addtag(const char *itemId, const char *description,
                                         const char *units, int tagType,
                                         unsigned char writable)
{
    return SvrData().AddTag(itemId, description, units, tagType, writable);
}

DAKORA_API int DAKORA_CALL dakora_setval(const char *itemId, const VARIANT *value,
                                         WORD quality, DWORD timeLow, DWORD timeHigh)
{
    return SvrData().SetValue(itemId, value, quality, timeLow, timeHigh);
}

DAKORA_API int DAKORA_CALL dakora_gethandle(const char *itemId, DWORD *handle)
{
    if (itemId == nullptr || *itemId == '\0' || handle == nullptr)
        return DAKORA_E_ARGUMENT;
    *handle = SvrData().HandleOf(itemId);
    return *handle != 0 ? DAKORA_OK : DAKORA_E_UNKNOWNTAG;
}

DAKORA_API int DAKORA_CALL dakora_setvals(DWORD count, const DWORD *handles, const VARIANT *values,
                                          const WORD *qualities, const FILETIME *timestamps,
                                          int *results)
{
    return SvrData().SetValues(count, handles, values, qualities, timestamps, results);
}

DAKORA_API int DAKORA_CALL dakora_setstr(const char *itemId, const char *text, WORD quality,
                                         DWORD timeLow, DWORD timeHigh)
{
    return SvrData().SetText(itemId, text, quality, timeLow, timeHigh);
}

DAKORA_API int DAKORA_CALL dakora_setblob(const char *itemId, const void *data, DWORD count,
                                          WORD quality, DWORD timeLow, DWORD timeHigh)
{
    return SvrData().SetBlob(itemId, data, count, quality, timeLow, timeHigh);
}

DAKORA_API int DAKORA_CALL dakoar_reg(const char *classId, const char *vendor,
                                      const char *server, const char *version,
                                      const char *serverName, int serviceFlag)
{
    if (!ValidateAndStoreIdentity(classId, vendor, server, version, serverName))
        return DAKORA_E_ARGUMENT;
    return RegisterServer(CurrentIdentity(), serviceFlag);
}

DAKORA_API int DAKORA_CALL dakoar_unreg(const char *classId, const char *vendor,
                                        const char *server, const char *version,
                                        const char *serverName)
{
    if (!ValidateAndStoreIdentity(classId, vendor, server, version, serverName))
        return DAKORA_E_ARGUMENT;
    return UnregisterServer(CurrentIdentity());
}

DAKORA_API int DAKORA_CALL dakora_setwritelimit(unsigned maxTextBytes)
{
    SvrData().SetWriteTextLimit(maxTextBytes);
    return DAKORA_OK;
}

DAKORA_API int DAKORA_CALL dakora_setwritecheck(dakora_check_callback check, void *userData)
{
    SvrData().SetWriteCheck(check, userData);
    return DAKORA_OK;
}

DAKORA_API int DAKORA_CALL dakora_seteurange(const char *itemId, double low, double high)
{
    return SvrData().SetEuRange(itemId, low, high);
}

DAKORA_API int DAKORA_CALL dakora_notifyshutdown(unsigned waitMs)
{
    NotifyShutdown(waitMs);
    return DAKORA_OK;
}

} // extern "C"
