/* A stand-in for one of the COM DLLs of the sample payload (msxml5.dll, capicom.dll). Its
   registration leaves a mark that the tests look for: under HKEY_LOCAL_MACHINE
   "SOFTWARE\Kestrel\SamplePayload", the value named like the DLL holds the path it was
   registered from. DllUnregisterServer removes the value. MARKER_NAME is set by the build. */
#include <windows.h>

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

#define MARKER_KEY "SOFTWARE\\Kestrel\\SamplePayload"

HRESULT WINAPI DllRegisterServer(void) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, sizeof path);
    HKEY key;
    LONG rc;
    if (n == 0 || n >= sizeof path) return E_FAIL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, MARKER_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return E_FAIL;
    rc = RegSetValueExA(key, MARKER_NAME, 0, REG_SZ, (const BYTE*)path, n + 1);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT WINAPI DllUnregisterServer(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MARKER_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return S_OK;
    RegDeleteValueA(key, MARKER_NAME);
    RegCloseKey(key);
    return S_OK;
}
