// Starting the companion program "BrackmoorEx.exe" with the switch of a page.
#pragma once

#define COMPANION_EXE "BrackmoorEx.exe"
void LaunchBrackmoorExplorer(const char *switchText);
// The whole effect of "-RESTART": close the companion and open it on its About page.
void RestartExplorer(void);
