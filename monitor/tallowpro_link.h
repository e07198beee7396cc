// The helper library "tallowpro.dll", loaded at run time: the monitor runs
// unchanged when it is missing or does nothing.
#pragma once
#include <windows.h>

void TallowProStart(HWND mainWindow);   // ordinal 2 with the main window
void TallowProStop(void);               // ordinal 3, then the library is freed
