// The registry places of browser add-ons and ActiveX controls as the tests set them
// up, compare and clean them: class registrations in either view, and the add-on
// areas of both views as one text.
#pragma once
#include <windows.h>
#include <initializer_list>
#include <string>

// HKLM key of a class id's registration (64-bit view; the 32-bit registrations live
// under its Wow6432Node).
std::string ClassKey(const std::string &id, REGSAM view);
// Registers a class: its name (none when NULL) and in-process server (none when empty).
void RegisterClass(const std::string &id, REGSAM view, const char *name, const std::string &server);
// The helper-object, toolbar, extension and compatibility keys of both views.
std::string AddonAreas();
// The same without one item, in the views given: a key (its whole tree), or one value
// line as KeyTreeText writes it ("name=type:data\n") when item holds a "=".
std::string AddonAreasWithout(const std::string &item, REGSAM views);
// Removes every trace of the class ids: registrations, add-on keys and values of
// both views, and the user's extension statistics.
void RemoveAddonKeys(std::initializer_list<std::string> ids);
// Watches the add-on areas' keys of both views and the statistics key, so that the
// ones a test makes go again.
struct NewKeys;
void WatchAddonAreas(NewKeys &keys);
