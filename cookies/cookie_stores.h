// Where the browsers keep their cookies: Internet Explorer's per-file cookie
// folder and the Firefox / Pale Moon profile, each overridable by a value of the
// monitor's own key, and which browser family the cookie steps work on.
#pragma once
#include <windows.h>

enum { BROWSER_FAMILY_IE = 1, BROWSER_FAMILY_MOZILLA = 3 };
// The family the cookie steps work on; decided by every removal step, so that
// until the first one has run the collecting step looks at Internet Explorer.
extern int giBrowserFamily;
int DecideBrowserFamily(void);

enum { COOKIE_INDEX_NONE = 0, COOKIE_INDEX_DAT = 1, COOKIE_CONTAINER_DAT = 2 };
int GetCookieIndexKind(const char *folder);
// out: MAX_PATH. 1 when a folder with an index file was found.
int GetIECookieFolder(char *out);
// out: MAX_PATH, the profile folder. 1 when it holds the cookie file of the
// installed browser's version (or when the "CookieFolder" value names it).
int GetMozillaCookieFolder(char *out);
// The major version of the installed Pale Moon, else of Firefox, else 0.
int GetMozillaMajorVersion(void);
// The profile's cookie file for a major version: "\cookies.sqlite" from 3 on.
const char *MozillaCookieFileName(int majorVersion);
