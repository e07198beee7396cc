// Web addresses the monitor takes from its configuration: a setting is used only
// when it is an "http://" or "https://" address with a host, without the "/" at
// its end (the pages bring their own). Anything else would be handed to the shell
// as a file or a program to run, so it counts as not set (and is traced).
#pragma once
#include <windows.h>
#include <stddef.h>

#define WEB_SETTING_MAX 512

// The value under root BRACKMOOR_KEY; its length, 0 when absent or not a web address.
int ReadWebAddressSetting(HKEY root, const char *valueName, char *out, size_t cap);

// The vendor's web site: HKLM BRACKMOOR_KEY "WebSite", or a reserved default that
// answers nothing until a deployment sets its own. page is appended after a "/".
#define WEB_SITE_VALUE "WebSite"
#define WEB_SITE_DEFAULT "https://www.dunmere.example/brackmoor"
int GetWebSitePage(const char *page, char *out, size_t cap);
