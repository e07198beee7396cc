// The Firefox family's cookie database ("cookies.sqlite"). The browser may hold
// it open in WAL mode and lock it while it writes: every wait for the database is
// bounded by a short busy timeout, after which the step gives up with a trace.
// Deletions run in one transaction after a quick integrity check, so that a
// damaged file is never written to and a failure leaves the rows as they were.
#include "cookies/cookies.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"

#define BUSY_WAIT_MS 250
#define COOKIE_VALUE_MAX 512
// Expiry is seconds since 1970; newer browser versions store milliseconds.
// No date in seconds reaches this (it lies in the year 5138).
#define EXPIRY_MILLISECONDS_FROM 100000000000LL

// Text between the monitor (the ANSI code page) and SQLite (UTF-8). 0 when it
// could not be converted whole; out then holds the bytes as they came, cut to cap.
static int ConvertText(UINT from, UINT to, const char *in, char *out, int cap)
{
    out[0] = '\0';
    if (!in || !in[0])
        return 1;
    WCHAR wide[2 * NUTS_TEXT_MAX];
    int n = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in, -1, wide, (int)(sizeof(wide) / sizeof(wide[0])));
    if (n > 0 && WideCharToMultiByte(to, 0, wide, -1, out, cap, NULL, NULL) > 0)
        return 1;
    CopyText(out, (size_t)cap, in);
    return 0;
}

static void TraceSqlite(const char *tag, sqlite3 *db, const char *path)
{
    char message[2 * MAX_PATH];
    FormatText(message, CAP(message), "%d  %s  %s", sqlite3_extended_errcode(db), sqlite3_errmsg(db),
               path ? path : "");
    TestLog(tag, message);
}

// sqlite3_exec of a statement without rows; 1 when it ran.
static int ExecQuiet(sqlite3 *db, const char *sql, const char *tag)
{
    char *error = NULL;
    int rc = sqlite3_exec(db, sql, NULL, NULL, &error);
    if (rc != SQLITE_OK) {
        TestLog(tag, error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        return 0;
    }
    return 1;
}

static int QuickCheckRow(void *arg, int columns, char **values, char **names)
{
    (void)names;
    int *ok = (int *)arg;
    *ok = columns == 1 && values[0] && strcmp(values[0], "ok") == 0;
    return *ok ? 0 : 1;
}

// "%text%" with the LIKE wild cards of the text escaped by "\", so that the
// pattern names exactly the rows whose column contains the text.
static int LikePattern(const char *utf8, char *out, size_t cap)
{
    size_t j = 0;
    if (cap < 3)
        return 0;
    out[j++] = '%';
    for (const char *p = utf8; *p; p++) {
        if (j + 3 >= cap)
            return 0;
        if (*p == '%' || *p == '_' || *p == '\\')
            out[j++] = '\\';
        out[j++] = *p;
    }
    out[j++] = '%';
    out[j] = '\0';
    return 1;
}

// Both deletions of one filter, the name first. A filter text that holds an
// apostrophe deletes nothing.
static void DeleteFilteredRows(sqlite3 *db, sqlite3_stmt *const byColumn[2], const char *filter)
{
    if (strchr(filter, '\'')) {
        TestLog("MyError:  ProcessCookieDatabase filter with an apostrophe skipped", filter);
        return;
    }
    char utf8[4 * NUTS_TEXT_MAX], pattern[8 * NUTS_TEXT_MAX + 3];
    if (!ConvertText(CP_ACP, CP_UTF8, filter, utf8, (int)sizeof(utf8)) || !LikePattern(utf8, pattern, CAP(pattern))) {
        TestLog("MyError:  ProcessCookieDatabase filter not convertible", filter);
        return;
    }
    for (int k = 0; k < 2; k++) {
        sqlite3_stmt *stmt = byColumn[k];
        if (sqlite3_bind_text(stmt, 1, pattern, -1, SQLITE_TRANSIENT) != SQLITE_OK ||
            sqlite3_step(stmt) != SQLITE_DONE)
            TraceSqlite("MyError:  ProcessCookieDatabase DELETE", db, filter);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
}

// Every filter of the list applied in one transaction; 0 when the database could
// not be written (locked, damaged, not a cookie database): nothing was changed.
static int DeleteFilteredCookies(sqlite3 *db)
{
    if (giNutsListCount == 0)
        return 1;
    if (!ExecQuiet(db, "BEGIN IMMEDIATE", "MyError:  ProcessCookieDatabase BEGIN"))
        return 0;
    static const char *const Statements[2] = {
        "DELETE FROM moz_cookies WHERE name LIKE ?1 ESCAPE '\\'",
        "DELETE FROM moz_cookies WHERE host LIKE ?1 ESCAPE '\\'",
    };
    sqlite3_stmt *byColumn[2] = {NULL, NULL};
    int prepared = 1;
    for (int k = 0; k < 2; k++) {
        if (sqlite3_prepare_v2(db, Statements[k], -1, &byColumn[k], NULL) != SQLITE_OK) {
            TraceSqlite("MyError:  ProcessCookieDatabase sqlite3_prepare_v2", db, Statements[k]);
            prepared = 0;
        }
    }
    for (int i = 0; prepared && i < giNutsListCount; i++) {
        NutsEntry *entry = (NutsEntry *)GlobalLock(gNutsList[i]);
        if (!entry)
            continue;
        DeleteFilteredRows(db, byColumn, entry->text);
        GlobalUnlock(gNutsList[i]);
    }
    for (sqlite3_stmt *stmt : byColumn)
        sqlite3_finalize(stmt);
    if (prepared && ExecQuiet(db, "COMMIT", "MyError:  ProcessCookieDatabase COMMIT"))
        return 1;
    ExecQuiet(db, "ROLLBACK", "MyError:  ProcessCookieDatabase ROLLBACK");
    return 0;
}

typedef struct RowColumns {
    const char *name, *value, *path, *host, *expiry, *isSecure;
} RowColumns;

static void FormatExpiry(const DateFormat *format, const char *text, char *out)
{
    out[0] = '\0';
    if (!text)
        return;
    long long when = strtoll(text, NULL, 10);
    if (when >= EXPIRY_MILLISECONDS_FROM)
        when /= 1000;
    SYSTEMTIME st;
    UnixTimeToSystemTime(when, &st);
    FormatDateWith(format, &st, out);
}

#define WANTED_COLUMNS 6

// Where the rows of "SELECT *" go, how many went, the user's date patterns and
// the places of the wanted columns, found once for all the rows.
typedef struct CookieRows {
    RunList *list;
    int added;
    DateFormat format;
    int columnsFound;
    int column[WANTED_COLUMNS];   // -1: the table has no such column
} CookieRows;

// The wanted columns by name, in any case; others are ignored. Every row of one
// statement has the same columns.
static void FindColumns(CookieRows *rows, int columns, char **names)
{
    static const char *const Wanted[WANTED_COLUMNS] = {"name", "value", "path", "host", "expiry", "isSecure"};
    for (int w = 0; w < WANTED_COLUMNS; w++) {
        rows->column[w] = -1;
        for (int c = 0; c < columns; c++)
            if (names[c] && lstrcmpiA(names[c], Wanted[w]) == 0)
                rows->column[w] = c;
    }
    rows->columnsFound = 1;
}

// One row of "SELECT *".
static int CookieRow(void *arg, int columns, char **values, char **names)
{
    CookieRows *rows = (CookieRows *)arg;
    // A full list takes no more records: the rest of the rows cost nothing.
    if (!rows->list || rows->list->count >= RUN_LIST_MAX)
        return 0;
    if (!rows->columnsFound)
        FindColumns(rows, columns, names);
    RowColumns row = {};
    const char **slots[WANTED_COLUMNS] = {&row.name, &row.value, &row.path, &row.host, &row.expiry, &row.isSecure};
    for (int w = 0; w < WANTED_COLUMNS; w++)
        if (rows->column[w] >= 0 && rows->column[w] < columns)
            *slots[w] = values[rows->column[w]];
    char host[RUN_NAME_MAX], name[RUN_NAME_MAX], key[RUN_NAME_MAX], path[RUN_PATH_MAX];
    char value[COOKIE_VALUE_MAX], expiry[FILE_TIME_TEXT_MAX];
    ConvertText(CP_UTF8, CP_ACP, row.host, host, (int)sizeof(host));
    ConvertText(CP_UTF8, CP_ACP, row.name, name, (int)sizeof(name));
    ConvertText(CP_UTF8, CP_ACP, row.path, path, (int)sizeof(path));
    ConvertText(CP_UTF8, CP_ACP, row.value, value, (int)sizeof(value));
    FormatText(key, CAP(key), "%s / %s", host, name);
    FormatExpiry(&rows->format, row.expiry, expiry);
    int secure = row.isSecure ? atoi(row.isSecure) : 0;
    rows->added += AddRunStruct(rows->list, key, path, value, expiry, CODE_MOZILLA_COOKIE, secure);
    return 0;
}

int ProcessCookieDatabase(RunList *list, const char *path)
{
    char utf8[4 * MAX_PATH];
    if (!path || !ConvertText(CP_ACP, CP_UTF8, path, utf8, (int)sizeof(utf8)) || !utf8[0])
        return 0;
    sqlite3 *db = NULL;
    // No SQLITE_OPEN_CREATE: a missing store is not made up as an empty one.
    if (sqlite3_open_v2(utf8, &db, SQLITE_OPEN_READWRITE, NULL) != SQLITE_OK) {
        TraceSqlite("MyError:  ProcessCookieDatabase sqlite3_open_v2", db, path);
        sqlite3_close(db);
        return 0;
    }
    sqlite3_busy_timeout(db, BUSY_WAIT_MS);
    int ok = 0;
    char *error = NULL;
    if (sqlite3_exec(db, "PRAGMA quick_check", QuickCheckRow, &ok, &error) != SQLITE_OK || !ok) {
        TestLog("MyError:  ProcessCookieDatabase PRAGMA quick_check", error ? error : path);
        sqlite3_free(error);
        sqlite3_close(db);
        return 0;
    }
    CookieRows rows = {};
    rows.list = list;
    ReadDateFormat(&rows.format);
    if (DeleteFilteredCookies(db) &&
        sqlite3_exec(db, "SELECT * FROM moz_cookies", CookieRow, &rows, &error) != SQLITE_OK) {
        TestLog("MyError:  ProcessCookieDatabase SELECT", error ? error : path);
        sqlite3_free(error);
        // A half-read store would announce a part of it as new.
        rows.added = 0;
        FreeRunList(list);
    }
    sqlite3_close(db);
    return rows.added;
}
