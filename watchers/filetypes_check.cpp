// The file type check of the scan pass: every monitored extension's program by
// methods 1 to 3 against the recorded one, compared by file name; a change is
// asked about (or reverted at once while the associations are locked).
#include "watchers/filetypes.h"

#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/filetypes_findings.h"
#include "online/server_reports.h"

#define RECORDED_CLASS_MAX 257      // a recorded class is read with at most 256 characters
#define MEMO_MAX 64
#define DETAIL_MAX (2 * MAX_PATH)

// The baseline keys a check reads, opened once for the whole check.
typedef struct RecordedKeys {
    HKEY ext[ASSOC_USER_PROGID + 1];    // by method; [0] unused
    HKEY cls;
} RecordedKeys;

// Programs of recorded classes already read in this check: classes that several
// extensions share are read once. Emptied whenever a decision wrote the baseline.
typedef struct ProgramMemo {
    struct {
        char cls[RECORDED_CLASS_MAX];
        char program[MAX_PATH];
    } rows[MEMO_MAX];
    int count;
} ProgramMemo;

static void OpenRecordedKeys(RecordedKeys *keys)
{
    memset(keys, 0, sizeof(*keys));
    for (int method = ASSOC_MACHINE_CLASS; method <= ASSOC_USER_PROGID; method++)
        RegOpenKeyExA(HKEY_CURRENT_USER, ExtensionBaselineKey(method), 0, KEY_QUERY_VALUE, &keys->ext[method]);
    RegOpenKeyExA(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, 0, KEY_QUERY_VALUE, &keys->cls);
}

static void CloseRecordedKeys(RecordedKeys *keys)
{
    for (HKEY key : keys->ext)
        if (key)
            RegCloseKey(key);
    if (keys->cls)
        RegCloseKey(keys->cls);
}

// The recorded program of the finding's extension by its method; 0 when the
// baseline has none (no class recorded, or none for that class).
static int RecordedProgram(const RecordedKeys *keys, ProgramMemo *memo, const FileTypeFinding *f, char *out)
{
    char cls[RECORDED_CLASS_MAX];
    out[0] = '\0';
    if (!keys->ext[f->method] || !keys->cls ||
        QueryAssociationText(keys->ext[f->method], f->ext, cls, CAP(cls), NULL) <= 0)
        return 0;
    for (int i = 0; i < memo->count; i++)
        if (StrEqualNoCase(memo->rows[i].cls, cls) == 0)
            return CopyText(out, MAX_PATH, memo->rows[i].program) && out[0];
    if (QueryAssociationText(keys->cls, cls, out, MAX_PATH, NULL) <= 0)
        return 0;
    if (memo->count < MEMO_MAX) {
        CopyText(memo->rows[memo->count].cls, RECORDED_CLASS_MAX, cls);
        CopyText(memo->rows[memo->count].program, MAX_PATH, out);
        memo->count++;
    }
    return 1;
}

static int SameProgramFile(const char *a, const char *b)
{
    char nameA[MAX_PATH], nameB[MAX_PATH];
    if (FileNameOf(a, nameA) <= 0)
        CopyText(nameA, CAP(nameA), a);
    if (FileNameOf(b, nameB) <= 0)
        CopyText(nameB, CAP(nameB), b);
    return StrEqualNoCase(nameA, nameB) == 0;
}

static void WriteDecision(const FileTypeAlert *alert, const char *what, int restored)
{
    char detail[DETAIL_MAX];
    if (restored < 0)
        FormatText(detail, CAP(detail), "%s, was %s", what, alert->oldProgram);
    else if (restored)
        FormatText(detail, CAP(detail), "%s, restored %s", what, alert->oldProgram);
    else
        FormatText(detail, CAP(detail), "%s, the restore of %s failed", what, alert->oldProgram);
    WriteLog(LOG_ALERT_FILETYPE, TYPE_FILETYPE, alert->ext, alert->newProgram, detail);
}

// One changed association: asked about, or reverted while the lock is on. 1 when
// the decision wrote the system or the baseline.
static int DecideChange(const FileTypeFinding *f, const char *recorded, const char *current)
{
    FileTypeAlert alert;
    memset(&alert, 0, sizeof(alert));
    CopyText(alert.ext, CAP(alert.ext), f->ext);
    CopyText(alert.oldProgram, CAP(alert.oldProgram), recorded);
    CopyText(alert.newProgram, CAP(alert.newProgram), current);
    if (giLockFileTypes) {
        WriteDecision(&alert, "Locked", RestoreFileType(f->ext, f->method));
        return 1;
    }
    RecordDetection(recorded, DETECTED_FILETYPES_KEY);
    RecordDetection(f->command, DETECTED_FILETYPES_KEY);
    int answer = RunAlert(IDD_FILETYPE, NewFileTypeDlgProc, (LPARAM)&alert, giHideFileType, TIP_FILETYPES, 1);
    int wrote = 0;
    if (answer == ANSWER_REJECT) {
        ReportDecision(alert.ext, alert.newProgram, answer);
        WriteDecision(&alert, "Rejected", RestoreFileType(f->ext, f->method));
        wrote = 1;
    } else if (answer == ANSWER_ACCEPT) {
        ReportDecision(alert.ext, alert.newProgram, answer);
        if (!StoreFileTypeBaseline(f->ext, f->method))
            TestLog("MyError:  VerifyFileTypes the accepted program is asked about again", f->ext);
        WriteDecision(&alert, "Accepted", -1);
        wrote = 1;
    }
    // The box asks for no more alerts about the extension; the change itself was
    // answered as No above.
    if (alert.stopMonitoring)
        wrote |= StopMonitoringFileType(f->ext);
    return wrote;
}

int VerifyFileTypes(ScanPass *pass)
{
    (void)pass;
    if (OptionsChanged()) {
        ReadOptions();
        ClearOptionsChanged();
    }
    if (giFileType <= 0)
        return 0;
    FileTypeFindings found = {};
    CollectFileTypes(&found);
    char text[64];
    FormatText(text, CAP(text), "File Types checked: %d", found.count);
    TestLog("VerifyFileTypes", text);

    RecordedKeys keys;
    OpenRecordedKeys(&keys);
    ProgramMemo *memo = (ProgramMemo *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProgramMemo));
    int changes = 0, wrote = 0;
    for (int i = 0; memo && i < found.count; i++) {
        FileTypeFinding *f = &found.items[i];
        // After a decision the system may have changed under the findings still to come.
        if (wrote && !GetAssociation(f->ext, f->method, f->cls, f->command))
            continue;
        char recorded[MAX_PATH], current[MAX_PATH];
        if (!RecordedProgram(&keys, memo, f, recorded)) {
            // Nothing recorded by this method yet: what is there now becomes the record.
            StoreFileTypeBaseline(f->ext, f->method);
            memo->count = 0;
            continue;
        }
        FileTypeProgram(f->command, current);
        if (SameProgramFile(recorded, current))
            continue;
        changes++;
        if (DecideChange(f, recorded, current)) {
            wrote = 1;
            memo->count = 0;
        }
    }
    if (memo)
        HeapFree(GetProcessHeap(), 0, memo);
    CloseRecordedKeys(&keys);
    FreeFileTypeFindings(&found);
    return changes;
}
