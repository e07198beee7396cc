// Detection records: the first date wins, only existing programs (and any ActiveX
// item) are recorded, codes select their category, and the first fill happens
// once per missing base date without touching records that exist.
#include "support/test_env.h"

#include <string.h>

#include "common/detection.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/runlist.h"

using DetectionTest = BrackmoorTest;

namespace {

const char *const kCategoryKeys[] = {
    "Software\\Dunmere Works\\Detected\\Startup",     "Software\\Dunmere Works\\Detected\\IEHelper",
    "Software\\Dunmere Works\\Detected\\Services",    "Software\\Dunmere Works\\Detected\\Tasks",
    "Software\\Dunmere Works\\Detected\\ActiveTasks", "Software\\Dunmere Works\\Detected\\FileTypes",
    "Software\\Dunmere Works\\Detected\\Hidden",      "Software\\Dunmere Works\\Detected\\ActiveX",
};
const char kBase[] = "Software\\Dunmere Works\\Detected";
const char kStartup[] = "Software\\Dunmere Works\\Detected\\Startup";
const char kActiveTasks[] = "Software\\Dunmere Works\\Detected\\ActiveTasks";
const char kActiveX[] = "Software\\Dunmere Works\\Detected\\ActiveX";

std::string OwnImage()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof(path));
    return std::string(path, n);
}

std::string Upper(std::string text)
{
    CharUpperBuffA(&text[0], (DWORD)text.size());
    return text;
}

// The value names of a key exactly as stored (case included).
std::vector<std::string> ValueNames(const char *path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; i++) {
        char name[1024];
        DWORD size = sizeof(name);
        if (RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.push_back(std::string(name, size));
    }
    RegCloseKey(key);
    return names;
}

bool Contains(const std::vector<std::string> &list, const std::string &item)
{
    for (const std::string &s : list)
        if (s == item)
            return true;
    return false;
}

}  // namespace

// ---- RecordDetection -------------------------------------------------------

TEST_F(DetectionTest, AnExistingRecordKeepsItsFirstDate)
{
    const std::string image = OwnImage();
    const std::string name = Upper(image);
    // A command line with quotes and arguments names the same program.
    const std::string command = "\"" + image + "\" -background";
    RegPut(HKEY_CURRENT_USER, kStartup, name.c_str(), "01/02/2003 04:05");
    EXPECT_EQ(1, RecordDetection(command.c_str(), kStartup));
    EXPECT_EQ("01/02/2003 04:05", RegText(HKEY_CURRENT_USER, kStartup, name.c_str()));
    EXPECT_EQ(1u, ValueNames(kStartup).size());
}

TEST_F(DetectionTest, ANewRecordIsWrittenOnceUnderTheUpperCaseProgramPath)
{
    TestLogCounter = 0;
    CopyText(TestLogPath, CAP(TestLogPath), (TempFolder() + "\\trace.txt").c_str());
    const std::string image = OwnImage();
    const std::string name = Upper(image);
    EXPECT_EQ(0, RecordDetection(image.c_str(), kActiveTasks));
    std::vector<std::string> names = ValueNames(kActiveTasks);
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(name, names[0]);                               // case as stored
    std::string first = RegText(HKEY_CURRENT_USER, kActiveTasks, name.c_str());
    EXPECT_FALSE(first.empty());
    EXPECT_LE(first.size(), 23u);
    // The trace names the item and the record.
    EXPECT_TRUE(TraceHas(image + ": " + name));
    // A second meeting finds it.
    EXPECT_EQ(1, RecordDetection(image.c_str(), kActiveTasks));
    EXPECT_EQ(first, RegText(HKEY_CURRENT_USER, kActiveTasks, name.c_str()));
    // Other categories are separate: the same program is new to them.
    EXPECT_EQ(0, RecordDetection(image.c_str(), kStartup));
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, kStartup, name.c_str()));
}

TEST_F(DetectionTest, OnlyExistingProgramsOutsideActiveXAreRecorded)
{
    const struct {
        const char *item;
        const char *key;
        int first;              // result of the first call
        bool recorded;
        const char *valueName;  // where the record is expected
    } rows[] = {
        {"C:\\No\\Such\\Folder\\missing.exe", kStartup, 0, false, "C:\\NO\\SUCH\\FOLDER\\MISSING.EXE"},
        {"C:\\No\\Such\\Folder\\missing.exe -x", kActiveTasks, 0, false, "C:\\NO\\SUCH\\FOLDER\\MISSING.EXE"},
        {"", kStartup, 0, false, ""},
        {"{D27CDB6E-AE6D-11CF-96B8-444553540000}", kActiveX, 0, true, "{D27CDB6E-AE6D-11CF-96B8-444553540000}"},
        {"Some Control Name", kActiveX, 0, true, "Some Control Name"},
        // Not a file, and not in the ActiveX category: refused.
        {"{D27CDB6E-AE6D-11CF-96B8-444553540000}", kStartup, 0, false, "{D27CDB6E-AE6D-11CF-96B8-444553540000}"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kBase);
        EXPECT_EQ(rows[i].first, RecordDetection(rows[i].item, rows[i].key)) << "row " << i;
        std::vector<std::string> names = ValueNames(rows[i].key);
        if (rows[i].recorded) {
            ASSERT_EQ(1u, names.size()) << "row " << i;
            EXPECT_EQ(rows[i].valueName, names[0]) << "row " << i;
            EXPECT_EQ(1, RecordDetection(rows[i].item, rows[i].key)) << "row " << i << " second call";
        } else {
            EXPECT_TRUE(names.empty()) << "row " << i << " wrote " << (names.empty() ? "" : names[0]);
        }
    }
}

TEST_F(DetectionTest, ActiveXIsRecognisedByTheExactKeyText)
{
    // Another spelling of the key is not the ActiveX category: the text must be a file.
    const char lower[] = "Software\\Dunmere Works\\Detected\\activex";
    EXPECT_EQ(0, RecordDetection("{0000-NOT-A-FILE}", lower));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kActiveX, "{0000-NOT-A-FILE}"));
}

// ---- GetDetectedDate -------------------------------------------------------

TEST_F(DetectionTest, CodesSelectTheirCategory)
{
    const char *const name = "Z:\\SOME\\PROGRAM.EXE";
    // A distinct date text per category, so a wrong key shows which one was read.
    const char *const dates[] = {"01/01/2001 01:01", "02/02/2002 02:02", "03/03/2003 03:03",
                                 "04/04/2004 04:04", "05/05/2005 05:05", "06/06/2006 06:06",
                                 "07/07/2007 07:07", "08/08/2008 08:08"};
    for (size_t k = 0; k < 8; k++)
        RegPut(HKEY_CURRENT_USER, kCategoryKeys[k], name, dates[k]);
    enum { STARTUP, IEHELPER, SERVICES, TASKS, ACTIVETASKS, FILETYPES, HIDDEN, ACTIVEX, NONE };
    const struct { int code; int category; } rows[] = {
        {1070, STARTUP}, {30, STARTUP}, {1, STARTUP}, {200, STARTUP}, {256, STARTUP}, {299, STARTUP},
        {-5, STARTUP}, {600, ACTIVETASKS}, {1010, ACTIVETASKS}, {1200, ACTIVEX}, {1020, ACTIVEX},
        {370, HIDDEN}, {1030, HIDDEN}, {400, FILETYPES}, {700, SERVICES}, {701, SERVICES},
        {1060, SERVICES}, {800, TASKS}, {1050, TASKS}, {900, IEHELPER}, {901, IEHELPER},
        {902, IEHELPER}, {1040, IEHELPER}, {300, NONE}, {350, NONE}, {5000, NONE}, {1103, NONE},
        {500, NONE},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[DETECTED_DATE_MAX];
        memset(out, 'x', sizeof(out));
        int len = GetDetectedDate(rows[i].code, name, out);
        if (rows[i].category == NONE) {
            EXPECT_EQ(0, len) << "row " << i << " code " << rows[i].code;
            EXPECT_STREQ("", out) << "row " << i << " code " << rows[i].code;
        } else {
            const char *want = dates[rows[i].category];
            EXPECT_EQ((int)strlen(want), len) << "row " << i << " code " << rows[i].code;
            EXPECT_STREQ(want, out) << "row " << i << " code " << rows[i].code;
        }
    }
}

TEST_F(DetectionTest, TheDateNeverRunsPastTwentyFourCharacters)
{
    const char *const name = "Z:\\SOME\\PROGRAM.EXE";
    const struct { const char *stored; const char *expected; } rows[] = {
        {"12345678901234567890123", "12345678901234567890123"},     // 23: fits
        {"123456789012345678901234", ""},                           // 24: no room for the NUL
        {"a much longer text than any date would ever be", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPut(HKEY_CURRENT_USER, kStartup, name, rows[i].stored);
        char buffer[DETECTED_DATE_MAX + 8];
        memset(buffer, 0x5A, sizeof(buffer));
        int len = GetDetectedDate(10, name, buffer);
        EXPECT_EQ((int)strlen(rows[i].expected), len) << "row " << i;
        EXPECT_STREQ(rows[i].expected, buffer) << "row " << i;
        for (size_t g = DETECTED_DATE_MAX; g < sizeof(buffer); g++)
            EXPECT_EQ(0x5A, (unsigned char)buffer[g]) << "row " << i << " guard byte " << g;
    }
    char out[DETECTED_DATE_MAX] = "junk";
    EXPECT_EQ(0, GetDetectedDate(10, "Z:\\NOT\\RECORDED.EXE", out));
    EXPECT_STREQ("", out);
}

// ---- InitDetectionRecords --------------------------------------------------

TEST_F(DetectionTest, TheFirstFillCreatesEveryCategoryAndRecordsRunningPrograms)
{
    ASSERT_FALSE(RegHasKey(HKEY_CURRENT_USER, kBase));
    EXPECT_EQ(1, InitDetectionRecords());
    for (size_t k = 0; k < 8; k++)
        EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, kCategoryKeys[k])) << "key " << k << " " << kCategoryKeys[k];
    std::string base = RegText(HKEY_CURRENT_USER, kBase, "");
    EXPECT_FALSE(base.empty());
    EXPECT_LE(base.size(), 23u);
    // This very program runs, so it is among the active tasks, by its upper-case path.
    std::vector<std::string> names = ValueNames(kActiveTasks);
    EXPECT_TRUE(Contains(names, Upper(OwnImage()))) << "entries: " << names.size();
    for (size_t n = 0; n < names.size(); n++) {
        EXPECT_EQ(Upper(names[n]), names[n]) << "entry " << n;
        EXPECT_FALSE(RegText(HKEY_CURRENT_USER, kActiveTasks, names[n].c_str()).empty()) << "entry " << n;
    }
    // The borrowed run list is given back empty.
    EXPECT_EQ(0, RunList.count);
}

TEST_F(DetectionTest, TheFillHappensOnlyWhileTheBaseDateIsMissing)
{
    RegPut(HKEY_CURRENT_USER, kBase, "", "09/09/2009 09:09");
    EXPECT_EQ(0, InitDetectionRecords());
    EXPECT_EQ("09/09/2009 09:09", RegText(HKEY_CURRENT_USER, kBase, ""));
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, kActiveTasks));

    // Deleting the date fills again, but records that exist keep their dates.
    const std::string own = Upper(OwnImage());
    RegPut(HKEY_CURRENT_USER, kActiveTasks, own.c_str(), "10/10/2010 10:10");
    RegPut(HKEY_CURRENT_USER, kStartup, "Z:\\OLD\\RECORD.EXE", "11/11/2011 11:11");
    RegRemoveValue(HKEY_CURRENT_USER, kBase, "");
    EXPECT_EQ(1, InitDetectionRecords());
    EXPECT_EQ("10/10/2010 10:10", RegText(HKEY_CURRENT_USER, kActiveTasks, own.c_str()));
    EXPECT_EQ("11/11/2011 11:11", RegText(HKEY_CURRENT_USER, kStartup, "Z:\\OLD\\RECORD.EXE"));
    std::string base = RegText(HKEY_CURRENT_USER, kBase, "");
    EXPECT_FALSE(base.empty());
    EXPECT_NE("09/09/2009 09:09", base);
    // And now it is filled: the next start leaves everything alone.
    RegRemoveValue(HKEY_CURRENT_USER, kActiveTasks, own.c_str());
    EXPECT_EQ(0, InitDetectionRecords());
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kActiveTasks, own.c_str()));
}
