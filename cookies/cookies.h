// Cookie filters ("nuts", the cookies to be eaten), their removal from the
// browser's store, and the collection of the store for the new-cookie notice.
// Cookies found are records of the shared run list: code 500 for an Internet
// Explorer cookie file, 504 for a cookie of the Firefox family.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

#define NUTS_KEY BRACKMOOR_KEY "\\Nuts"          // one value per filter; data "2": one-time
#define KNOWN_COOKIES_KEY BRACKMOOR_KEY "\\Cookies" // one value per cookie the user has seen
#define NUTS_TEXT_MAX 512
#define NUTS_ONE_TIME 2
#define CODE_MOZILLA_COOKIE 504

// The filter list exists only during a removal step.
typedef struct NutsEntry {
    char text[NUTS_TEXT_MAX];
    int kind;
    char upper[NUTS_TEXT_MAX];  // the text in capitals, as every match compares it
} NutsEntry;
extern HGLOBAL *gNutsList;
extern int giNutsListCount;

int LoadNutsList(void);
// 1 when text (shorter than 513 characters) contains a filter text, in any case.
int MatchesNutsFilter(const char *text);
// 1 when text equals a filter text, in any case: the name of a value of the filter key.
int IsNutsFilterName(const char *text);
void FreeNutsList(void);
// Deletes the one-time filters; run once their cookies are gone from the store.
int ClearOneTimeNuts(void);

// The Mozilla profile's stores. remove: drop what the filters name first. Each
// returns the number of cookie records added to the run list.
int ProcessCookieDatabase(RunList *list, const char *path);
int ProcessCookieTextFile(RunList *list, const char *folder, int remove);
int ProcessMozillaCookies(RunList *list, int remove);
// Internet Explorer's cookie files, walked the same way.
int ProcessIECookies(RunList *list, int remove);
// 1 when list holds a cookie that has no value under the known-cookie key.
int HasUnseenCookie(const RunList *list);
// Copies the rewritten "cookiesnew.txt" over "cookies.txt" of folder once asked
// to and no browser window is open; 1 when it did.
int UpdateCookieFile(const char *folder);

// The steps of the scan pass.
int EatCookies(ScanPass *pass);  // removal of every cookie a filter names
int PendingCookieFileStep(void); // the waiting "cookies.txt" replacement
int CollectCookies(void);        // 1 when a cookie the user has not seen is in the store
