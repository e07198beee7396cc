// The browser pages watcher: Internet Explorer's start and search pages and the
// desktop's page, each against the copy the user last approved.
#include "watchers/pages.h"

#include <string.h>

#include <initializer_list>

#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"

#define TIP_PAGES 829

PageHelpOpenerProc PageHelpOpener = OpenHelpPage;
#define ORIGINAL_PAGE_MIN 6         // shorter texts name no page worth keeping

// Key and value names come from the string table, so a translation can point
// them elsewhere; the desktop page's value name has no entry.
typedef struct PageDef {
    UINT keyId, valueId;
    const char *valueName;
    const char *copy;               // the approved copy under the program's key
    const char *tag;
    UINT format, title;
    int helpPage;
} PageDef;

static const PageDef Pages[] = {
    {623, 624, NULL, "StartPage", "Start Page", 625, 624, 6062},
    {623, 675, NULL, "SearchPage", "Search Page", 676, 675, 6063},
    {1016, 0, "Source", "SourcePage", "Source Page", 1017, 1000, 6064},
};

typedef struct PagePlace {
    char key[LANG_TEXT_MAX], value[LANG_TEXT_MAX];
} PagePlace;

static void PlaceOf(const PageDef *page, PagePlace *place)
{
    GetLangString(page->keyId, CAP(place->key), place->key);
    if (page->valueName)
        CopyText(place->value, CAP(place->value), page->valueName);
    else
        GetLangString(page->valueId, CAP(place->value), place->value);
}

// The page's value as text; 0 when it is too long to be compared (traced).
static int ReadPage(HKEY root, const char *key, const char *value, char *out)
{
    DWORD type;
    if (GetRegValueText(root, key, value, out, PAGE_TEXT_MAX, &type) < 0) {
        TestLog("VerifyStartPages page too long", value);
        return 0;
    }
    return 1;
}

// Equal ignoring letter case and one trailing "/" on either side.
static int SamePage(const char *a, const char *b)
{
    char left[PAGE_TEXT_MAX], right[PAGE_TEXT_MAX];
    CopyText(left, CAP(left), a);
    CopyText(right, CAP(right), b);
    for (char *text : {left, right}) {
        size_t len = strlen(text);
        if (len > 0 && text[len - 1] == '/')
            text[len - 1] = '\0';
    }
    return StrEqualNoCase(left, right) == 0;
}

static int AskAboutPage(const PageDef *page, const char *watched, const char *approved)
{
    SettingAlert alert;
    char format[LANG_TEXT_MAX];
    GetLangString(page->format, CAP(format), format);
    const char *args[] = {watched, approved};
    SubstituteText(alert.message, CAP(alert.message), format, args, 2);
    GetLangString(page->title, CAP(alert.title), alert.title);
    alert.helpPage = page->helpPage;
    return RunAlert(IDD_SETTINGALERT, SettingAlertDlgProc, (LPARAM)&alert, giHideHomePage, TIP_PAGES, 1);
}

// One page; 1 when it differed from its approved copy.
static int VerifyPage(const PageDef *page)
{
    PagePlace place;
    PlaceOf(page, &place);
    char watched[PAGE_TEXT_MAX], approved[PAGE_TEXT_MAX];
    if (!ReadPage(HKEY_CURRENT_USER, place.key, place.value, watched) ||
        !ReadPage(HKEY_CURRENT_USER, BRACKMOOR_KEY, page->copy, approved))
        return 0;
    TestLog(page->tag, watched);
    if (!approved[0]) {
        // The first run of the watcher approves the page the user has.
        if (watched[0])
            SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, page->copy, watched);
        return 0;
    }
    if (SamePage(watched, approved))
        return 0;
    int answer = AskAboutPage(page, watched, approved);
    if (answer == ANSWER_ACCEPT) {
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, page->copy, watched);
        WriteLog(LOG_SETTING_ACCEPT, CODE_BROWSERPAGE, page->tag, watched, approved);
    } else if (answer == ANSWER_REJECT) {
        if (SetRegString(HKEY_CURRENT_USER, place.key, place.value, approved)) {
            WriteLog(LOG_SETTING_RESTORE, CODE_BROWSERPAGE, page->tag, approved, watched);
        } else {
            TestLog("MyError:  VerifyStartPages write back", place.key);
        }
    } else if (answer == IDC_SETTING_HELP) {
        // Nothing changes: the same question comes with the next check.
        PageHelpOpener(page->helpPage);
    }
    return 1;
}

int VerifyStartPages(ScanPass *pass)
{
    (void)pass;
    int changes = 0;
    for (const PageDef &page : Pages)
        changes += VerifyPage(&page);
    TestLog("Compare 7c", "END-OF-LOOP");
    return changes;
}

void RecordOriginalPages(void)
{
    static const char *const originals[] = {"OriginalStartPage", "OriginalSearchPage"};
    for (int i = 0; i < 2; i++) {
        PagePlace place;
        PlaceOf(&Pages[i], &place);
        char page[PAGE_TEXT_MAX];
        if (ReadPage(HKEY_CURRENT_USER, place.key, place.value, page) && strlen(page) >= ORIGINAL_PAGE_MIN)
            SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, originals[i], page);
    }
}
