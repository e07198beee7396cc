// The program's resources, loaded the way the monitor loads them: through the
// Win32 calls on the running module. The test program links the same resource
// object as brackmoor.exe, so its own module carries the same resources.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resource.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

// LoadStringA into a buffer well above the longest text; a text that fills the
// buffer would be cut, which counts as a failure of its own.
std::string LoadText(UINT id, int *length = nullptr) {
    char buf[2048];
    std::memset(buf, 0x5A, sizeof buf);
    int n = LoadStringA(Self(), id, buf, sizeof buf);
    if (length) *length = n;
    EXPECT_LT(n, static_cast<int>(sizeof buf) - 1) << "string " << id << " does not fit";
    return n > 0 ? std::string(buf, n) : std::string();
}

// Every id the string table holds. When a new text is added, add its id here;
// the table test below compares this list with what the module really stores.
const UINT kAllStringIds[] = {
    1, 2, 5, 7, 11, 16, 17, 28, 30, 59, 301, 304, 501, 503,
    504, 505, 507, 508, 509, 510, 606, 610, 614, 616, 623, 624, 625, 630,
    633, 634, 636, 641, 644, 652, 653, 654, 655, 656, 657, 658, 664, 665,
    666, 672, 673, 675, 676, 680, 685, 686, 692, 694, 695, 697, 701, 702,
    718, 719, 720, 750, 756, 757, 758, 759, 760, 765, 766, 767, 768, 793,
    795, 820, 821, 822, 823, 824, 826, 827, 828, 829, 842, 843, 900, 901,
    925, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1013, 1015,
    1016, 1017, 1018, 1020, 1022, 1023, 1050, 1051, 1052, 1053, 1054, 1055, 1066, 1067,
    1155, 1192, 1200, 1201, 1400, 1401, 1402, 1403, 1404, 1405, 1406, 1407, 1408, 1409,
    1410, 1411, 1413, 1414, 1415, 1416, 1417, 1418, 1419, 1420, 1421, 1422, 3001, 3002,
    3003, 3004, 3005, 3006, 3007, 3020, 3021, 3030, 3031, 3040, 3041, 3042, 3043, 3050,
    3051, 3060, 3061, 3071,
};

// Ids stored in the module's RT_STRING blocks with a non-empty text. Each block
// holds 16 counted UTF-16 strings; block n carries the ids (n-1)*16 .. (n-1)*16+15.
BOOL CALLBACK CollectBlock(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto *ids = reinterpret_cast<std::set<UINT> *>(param);
    UINT block = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
    HRSRC res = FindResourceA(module, name, type);
    const WORD *p = res ? static_cast<const WORD *>(LockResource(LoadResource(module, res))) : nullptr;
    if (!p) return TRUE;
    for (UINT i = 0; i < 16; ++i) {
        WORD len = *p++;
        if (len) ids->insert((block - 1) * 16 + i);
        p += len;
    }
    return TRUE;
}

TEST(Resources, StringTableHoldsExactlyTheKnownIds) {
    std::set<UINT> stored;
    EnumResourceNamesA(Self(), RT_STRING, CollectBlock, reinterpret_cast<LONG_PTR>(&stored));
    std::set<UINT> expected(std::begin(kAllStringIds), std::end(kAllStringIds));
    for (UINT id : expected) EXPECT_TRUE(stored.count(id)) << "string " << id << " is not stored";
    for (UINT id : stored) EXPECT_TRUE(expected.count(id)) << "string " << id << " is stored but not listed";

    for (size_t i = 0; i < sizeof kAllStringIds / sizeof kAllStringIds[0]; ++i) {
        int n = 0;
        LoadText(kAllStringIds[i], &n);
        EXPECT_GT(n, 0) << "row " << i << ", string " << kAllStringIds[i];
    }

    // The Explorer menu label stays empty: LoadStringA finds nothing.
    char buf[64] = "sentinel";
    EXPECT_EQ(0, LoadStringA(Self(), 1183, buf, sizeof buf));
    EXPECT_EQ(0u, stored.count(1183u));
}

TEST(Resources, TextsAreExact) {
    struct Row { UINT id; const char *text; };
    static const Row rows[] = {
        {1, "Brackmoor"},
        {2, "Brackmoor"},
        {5, "SOFTWARE\\Classes\\HTTP\\shell\\open\\command"},
        {634, "us"},
        {1016, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0"},
        {7, "A new automatic Startup Program has been detected.\n%s\n\nThis program could slow your "
            "computer by running in the background.\nWas this program expected and something you "
            "want active all the time?"},
        {17, "Do you really want to exit Brackmoor?\n\nWhile Brackmoor is closed, changes to your "
             "startup programs and system settings are not watched."},
        {28, "Brackmoor has detected that commands have been added to the file wininit.ini\nThese "
             "commands will be executed the next time you reboot. Would you like to view these "
             "commands?\n"},
        {606, "Startup Program"},
        {702, "NUL=   Indicates the file will be deleted on restart\nREN=   Indicates the file will be renamed."},
        {718, "Brackmoor ALERT: New or Changed Program"},
        {750, "AVI;BAT;CAB;CAT;CHM;COM;CMD;CSS;DOC;EML;EXE;INF;JS;LOG;MSI;MSG;MID;MP3;PIF;RAM;REG;RTF;"
              "SBS;SCR;TXT;URL;VBS;VBE;WSF;WSH;XLS;"},
        {760, "Brackmoor ALERT:  File Type Change"},
        {765, "This program will run each time you login or restart your machine. "},
        {766, "Type: RunOnce\nOften required for software updates and new installations.\nThis program "
              "should only run once when you restart your computer."},
        {767, "This program is listed in your WIN.INI file and will run each time you restart your machine."},
        {768, "A Shortcut to this program has been added to your Startup folder. This program will run "
              "each time you login or restart your machine."},
        {795, "The Brackmoor Explorer (BrackmoorEx.exe) failed to run. It may have been blocked by a "
              "firewall or security program, or its start was cancelled.\n\nBrackmoorEx.exe must be in "
              "the same folder as brackmoor.exe."},
        {820, "Brackmoor - Tobble is watching over your computer."},
        {900, "Tobble the Windows Watchdog has detected the registration of a new Windows Service. "},
        {1013, "\nThis setting is in a key location for your operating system. We do not recommend removal "
               "unless you are absolutely sure this entry is causing a problem.\n\nAre you sure you want "
               "this removed?"},
        {1022, "\nThis program has put itself back into the regular Windows Startup Programs list.\nThis is "
               "not unusual.  Many programs often check to be sure they remain autostart.\n\nClick on "
               "\"Disable\" and Brackmoor will continually remove it from the Statup List automatically "
               "when it is found.\n\nUnless you know how to edit the autostart feature in this programs, "
               "we recommend restoring it to the normal Windows startup list. Would you like to move it "
               "back to the Windows AutoStart list?"},
        {1023, "This Program doesn't want to be Delayed"},
        {1409, "Brackmoor noticed a program previously set to run automatically on Startup will no longer "
               "use this function. It may be this option was changed or the entire program has been "
               "removed or updated. "},
        {1411, "  Check to turn off Brackmoor monitoring of startup program removal. You can turn it back "
               "on under the Statup Programs tab."},
        {1420, "Disable Brackmoor Monitoring -  Turn Game Mode On"},
        {1421, "GAME MODE - Brackmoor Monitoring is Disabled"},
        {3001, "Accept this file if it is allowed or expected to run everytime your computer is turned on. "
               "You can always remove it later if you're not sure."},
        {3002, "Stop this program from running everytime Windows loads. Some programs may return unless "
               "you change their autorun option."},
        {3003, "Use Disable and Brackmoor will automatically Reject future attempts by this program. Use "
               "this feature until you can turn of the autostart option of this program."},
        {3004, "Open the Windows File Explorer to the same folder where this program is located."},
        {3005, "Access the Properties sheet for this file. In some cases, annoying programs may be "
               "disabled by changing their properties."},
        {3006, "Exit the Brackmoor monitor. This may be a last resort if an annoying program continues "
               "to return. Use the Brackmoor Explorer to review any conflicts."},
        {3020, " Allow this file to launch anytime Internet Explorer or one of its components is loaded."},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        EXPECT_EQ(rows[i].text, LoadText(rows[i].id)) << "row " << i << ", string " << rows[i].id;
}

// The code passes a few texts to a formatter with a fixed number of arguments;
// every other text is shown as it is and must not look like a format.
TEST(Resources, FormatTextsCarryTheirPlaceholdersAndLengthsFitTheirBuffers) {
    struct Format { UINT id; int strings; };
    static const Format formats[] = {{7, 1}, {901, 2}, {625, 2}, {676, 2}, {1017, 2}, {1055, 2}};
    for (UINT id : kAllStringIds) {
        std::string text = LoadText(id);
        int wanted = 0;
        for (const Format &f : formats)
            if (f.id == id) wanted = f.strings;
        int found = 0;
        for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 2)) {
            EXPECT_EQ('s', p + 1 < text.size() ? text[p + 1] : '\0') << "string " << id << ": " << text;
            ++found;
        }
        EXPECT_EQ(wanted, found) << "string " << id << ": " << text;
    }

    // Limits of the buffers the texts are read into (characters without the NUL).
    struct Limit { UINT id; size_t most; };
    static const Limit limits[] = {
        {1, 31}, {2, 31}, {634, 7},                                   // class, title, language code
        {820, 127}, {821, 127}, {822, 127}, {823, 127}, {824, 127},   // tray tips
        {826, 127}, {827, 127}, {828, 127}, {829, 127}, {842, 127}, {843, 127}, {1421, 127},
    };
    for (size_t i = 0; i < sizeof limits / sizeof limits[0]; ++i)
        EXPECT_LE(LoadText(limits[i].id).size(), limits[i].most) << "row " << i << ", string " << limits[i].id;
}

// Icons come as a 16x16 and a 32x32 image of 32 bits; the busy tray icon must
// look different from the idle one.
TEST(Resources, IconsBitmapsAndSound) {
    struct GroupEntry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
    static const UINT icons[] = {IDI_BRACKMOOR, IDI_BUSY, IDI_STARTUP_ALERT, IDI_NOTICE};
    std::vector<std::string> small;
    for (UINT id : icons) {
        EXPECT_NE(nullptr, LoadIconA(Self(), MAKEINTRESOURCEA(id))) << "icon " << id;
        HRSRC group = FindResourceA(Self(), MAKEINTRESOURCEA(id), RT_GROUP_ICON);
        ASSERT_NE(nullptr, group) << "icon " << id;
        const BYTE *dir = static_cast<const BYTE *>(LockResource(LoadResource(Self(), group)));
        WORD count = *reinterpret_cast<const WORD *>(dir + 4);
        ASSERT_EQ(2, count) << "icon " << id;
        std::set<int> sizes;
        for (WORD i = 0; i < count; ++i) {
            GroupEntry e;
            std::memcpy(&e, dir + 6 + 14 * i, 14);
            sizes.insert(e.width);
            EXPECT_EQ(32, e.bits) << "icon " << id;
            HRSRC image = FindResourceA(Self(), MAKEINTRESOURCEA(e.id), RT_ICON);
            ASSERT_NE(nullptr, image) << "icon " << id;
            const BYTE *bits = static_cast<const BYTE *>(LockResource(LoadResource(Self(), image)));
            if (e.width == 16) small.emplace_back(reinterpret_cast<const char *>(bits), e.bytes);
            // The AND mask (after header and colour bits) marks the corners as transparent.
            size_t maskStart = 40 + static_cast<size_t>(e.width) * e.width * 4;
            ASSERT_LE(maskStart + 4, static_cast<size_t>(e.bytes));
            EXPECT_NE(0, bits[maskStart] & 0x80) << "icon " << id << " has an opaque corner";
        }
        EXPECT_EQ((std::set<int>{16, 32}), sizes) << "icon " << id;
    }
    ASSERT_EQ(4u, small.size());
    EXPECT_NE(small[0], small[1]) << "the busy icon looks like the idle icon";

    for (UINT id : {IDB_MASCOT, IDB_BANNER, IDB_PAW}) {
        HBITMAP bmp = LoadBitmapA(Self(), MAKEINTRESOURCEA(id));
        ASSERT_NE(nullptr, bmp) << "bitmap " << id;
        BITMAP info = {};
        GetObjectA(bmp, sizeof info, &info);
        EXPECT_EQ(64, info.bmWidth) << "bitmap " << id;
        EXPECT_EQ(64, info.bmHeight) << "bitmap " << id;
        DeleteObject(bmp);
    }

    // The built-in alert sound: a short PCM mono WAVE that PlaySoundA accepts.
    HRSRC wave = FindResourceA(Self(), MAKEINTRESOURCEA(IDW_ALERT), "WAVE");
    ASSERT_NE(nullptr, wave);
    const BYTE *riff = static_cast<const BYTE *>(LockResource(LoadResource(Self(), wave)));
    DWORD size = SizeofResource(Self(), wave);
    ASSERT_GT(size, 44u);
    EXPECT_EQ(0, std::memcmp(riff, "RIFF", 4));
    EXPECT_EQ(0, std::memcmp(riff + 8, "WAVEfmt ", 8));
    WORD format, channels;
    DWORD byteRate;
    std::memcpy(&format, riff + 20, 2);
    std::memcpy(&channels, riff + 22, 2);
    std::memcpy(&byteRate, riff + 28, 4);
    EXPECT_EQ(1, format);   // WAVE_FORMAT_PCM
    EXPECT_EQ(1, channels);
    double seconds = static_cast<double>(size - 44) / byteRate;
    EXPECT_GT(seconds, 0.2);
    EXPECT_LT(seconds, 0.5);
}

// The monitor reports its own version from its file (and writes "33.1.2015.0"
// as the marker of the baselines it has built).
TEST(Resources, VersionRecordOfTheModule) {
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &len));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(1, 33)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, 2015)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &len));
    ASSERT_EQ(4u, len);   // one language: the table below is read with it
    EXPECT_EQ(0x409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    struct Row { const char *name, *value; };
    static const Row rows[] = {
        {"ProductVersion", "33.1.2015.0"}, {"FileVersion", "33.1.2015.0"},
        {"CompanyName", "Dunmere Works"},  {"ProductName", "Brackmoor"},
        {"FileDescription", "Brackmoor"},  {"OriginalFilename", "brackmoor.exe"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        char query[128];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], rows[i].name);
        char *value = nullptr;
        ASSERT_TRUE(VerQueryValueA(data.data(), query, reinterpret_cast<void **>(&value), &len))
            << "row " << i << ": " << query;
        EXPECT_STREQ(rows[i].value, value) << "row " << i;
    }
    char *copyright = nullptr;
    wsprintfA(path, "\\StringFileInfo\\%04x%04x\\LegalCopyright", translation[0], translation[1]);
    ASSERT_TRUE(VerQueryValueA(data.data(), path, reinterpret_cast<void **>(&copyright), &len));
    EXPECT_NE(nullptr, std::strstr(copyright, "Dunmere Works"));
}

INT_PTR CALLBACK QuietDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(child);
    return TRUE;
}

// Each template opens, has the size and every control its procedure fills, and
// keeps all controls inside the dialog.
TEST(Resources, DialogTemplates) {
    struct Dialog { UINT id; int cx, cy; UINT defaultButton; std::vector<int> controls; };
    const Dialog dialogs[] = {
        {IDD_NEWPROG, 400, 161, IDYES,
         {IDC_ALERTICON, IDC_MESSAGE, IDC_PROGICON, IDC_PRODUCTNAME, IDC_DESCRIPTION, IDC_COMPANY,
          IDC_VERSIONLABEL, IDC_VERSION, IDC_PATH, IDC_MASCOT, IDC_DISABLE, IDC_LOCATION,
          IDC_PROPERTIES, IDC_ABORT, IDYES, IDNO, IDC_INFO, IDC_CHECK}},
        {IDD_DELAYALERT, 400, 161, IDYES,
         {IDC_MESSAGE, IDC_PROGICON, IDC_PRODUCTNAME, IDC_DESCRIPTION, IDC_COMPANY, IDC_VERSIONLABEL,
          IDC_VERSION, IDC_PATH, IDC_INFO, IDYES, IDNO}},
        {IDD_MISSINGNOTICE, 399, 162, IDOK,
         {IDC_NOTICE_TEXT, IDC_NOTICE_HINT, IDC_NOTICE_NAME, IDC_NOTICE_PATH, IDC_CHECK, IDOK,
          IDC_ALERTICON}},
    };
    for (const Dialog &d : dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        HWND dlg = CreateDialogParamA(Self(), MAKEINTRESOURCEA(d.id), nullptr, QuietDlgProc, 0);
        ASSERT_NE(nullptr, dlg) << GetLastError();
        EXPECT_FALSE(IsWindowVisible(dlg));
        EXPECT_NE(0, GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);

        RECT want = {0, 0, d.cx, d.cy}, client;
        MapDialogRect(dlg, &want);
        GetClientRect(dlg, &client);
        EXPECT_EQ(want.right, client.right);
        EXPECT_EQ(want.bottom, client.bottom);

        for (size_t i = 0; i < d.controls.size(); ++i)
            EXPECT_NE(nullptr, GetDlgItem(dlg, d.controls[i])) << "row " << i << ", control " << d.controls[i];

        HWND def = GetDlgItem(dlg, d.defaultButton);
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(def, GWL_STYLE) & BS_TYPEMASK);
        if (HWND path = GetDlgItem(dlg, IDC_PATH)) {
            char cls[16] = "";
            GetClassNameA(path, cls, sizeof cls);
            EXPECT_STREQ("Edit", cls);
            EXPECT_NE(0, GetWindowLongA(path, GWL_STYLE) & ES_READONLY);
        }
        // The pictures really come from the module's icon and bitmap resources.
        if (HWND icon = GetDlgItem(dlg, IDC_ALERTICON)) {
            EXPECT_NE(0, SendMessageA(icon, STM_GETICON, 0, 0));
        }
        if (HWND mascot = GetDlgItem(dlg, IDC_MASCOT)) {
            EXPECT_NE(0, SendMessageA(mascot, STM_GETIMAGE, IMAGE_BITMAP, 0));
        }

        std::vector<HWND> children;
        EnumChildWindows(dlg, CollectChild, reinterpret_cast<LPARAM>(&children));
        EXPECT_EQ(d.controls.size(), children.size());
        for (HWND child : children) {
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
                << "control " << GetDlgCtrlID(child) << " lies outside the dialog";
        }
        DestroyWindow(dlg);
    }
}

}  // namespace
