#include "support/addon_keys.h"

#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/ie_helpers.h"

static const char *const Areas[] = {BHO_KEY, TOOLBAR_KEY, EXTENSIONS_KEY, ACTIVEX_COMPAT_KEY};
static const REGSAM Views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

std::string ClassKey(const std::string &id, REGSAM view)
{
    return std::string(view == KEY_WOW64_32KEY ? "Software\\Classes\\Wow6432Node\\CLSID\\"
                                               : "Software\\Classes\\CLSID\\") + id;
}

void RegisterClass(const std::string &id, REGSAM view, const char *name, const std::string &server)
{
    if (name)
        RegPut(HKEY_LOCAL_MACHINE, ClassKey(id, view).c_str(), "", name, KEY_WOW64_64KEY);
    if (!server.empty())
        RegPut(HKEY_LOCAL_MACHINE, (ClassKey(id, view) + "\\InprocServer32").c_str(), "", server.c_str(),
               KEY_WOW64_64KEY);
}

std::string AddonAreas()
{
    std::string text;
    for (REGSAM view : Views)
        for (const char *area : Areas)
            text += KeyTreeText(HKEY_LOCAL_MACHINE, area, view);
    return text;
}

std::string AddonAreasWithout(const std::string &item, REGSAM views)
{
    std::string text;
    for (REGSAM view : Views)
        for (const char *area : Areas) {
            std::string part = KeyTreeText(HKEY_LOCAL_MACHINE, area, view);
            if (view & views)
                part = WithoutText(part, item.find('=') != std::string::npos
                                             ? item : KeyTreeText(HKEY_LOCAL_MACHINE, item, view));
            text += part;
        }
    return text;
}

void RemoveAddonKeys(std::initializer_list<std::string> ids)
{
    for (const std::string &id : ids) {
        for (REGSAM view : Views) {
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, ClassKey(id, view).c_str(), KEY_WOW64_64KEY);
            for (const char *area : {BHO_KEY, EXTENSIONS_KEY, ACTIVEX_COMPAT_KEY})
                RegDeleteTreeView(HKEY_LOCAL_MACHINE, (std::string(area) + "\\" + id).c_str(), view);
            RegRemoveValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, id.c_str(), view);
        }
        RegDeleteTreeView(HKEY_CURRENT_USER, (std::string(EXT_STATS_KEY) + "\\" + id).c_str());
    }
}

void WatchAddonAreas(NewKeys &keys)
{
    // The 32-bit view of HKLM "SOFTWARE\..." is "SOFTWARE\Wow6432Node\...".
    for (const char *area : Areas) {
        keys.Watch(HKEY_LOCAL_MACHINE, area);
        keys.Watch(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Wow6432Node") + (area + 8));
    }
    keys.Watch(HKEY_CURRENT_USER, EXT_STATS_KEY);
}
