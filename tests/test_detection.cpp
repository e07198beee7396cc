// Detection records: the first date wins, only existing programs (and any ActiveX
// item) are recorded, codes select their category, the first fill happens once.
#include "support/system_state.h"
#include "support/test_env.h"

#include <string.h>

#include "common/detection.h"
#include "monitor/watcher_table.h"
#include "common/runlist.h"

using DetectionTest = BrackmoorTest;

namespace {

const char kBase[] = "Software\\Dunmere Works\\Detected";
const char *const kCategoryKeys[] = {
    "Software\\Dunmere Works\\Detected\\Startup",     "Software\\Dunmere Works\\Detected\\IEHelper",
    "Software\\Dunmere Works\\Detected\\Services",    "Software\\Dunmere Works\\Detected\\Tasks",
    "Software\\Dunmere Works\\Detected\\ActiveTasks", "Software\\Dunmere Works\\Detected\\FileTypes",
    "Software\\Dunmere Works\\Detected\\Hidden",      "Software\\Dunmere Works\\Detected\\ActiveX",
};
enum { STARTUP, IEHELPER, SERVICES, TASKS, ACTIVETASKS, FILETYPES, HIDDEN, ACTIVEX, NONE };
const char *const kStartup = kCategoryKeys[STARTUP];
const char *const kActiveTasks = kCategoryKeys[ACTIVETASKS];

// The value names of a key exactly as stored (case included).
std::vector<std::string> ValueNames(const char *path)
{
    std::vector<std::string> names;
    for (const auto &value : RegKeyValues(HKEY_CURRENT_USER, path, 0))
        names.push_back(value.first);
    return names;
}

}  // namespace

TEST_F(DetectionTest, RecordsKeepTheirFirstDateAndNeedAnExistingProgramOutsideActiveX)
{
    const std::string image = ThisProgram();
    const struct { std::string item; const char *key; std::string valueName; } rows[] = {
        {"\"" + image + "\" -background", kActiveTasks, Upper(image)},   // by its upper-case program path
        {"c:\\no\\such\\folder\\missing.exe -x", kActiveTasks, ""},
        {"", kStartup, ""},
        {"{D27CDB6E-AE6D-11CF-96B8-444553540000}", kCategoryKeys[ACTIVEX], "{D27CDB6E-AE6D-11CF-96B8-444553540000}"},
        {"Some Control Name", kCategoryKeys[ACTIVEX], "Some Control Name"},
        {"{D27CDB6E-AE6D-11CF-96B8-444553540000}", kStartup, ""},   // not a file, not ActiveX
        {"{0000-NOT-A-FILE}", "Software\\Dunmere Works\\Detected\\activex", ""},   // the exact key text only
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kBase);
        EXPECT_EQ(0, RecordDetection(rows[i].item.c_str(), rows[i].key)) << "row " << i;
        std::vector<std::string> names = ValueNames(rows[i].key);
        if (rows[i].valueName.empty()) {
            EXPECT_TRUE(names.empty()) << "row " << i << " wrote " << (names.empty() ? "" : names[0]);
            continue;
        }
        ASSERT_EQ(1u, names.size()) << "row " << i;
        EXPECT_EQ(rows[i].valueName, names[0]) << "row " << i;
        std::string first = RegText(HKEY_CURRENT_USER, rows[i].key, names[0].c_str());
        EXPECT_TRUE(!first.empty() && first.size() < DETECTED_DATE_MAX) << "row " << i << ": " << first;
        // A second meeting finds it and leaves the date alone.
        EXPECT_EQ(1, RecordDetection(rows[i].item.c_str(), rows[i].key)) << "row " << i;
        EXPECT_EQ(first, RegText(HKEY_CURRENT_USER, rows[i].key, names[0].c_str())) << "row " << i;
    }
}

TEST_F(DetectionTest, CodesSelectTheirCategoryAndTheDateStaysInItsBuffer)
{
    // A distinct date text per category, so a wrong key shows which one was read.
    const char *const name = "Z:\\SOME\\PROGRAM.EXE";
    std::string dates[8];
    for (int k = 0; k < 8; k++) {
        dates[k] = "0" + std::to_string(k + 1) + "/01/2001 01:01";
        RegPut(HKEY_CURRENT_USER, kCategoryKeys[k], name, dates[k].c_str());
    }
    const struct { int code, category; } rows[] = {
        {1070, STARTUP}, {1, STARTUP}, {299, STARTUP}, {600, ACTIVETASKS}, {1010, ACTIVETASKS}, {1200, ACTIVEX},
        {1020, ACTIVEX}, {370, HIDDEN}, {400, FILETYPES}, {700, SERVICES}, {1060, SERVICES}, {800, TASKS},
        {1050, TASKS}, {902, IEHELPER}, {1040, IEHELPER}, {300, NONE}, {350, NONE}, {500, NONE}, {1103, NONE},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[DETECTED_DATE_MAX];
        memset(out, 'x', sizeof(out));
        std::string want = rows[i].category == NONE ? "" : dates[rows[i].category];
        EXPECT_EQ((int)want.size(), GetDetectedDate(rows[i].code, name, out)) << "row " << i;
        EXPECT_EQ(want, std::string(out)) << "row " << i << " code " << rows[i].code;
    }

    // 23 characters fit with the NUL; 24 do not, and nothing is written past the buffer.
    char buffer[DETECTED_DATE_MAX + 8];
    for (int len : {23, 24}) {
        RegPut(HKEY_CURRENT_USER, kStartup, name, std::string(len, '7').c_str());
        memset(buffer, 0x5A, sizeof(buffer));
        EXPECT_EQ(len == 23 ? 23 : 0, GetDetectedDate(10, name, buffer)) << len;
        EXPECT_EQ(len == 23 ? std::string(23, '7') : "", std::string(buffer)) << len;
        EXPECT_EQ(std::string(8, 0x5A), std::string(buffer + DETECTED_DATE_MAX, 8)) << len;
    }
}

TEST_F(DetectionTest, TheFillHappensOnlyWhileTheBaseDateIsMissingAndKeepsRecords)
{
    RegPut(HKEY_CURRENT_USER, kBase, "", "09/09/2009 09:09");
    EXPECT_EQ(0, InitDetectionRecords());
    EXPECT_EQ("09/09/2009 09:09", RegText(HKEY_CURRENT_USER, kBase, ""));
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, kActiveTasks));

    // Without the date it fills every category and records this very program
    // among the active tasks; a record that exists keeps its date.
    const std::string own = Upper(ThisProgram());
    RegPut(HKEY_CURRENT_USER, kStartup, "Z:\\OLD\\RECORD.EXE", "11/11/2011 11:11");
    RegRemoveValue(HKEY_CURRENT_USER, kBase, "");
    EXPECT_EQ(1, InitDetectionRecords());
    for (size_t k = 0; k < 8; k++)
        EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, kCategoryKeys[k])) << "key " << k << " " << kCategoryKeys[k];
    std::string base = RegText(HKEY_CURRENT_USER, kBase, "");
    EXPECT_TRUE(base != "09/09/2009 09:09" && !base.empty() && base.size() < DETECTED_DATE_MAX) << base;
    EXPECT_FALSE(RegText(HKEY_CURRENT_USER, kActiveTasks, own.c_str()).empty());
    for (const std::string &name : ValueNames(kActiveTasks))
        EXPECT_EQ(Upper(name), name);
    EXPECT_EQ("11/11/2011 11:11", RegText(HKEY_CURRENT_USER, kStartup, "Z:\\OLD\\RECORD.EXE"));

    // A second fill keeps the records it finds.
    RegPut(HKEY_CURRENT_USER, kActiveTasks, own.c_str(), "10/10/2010 10:10");
    RegRemoveValue(HKEY_CURRENT_USER, kBase, "");
    EXPECT_EQ(1, InitDetectionRecords());
    EXPECT_EQ("10/10/2010 10:10", RegText(HKEY_CURRENT_USER, kActiveTasks, own.c_str()));
}
