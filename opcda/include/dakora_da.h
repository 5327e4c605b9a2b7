/*
 * dakora_da.h - host interface of the OPC DA server library.
 *
 * A host process loads dakora_da.dll, declares its tags, pushes their values
 * and starts the server; OPC DA clients then reach the tags through COM.
 * Every client write is handed back to the host through the write callback,
 * one call per written item, on the library's write-forwarding thread.
 *
 * All texts are ANSI (system code page), NUL-terminated. Results are the
 * small integer codes below, never COM result codes.
 */
#ifndef DAKORA_DA_H
#define DAKORA_DA_H

#include <windows.h>
#include <oaidl.h>

#if defined(DAKORA_DA_BUILD)
#define DAKORA_API __declspec(dllexport)
#elif defined(DAKORA_DA_STATIC)
#define DAKORA_API
#else
#define DAKORA_API __declspec(dllimport)
#endif

#define DAKORA_CALL __stdcall

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the exports. */
enum DakoraResult {
    DAKORA_OK = 0,
    DAKORA_E_REGISTRY = 1,    /* a registry operation failed (reg/unreg) */
    DAKORA_E_ARGUMENT = 2,    /* missing, empty, too long or out of range */
    DAKORA_E_MEMORY = 3,      /* out of memory while building the value */
    DAKORA_E_CLASSID = 4,     /* the class id text is not a class id */
    DAKORA_E_REGISTER = 5,    /* COM refused to register the class object */
    DAKORA_E_COMINIT = 6,     /* COM initialisation failed */
    DAKORA_E_UNKNOWNTAG = 10, /* no tag has this item ID */
    DAKORA_E_TYPE = 11,       /* tag type does not fit the setter, or copy failed */
    DAKORA_E_RUNNING = 16,    /* dakora_start while running */
    DAKORA_E_NOTRUNNING = 17  /* dakora_stop while not running */
};

/* Tag type codes (low 8 bits of the type argument of dakora_addtag). */
enum DakoraTagType {
    DAKORA_TAG_I1 = 1,
    DAKORA_TAG_UI1 = 2,
    DAKORA_TAG_I2 = 3,
    DAKORA_TAG_UI2 = 4,
    DAKORA_TAG_I4 = 5,
    DAKORA_TAG_UI4 = 6,
    DAKORA_TAG_I8 = 7,
    DAKORA_TAG_UI8 = 8,
    DAKORA_TAG_R4 = 9,
    DAKORA_TAG_R8 = 10,
    DAKORA_TAG_TEXT = 11,
    DAKORA_TAG_BLOB = 12,
    DAKORA_TAG_BOOL = 13
};

/* Called once per client-written item. The VARIANT is valid only during the
 * call; it holds the tag's canonical type (the library converted the
 * client's value and refused what does not convert). The result is
 * ignored. */
typedef int (DAKORA_CALL *dakora_write_callback)(const char *itemId, VARIANT *value,
                                                 DWORD quality, FILETIME timestamp,
                                                 void *userData);

DAKORA_API int DAKORA_CALL dakora_start(const char *classId, const char *vendor,
                                        const char *server, const char *version,
                                        const char *serverName,
                                        dakora_write_callback writeCallback,
                                        void *userData, int holdProcess);
DAKORA_API int DAKORA_CALL dakora_stop(void);
DAKORA_API int DAKORA_CALL dakora_addtag(const char *itemId, const char *description,
                                         const char *units, int tagType,
                                         unsigned char writable);
DAKORA_API int DAKORA_CALL dakora_setval(const char *itemId, const VARIANT *value,
                                         WORD quality, DWORD timeLow, DWORD timeHigh);
DAKORA_API int DAKORA_CALL dakora_setstr(const char *itemId, const char *text,
                                         WORD quality, DWORD timeLow, DWORD timeHigh);
DAKORA_API int DAKORA_CALL dakora_setblob(const char *itemId, const void *data,
                                          DWORD count, WORD quality, DWORD timeLow,
                                          DWORD timeHigh);
DAKORA_API int DAKORA_CALL dakoar_reg(const char *classId, const char *vendor,
                                      const char *server, const char *version,
                                      const char *serverName, int serviceFlag);
DAKORA_API int DAKORA_CALL dakoar_unreg(const char *classId, const char *vendor,
                                        const char *server, const char *version,
                                        const char *serverName);

/* Longest text, in ANSI bytes, that a client may write to a text tag;
 * longer ones are refused (OPC_E_RANGE) before they reach the host.
 * 0 = no limit (the default). Result 0. */
DAKORA_API int DAKORA_CALL dakora_setwritelimit(unsigned maxTextBytes);
/* A host check of client writes: called on the client's call, after the
 * value was converted to the tag's type and before it is queued, with the
 * item ID and that value. It returns S_OK to let the write go on, or the
 * failure the client gets for the item (for example OPC_E_RANGE for a value
 * the host cannot pass on exactly); it must not block. Null removes it.
 * Result 0. */
typedef HRESULT (DAKORA_CALL *dakora_check_callback)(const char *itemId, const VARIANT *value, void *userData);
DAKORA_API int DAKORA_CALL dakora_setwritecheck(dakora_check_callback check, void *userData);
/* Engineering-unit range of a numeric tag (low < high, both finite): the
 * tag becomes an analog item, to which percent deadbands apply and whose
 * EU properties clients can read. Re-declaring the tag drops the range.
 * Results 0, 2, 3, 10, 11 (not a numeric tag). */
DAKORA_API int DAKORA_CALL dakora_seteurange(const char *itemId, double low, double high);
/* The handle of a declared tag, for dakora_setvals; it stays the tag's for
 * the life of the process (a re-declaration keeps it). Results 0, 2, 10. */
DAKORA_API int DAKORA_CALL dakora_gethandle(const char *itemId, DWORD *handle);
/* Values of count tags by handle in one call: the cheap way to publish many
 * changes at once. Each value is stored as given, like dakora_setval, with
 * its quality and time stamp (a zero FILETIME: now). results may be null;
 * else it receives each tag's code (0, 10 for an unknown handle, 11 for a
 * value that could not be copied). Results 0, or 2 for a missing array. */
DAKORA_API int DAKORA_CALL dakora_setvals(DWORD count, const DWORD *handles,
                                          const VARIANT *values, const WORD *qualities,
                                          const FILETIME *timestamps, int *results);
/* Withdraws the class object (no new client is sent to this process) and
 * tells every connected client that the server is going away
 * (IOPCShutdown::ShutdownRequest, the reason in the language of the
 * client's server object: Chinese for 2052, else English) and waits until
 * the clients have taken the notice, at most waitMs. The host ends its
 * process afterwards. Result 0. */
DAKORA_API int DAKORA_CALL dakora_notifyshutdown(unsigned waitMs);

#ifdef __cplusplus
}
#endif

#endif /* DAKORA_DA_H */
