// Authenticode signatures of program files: whether a file is signed (in itself or
// through one of the system's catalogs), whether the signature still matches the
// file and leads to an installed root, and who signed it. The answers are kept by
// the file's identity (common/file_facts.h); what a pass may spend on new checks
// is bounded, and a file beyond that bound is "not checked yet" until a later pass.
// wintrust.dll and crypt32.dll are looked up at run time: Windows XP has all of
// this, but the monitor must start where they are damaged or missing too.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/file_facts.h"
#include "common/runlist.h"

// The kind of answer, in the low byte of FileFact.status.
enum {
    SIGNATURE_NOT_CHECKED = 0,  // beyond the pass's budget
    SIGNATURE_TRUSTED = 1,      // signed, unchanged, and the chain ends in an installed root
    SIGNATURE_UNTRUSTED = 2,    // signed and unchanged, but its root is not installed
    SIGNATURE_DISTRUSTED = 3,   // signed and unchanged, but the certificate expired, was
                                // revoked, is distrusted or not meant for code
    SIGNATURE_BROKEN = 4,       // the file changed after it was signed, or the signature is damaged
    SIGNATURE_UNSIGNED = 5,     // no signature in the file and none in a catalog
    SIGNATURE_NO_FILE = 6,      // the file cannot be found
    SIGNATURE_FAILED = 7,       // the check itself failed; text holds the system's code
};
#define SIGNATURE_KIND_MASK 0xFF
#define SIGNATURE_IN_CATALOG 0x100  // the signature is a catalog's, not the file's own

// Milliseconds of checking a pass may spend on files not seen before (the first
// fill after a start is the costly one). Set at start-up; tests change it.
extern int giSignatureBudget;
// Checks made (WinVerifyTrust rounds), for tests and the benchmark.
extern int giSignatureChecks;

// A new pass: its budget is whole again.
void BeginSignaturePass(void);
// The signature of a program file (a bare path, not a command line): from the cache,
// else checked while the pass's budget lasts, else SIGNATURE_NOT_CHECKED. fact->text
// holds the signer's name where one was read. Returns the kind.
int CheckFileSignature(const char *path, FileFact *fact);
// The same check without the cache or the budget.
int VerifyFileSignature(const char *path, FileFact *fact);
// The file whose signature speaks for a command line: its program, or the library
// rundll32 is told to run; a bare name completed where the system finds it. Its
// length, 0 when there is none. out: MAX_PATH.
int SignedFileOf(const char *commandLine, char *out);
// CheckFileSignature of that file.
int CheckProgramSignature(const char *commandLine, FileFact *fact);
// The first fill after a start: the programs of a list's entries
// (CheckProgramSignature) while the pass's budget lasts, pass after pass until
// every one has its answer; then giSignatureFillDone is 1 and it does nothing.
extern int giSignatureFillDone;
void FillSignatures(const RunList *list);
// The line an alert shows for a fact, and the shorter text of a list's cell.
int FormatSignatureLine(const FileFact *fact, char *out, size_t cap);
int FormatSignatureCell(const FileFact *fact, char *out, size_t cap);
