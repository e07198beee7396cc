#include "companion/explorer.h"

#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"

// Every switch the monitor may send. A switch whose page this program lacks opens
// the About page with a line naming it, so a menu item of the monitor never seems dead.
static const SwitchRow SwitchTable[] = {
    {"-KEEL", SWITCH_SHOW, PAGE_ABOUT, NULL},
    {"-OPTIONS", SWITCH_SHOW, PAGE_OPTIONS, NULL},
    {"-EXIT", SWITCH_EXIT, PAGE_ABOUT, NULL},
    {"-RESTART", SWITCH_RESTART, PAGE_ABOUT, NULL},
    {"-START", SWITCH_SHOW, PAGE_STARTUP, NULL},
    {"-DELAY", SWITCH_SHOW, PAGE_DELAY, NULL},
    {"-TASK", SWITCH_SHOW, PAGE_TASKS, NULL},
    {"-RECENT", SWITCH_SHOW, PAGE_HISTORY, NULL},
    {"-RESET", SWITCH_SHOW, PAGE_RESET, NULL},
    {"-NUTS", SWITCH_SHOW, PAGE_ABOUT, "Cookie Filters"},
    {"-SERVICE", SWITCH_SHOW, PAGE_ABOUT, "Windows Services"},
    {"-SCHEDULE", SWITCH_SHOW, PAGE_ABOUT, "Scheduled Tasks"},
    {"-BHO", SWITCH_SHOW, PAGE_ABOUT, "IE Helpers and Toolbars"},
    {"-FILETYPES", SWITCH_SHOW, PAGE_ABOUT, "Monitored File Types"},
    {"-HIDDEN", SWITCH_SHOW, PAGE_ABOUT, "Hidden Files"},
    {"-ACTIVEX", SWITCH_SHOW, PAGE_ABOUT, "Registered ActiveX"},
    {"-REGOPTIONS", SWITCH_SHOW, PAGE_ABOUT, "Custom Registry Monitoring"},
    {"-COOKIES", SWITCH_SHOW, PAGE_ABOUT, "Cookies"},
    {"-AUOption", SWITCH_SHOW, PAGE_ABOUT, "Windows Update Setting"},
};

const SwitchRow *FindSwitch(const char *commandLine)
{
    // The monitor sends the bare switch, but a user's shortcut may quote it or
    // pad it with blanks.
    char text[SWITCH_TEXT_MAX] = "";
    const char *start = commandLine ? commandLine : "";
    while (*start == ' ' || *start == '\t' || *start == '"')
        start++;
    if (!CopyText(text, CAP(text), start)) {
        TestLog("FindSwitch unknown switch", start);
        return &SwitchTable[0];
    }
    size_t len = strlen(text);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' || text[len - 1] == '"'))
        text[--len] = '\0';
    if (!text[0])
        return &SwitchTable[0];
    for (const SwitchRow &row : SwitchTable)
        if (StrEqualNoCase(text, row.text) == 0)
            return &row;
    TestLog("FindSwitch unknown switch", text);
    return &SwitchTable[0];
}
