#include "companion/explorer.h"

#include <limits.h>

#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "common/options.h"

#define OPTION_LINE_MAX 96
#define OPTION_VALUE_MAX 32
#define STATUS_TEXT_MAX 160

static const OptionRow *OptionAt(HWND list, int index)
{
    if (index < 0)
        return NULL;
    LRESULT row = SendMessageA(list, LB_GETITEMDATA, (WPARAM)index, 0);
    if (row == LB_ERR || row < 0 || row >= OptionTableCount)
        return NULL;
    return &OptionTable[row];
}

// What the monitor would use now: the stored number, or the default when the
// value is absent or empty.
static void FormatOptionLine(const OptionRow *option, char *line, size_t cap)
{
    FormatText(line, cap, "%s = %d", option->name, ReadOptionInt(option->name, option->defaultValue));
}

static void PutOptionLine(HWND list, int index, int row)
{
    char line[OPTION_LINE_MAX];
    FormatOptionLine(&OptionTable[row], line, CAP(line));
    LRESULT at = SendMessageA(list, LB_INSERTSTRING, (WPARAM)index, (LPARAM)line);
    if (at == LB_ERR || at == LB_ERRSPACE) {
        TestLog("MyError:  PutOptionLine LB_INSERTSTRING", line);
        return;
    }
    SendMessageA(list, LB_SETITEMDATA, (WPARAM)at, (LPARAM)row);
}

static void ShowSelectedOption(HWND page)
{
    HWND list = GetDlgItem(page, IDC_OPTIONS_LIST);
    const OptionRow *option = OptionAt(list, (int)SendMessageA(list, LB_GETCURSEL, 0, 0));
    char label[OPTION_LINE_MAX] = "";
    char value[OPTION_VALUE_MAX] = "";
    if (option) {
        FormatText(label, CAP(label), "%s (default %d)", option->name, option->defaultValue);
        FormatText(value, CAP(value), "%d", ReadOptionInt(option->name, option->defaultValue));
    }
    SetDlgItemTextA(page, IDC_OPTIONS_NAME, label);
    SetDlgItemTextA(page, IDC_OPTIONS_VALUE, value);
}

// Reloads every line from the registry, keeping the selection and the scroll
// position, so that the list never shows a value the registry no longer holds.
static void FillOptionList(HWND page)
{
    HWND list = GetDlgItem(page, IDC_OPTIONS_LIST);
    if (!list)
        return;
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (int row = 0; row < OptionTableCount; row++)
        PutOptionLine(list, row, row);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)(selected == LB_ERR ? 0 : selected), 0);
    SendMessageA(list, LB_SETTOPINDEX, (WPARAM)(top == LB_ERR ? 0 : top), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    ShowSelectedOption(page);
}

// A whole decimal number that fits the monitor's 32-bit option, blanks around it
// allowed; anything else is refused rather than stored as the monitor would
// misread it (its reading takes only the leading digits).
static int ParseOptionValue(const char *text, int *value)
{
    while (*text == ' ' || *text == '\t')
        text++;
    int negative = 0;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    long long number = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        number = number * 10 + (*text - '0');
        if (++digits > 10)
            return 0;
    }
    while (*text == ' ' || *text == '\t')
        text++;
    if (!digits || *text)
        return 0;
    if (negative)
        number = -number;
    if (number < INT_MIN || number > INT_MAX)
        return 0;
    *value = (int)number;
    return 1;
}

static void SetSelectedOption(HWND page)
{
    HWND list = GetDlgItem(page, IDC_OPTIONS_LIST);
    int index = (int)SendMessageA(list, LB_GETCURSEL, 0, 0);
    const OptionRow *option = OptionAt(list, index);
    char status[STATUS_TEXT_MAX];
    if (!option) {
        SetDlgItemTextA(page, IDC_OPTIONS_STATUS, "Choose an option in the list first.");
        return;
    }
    char text[OPTION_VALUE_MAX] = "";
    GetDlgItemTextA(page, IDC_OPTIONS_VALUE, text, (int)sizeof(text));
    int value = 0;
    if (!ParseOptionValue(text, &value)) {
        FormatText(status, CAP(status), "Type a whole number for %s.", option->name);
        SetDlgItemTextA(page, IDC_OPTIONS_STATUS, status);
        return;
    }
    // WriteOptionInt also sets "Update", which makes the running monitor re-read
    // all its options on its next scan.
    WriteOptionInt(option->name, value);
    int stored = ReadOptionInt(option->name, option->defaultValue);
    if (stored != value) {
        TestLog("MyError:  SetSelectedOption WriteOptionInt", option->name);
        FormatText(status, CAP(status), "%s could not be changed; it stays %d.", option->name, stored);
    } else {
        FormatText(status, CAP(status), "%s is now %d. Brackmoor uses it from its next scan.", option->name,
                   stored);
    }
    SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
    PutOptionLine(list, index, (int)(option - OptionTable));
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    ShowSelectedOption(page);
    SetDlgItemTextA(page, IDC_OPTIONS_STATUS, status);
}

INT_PTR CALLBACK OptionsPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(page, IDC_OPTIONS_VALUE, EM_LIMITTEXT, OPTION_VALUE_MAX - 1, 0);
        FillOptionList(page);
        return TRUE;
    case WM_PAGE_REFRESH:
        FillOptionList(page);
        SetDlgItemTextA(page, IDC_OPTIONS_STATUS, "");
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OPTIONS_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE)
                ShowSelectedOption(page);
            return TRUE;
        case IDC_OPTIONS_SET:
        case IDOK:
            if (HIWORD(wParam) == BN_CLICKED)
                SetSelectedOption(page);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
