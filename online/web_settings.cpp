#include "online/web_settings.h"

#include <string.h>

#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

static int StartsWithNoCase(const char *text, const char *head)
{
    size_t n = strlen(head);
    if (strnlen(text, n) < n)
        return 0;
    char part[16];
    CopyTextN(part, CAP(part), text, n);
    return StrEqualNoCase(part, head) == 0;
}

// "http://" or "https://" and at least one more character.
static int IsWebAddress(const char *text)
{
    size_t len = strlen(text);
    return (StartsWithNoCase(text, "http://") && len > 7) || (StartsWithNoCase(text, "https://") && len > 8);
}

int ReadWebAddressSetting(HKEY root, const char *valueName, char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    char value[WEB_SETTING_MAX];
    if (GetRegString(root, BRACKMOOR_KEY, valueName, value, CAP(value)) <= 0)
        return 0;
    size_t end = strlen(value);
    // "host//cgi-bin" is a different page on some servers.
    while (end > 0 && value[end - 1] == '/')
        value[--end] = '\0';
    if (!IsWebAddress(value)) {
        char tag[64];
        FormatText(tag, CAP(tag), "%s not a web address", valueName);
        TestLog(tag, value);
        return 0;
    }
    if (!CopyText(out, cap, value)) {
        out[0] = '\0';   // a cut address would name another host
        return 0;
    }
    return (int)strlen(out);
}

int GetWebSitePage(const char *page, char *out, size_t cap)
{
    char site[WEB_SETTING_MAX];
    if (ReadWebAddressSetting(HKEY_LOCAL_MACHINE, WEB_SITE_VALUE, site, CAP(site)) <= 0)
        CopyText(site, CAP(site), WEB_SITE_DEFAULT);
    FormatText(out, cap, "%s/%s", site, page);
    return (int)strlen(out);
}
