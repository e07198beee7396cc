#include "support/companion_ui.h"

#include <commctrl.h>

#include "companion/companion_res.h"
#include "support/e2e.h"
#include "support/test_env.h"

#define REMOTE_TEXT_MAX 2048

HWND StartCompanionWindow(const std::string &args, HANDLE *process, DWORD ms)
{
    HANDLE started = StartProgram("BrackmoorEx.exe", args);
    if (process)
        *process = started;
    HWND window = nullptr;
    auto shown = [&] { return (window = FindWindowA("BrackmoorExplorer", nullptr)) && IsWindowVisible(window); };
    return started && WaitUntil(shown, ms) ? window : nullptr;
}

HWND CompanionPage(HWND window, int pageId)
{
    return GetDlgItem(window, pageId);
}

HWND PageList(HWND window, int pageId)
{
    return GetDlgItem(CompanionPage(window, pageId), IDC_TABLE_LIST);
}

// An item record and its text buffer in the companion's memory: a list view
// reads and writes them in its own address space.
struct RemoteItem {
    HANDLE process = nullptr;
    char *base = nullptr;

    explicit RemoteItem(HWND list)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process)
            base = (char *)VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + REMOTE_TEXT_MAX, MEM_COMMIT,
                                          PAGE_READWRITE);
    }
    ~RemoteItem()
    {
        if (base)
            VirtualFreeEx(process, base, 0, MEM_RELEASE);
        if (process)
            CloseHandle(process);
    }
    bool Put(LVITEMA item)
    {
        item.pszText = base + sizeof(LVITEMA);
        item.cchTextMax = REMOTE_TEXT_MAX;
        return base && WriteProcessMemory(process, base, &item, sizeof(item), nullptr);
    }
    std::string Text()
    {
        char text[REMOTE_TEXT_MAX] = "";
        if (!ReadProcessMemory(process, base + sizeof(LVITEMA), text, sizeof(text), nullptr))
            return "<unreadable>";
        text[REMOTE_TEXT_MAX - 1] = '\0';
        return text;
    }
};

ListRows ListViewRows(HWND list)
{
    ListRows rows;
    RemoteItem remote(list);
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    int columns = (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int r = 0; remote.base && r < count; r++) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; c++) {
            LVITEMA item = {};
            item.iSubItem = c;
            remote.Put(item);
            SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)r, (LPARAM)remote.base);
            row.push_back(remote.Text());
        }
        rows.push_back(row);
    }
    return rows;
}

int FindRow(const ListRows &rows, size_t column, const std::string &part)
{
    for (size_t r = 0; r < rows.size(); r++)
        if (column < rows[r].size() && Upper(rows[r][column]).find(Upper(part)) != std::string::npos)
            return (int)r;
    return -1;
}

bool WaitForRow(HWND list, size_t column, const std::string &part, bool present, DWORD ms)
{
    return WaitUntil([&] { return (FindRow(ListViewRows(list), column, part) >= 0) == present; }, ms);
}

bool SelectRow(HWND list, int row)
{
    RemoteItem remote(list);
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (!remote.Put(item) || !SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)remote.base))
        return false;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    return remote.Put(item) && SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)remote.base);
}

std::string CompanionStatus(HWND window)
{
    return ControlText(window, IDC_STATUS);
}
