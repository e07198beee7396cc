// The autostart places in process: Disable and Restore leave a place as it stood; hostile
// data is passed over with a trace line.
#include <windows.h>

#include <string>

#include "common/runlist.h"
#include "startup/places.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"
#include "support/autostart_places.h"
#include "support/test_env.h"

namespace {

// The index of the scan's entry with this code and path (not a kept copy), -1
// when it has none.
int FindEntry(const RunList *list, int code, const std::string &path)
{
    char recorded[MAX_PATH];
    for (int i = 0; i < list->count; i++)
        if (GetRunCode(list, i) == code && !IsStoredCopy(list, i) && GetRunPath(list, i, recorded) > 0 &&
            path == recorded)
            return i;
    return -1;
}

TEST_F(PlacesTest, DisableKeepsAComebackOutAndRestorePutsThePlaceBackExactly)
{
    for (size_t i = 0; i < kPlaces.size(); i++) {
        const Place &place = kPlaces[i];
        if (!HasStore(place))
            continue;
        SCOPED_TRACE(place.tag);
        Plant(place, "toggle");
        std::string planted = KeyTreeText(place.root, place.area, k64), path = ShownPath(place, "toggle");
        OwnedRunList scan;
        StartupScan(scan, 0);
        int at = FindEntry(scan, place.code, path);
        ASSERT_LE(0, at) << "listed";
        char name[RUN_NAME_MAX], command[1024];
        GetRunName(scan, at, name);
        ASSERT_LT(0, ReadPlaceEntryText(place.code, name, path.c_str(), command, sizeof(command)));

        EXPECT_EQ(1, DisableRunProgram(name, command, "", place.code));
        EXPECT_TRUE(AsBefore(i)) << "disabled";
        Plant(place, "toggle");
        StartupScan(scan, 0);
        EXPECT_EQ(-1, FindEntry(scan, place.code, path)) << "a comeback is not listed";
        EXPECT_TRUE(AsBefore(i)) << "a comeback is taken out";
        EXPECT_EQ(1, DisableRunProgram(name, command, "", place.code));
        EXPECT_EQ(planted, KeyTreeText(place.root, place.area, k64)) << "restored as it stood";
    }
}

TEST_F(PlacesTest, HostileDataIsPassedOverAndTraced)
{
    TraceToTempFile();
    const std::string ifeo = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
    const std::string session = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const std::string once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\0009";
    const std::string longText(2000, 'x'), longItem(300, 'y');
    const std::string boot = std::string("autocheck autochk *\0", 20) + longItem + std::string("\0", 1);
    const struct {
        HKEY root;
        std::string key, name, data;
        DWORD type;
        const char *trace;
    } rows[] = {
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Command Processor", "AutoRun", longText, REG_SZ,
         "ReadAutostartPlaces value too long"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", "ImagePath",
         std::string("C:\\bm\\x.exe\0junk", 15), REG_SZ, "ReadAutostartPlaces not text"},
        {HKEY_LOCAL_MACHINE, ifeo + "bmbinary.exe", "Debugger", "MZ\x90", REG_BINARY, "ReadAutostartPlaces not text"},
        {HKEY_LOCAL_MACHINE, ifeo + std::string(130, 'n') + ".exe", "Debugger", "C:\\bm\\n.exe", REG_SZ,
         "ReadAutostartPlaces name too long"},
        {HKEY_LOCAL_MACHINE, session + "\\AppCertDlls", "a\\b", "C:\\bm\\ab.dll", REG_SZ,
         "ReadAutostartPlaces name not reachable"},
        {HKEY_LOCAL_MACHINE, once, "bmlong", longText, REG_SZ, "ReadAutostartPlaces value or name too long"},
        {HKEY_LOCAL_MACHINE, session, "BootExecute", boot, REG_MULTI_SZ, "ReadAutostartPlaces item too long"},
    };
    for (const auto &row : rows) {
        Watch(row.root, row.key.c_str());
        Keep(row.root, row.key.c_str(), row.name.c_str());
        Put(row.root, row.key.c_str(), row.name, row.data, 0, row.type);
    }
    OwnedRunList scan;
    StartupScan(scan, 0);
    // The folder settings of the prefix are the places' only entries.
    for (int i = 0; i < scan->count; i++) {
        const AutostartPlace *place = FindAutostartPlace(GetRunCode(scan, i));
        EXPECT_TRUE(!place || place->folder) << "entry " << i << " of code " << GetRunCode(scan, i);
    }
    for (const auto &row : rows)
        EXPECT_TRUE(TraceHas(row.trace)) << row.trace;
}

} // namespace
