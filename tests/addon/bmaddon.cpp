// A browser add-on for the tests: a real DLL with a version record whose
// DllUnregisterServer leaves a sign that regsvr32 called it.
#include <windows.h>

#define SIGN_KEY "Software\\Brackmoor Tests"

static HINSTANCE Self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        Self = instance;
    return TRUE;
}

// Writes the DLL's own path as the value "Unregistered".
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void)
{
    char path[MAX_PATH];
    DWORD len = GetModuleFileNameA(Self, path, MAX_PATH);
    HKEY key;
    if (len == 0 || len >= MAX_PATH || RegCreateKeyExA(HKEY_CURRENT_USER, SIGN_KEY, 0, NULL, 0, KEY_WRITE, NULL,
                                                       &key, NULL) != ERROR_SUCCESS)
        return E_FAIL;
    RegSetValueExA(key, "Unregistered", 0, REG_SZ, (const BYTE *)path, len + 1);
    RegCloseKey(key);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    return S_OK;
}
