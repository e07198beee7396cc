// The program's resources through the Win32 calls on this module, which links the same
// resource object as brackmoor.exe.
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/options.h"
#include "resource.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

// Every string id of the module's table: each block of the table holds 16 strings.
BOOL CALLBACK CollectBlock(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
    UINT block = (UINT)(UINT_PTR)name;
    for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
        char probe[4];
        if (LoadStringA(Self(), id, probe, sizeof probe) > 0)
            reinterpret_cast<std::vector<UINT> *>(ids)->push_back(id);
    }
    return TRUE;
}

// Every text loads whole into a guarded buffer, and only the texts the code
// formats carry "%s", as many as it puts in; the others are shown as they are.
TEST(Resources, EveryStringLoadsWholeAndFormatsOnlyWhereTheCodeFillsIt) {
    std::vector<UINT> ids;
    EnumResourceNamesA(Self(), RT_STRING, CollectBlock, (LONG_PTR)&ids);
    ASSERT_GT(ids.size(), 100u);
    static const std::pair<UINT, int> formats[] = {{7, 1},    {901, 2},  {625, 2},  {676, 2},  {1017, 2}, {1055, 2},
                                                    {4101, 1}, {4102, 1}, {4103, 1}, {4104, 1}, {4107, 1},
                                                    {4111, 1}, {4112, 1}, {4113, 1}, {4114, 1}, {4117, 1}};
    for (UINT id : ids) {
        char buf[2048 + kGuardLen];
        FillGuarded(buf, sizeof buf);
        int n = LoadStringA(Self(), id, buf, 2048);
        EXPECT_TRUE(n > 0 && n < 2047 && buf[n] == '\0' && GuardIntact(buf, 2048)) << "string " << id;
        std::string text(buf, n > 0 ? n : 0);
        int wanted = 0, found = 0;
        for (const auto &f : formats)
            if (f.first == id) wanted = f.second;
        for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1), ++found)
            EXPECT_EQ("%s", text.substr(p, 2)) << "string " << id;
        EXPECT_EQ(wanted, found) << "string " << id << ": " << text;
    }
    // The Explorer menu label stays empty: LoadStringA finds nothing.
    EXPECT_EQ("", LangText(1183));
    // Limits of the buffers the texts are read into (characters without the NUL):
    // class and title 31, language code 7, tray tips 127.
    for (UINT id : {1u, 2u, 634u, 820u, 821u, 822u, 823u, 824u, 826u, 827u, 828u, 829u, 842u, 843u, 1421u})
        EXPECT_LE(LangText(id).size(), id < 3 ? 31u : id == 634 ? 7u : 127u) << "string " << id;
}

// Icons come as a 16x16 image (tray, caption) and a 32x32 one (dialogs).
TEST(Resources, IconsBitmapsSoundAndVersion) {
    for (UINT id : {IDI_BRACKMOOR, IDI_BUSY, IDI_STARTUP_ALERT, IDI_NOTICE}) {
        EXPECT_NE(nullptr, LoadIconA(Self(), MAKEINTRESOURCEA(id))) << "icon " << id;
        HRSRC group = FindResourceA(Self(), MAKEINTRESOURCEA(id), RT_GROUP_ICON);
        ASSERT_NE(nullptr, group) << "icon " << id;
        const BYTE *dir = static_cast<const BYTE *>(LockResource(LoadResource(Self(), group)));
        ASSERT_EQ(2, *reinterpret_cast<const WORD *>(dir + 4)) << "icon " << id;
        EXPECT_EQ((std::set<int>{16, 32}), (std::set<int>{dir[6], dir[6 + 14]})) << "icon " << id;   // the widths
    }
    for (UINT id : {IDB_MASCOT, IDB_BANNER, IDB_PAW}) {
        HBITMAP bmp = LoadBitmapA(Self(), MAKEINTRESOURCEA(id));
        BITMAP info = {};
        EXPECT_TRUE(bmp && GetObjectA(bmp, sizeof info, &info) && info.bmWidth == 64 && info.bmHeight == 64)
            << "bitmap " << id;
        DeleteObject(bmp);
    }
    // The built-in alert sound: a PCM WAVE that PlaySoundA accepts.
    HRSRC wave = FindResourceA(Self(), MAKEINTRESOURCEA(IDW_ALERT), "WAVE");
    ASSERT_TRUE(wave && SizeofResource(Self(), wave) > 44);
    const char *riff = static_cast<const char *>(LockResource(LoadResource(Self(), wave)));
    EXPECT_EQ("RIFFWAVEfmt ", std::string(riff, 4) + std::string(riff + 8, 8));
    EXPECT_EQ(1, *reinterpret_cast<const WORD *>(riff + 20));   // WAVE_FORMAT_PCM

    // The monitor reports its version from its file, in the one translation it reads.
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<char> data(size + 1);
    ASSERT_TRUE(size && GetFileVersionInfoA(path, 0, size, data.data())) << GetLastError();
    WORD *translation = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", (void **)&translation, &len));
    ASSERT_EQ(4u, len);
    const std::pair<const char *, std::string> rows[] = {{"ProductVersion", BRACKMOOR_VERSION},
                                                         {"ProductName", LangText(2)}};
    for (const auto &row : rows) {
        char *value = nullptr, query[128];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], row.first);
        ASSERT_TRUE(VerQueryValueA(data.data(), query, reinterpret_cast<void **>(&value), &len)) << query;
        EXPECT_EQ(row.second, value) << row.first;
    }
}

INT_PTR CALLBACK QuietDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// Each template opens topmost with its default button, a read-only path, and the
// pictures of the module's own icons and bitmaps.
TEST(Resources, DialogTemplates) {
    for (UINT id : {IDD_NEWPROG, IDD_DELAYALERT, IDD_MISSINGNOTICE}) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        HWND dlg = CreateDialogParamA(Self(), MAKEINTRESOURCEA(id), nullptr, QuietDlgProc, 0);
        ASSERT_NE(nullptr, dlg) << GetLastError();
        EXPECT_NE(0, GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);
        HWND button = GetDlgItem(dlg, id == IDD_MISSINGNOTICE ? IDOK : IDYES);
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK);
        HWND path = GetDlgItem(dlg, IDC_PATH), icon = GetDlgItem(dlg, IDC_ALERTICON);
        HWND mascot = GetDlgItem(dlg, IDC_MASCOT);
        EXPECT_TRUE(id == IDD_MISSINGNOTICE || (path && (GetWindowLongA(path, GWL_STYLE) & ES_READONLY)));
        EXPECT_TRUE(!icon || SendMessageA(icon, STM_GETICON, 0, 0));
        EXPECT_TRUE(!mascot || SendMessageA(mascot, STM_GETIMAGE, IMAGE_BITMAP, 0));
        DestroyWindow(dlg);
    }
}

}  // namespace
