#include "support/autostart_places.h"

#include "startup/places.h"

namespace {
const std::string kVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
const std::string kVersion32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";
const std::string kControl = "SYSTEM\\CurrentControlSet\\Control";
const std::string kSession = kControl + "\\Session Manager";
const std::string kShellFolders = kVersion + "\\Explorer\\User Shell Folders";
const std::string kIfeo = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
const std::string kSetup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
const std::string kRecycleBin = "Software\\Classes\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}";
const std::string kComputer = "Software\\Classes\\CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
const std::string kRdp = kControl + "\\Terminal Server\\Wds\\rdpwd";

} // namespace

const std::vector<Place> kPlaces = {
    {"onceex", CODE_MACHINE_RUNONCEEX_ITEM, HKLM, kVersion + "\\RunOnceEx\\0001\\Depend", "1", REG_SZ, "", "", "",
     kVersion + "\\RunOnceEx", ".dll", ""},
    {"onceexuser", CODE_CURRENT_RUNONCEEX_ITEM, HKCU, kVersion + "\\RunOnceEx\\0002", "bmline", REG_SZ, "||", "",
     "", kVersion + "\\RunOnceEx", ".exe", ""},
    {"onceex32", CODE_WOW64_RUNONCEEX_ITEM, HKLM, kVersion32 + "\\RunOnceEx\\0003", "bmline", REG_SZ, "||", " -q",
     "", kVersion32 + "\\RunOnceEx", ".exe", " -q"},
    {"startup", CODE_USER_STARTUP_FOLDER, HKCU, kShellFolders, "Startup", REG_EXPAND_SZ, "", "", "", kShellFolders,
     "", ""},
    {"common", CODE_COMMON_STARTUP_FOLDER, HKLM, kShellFolders, "Common Startup", REG_EXPAND_SZ, "", "", "",
     kShellFolders, "", ""},
    {"boot", CODE_BOOT_EXECUTE, HKLM, kSession, "BootExecute", REG_MULTI_SZ, std::string("autocheck autochk *\0", 20),
     std::string("\0", 1), std::string("autocheck autochk *\0", 20), kSession, ".exe", ""},
    {"debugger", CODE_IFEO_DEBUGGER, HKLM, kIfeo + "\\bmvictim.exe", "Debugger", REG_SZ, "", "", "", kIfeo, ".exe", ""},
    {"cmd", CODE_MACHINE_CMD_AUTORUN, HKLM, "Software\\Microsoft\\Command Processor", "AutoRun", REG_SZ, "", "", "",
     "Software\\Microsoft\\Command Processor", ".exe", ""},
    {"cmduser", CODE_CURRENT_CMD_AUTORUN, HKCU, "Software\\Microsoft\\Command Processor", "AutoRun", REG_SZ, "", "",
     "", "Software\\Microsoft\\Command Processor", ".exe", ""},
    {"stub", CODE_ACTIVE_SETUP, HKLM, kSetup + "\\{B0A1C2D3-0000-4000-8000-00000000BEEF}", "StubPath", REG_EXPAND_SZ, "",
     " /install", "", kSetup, ".exe", " /install"},
    {"appcert", CODE_APPCERT_DLLS, HKLM, kSession + "\\AppCertDlls", "bmcert", REG_SZ, "", "", "",
     kSession + "\\AppCertDlls", ".dll", ""},
    {"rdp", CODE_RDP_STARTUP_PROGRAMS, HKLM, kRdp, "StartupPrograms", REG_SZ, "rdpclip,", "", "rdpclip", kRdp, ".exe", ""},
    {"verify", CODE_BOOT_VERIFICATION, HKLM, kControl + "\\BootVerificationProgram", "ImagePath", REG_SZ, "", "", "",
     kControl + "\\BootVerificationProgram", ".exe", ""},
    {"recycle", CODE_MACHINE_SHELL_OPEN, HKLM, kRecycleBin + "\\shell\\open\\command", "", REG_SZ, "\"", "\" %1", "",
     kRecycleBin, ".exe", " %1"},
    {"computer", CODE_CURRENT_SHELL_OPEN, HKCU, kComputer + "\\shell\\open\\command", "", REG_SZ, "", "", "",
     kComputer, ".exe", ""},
};

bool HasStore(const Place &place)
{
    return FindStartupLocation(place.code)->storeKey != nullptr;
}

std::string Program(const Place &place, const std::string &step)
{
    return "C:\\bm\\" + std::string(place.tag) + "-" + step + place.extension;
}

std::string ShownPath(const Place &place, const std::string &step)
{
    return Program(place, step) + place.shown;
}

void PlacesTest::SetUp()
{
    StartupPlacesTest::SetUp();
    for (const Place &place : kPlaces) {
        Watch(place.root, place.key.c_str());
        Keep(place.root, place.key.c_str(), place.value.c_str());
        if (!place.windows.empty())
            Put(place.root, place.key.c_str(), place.value, place.windows, 0, place.type);
    }
    for (const Place &place : kPlaces)
        areas_.push_back(KeyTreeText(place.root, place.area, KEY_WOW64_64KEY));
}

void PlacesTest::Plant(const Place &place, const std::string &step)
{
    Put(place.root, place.key.c_str(), place.value, place.before + Program(place, step) + place.after, 0, place.type);
}

void PlacesTest::PlantAll(const std::string &step, bool storesOnly)
{
    for (const Place &place : kPlaces)
        if (!storesOnly || HasStore(place))
            Plant(place, step);
}

::testing::AssertionResult PlacesTest::AsBefore(size_t i)
{
    std::string now = KeyTreeText(kPlaces[i].root, kPlaces[i].area, KEY_WOW64_64KEY);
    if (now == areas_[i])
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << kPlaces[i].tag << ": " << now << "\nwas: " << areas_[i];
}
