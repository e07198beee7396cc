// Process-wide values that start-up sets and every other part of the monitor reads.
#pragma once
#include <windows.h>

#define WINDOW_NAME_MAX 32

extern HINSTANCE hInstance;
extern HWND ghMainWnd;
extern char gszClassName[WINDOW_NAME_MAX];   // string 1
extern char gszTitle[WINDOW_NAME_MAX];       // string 2: window title and message-box caption
extern int giExpressCount;                   // timer ticks before the first scan may run
// GetTickCount of the start of the last scan pass (or of its end when it took long).
extern DWORD gdwVerifyBaseTick;
