// The tool buttons the service, task and IE helper alerts share: Exit, Help and
// the mascot, the online information, the program's folder and its property
// sheet. Their answers stay with each alert.
#pragma once
#include <windows.h>

// TRUE when id was one of them and has been carried out; whatever it opened can
// come in front of the alert (the alert leaves the topmost band). name and path:
// the item as the alert shows it; programFile: the file whose property sheet
// Properties shows; keelCode: the online lookup's category.
BOOL AlertToolCommand(HWND dialog, int id, int notification, const char *name, const char *path,
                      const char *programFile, int keelCode);
// The same for the alerts about an AlertItem (services, tasks): its program file
// and its category code plus 1000 for the lookup.
struct AlertItem;
BOOL AlertItemToolCommand(HWND dialog, const struct AlertItem *entry, int id, int notification);
