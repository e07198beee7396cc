// The old Firefox cookie file "cookies.txt" (one cookie a line, fields split by
// TAB). The browser may hold the file, so the filtered copy goes to
// "cookiesnew.txt" and replaces the original only once no browser window is open.
#include "cookies/cookies.h"

#include <stdlib.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"

#define COOKIE_FILE_MAX 268288
#define COOKIE_FIELDS 7
#define COOKIE_NAME_MAX 256
#define COOKIE_VALUE_MAX 512
#define COOKIE_LINE_MAX 4096
#define UPDATE_COOKIE_OPTION "UpdateCookieFile"

typedef struct CookieLine {
    char domain[COOKIE_NAME_MAX], path[RUN_PATH_MAX], expiry[FILE_TIME_TEXT_MAX];
    char name[COOKIE_NAME_MAX], value[COOKIE_VALUE_MAX], key[COOKIE_NAME_MAX];
    int secure;
} CookieLine;

// Splits one line (without its LF) into its fields; 0 for a comment or a line
// without a domain, which give no record. format: the user's date patterns.
static int ParseCookieLine(const char *line, size_t len, const DateFormat *format, CookieLine *out)
{
    char field[COOKIE_FIELDS][COOKIE_VALUE_MAX];
    memset(field, 0, sizeof(field));
    memset(out, 0, sizeof(*out));
    size_t start = 0;
    for (int f = 0; f < COOKIE_FIELDS && start <= len; f++) {
        const char *tab = (const char *)memchr(line + start, '\t', len - start);
        size_t end = tab ? (size_t)(tab - line) : len;
        CopyTextN(field[f], CAP(field[f]), line + start, end - start);
        start = end + 1;
        if (!tab)
            break;
    }
    // A CR of a CR LF line ends the last field, not the value.
    size_t vlen = strlen(field[6]);
    if (vlen > 0 && field[6][vlen - 1] == '\r')
        field[6][vlen - 1] = '\0';
    if (field[0][0] == '#' || field[0][0] == '\0')
        return 0;
    CopyText(out->domain, CAP(out->domain), field[0][0] == '.' ? field[0] + 1 : field[0]);
    if (!out->domain[0])
        return 0;
    CopyText(out->path, CAP(out->path), field[2]);
    out->secure = StrContains(field[3], "TRUE");
    SYSTEMTIME st;
    UnixTimeToSystemTime(strtoll(field[4], NULL, 10), &st);
    FormatDateWith(format, &st, out->expiry);
    CopyText(out->name, CAP(out->name), field[5]);
    CopyText(out->value, CAP(out->value), field[6]);
    FormatText(out->key, CAP(out->key), "%s - %s", out->domain, out->name);
    return 1;
}

static HANDLE OpenCookieFile(const char *folder, const char *name, int forWriting)
{
    char path[MAX_PATH];
    if (!FormatText(path, CAP(path), "%s%s", folder, name))
        return INVALID_HANDLE_VALUE;
    HANDLE file = forWriting ? CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)
                             : CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE && (forWriting || TraceConfigured()))
        TraceLastError(forWriting ? "MyError:  ProcessMozillaCookies OpenFile cookiesnew.txt"
                                  : "MyError:  ProcessMozillaCookies OpenFile cookies.txt");
    return file;
}

static int WriteAll(HANDLE file, const char *data, size_t len)
{
    DWORD written = 0;
    return len == 0 || (WriteFile(file, data, (DWORD)len, &written, NULL) && written == len);
}

// Goes through the text a line at a time. With out, a line that no filter names
// is copied, each with the LF that preceded it, so that the copy holds the kept
// lines in order with one LF between them. A last line without its LF may be a
// line the browser is still writing: it is neither recorded nor copied.
static int ProcessCookieText(RunList *list, const char *text, size_t size, HANDLE out)
{
    int added = 0, copyOk = 1;
    CookieLine *cookie = (CookieLine *)HeapAlloc(GetProcessHeap(), 0, sizeof(CookieLine));
    char *line = (char *)HeapAlloc(GetProcessHeap(), 0, COOKIE_LINE_MAX);
    DateFormat format;
    ReadDateFormat(&format);
    if (!cookie || !line) {
        added = -1;
        size = 0;
    }
    for (size_t start = 0; start < size;) {
        const char *lf = (const char *)memchr(text + start, '\n', size - start);
        if (!lf)
            break;
        size_t len = (size_t)(lf - text) - start;
        int recorded = ParseCookieLine(text + start, len, &format, cookie);
        int keep = 1;
        if (out) {
            CopyTextN(line, COOKIE_LINE_MAX, text + start, len);
            // A line too long to test is one no filter can be said to name.
            keep = !MatchesNutsFilter(line) && !(recorded && IsNutsFilterName(cookie->key));
            if (keep && copyOk)
                copyOk = (start == 0 || WriteAll(out, "\n", 1)) && WriteAll(out, text + start, len);
        }
        if (recorded && keep)
            added += AddRunStruct(list, cookie->key, cookie->path, cookie->value, cookie->expiry, CODE_MOZILLA_COOKIE,
                                  cookie->secure);
        start += len + 1;
    }
    if (cookie)
        HeapFree(GetProcessHeap(), 0, cookie);
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    return copyOk ? added : -1;
}

int ProcessCookieTextFile(RunList *list, const char *folder, int remove)
{
    HANDLE out = NULL;
    if (remove && (out = OpenCookieFile(folder, "\\cookiesnew.txt", 1)) == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE in = OpenCookieFile(folder, "\\cookies.txt", 0);
    char *text = in != INVALID_HANDLE_VALUE ? (char *)HeapAlloc(GetProcessHeap(), 0, COOKIE_FILE_MAX) : NULL;
    DWORD got = 0;
    int added = -1;
    if (text && ReadFile(in, text, COOKIE_FILE_MAX, &got, NULL))
        added = ProcessCookieText(list, text, got, out);
    // Beyond the part that is read, a copy would lose cookies no filter names.
    if (out && added >= 0 && GetFileSize(in, NULL) > COOKIE_FILE_MAX)
        added = -1;
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (!out)
        return added > 0 ? added : 0;
    CloseHandle(out);
    char path[MAX_PATH];
    if (added < 0) {
        // A copy that is not whole must never replace the browser's file.
        TestLog("MyError:  ProcessMozillaCookies cookiesnew.txt", "not written whole; discarded");
        if (FormatText(path, CAP(path), "%s\\cookiesnew.txt", folder))
            fileRemoveFile(path);
        return 0;
    }
    SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, UPDATE_COOKIE_OPTION, "1");
    return added;
}

int UpdateCookieFile(const char *folder)
{
    if (!folder || ReadOptionInt(UPDATE_COOKIE_OPTION, 0) < 1)
        return 0;
    char windowClass[LANG_TEXT_MAX];
    if (GetLangString(11, CAP(windowClass), windowClass) > 0 && FindWindowA(windowClass, NULL))
        return 0;   // the browser still holds its file; the next step tries again
    char from[MAX_PATH], to[MAX_PATH];
    if (!FormatText(from, CAP(from), "%s\\cookiesnew.txt", folder) ||
        !FormatText(to, CAP(to), "%s\\cookies.txt", folder))
        return 0;
    if (!CopyFileA(from, to, FALSE)) {
        TraceLastError("MyError:  UpdateCookieFile CopyFile");
        return 0;
    }
    return 1;
}
