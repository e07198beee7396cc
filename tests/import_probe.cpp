// A small program for the test of the XP import check: with VISTA_CALL it calls a
// function that Windows XP lacks directly instead of looking it up at run time.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
#ifdef VISTA_CALL
    return (int)RegDeleteKeyExA(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Probe", KEY_WOW64_32KEY, 0);
#else
    return (int)RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Probe");
#endif
}
