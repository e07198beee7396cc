// The program's resources, loaded the way the monitor loads them: through the
// Win32 calls on the running module. The test program links the same resource
// object as brackmoor.exe, so its own module carries the same resources.
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "resource.h"
#include "support/system_state.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

// LoadStringA into a guarded buffer well above the longest text; a text that fills
// the buffer would be cut, which counts as a failure of its own.
std::string LoadText(UINT id) {
    char buf[2048 + kGuardLen];
    FillGuarded(buf, sizeof buf);
    int n = LoadStringA(Self(), id, buf, 2048);
    EXPECT_TRUE(n >= 0 && n < 2047 && buf[n] == '\0' && GuardIntact(buf, 2048)) << "string " << id << " cut or overrun";
    return n > 0 ? std::string(buf, n) : std::string();
}

TEST(Resources, EveryStringLoadsAndFormatsAndLengthsFit) {
    static const UINT ids[] = {
        1, 2, 5, 7, 11, 16, 17, 28, 30, 59, 301, 304, 501, 503, 504, 505, 507, 508, 509, 510, 606, 610, 614, 616, 623,
        624, 625, 630, 633, 634, 636, 641, 644, 652, 653, 654, 655, 656, 657, 658, 664, 665, 666, 672, 673, 675, 676,
        680, 685, 686, 692, 694, 695, 697, 701, 702, 718, 719, 720, 750, 756, 757, 758, 759, 760, 765, 766, 767, 768,
        793, 795, 820, 821, 822, 823, 824, 826, 827, 828, 829, 842, 843, 900, 901, 925, 1000, 1001, 1002, 1003, 1004,
        1005, 1006, 1007, 1008, 1009, 1010, 1013, 1015, 1016, 1017, 1018, 1020, 1022, 1023, 1050, 1051, 1052, 1053,
        1054, 1055, 1066, 1067, 1155, 1192, 1200, 1201, 1400, 1401, 1402, 1403, 1404, 1405, 1406, 1407, 1408, 1409,
        1410, 1411, 1413, 1414, 1415, 1416, 1417, 1418, 1419, 1420, 1421, 1422, 3001, 3002, 3003, 3004, 3005, 3006,
        3007, 3020, 3021, 3030, 3031, 3040, 3041, 3042, 3043, 3050, 3051, 3060, 3061, 3071,
    };
    // The texts the code formats, with the number of "%s" each must carry; every
    // other text is shown as it is and must not look like a format.
    static const std::pair<UINT, int> formats[] = {{7, 1}, {901, 2}, {625, 2}, {676, 2}, {1017, 2}, {1055, 2}};
    for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        std::string text = LoadText(ids[i]);
        EXPECT_GT(text.size(), 0u) << "row " << i << ", string " << ids[i];
        int wanted = 0, found = 0;
        for (const auto &f : formats)
            if (f.first == ids[i]) wanted = f.second;
        for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1), ++found)
            EXPECT_EQ("%s", text.substr(p, 2)) << "row " << i << ", string " << ids[i];
        EXPECT_EQ(wanted, found) << "row " << i << ", string " << ids[i] << ": " << text;
    }
    // The Explorer menu label stays empty: LoadStringA finds nothing.
    EXPECT_EQ("", LoadText(1183));

    // Limits of the buffers the texts are read into (characters without the NUL):
    // class and title 31, language code 7, tray tips 127.
    for (UINT id : {1u, 2u, 634u, 820u, 821u, 822u, 823u, 824u, 826u, 827u, 828u, 829u, 842u, 843u, 1421u})
        EXPECT_LE(LoadText(id).size(), id < 3 ? 31u : id == 634 ? 7u : 127u) << "string " << id;
}

// A sample with line breaks, runs of blanks, blanks at either end and quotes.
TEST(Resources, TextsAreExact) {
    static const std::pair<UINT, const char *> rows[] = {
        {1, "Brackmoor"}, {634, "us"},
        {5, "SOFTWARE\\Classes\\HTTP\\shell\\open\\command"},
        {7, "A new automatic Startup Program has been detected.\n%s\n\nThis program could slow your "
            "computer by running in the background.\nWas this program expected and something you "
            "want active all the time?"},
        {28, "Brackmoor has detected that commands have been added to the file wininit.ini\nThese "
             "commands will be executed the next time you reboot. Would you like to view these "
             "commands?\n"},
        {702, "NUL=   Indicates the file will be deleted on restart\nREN=   Indicates the file will be renamed."},
        {765, "This program will run each time you login or restart your machine. "},
        {1022, "\nThis program has put itself back into the regular Windows Startup Programs list.\nThis is "
               "not unusual.  Many programs often check to be sure they remain autostart.\n\nClick on "
               "\"Disable\" and Brackmoor will continually remove it from the Statup List automatically "
               "when it is found.\n\nUnless you know how to edit the autostart feature in this programs, "
               "we recommend restoring it to the normal Windows startup list. Would you like to move it "
               "back to the Windows AutoStart list?"},
        {3020, " Allow this file to launch anytime Internet Explorer or one of its components is loaded."},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        EXPECT_EQ(rows[i].second, LoadText(rows[i].first)) << "row " << i << ", string " << rows[i].first;
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
    EXPECT_EQ("RIFF", std::string(riff, 4));
    EXPECT_EQ("WAVEfmt ", std::string(riff + 8, 8));
    EXPECT_EQ(1, *reinterpret_cast<const WORD *>(riff + 20));   // WAVE_FORMAT_PCM

    // The monitor reports its version from its file and marks its baselines with it.
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<char> data(size + 1);
    ASSERT_TRUE(size && GetFileVersionInfoA(path, 0, size, data.data())) << GetLastError();
    // The one translation the monitor reads the strings with.
    WORD *translation = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", (void **)&translation, &len));
    ASSERT_EQ(4u, len);
    static const std::pair<const char *, const char *> rows[] = {
        {"ProductVersion", "33.1.2015.0"}, {"CompanyName", "Dunmere Works"}, {"ProductName", "Brackmoor"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        char *value = nullptr;
        char query[128];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], rows[i].first);
        ASSERT_TRUE(VerQueryValueA(data.data(), query, reinterpret_cast<void **>(&value), &len)) << query;
        EXPECT_STREQ(rows[i].second, value) << "row " << i;
    }
}

INT_PTR CALLBACK QuietDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// Each template opens with every control its procedure fills, and nothing else.
TEST(Resources, DialogTemplates) {
    struct Dialog { UINT id; UINT defaultButton; std::vector<int> controls; };
    const Dialog dialogs[] = {
        {IDD_NEWPROG, IDYES, {IDC_ALERTICON, IDC_MESSAGE, IDC_PROGICON, IDC_PRODUCTNAME, IDC_DESCRIPTION, IDC_COMPANY,
                              IDC_VERSIONLABEL, IDC_VERSION, IDC_PATH, IDC_MASCOT, IDC_DISABLE, IDC_LOCATION,
                              IDC_PROPERTIES, IDC_ABORT, IDYES, IDNO, IDC_INFO, IDC_CHECK, IDC_SIGNATURE}},
        {IDD_DELAYALERT, IDYES, {IDC_MESSAGE, IDC_PROGICON, IDC_PRODUCTNAME, IDC_DESCRIPTION, IDC_COMPANY,
                                 IDC_VERSIONLABEL, IDC_VERSION, IDC_PATH, IDC_INFO, IDYES, IDNO, IDC_SIGNATURE}},
        {IDD_MISSINGNOTICE, IDOK,
         {IDC_NOTICE_TEXT, IDC_NOTICE_HINT, IDC_NOTICE_NAME, IDC_NOTICE_PATH, IDC_CHECK, IDOK, IDC_ALERTICON}},
    };
    for (const Dialog &d : dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        HWND dlg = CreateDialogParamA(Self(), MAKEINTRESOURCEA(d.id), nullptr, QuietDlgProc, 0);
        ASSERT_NE(nullptr, dlg) << GetLastError();
        EXPECT_NE(0, GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);
        for (size_t i = 0; i < d.controls.size(); ++i)
            EXPECT_NE(nullptr, GetDlgItem(dlg, d.controls[i])) << "row " << i << ", control " << d.controls[i];
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(GetDlgItem(dlg, d.defaultButton), GWL_STYLE) & BS_TYPEMASK);
        HWND path = GetDlgItem(dlg, IDC_PATH), icon = GetDlgItem(dlg, IDC_ALERTICON);
        HWND mascot = GetDlgItem(dlg, IDC_MASCOT);
        EXPECT_TRUE(!path || (GetWindowLongA(path, GWL_STYLE) & ES_READONLY));
        // The pictures really come from the module's icon and bitmap resources.
        EXPECT_TRUE(!icon || SendMessageA(icon, STM_GETICON, 0, 0));
        EXPECT_TRUE(!mascot || SendMessageA(mascot, STM_GETIMAGE, IMAGE_BITMAP, 0));
        size_t children = 0;
        for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++children;
        EXPECT_EQ(d.controls.size(), children);
        DestroyWindow(dlg);
    }
}

}  // namespace
