// Path parsing: command line to program path, the RUNDLL32 target, the folder
// and file parts, the Program Files vendor, the long form of a path and the
// small text checks the watchers run on names and query values.
#include "common/files.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"

#define CURRENT_VERSION_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
// "C:\Program Files (x86)\" is 23 characters; the retry swaps exactly those.
#define X86_FOLDER_PREFIX_LEN 23
// Room for a folder in front of a command line of registry size.
#define COMMAND_WORK_MAX (MAX_PATH + REG_TEXT_MAX)

static void ReadFolderValue(const char *value, const char *fallback, char *out)
{
    if (GetRegString(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, value, out, MAX_PATH) <= 0)
        CopyText(out, MAX_PATH, fallback);
}

// Where a folder token ends at the head of a command (after quotes and blanks,
// and for "SystemRoot" a "%" or "\"): after the token and a closing "%", so
// "%SystemRoot%\x", "\SystemRoot\x" and "SystemRoot\x" all continue at "\x".
// NULL when the command does not begin with the token: a token in the arguments
// ("rundll32.exe %SystemRoot%\x.dll") names another file than the program.
static const char *AfterToken(const char *command, const char *token)
{
    const char *p = command;
    while (*p == '"' || *p == ' ')
        p++;
    if (token[0] != '%' && (*p == '%' || *p == '\\'))
        p++;
    size_t len = strlen(token);
    if (strnlen(p, len) < len ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, p, (int)len, token, (int)len) != CSTR_EQUAL)
        return NULL;
    p += len;
    return *p == '%' ? p + 1 : p;
}

// Replaces a folder token at the head of a command with the folder itself: the
// Windows folder for "SystemRoot" and "%WINDIR%", the Program Files folders
// (from the registry, or their usual place) for their tokens.
static void ExpandFolderToken(const char *command, char *out, size_t cap)
{
    char folder[MAX_PATH] = "";
    const char *rest = NULL;
    if ((rest = AfterToken(command, "SYSTEMROOT")) != NULL || (rest = AfterToken(command, "%WINDIR%")) != NULL) {
        UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            folder[0] = '\0';
    } else if ((rest = AfterToken(command, "%PROGRAMFILES%")) != NULL) {
        ReadFolderValue("ProgramFilesDir", "C:\\Program Files", folder);
    } else if ((rest = AfterToken(command, "%PROGRAMFILES(X86)%")) != NULL) {
        ReadFolderValue("ProgramFilesDir (x86)", "C:\\Program Files (x86)", folder);
    }
    if (!rest) {
        CopyText(out, cap, command);
        return;
    }
    // Exactly one "\" between the folder and the rest.
    const char *separator = (*rest == '\\' || *rest == '\0' || !folder[0]) ? "" : "\\";
    FormatText(out, cap, "%s%s%s", folder, separator, rest);
}

static int IsExtensionEnd(char c)
{
    return c == 'X' || c == 'x' || c == 'L' || c == 'l';
}

// The program path of a command line, upper-cased (the form every comparison
// and baseline uses) or as the command spells it.
static int ProgramPathOf(const char *commandLine, char *out, int upper)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!commandLine || !commandLine[0])
        return 0;

    PVOID redirection;
    DisableFsRedirection(&redirection);
    char text[COMMAND_WORK_MAX];
    ExpandFolderToken(commandLine, text, CAP(text));

    // Copy up to the first ".?X" or ".?L" extension with its three letters; the
    // result begins at the drive letter of the last ":" seen, so quotes and
    // words in front of the drive and arguments after the extension fall away.
    char scan[COMMAND_WORK_MAX];
    size_t used = 0, start = 0;
    for (size_t i = 0; text[i] && used < sizeof(scan) - 1; i++) {
        char c = text[i];
        if (c == '.' && text[i + 1] && IsExtensionEnd(text[i + 2])) {
            for (size_t k = 0; k < 4 && text[i + k] && used < sizeof(scan) - 1; k++)
                scan[used++] = text[i + k];
            break;
        }
        scan[used++] = c;
        if (c == ':')
            start = used >= 2 ? used - 2 : 0;
    }
    scan[used] = '\0';
    CopyText(out, MAX_PATH, scan + start);
    if (upper)
        UpperText(out);
    RevertFsRedirection(redirection);

    // A 32-bit reader of a 64-bit machine gets "(x86)" for %ProgramFiles%; the
    // program may well live in the 64-bit folder instead.
    if (Is64BitWindows && out[0]) {
        char probe[MAX_PATH];
        CopyText(probe, CAP(probe), out);
        // The cheap test first: FileExists tries up to three places on disk.
        if (StrContains(out, "Program Files (x86)") && strlen(out) >= X86_FOLDER_PREFIX_LEN &&
            !FileExists(probe)) {
            char other[MAX_PATH];
            if (FormatText(other, CAP(other), "C:\\Program Files\\%s", out + X86_FOLDER_PREFIX_LEN)) {
                CopyText(probe, CAP(probe), other);
                if (FileExists(probe)) {
                    CopyText(out, MAX_PATH, other);
                    if (upper)
                        UpperText(out);
                }
            }
        }
    }
    return (int)strlen(out);
}

int ExtractProgramPath(const char *commandLine, char *out)
{
    return ProgramPathOf(commandLine, out, 1);
}

int ExtractProgramPathAsIs(const char *commandLine, char *out)
{
    return ProgramPathOf(commandLine, out, 0);
}

static char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

int RundllTarget(const char *commandLine, char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    if (!commandLine)
        commandLine = "";
    if (StrContains(commandLine, "RUNDLL32.EXE")) {
        size_t len = strlen(commandLine);
        for (size_t p = 0; p + 6 < len; p++) {
            // "R?N?L?3": loose enough for "rundll32" in any case.
            if (Upper(commandLine[p]) == 'R' && Upper(commandLine[p + 2]) == 'N' &&
                Upper(commandLine[p + 4]) == 'L' && commandLine[p + 6] == '3') {
                // "RUNDLL32.EXE" and the one blank after it.
                CopyText(out, cap, p + 13 <= len ? commandLine + p + 13 : "");
                return 1;
            }
        }
    }
    CopyText(out, cap, commandLine);
    return 0;
}

int GetFolderOfProgram(const char *path, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!path || !path[0])
        return 0;
    const char *slash = strrchr(path, '\\');
    if (slash) {
        size_t len = (size_t)(slash - path);
        // "C:" alone would mean the drive's current folder; "C:\" is the root.
        if (len < 3)
            len++;
        CopyTextN(out, MAX_PATH, path, len);
        return (int)strlen(out);
    }
    if (strlen(path) >= 32)
        return 0;
    char probe[MAX_PATH];
    char folder[MAX_PATH];
    for (int useSystem = 0; useSystem <= 1; useSystem++) {
        UINT n = useSystem ? GetSystemDirectoryA(folder, MAX_PATH)
                           : GetWindowsDirectoryA(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            continue;
        if (FormatText(probe, CAP(probe), "%s\\%s", folder, path) && FileExists(probe)) {
            CopyText(out, MAX_PATH, folder);
            return (int)strlen(out);
        }
    }
    return 0;
}

int FileNameOf(const char *path, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    const char *slash = path ? strrchr(path, '\\') : NULL;
    if (!slash)
        return 0;
    CopyText(out, MAX_PATH, slash + 1);
    return (int)strlen(out);
}

int StripQuotes(const char *in, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!in)
        return 0;
    size_t used = 0;
    for (size_t i = 0; i < 511 && in[i] && used < MAX_PATH - 1; i++)
        if (in[i] != '"')
            out[used++] = in[i];
    out[used] = '\0';
    return (int)used;
}

int GetProgramFilesVendor(const char *path, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!path || !path[0])
        return 0;
    // Both program folders, and the 64-bit one that a 32-bit reader only sees
    // under its own name.
    static const struct {
        const char *value;
        const char *fallback;
    } Folders[] = {
        {"ProgramFilesDir", "C:\\Program Files"},
        {"ProgramFilesDir (x86)", "C:\\Program Files (x86)"},
        {"ProgramW6432Dir", "C:\\Program Files"},
    };
    for (const auto &row : Folders) {
        char folder[MAX_PATH];
        ReadFolderValue(row.value, row.fallback, folder);
        size_t flen = strlen(folder);
        if (flen == 0 || strlen(path) <= flen + 1 || path[flen] != '\\')
            continue;
        char head[MAX_PATH];
        CopyTextN(head, CAP(head), path, flen);
        if (StrEqualNoCase(head, folder) != 0)
            continue;
        const char *name = path + flen + 1;
        const char *end = strchr(name, '\\');
        if (!end || end == name)
            continue;   // a file directly in Program Files has no vendor folder
        CopyTextN(out, MAX_PATH, name, (size_t)(end - name));
        return (int)(end - path);
    }
    return 0;
}

int IsPlausibleFileName(const char *text)
{
    if (!text)
        return 0;
    size_t len = strnlen(text, MAX_PATH);
    if (len < 5 || len > MAX_PATH - 1 || !strchr(text, '.'))
        return 0;
    size_t blanks = 0;
    for (size_t i = 0; i < len; i++)
        if (text[i] == ' ')
            blanks++;
    return blanks <= 4 && blanks < len;
}

typedef DWORD(WINAPI *GetLongPathNameFn)(LPCSTR, LPSTR, DWORD);

int GetLongPath(const char *shortPath, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!shortPath)
        return 0;
    // Only an 8.3 name has a "~": every other path is its own long form, and
    // the file system need not be asked (a scan lengthens every entry it lists).
    if (!strchr(shortPath, '~')) {
        CopyText(out, MAX_PATH, shortPath);
        return (int)strlen(out);
    }
    DWORD n = 0;
    char longPath[MAX_PATH];
    // Windows 95 and NT 4 lack GetLongPathNameA, hence the run-time lookup.
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    GetLongPathNameFn lengthen =
        kernel ? (GetLongPathNameFn)(void (*)(void))GetProcAddress(kernel, "GetLongPathNameA") : NULL;
    if (lengthen)
        n = lengthen(shortPath, longPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        CopyText(out, MAX_PATH, shortPath);
        return 0;
    }
    CopyText(out, MAX_PATH, longPath);
    return (int)strlen(out);
}

// Characters that stand for themselves in a query value. Everything else, the
// query's own separators ("&", "=", "+", "#", "%", ";") and every byte above 127
// included, is sent as "%XX" of its byte, so that any server decodes the text
// the monitor had, whatever code page it was written in.
static int IsQueryLiteral(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != 0 && strchr("-._~!$'()*,:@/", c) != NULL);
}

int EncodeForQuery(const char *text, char *out, size_t cap)
{
    static const char Hex[] = "0123456789ABCDEF";
    if (!out || cap == 0)
        return -1;
    out[0] = '\0';
    if (!text || !text[0])
        return -1;
    size_t used = 0;
    for (size_t i = 0; text[i]; i++) {
        unsigned char c = (unsigned char)text[i];
        size_t need = IsQueryLiteral(c) ? 1 : 3;
        if (used + need > cap - 1)
            break;   // never a half-written escape
        if (need == 1) {
            out[used] = (char)c;
        } else {
            out[used] = '%';
            out[used + 1] = Hex[c >> 4];
            out[used + 2] = Hex[c & 15];
        }
        used += need;
    }
    out[used] = '\0';
    return (int)used - 1;
}

int GetProgramFileName(const char *commandLine, char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    char program[MAX_PATH];
    if (!commandLine || ExtractProgramPath(commandLine, program) <= 0)
        return 0;
    const char *slash = strrchr(program, '\\');
    const char *upper = slash ? slash + 1 : program;
    CopyText(out, cap, upper);
    // The program path comes back upper-cased; the command line's own spelling
    // of the name is what the user and the servers know, so it wins when found.
    size_t n = strlen(upper), len = strlen(commandLine);
    if (n == 0 || n > len)
        return (int)strlen(out);
    for (size_t i = len - n + 1; i-- > 0;) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, commandLine + i, (int)n, upper, (int)n) ==
            CSTR_EQUAL) {
            CopyTextN(out, cap, commandLine + i, n);
            break;
        }
    }
    return (int)strlen(out);
}

int NormaliseProgramPath(const char *commandLine, char *out)
{
    char program[MAX_PATH];
    out[0] = '\0';
    if (ExtractProgramPath(commandLine, program) <= 0)
        return 0;
    return GetLongPath(program, out);
}

int AlertProgramFile(const char *commandLine, char *out)
{
    if (NormaliseProgramPath(commandLine, out) <= 0)
        CopyText(out, MAX_PATH, commandLine ? commandLine : "");
    return (int)strlen(out);
}
