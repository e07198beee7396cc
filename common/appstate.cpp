#include "common/appstate.h"

HINSTANCE hInstance;
HWND ghMainWnd;
char gszClassName[WINDOW_NAME_MAX];
char gszTitle[WINDOW_NAME_MAX];
int giExpressCount;
DWORD gdwVerifyBaseTick;
