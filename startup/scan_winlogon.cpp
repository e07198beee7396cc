// Winlogon's "Userinit" and "Shell": the programs Windows itself starts at logon,
// where an added program hides behind the real one.
#include "startup/startup_scan.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"
#include "common/runlist.h"

#define WINLOGON_VALUE_MAX MAX_PATH

static void CopyPart(char *out, const char *from, size_t len)
{
    CopyTextN(out, MAX_PATH, from, len);
}

// The text after position cut with its leading blanks skipped, or the whole value
// when only blanks follow.
static int TakeAfter(const char *value, const char *cut, char *out)
{
    const char *rest = cut + 1;
    while (*rest == ' ')
        rest++;
    CopyPart(out, *rest ? rest : value, MAX_PATH - 1);
    return (int)strlen(out);
}

int ParseUserinitText(const char *value, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    const char *comma = value ? strchr(value, ',') : NULL;
    if (!comma)
        return 0;
    // Windows' own value is "...\userinit.exe,": the program before the comma. A
    // program after it is one that was added to the logon.
    if (comma[1] == '\0') {
        CopyPart(out, value, (size_t)(comma - value));
        return (int)strlen(out);
    }
    return TakeAfter(value, comma, out);
}

int ParseShellText(const char *value, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!value || !value[0])
        return 0;
    const char *blank = strchr(value, ' ');
    if (!blank) {
        CopyPart(out, value, MAX_PATH - 1);
        return (int)strlen(out);
    }
    if (blank[1] == '\0') {
        CopyPart(out, value, (size_t)(blank - value));
        return (int)strlen(out);
    }
    return TakeAfter(value, blank, out);
}

static int ReadWinlogonValue(const char *name, char *value)
{
    return ReadValueInView(HKEY_LOCAL_MACHINE, WINLOGON_KEY, name, value, WINLOGON_VALUE_MAX,
                           MachineView());
}

int ReadWinlogonUserinit(char *out)
{
    char value[WINLOGON_VALUE_MAX];
    if (!out)
        return 0;
    out[0] = '\0';
    if (ReadWinlogonValue("UserInit", value) <= 0)
        return 0;
    return ParseUserinitText(value, out);
}

int ReadWinlogonShell(char *out)
{
    char value[WINLOGON_VALUE_MAX];
    if (!out)
        return 0;
    out[0] = '\0';
    if (ReadWinlogonValue("Shell", value) <= 0)
        return 0;
    return ParseShellText(value, out);
}

void ReadWinlogonEntries(RunList *list)
{
    char program[MAX_PATH];
    if (ReadWinlogonUserinit(program) > 0)
        AddRunStruct(list, "Winlogon Userinit", program, "", "", CODE_WINLOGON_USERINIT, 0);
    if (ReadWinlogonShell(program) > 0)
        AddRunStruct(list, "Winlogon Shell", program, "", "", CODE_WINLOGON_SHELL, 0);
}

int RecordedPathOf(const char *command, char *out)
{
    char plain[MAX_PATH];
    if (!out)
        return 0;
    StripQuotes(command, plain);
    if (strlen(plain) > 3)
        GetLongPath(plain, out);
    else
        CopyText(out, MAX_PATH, plain);
    return (int)strlen(out);
}

// Writes Windows' value back and takes the program it names into the baseline
// under the very key the next scan looks it up by.
static int WriteWinlogonDefault(const char *valueName, const char *text, int code,
                                int (*parse)(const char *, char *))
{
    REGSAM savedRead = RegReadAccess, savedWrite = RegWriteAccess;
    if (Is64BitWindows) {
        RegReadAccess = KEY_READ | KEY_WOW64_64KEY;
        RegWriteAccess = KEY_WRITE | KEY_WOW64_64KEY;
    }
    int written = SetRegString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, valueName, text);
    if (!written)
        TestLog("MyError:  WriteWinlogonDefault SetRegString", valueName);

    char program[MAX_PATH], recorded[MAX_PATH], key[MAX_PATH], data[16];
    if (written && parse(text, program) > 0 && RecordedPathOf(program, recorded) > 0 &&
        BaselineValueName(recorded, key) > 0) {
        FormatText(data, CAP(data), "%d", code);
        SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, data);
    }
    RegReadAccess = savedRead;
    RegWriteAccess = savedWrite;
    return written;
}

int ResetUserinit(void)
{
    char value[MAX_PATH];
    UINT n = GetSystemDirectoryA(value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !AppendText(value, CAP(value), "\\Userinit.exe,"))
        return 0;   // a cut system path would break every logon
    return WriteWinlogonDefault("Userinit", value, CODE_WINLOGON_USERINIT, ParseUserinitText);
}

int ResetShell(void)
{
    return WriteWinlogonDefault("Shell", "Explorer.exe", CODE_WINLOGON_SHELL, ParseShellText);
}
