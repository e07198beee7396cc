// The companion BrackmoorEx.exe driven from another process, as a user reaches
// it: started with a switch, its pages found by id, its list views read and
// their rows chosen through memory in the companion's process.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

typedef std::vector<std::vector<std::string>> ListRows;

// Starts the companion with the switch and waits for its window to be shown
// (it is shown once its first page is filled). NULL after ms.
HWND StartCompanionWindow(const std::string &args, HANDLE *process, DWORD ms);
HWND CompanionPage(HWND window, int pageId);
HWND PageList(HWND window, int pageId);
// Every row of a list view, each as the texts of its columns, in display order.
ListRows ListViewRows(HWND list);
// The first row with a cell of that column containing part (without case); -1 for none.
int FindRow(const ListRows &rows, size_t column, const std::string &part);
// Waits until the list shows a row with a cell containing part (present) or none (!present).
bool WaitForRow(HWND list, size_t column, const std::string &part, bool present, DWORD ms);
// Makes this row the only selected one, and the focused one.
bool SelectRow(HWND list, int row);
// The text of the status line under the pages.
std::string CompanionStatus(HWND window);
