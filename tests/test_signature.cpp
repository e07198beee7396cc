// Signatures of a program signed for this run (root installed nowhere), of it with one
// byte changed and of the plain program: the alert lines and the per-pass cache.
#include <gtest/gtest.h>
#include <string>

#include "common/file_facts.h"
#include "common/signature.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/test_env.h"
#include "ui/alert.h"

namespace {

enum { STRING_UNTRUSTED = 4102, STRING_BROKEN = 4104, STRING_UNSIGNED = 4105, STRING_NOT_CHECKED = 4100 };

INT_PTR CALLBACK QuietDlgProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

class Signatures : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        FreeFileFacts();
        BeginSignaturePass();
        folder_ = BinFolder() + "\\signed";
        signer_ = ReadWholeFile(folder_ + "\\signer.txt");
        ASSERT_FALSE(signer_.empty()) << "the signing fixture made no programs";
        signed_ = folder_ + "\\bmsigned.exe";
        broken_ = folder_ + "\\bmbroken.exe";
        unsigned_ = TempFolder() + "\\bmunsigned.exe";
        ASSERT_TRUE(CopyFileA((folder_ + "\\bmunsigned.exe").c_str(), unsigned_.c_str(), FALSE));
    }
    void TearDown() override
    {
        giSignatureBudget = budget_;
        giSignatureFillDone = 0;
        FreeFileFacts();
        BrackmoorTest::TearDown();
    }
    std::string folder_, signer_, signed_, broken_, unsigned_;
    int budget_ = giSignatureBudget;
};

TEST_F(Signatures, EachProgramIsToldAsItIsAndNeverAsSignedWhenItIsNot)
{
    const struct {
        std::string path;
        int kind;
        std::string signer;
    } rows[] = {
        {signed_, SIGNATURE_UNTRUSTED, signer_},
        {broken_, SIGNATURE_BROKEN, signer_},
        {unsigned_, SIGNATURE_UNSIGNED, ""},
        {folder_ + "\\none.exe", SIGNATURE_NO_FILE, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        FileFact fact;
        EXPECT_EQ(rows[i].kind, VerifyFileSignature(rows[i].path.c_str(), &fact)) << "row " << i;
        EXPECT_EQ(rows[i].kind, fact.status) << "row " << i << ": no catalog flag";
        if (rows[i].kind != SIGNATURE_NO_FILE) {
            EXPECT_EQ(rows[i].signer, fact.text) << "row " << i;
        }
    }
    // The file a command line's signature speaks for.
    char program[MAX_PATH];
    ASSERT_GT(SignedFileOf(("\"" + signed_ + "\" -tray").c_str(), program), 0);
    EXPECT_EQ(0, lstrcmpiA(signed_.c_str(), program)) << program;
    ASSERT_GT(SignedFileOf(("rundll32.exe " + broken_ + ",Start").c_str(), program), 0);
    EXPECT_EQ(0, lstrcmpiA(broken_.c_str(), program)) << "the library rundll32 runs, not rundll32";
}

// Every template that shows a program's path has the line under it, and the line
// tells the signature of the path's program.
TEST_F(Signatures, EveryAlertTemplateWithAProgramShowsItsSignature)
{
    int lines = 0;
    EnumResourceNamesA(
        GetModuleHandleA(NULL), RT_DIALOG,
        [](HMODULE module, LPCSTR, LPSTR name, LONG_PTR lines) -> BOOL {
            HWND dialog = CreateDialogParamA(module, name, NULL, QuietDlgProc, 0);
            EXPECT_NE(nullptr, dialog);
            for (int pathId : {IDC_PATH, IDC_FT_OLDPATH, IDC_FT_NEWPATH}) {
                HWND path = GetDlgItem(dialog, pathId);
                // A program's path is an edit control; other controls may share its id.
                char kind[16] = "";
                if (!path || !GetClassNameA(path, kind, sizeof kind) || lstrcmpiA(kind, "Edit") != 0)
                    continue;
                int lineId = AlertSignatureControl(pathId);
                SCOPED_TRACE("template " + std::to_string((UINT_PTR)name) + ", path control " + std::to_string(pathId));
                EXPECT_NE(nullptr, GetDlgItem(dialog, lineId));
                SetAlertPathControl(dialog, pathId, "");
                EXPECT_NE("", ControlText(dialog, lineId));
                ++*(int *)lines;
            }
            DestroyWindow(dialog);
            return TRUE;
        },
        (LONG_PTR)&lines);
    EXPECT_GE(lines, 9) << "startup, delayed start, hidden file, add-on, ActiveX, service, task and both file type columns";

    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_FILETYPE), NULL, QuietDlgProc, 0);
    ASSERT_NE(nullptr, dialog);
    const struct {
        int path;
        std::string command, line;
    } rows[] = {
        {IDC_FT_OLDPATH, "\"" + signed_ + "\" \"%1\"", LangFilled(STRING_UNTRUSTED, signer_, "")},
        {IDC_FT_NEWPATH, broken_ + " /open \"%1\"", LangFilled(STRING_BROKEN, signer_, "")},
        {IDC_FT_OLDPATH, unsigned_, LangText(STRING_UNSIGNED)},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SetAlertPathControl(dialog, rows[i].path, rows[i].command.c_str());
        EXPECT_EQ(rows[i].line, ControlText(dialog, AlertSignatureControl(rows[i].path))) << "row " << i;
    }
    DestroyWindow(dialog);
}

TEST_F(Signatures, APassOverUnchangedFilesChecksNothingAgain)
{
    OwnedRunList list;
    const std::string commands[] = {"\"" + signed_ + "\" -tray", broken_, unsigned_, "\"" + signed_ + "\""};
    for (const std::string &command : commands)
        AddRunStruct(list, "Entry", command.c_str(), "", "", 11, 0);

    // No budget: nothing is checked, and nothing is kept as checked.
    giSignatureBudget = 0;
    giSignatureFillDone = 0;
    int before = giSignatureChecks;
    FillSignatures(list);
    FileFact fact;
    EXPECT_EQ(SIGNATURE_NOT_CHECKED, CheckFileSignature(signed_.c_str(), &fact));
    EXPECT_EQ(0, giSignatureChecks - before);
    EXPECT_EQ(0, giSignatureFillDone);
    char line[512];
    FormatSignatureLine(&fact, line, sizeof line);
    EXPECT_EQ(LangText(STRING_NOT_CHECKED), line);

    // The next pass checks each file once; the one after it nothing.
    giSignatureBudget = budget_;
    BeginSignaturePass();
    FillSignatures(list);
    EXPECT_EQ(3, giSignatureChecks - before) << "three files, one of them named twice";
    EXPECT_EQ(1, giSignatureFillDone);
    BeginSignaturePass();
    FillSignatures(list);
    EXPECT_EQ(3, giSignatureChecks - before) << "the second pass makes no check";

    // Alerts find the answers kept; a file that changed is checked once more.
    for (const std::string &command : commands)
        CheckProgramSignature(command.c_str(), &fact);
    EXPECT_EQ(3, giSignatureChecks - before);
    EXPECT_EQ(SIGNATURE_UNTRUSTED, CheckProgramSignature(commands[0].c_str(), &fact));
    EXPECT_EQ(signer_, fact.text) << "the kept answer";
    ASSERT_TRUE(SetWriteTime(unsigned_, (30000000ULL << 32) | 0x12345678));
    for (const std::string &command : commands)
        CheckProgramSignature(command.c_str(), &fact);
    EXPECT_EQ(4, giSignatureChecks - before) << "only the changed file";
}

}  // namespace
