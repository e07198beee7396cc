// File times and the date text in the user's own short-date and time format.
#include "common/files.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

#define INTERNATIONAL_KEY "Control Panel\\International"
// Each half of the date text; joined by one blank they fill FILE_TIME_TEXT_MAX.
#define DATE_PART_MAX 12

typedef enum { MONTH_DAY_YEAR, YEAR_MONTH_DAY, DAY_MONTHNAME_YEAR } DateOrder;

typedef struct DatePattern {
    const char *pattern;
    const char *format;
    DateOrder order;
} DatePattern;

// The first row is also the answer for a pattern that none matches. Two-digit
// year patterns still get the full year: "%02d" only pads, it never cuts.
static const DatePattern DatePatterns[] = {
    {"M/d/yyyy", "%02d/%02d/%04d", MONTH_DAY_YEAR},
    {"M/d/yy", "%02d/%02d/%02d", MONTH_DAY_YEAR},
    {"MM/dd/yy", "%02d/%02d/%02d", MONTH_DAY_YEAR},
    {"MM/dd/yyyy", "%02d/%02d/%04d", MONTH_DAY_YEAR},
    {"yy/MM/dd", "%02d/%02d/%02d", YEAR_MONTH_DAY},
    {"yyyy-MM-dd", "%04d-%02d-%02d", YEAR_MONTH_DAY},
    {"dd-MMM-yy", "%02d-%s-%02d", DAY_MONTHNAME_YEAR},
};

typedef struct TimePattern {
    const char *pattern;
    const char *format;
    int twelveHour;
} TimePattern;

static const TimePattern TimePatterns[] = {
    {"h:mm:ss tt", "%d:%02d", 1},
    {"hh:mm:ss tt", "%02d:%02d", 1},
    {"H:mm:ss", "%d:%02d", 0},
    {"HH:mm:ss", "%02d:%02d", 0},
};

static const char *const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

static void FormatDatePart(const SYSTEMTIME *t, const DatePattern *row, char *out)
{
    int year = t->wYear, month = t->wMonth, day = t->wDay;
    switch (row->order) {
    case MONTH_DAY_YEAR:
        FormatText(out, DATE_PART_MAX, row->format, month, day, year);
        break;
    case YEAR_MONTH_DAY:
        FormatText(out, DATE_PART_MAX, row->format, year, month, day);
        break;
    case DAY_MONTHNAME_YEAR:
        FormatText(out, DATE_PART_MAX, row->format, day,
                   (month >= 1 && month <= 12) ? MonthNames[month - 1] : "", year);
        break;
    }
}

void ReadDateFormat(DateFormat *format)
{
    char datePattern[64], timePattern[64];
    GetRegString(HKEY_CURRENT_USER, INTERNATIONAL_KEY, "sShortDate", datePattern, CAP(datePattern));
    GetRegString(HKEY_CURRENT_USER, INTERNATIONAL_KEY, "sTimeFormat", timePattern, CAP(timePattern));
    format->date = 0;
    for (int i = 0; i < (int)(sizeof(DatePatterns) / sizeof(DatePatterns[0])); i++) {
        if (StrEqualNoCase(datePattern, DatePatterns[i].pattern) == 0) {
            format->date = i;
            break;
        }
    }
    format->time = 0;
    for (int i = 0; i < (int)(sizeof(TimePatterns) / sizeof(TimePatterns[0])); i++) {
        if (StrEqualNoCase(timePattern, TimePatterns[i].pattern) == 0) {
            format->time = i;
            break;
        }
    }
}

int FormatDateWith(const DateFormat *format, const SYSTEMTIME *t, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!t || !format)
        return 0;
    const TimePattern *time = &TimePatterns[format->time];
    char dateText[DATE_PART_MAX], timeText[DATE_PART_MAX];
    FormatDatePart(t, &DatePatterns[format->date], dateText);
    int hour = t->wHour, minute = t->wMinute;
    if (time->twelveHour) {
        int clock = hour % 12 == 0 ? 12 : hour % 12;
        FormatText(timeText, DATE_PART_MAX, time->format, clock, minute);
        AppendText(timeText, DATE_PART_MAX, hour < 12 ? " AM" : " PM");
    } else {
        FormatText(timeText, DATE_PART_MAX, time->format, hour, minute);
    }
    FormatText(out, FILE_TIME_TEXT_MAX, "%s %s", dateText, timeText);
    return 1;
}

int FormatDateLocal(const SYSTEMTIME *t, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!t)
        return 0;
    DateFormat format;
    ReadDateFormat(&format);
    return FormatDateWith(&format, t, out);
}

// A FILETIME of UTC as the local SYSTEMTIME; zeroed when it cannot be converted.
static int LocalSystemTime(const FILETIME *utc, SYSTEMTIME *out)
{
    FILETIME local;
    if (FileTimeToLocalFileTime(utc, &local) && FileTimeToSystemTime(&local, out))
        return 1;
    memset(out, 0, sizeof(*out));
    return 0;
}

void UnixTimeToSystemTime(long long seconds, SYSTEMTIME *out)
{
    if (!out)
        return;
    // 11644473600 seconds lie between 1601-01-01 and 1970-01-01.
    unsigned long long ticks = (unsigned long long)(seconds + 11644473600LL) * 10000000ULL;
    FILETIME utc;
    utc.dwLowDateTime = (DWORD)(ticks & 0xFFFFFFFFULL);
    utc.dwHighDateTime = (DWORD)(ticks >> 32);
    LocalSystemTime(&utc, out);
}

int GetMyFileTime(const char *path, char *created, char *modified, char *accessed, char *sizeText)
{
    char *outputs[] = {created, modified, accessed, sizeText};
    for (char *o : outputs)
        if (o)
            o[0] = '\0';
    if (!path || !path[0])
        return 0;

    int result = 0;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        if (TraceConfigured())
            TestLog("GetMyFileTime  CreateFile OPEN_EXITING ---", path);
    } else {
        FILETIME times[3];
        DWORD size = 0;
        if (!GetFileTime(file, &times[0], &times[2], &times[1])) {
            if (TraceConfigured())
                TestLog("GetMyFileTime  GetFileTime ---", path);
        } else if ((size = GetFileSize(file, NULL)) == INVALID_FILE_SIZE &&
                   GetLastError() != NO_ERROR) {
            if (TraceConfigured())
                TestLog("GetMyFileTime  GetFileSize ---", path);
        } else {
            // times: created, modified, accessed, the order of the outputs.
            DateFormat format;
            ReadDateFormat(&format);
            for (int k = 0; k < 3; k++) {
                SYSTEMTIME st;
                if (outputs[k] && LocalSystemTime(&times[k], &st))
                    FormatDateWith(&format, &st, outputs[k]);
            }
            if (sizeText)
                FormatText(sizeText, FILE_TIME_TEXT_MAX, "%lu", (unsigned long)size);
            result = 1;
        }
        CloseHandle(file);
    }
    RevertFsRedirection(redirection);
    return result;
}

// The last-write time's text, "yyyy/mm/dd hh:mm".
static int FormatShortTime(const SYSTEMTIME *st, char *out)
{
    FormatText(out, FILE_TIME_TEXT_MAX, "%04d/%02d/%02d %02d:%02d", st->wYear, st->wMonth, st->wDay, st->wHour,
               st->wMinute);
    return (int)strlen(out);
}

int FormatWriteTime(const FILETIME *utc, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    SYSTEMTIME st;
    if (!utc || !LocalSystemTime(utc, &st))
        return 0;
    return FormatShortTime(&st, out);
}

// A file's directory entry and its last-write time in local time: enough for the
// date and size, without opening the file, let alone reading it.
static int ReadDirectoryEntry(const char *path, WIN32_FILE_ATTRIBUTE_DATA *data, SYSTEMTIME *lastWrite)
{
    PVOID redirection;
    DisableFsRedirection(&redirection);
    BOOL ok = GetFileAttributesExA(path, GetFileExInfoStandard, data);
    RevertFsRedirection(redirection);
    return ok && LocalSystemTime(&data->ftLastWriteTime, lastWrite);
}

int GetFileDateSize(const char *path, char *dateText, char *sizeText)
{
    dateText[0] = sizeText[0] = '\0';
    if (!path || !path[0])
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME st;
    if (!ReadDirectoryEntry(path, &data, &st) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    FormatDateLocal(&st, dateText);
    unsigned long long size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    FormatText(sizeText, FILE_TIME_TEXT_MAX, "%llu", size);
    return 1;
}

int FormatFileTime(const char *path, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!path || !path[0])
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME st;
    if (!ReadDirectoryEntry(path, &data, &st))
        return 0;
    return FormatShortTime(&st, out);
}
