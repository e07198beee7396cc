#include "watchers/alert_tools.h"

#include "common/files.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "ui/alert.h"

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
