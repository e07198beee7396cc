#include "watchers/alert_tools.h"

#include "common/files.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "ui/alert.h"

// The online lookup files an item's program under its category code plus this.
#define KEEL_CODE_OFFSET 1000

BOOL AlertToolCommand(HWND dialog, int id, int notification, const char *name, const char *path,
                      const char *programFile, int keelCode)
{
    switch (id) {
    case IDC_ABORT:
        AlertExitMonitor();
        return TRUE;
    case IDC_INFO:
        GetKeelInfo(name, path, keelCode);
        break;
    case IDC_LOCATION:
        OpenFolderOf(dialog, path);
        break;
    case IDC_PROPERTIES:
        ShowAlertFileProperties(dialog, programFile);
        break;
    case IDC_MASCOT:
        // The picture also reports double clicks; one page is enough.
        if (notification != STN_CLICKED)
            return FALSE;
        [[fallthrough]];
    case IDHELP:
        AlertHelpOpener(ALERT_HELP_PAGE);
        break;
    default:
        return FALSE;
    }
    SetAlertNotTopmost(dialog);
    return TRUE;
}

BOOL AlertItemToolCommand(HWND dialog, const AlertItem *entry, int id, int notification)
{
    char program[MAX_PATH];
    AlertProgramFile(entry->path, program);
    return AlertToolCommand(dialog, id, notification, entry->name, entry->path, program,
                            entry->code + KEEL_CODE_OFFSET);
}
