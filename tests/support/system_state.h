// Saving and putting back the parts of the system a test changes outside the
// monitor's own keys, and reading back what the monitor wrote.
#pragma once
#include <windows.h>
#include <initializer_list>
#include <tuple>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/test_env.h"

// The keys of the startup places the tests write into (the 32-bit view's through its own path).
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRun32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// The first key along a path that does not exist yet: what a test creates below
// it is removed with it, so that the system's tree is left as it was found.
struct NewKeys {
    std::vector<std::pair<HKEY, std::string>> missing;

    void Watch(HKEY root, const std::string &path)
    {
        size_t cut = 0;
        while (cut != std::string::npos) {
            cut = path.find('\\', cut + 1);
            std::string prefix = path.substr(0, cut);
            if (!RegHasKey(root, prefix.c_str(), KEY_WOW64_64KEY)) {
                missing.emplace_back(root, prefix);
                return;
            }
        }
    }
    void Remove()
    {
        for (const auto &key : missing)
            RegDeleteTreeView(key.first, key.second.c_str(), KEY_WOW64_64KEY);
        missing.clear();
    }
};

struct SavedValue {
    HKEY root;
    std::string path, name;
    REGSAM view;
    bool existed = false;
    DWORD type = 0;
    std::vector<BYTE> data;

    SavedValue(HKEY r, const char *p, const char *n, REGSAM v) : root(r), path(p), name(n), view(v)
    {
        HKEY key;
        if (RegOpenKeyExA(root, p, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExA(key, n, NULL, &type, NULL, &size) == ERROR_SUCCESS) {
            data.resize(size + 1);
            existed = RegQueryValueExA(key, n, NULL, &type, data.data(), &size) == ERROR_SUCCESS;
            data.resize(size);
        }
        RegCloseKey(key);
    }
    void Restore()
    {
        if (existed)
            RegPutBinary(root, path.c_str(), name.c_str(), data.data(), (DWORD)data.size(), type, view);
        else
            RegRemoveValue(root, path.c_str(), name.c_str(), view);
    }
};

// The system values a test changes, and the keys it may create on their way:
// Restore() puts the values back (the first kept copy wins) and removes the keys.
struct KeptValues {
    NewKeys newKeys;
    std::vector<SavedValue> saved;

    void Keep(HKEY root, const char *path, const char *name, REGSAM view = KEY_WOW64_64KEY)
    {
        newKeys.Watch(root, path);
        saved.emplace_back(root, path, name, view);
    }
    void Restore()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            it->Restore();
        saved.clear();
        newKeys.Remove();
    }
};

// Every key and value under a key of one view: "KEY\\<path>" for each key and
// "<path>\\[<name>]" = type and data bytes in hex for each value, paths upper-cased.
typedef std::map<std::string, std::string> RegistryTree;
RegistryTree ReadRegistryTree(HKEY root, const char *path, REGSAM view);
// What differs between two readings, one line each: "+ entry", "- entry", "~ entry".
std::vector<std::string> RegistryChanges(const RegistryTree &before, const RegistryTree &after);
// The win.ini lists "load" and "run" as a test found them; Restore() puts them back
// (absent ones removed again).
struct SavedWinIniLists {
    std::string load, run;
    SavedWinIniLists();
    void Restore() const;
};

// A test that writes into the system's startup places: the values it puts there
// are removed again and what it changes (the user's startup folder, the Winlogon
// values, the win.ini lists, keys that were missing) is put back, whatever the outcome.
class StartupPlacesTest : public BrackmoorTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A value (64-bit view); size: binary data of that length instead of the text.
    void Put(HKEY root, const char *key, const std::string &name, const std::string &data, DWORD size = 0,
             DWORD type = REG_SZ);
    // Keys a test may create below the usual Run keys, removed with all they hold.
    void Watch(HKEY root, const char *key) { kept_.newKeys.Watch(root, key); }
    // A value of the system (64-bit view) that the test changes, put back as it was.
    void Keep(HKEY root, const char *key, const char *name) { kept_.Keep(root, key, name); }
    // The test's own folder as the user's startup folder.
    std::string UseStartupFolder();

private:
    KeptValues kept_;
    std::vector<std::tuple<HKEY, std::string, std::string>> written_;
    SavedWinIniLists winIni_;
};

// Every value of a key as name -> "type:data", for comparing a whole key before
// and after an action.
typedef std::map<std::string, std::string> KeyValueMap;
KeyValueMap RegKeyValues(HKEY root, const char *path, REGSAM view = KEY_WOW64_64KEY);
// The "type:data" text RegKeyValues gives a REG_DWORD and a REG_SZ value.
std::string DwordData(DWORD value);
std::string SzData(const std::string &text);
// A key and everything below it as text (names, types and data, in the order the
// registry enumerates them), for comparing a part of the registry before and after;
// "" when the key does not exist.
std::string KeyTreeText(HKEY root, const std::string &path, REGSAM view = 0);
// A folder's entries (names, attributes, sizes) as text, one level.
std::string FolderListing(const std::string &folder);
// The line of FolderListing's text that names the file ("" when none does).
std::string ListingLine(const std::string &listing, const std::string &file);

// The handle a new object gets: the lowest free slot (Wine reuses the lowest), so it
// moves only when a handle was left open.
uintptr_t NextHandleSlot();
// The text without the first copy of part (unchanged when part is empty or absent).
std::string WithoutText(std::string text, const std::string &part);

// The history file's text, the number of its lines that hold every part, and
// whether some line holds the part.
std::string HistoryText();
int HistoryLinesWith(std::initializer_list<std::string> parts);
bool HistoryHas(const std::string &part);
// The startup alert's message: string 7 with the location sentence put in.
std::string StartupAlertText(UINT sentence);
// The non-empty items of a win.ini "windows" list ("load", "run"), in order.
std::vector<std::string> WinIniItems(const char *key);

// Guard bytes after a buffer: FillGuarded fills size bytes, GuardIntact checks the
// kGuardLen bytes after cap.
const unsigned char kGuard = 0x5A;
const size_t kGuardLen = 16;
void FillGuarded(char *buf, size_t size);
bool GuardIntact(const char *buf, size_t cap);

// A copy of a test program started with this variable set does nothing but wait
// (a minute at most) to be ended: a harmless running image for the process tests.
extern const char kSleeperVariable[];
// Starts a copy of this test program (at path) that only waits; its process, NULL on failure.
HANDLE StartSleeper(const std::string &path, DWORD *pid = nullptr);

// A shell link at link pointing at target; true when it was saved.
bool MakeShortcut(const std::string &link, const std::string &target);
// A copy of this test program at target whose version record holds just these
// strings (one US English table built by hand).
void MakeVersionedFile(const std::string &target, const std::vector<std::pair<std::string, std::string>> &strings);
// The target and arguments of a shell link, "target|arguments" ("|" when unreadable).
std::string ShortcutOf(const std::string &link);
// Writes the startup baseline for everything the prefix starts by itself, so that
// only a test's own entries are new to the startup check.
void AcceptStartupEntriesPresent();

