/*
 * proxy_registration.c - self-registration of dakora_ps.dll.
 *
 * Machines that already run OPC software usually have proxies for the OPC
 * interfaces registered by the OPC Core Components. Those must stay: our
 * registration only adds interfaces that have no ProxyStubClsid32 yet (or
 * already name ours), and unregistration removes only the interfaces that
 * name our factory class.
 */
#include <windows.h>
#include <rpcproxy.h>
#include <olectl.h>
#include <stdio.h>

void RPC_ENTRY GetProxyDllInfo(const ProxyFileInfo ***info, const CLSID **clsid);

static HINSTANCE proxy_instance;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        proxy_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static void guid_text(const GUID *guid, char *text, size_t size)
{
    snprintf(text, size, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             (unsigned long)guid->Data1, guid->Data2, guid->Data3, guid->Data4[0], guid->Data4[1],
             guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5], guid->Data4[6],
             guid->Data4[7]);
}

static LONG set_text(HKEY root, const char *path, const char *name, const char *data)
{
    HKEY key;
    LONG result = RegCreateKeyExA(root, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)data, (DWORD)strlen(data) + 1);
    RegCloseKey(key);
    return result;
}

/* The factory CLSID named by Interface\{iid}\ProxyStubClsid32, or "". */
static void registered_factory(const char *iid, char *clsid, LONG size)
{
    char path[128];
    snprintf(path, sizeof(path), "Interface\\%s\\ProxyStubClsid32", iid);
    clsid[0] = '\0';
    if (RegQueryValueA(HKEY_CLASSES_ROOT, path, clsid, &size) != ERROR_SUCCESS)
        clsid[0] = '\0';
}

HRESULT WINAPI DllRegisterServer(void)
{
    const ProxyFileInfo **files;
    const CLSID *factory;
    char factory_text[40], path[128], module[MAX_PATH + 1];
    int f;
    unsigned i;

    GetProxyDllInfo(&files, &factory);
    guid_text(factory, factory_text, sizeof(factory_text));
    if (!GetModuleFileNameA(proxy_instance, module, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    module[MAX_PATH] = '\0';

    snprintf(path, sizeof(path), "CLSID\\%s", factory_text);
    if (set_text(HKEY_CLASSES_ROOT, path, NULL, "PSFactoryBuffer") != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    snprintf(path, sizeof(path), "CLSID\\%s\\InprocServer32", factory_text);
    if (set_text(HKEY_CLASSES_ROOT, path, NULL, module) != ERROR_SUCCESS ||
        set_text(HKEY_CLASSES_ROOT, path, "ThreadingModel", "Both") != ERROR_SUCCESS)
        return SELFREG_E_CLASS;

    for (f = 0; files[f] != NULL; ++f) {
        const ProxyFileInfo *file = files[f];
        for (i = 0; i < file->TableSize; ++i) {
            const CInterfaceStubHeader *header = &file->pStubVtblList[i]->header;
            char iid[40], current[64], count[16];
            guid_text(header->piid, iid, sizeof(iid));
            registered_factory(iid, current, sizeof(current));
            if (current[0] != '\0' && lstrcmpiA(current, factory_text) != 0)
                continue; /* someone else's proxy: leave it */
            snprintf(path, sizeof(path), "Interface\\%s", iid);
            snprintf(count, sizeof(count), "%lu", (unsigned long)header->DispatchTableCount);
            if (set_text(HKEY_CLASSES_ROOT, path, NULL, file->pNamesArray[i]) != ERROR_SUCCESS)
                return SELFREG_E_CLASS;
            snprintf(path, sizeof(path), "Interface\\%s\\ProxyStubClsid32", iid);
            if (set_text(HKEY_CLASSES_ROOT, path, NULL, factory_text) != ERROR_SUCCESS)
                return SELFREG_E_CLASS;
            snprintf(path, sizeof(path), "Interface\\%s\\NumMethods", iid);
            if (set_text(HKEY_CLASSES_ROOT, path, NULL, count) != ERROR_SUCCESS)
                return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT WINAPI DllUnregisterServer(void)
{
    const ProxyFileInfo **files;
    const CLSID *factory;
    char factory_text[40], path[128];
    int f;
    unsigned i;

    GetProxyDllInfo(&files, &factory);
    guid_text(factory, factory_text, sizeof(factory_text));

    for (f = 0; files[f] != NULL; ++f) {
        const ProxyFileInfo *file = files[f];
        for (i = 0; i < file->TableSize; ++i) {
            char iid[40], current[64];
            guid_text(file->pStubVtblList[i]->header.piid, iid, sizeof(iid));
            registered_factory(iid, current, sizeof(current));
            if (lstrcmpiA(current, factory_text) != 0)
                continue;
            snprintf(path, sizeof(path), "Interface\\%s\\ProxyStubClsid32", iid);
            RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
            snprintf(path, sizeof(path), "Interface\\%s\\NumMethods", iid);
            RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
            snprintf(path, sizeof(path), "Interface\\%s", iid);
            RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
        }
    }
    snprintf(path, sizeof(path), "CLSID\\%s\\InprocServer32", factory_text);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
    snprintf(path, sizeof(path), "CLSID\\%s", factory_text);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
    return S_OK;
}
