#include "support/system_state.h"

#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <string.h>

#include <cstring>

#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"

const char kSleeperVariable[] = "BM_TEST_SLEEPER";

static int gSleeperRole = [] {
    char flag[8];
    if (GetEnvironmentVariableA(kSleeperVariable, flag, sizeof(flag)) > 0) {
        Sleep(60000);
        ExitProcess(0);
    }
    return 0;
}();

// One walk's buffers, shared by every key it reads.
struct TreeWalk {
    REGSAM view;
    RegistryTree &tree;
    std::vector<char> name = std::vector<char>(16384);
    std::vector<BYTE> data = std::vector<BYTE>(65536);
};

static void ReadKeyInto(TreeWalk &walk, HKEY key, const std::string &path)
{
    std::string upper = path;
    CharUpperBuffA(&upper[0], (DWORD)upper.size());
    walk.tree["KEY\\" + upper] = "";
    // Wine's Perflib keys enumerate values without end: the counts bound the walk.
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    static const char kHex[] = "0123456789abcdef";
    for (DWORD i = 0; i < values; i++) {
        DWORD nameLen = (DWORD)walk.name.size(), dataLen = (DWORD)walk.data.size(), type = 0;
        LONG rc = RegEnumValueA(key, i, walk.name.data(), &nameLen, NULL, &type, walk.data.data(), &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        std::string text = std::to_string(type) + ":";
        for (DWORD b = 0; rc == ERROR_SUCCESS && b < dataLen; b++)
            text += {kHex[walk.data[b] >> 4], kHex[walk.data[b] & 15]};
        std::string valueName(walk.name.data(), nameLen);
        CharUpperBuffA(&valueName[0], (DWORD)valueName.size());
        walk.tree[upper + "\\[" + valueName + "]"] = rc == ERROR_SUCCESS ? text : "unreadable";
    }
    std::vector<std::string> names;
    for (DWORD i = 0; i < subkeys; i++) {
        DWORD nameLen = (DWORD)walk.name.size();
        if (RegEnumKeyExA(key, i, walk.name.data(), &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.emplace_back(walk.name.data(), nameLen);
    }
    for (const std::string &subName : names) {
        HKEY sub;
        if (RegOpenKeyExA(key, subName.c_str(), 0, KEY_READ | walk.view, &sub) == ERROR_SUCCESS) {
            ReadKeyInto(walk, sub, path.empty() ? subName : path + "\\" + subName);
            RegCloseKey(sub);
        }
    }
}

RegistryTree ReadRegistryTree(HKEY root, const char *path, REGSAM view)
{
    RegistryTree tree;
    TreeWalk walk{view, tree};
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        ReadKeyInto(walk, key, path);
        RegCloseKey(key);
    }
    return tree;
}

std::vector<std::string> RegistryChanges(const RegistryTree &before, const RegistryTree &after)
{
    std::vector<std::string> changes;
    for (const auto &entry : before) {
        auto now = after.find(entry.first);
        if (now == after.end())
            changes.push_back("- " + entry.first);
        else if (now->second != entry.second)
            changes.push_back("~ " + entry.first);
    }
    for (const auto &entry : after)
        if (!before.count(entry.first))
            changes.push_back("+ " + entry.first);
    return changes;
}

HANDLE StartSleeper(const std::string &path, DWORD *pid)
{
    SetEnvironmentVariableA(kSleeperVariable, "1");
    HANDLE process = StartCommand("\"" + path + "\"", "", pid);
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    return process;
}

static void AppendKeyTree(HKEY root, const std::string &path, REGSAM view, std::string &out)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    out += "[" + path + "]\n";
    char name[16384];
    BYTE data[8192];
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof(name), size = sizeof(data), type = 0;
        if (RegEnumValueA(key, i, name, &n, NULL, &type, data, &size) != ERROR_SUCCESS)
            break;
        out += std::string(name) + "=" + std::to_string(type) + ":" + std::string((const char *)data, size) + "\n";
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string &child : children)
        AppendKeyTree(root, path + "\\" + child, view, out);
}

std::string KeyTreeText(HKEY root, const std::string &path, REGSAM view)
{
    std::string out;
    AppendKeyTree(root, path, view, out);
    return out;
}

std::string FolderListing(const std::string &folder)
{
    std::string out;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        out += std::string(found.cFileName) + " " + std::to_string(found.dwFileAttributes) + " " +
               std::to_string(found.nFileSizeLow) + "\n";
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return out;
}

std::string ListingLine(const std::string &listing, const std::string &file)
{
    size_t at = ("\n" + listing).find("\n" + file + " ");
    return at == std::string::npos ? "" : listing.substr(at, listing.find('\n', at) - at + 1);
}

uintptr_t NextHandleSlot()
{
    HANDLE h = CreateEventA(NULL, FALSE, FALSE, NULL);
    CloseHandle(h);
    return (uintptr_t)h;
}

std::string WithoutText(std::string text, const std::string &part)
{
    size_t at = text.find(part);
    if (!part.empty() && at != std::string::npos)
        text.erase(at, part.size());
    return text;
}

std::string HistoryText()
{
    return ReadWholeFile(DataFolder() + "\\history.txt");
}

int HistoryLinesWith(std::initializer_list<std::string> parts)
{
    int count = 0;
    for (const std::string &line : SplitText(HistoryText(), "\r\n")) {
        bool all = !line.empty();
        for (const std::string &part : parts)
            all = all && line.find(part) != std::string::npos;
        count += all;
    }
    return count;
}

static const char kAbsentList[] = "\x01" "absent";

static std::string WinIniLine(const char *key)
{
    char buf[8192];
    return std::string(buf, GetProfileStringA("windows", key, kAbsentList, buf, sizeof(buf)));
}

SavedWinIniLists::SavedWinIniLists() : load(WinIniLine("load")), run(WinIniLine("run")) {}

void SavedWinIniLists::Restore() const
{
    WriteProfileStringA("windows", "load", load == kAbsentList ? NULL : load.c_str());
    WriteProfileStringA("windows", "run", run == kAbsentList ? NULL : run.c_str());
}

static const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void StartupPlacesTest::SetUp()
{
    BrackmoorTest::SetUp();
    kept_.Keep(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", 0);
    kept_.Keep(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit");
    kept_.Keep(HKEY_LOCAL_MACHINE, kWinlogon, "Shell");
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        Watch(root, kRun);
    Watch(HKEY_LOCAL_MACHINE, kRun32);
}

void StartupPlacesTest::TearDown()
{
    for (const auto &[root, key, name] : written_)
        RegRemoveValue(root, key.c_str(), name.c_str(), KEY_WOW64_64KEY);
    winIni_.Restore();
    kept_.Restore();
    BrackmoorTest::TearDown();
}

void StartupPlacesTest::Put(HKEY root, const char *key, const std::string &name, const std::string &data, DWORD size,
                            DWORD type)
{
    RegPutBinary(root, key, name.c_str(), data.c_str(), size ? size : (DWORD)data.size() + 1, type, KEY_WOW64_64KEY);
    written_.emplace_back(root, key, name);
}

std::string StartupPlacesTest::UseStartupFolder()
{
    std::string folder = TempFolder() + "\\Startup";
    CreateDirectoryA(folder.c_str(), NULL);
    RegPut(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", folder.c_str());
    return folder;
}

bool HistoryHas(const std::string &part)
{
    return HistoryText().find(part) != std::string::npos;
}

std::string StartupAlertText(UINT sentence)
{
    return LangFilled(7, LangText(sentence), "");
}

std::vector<std::string> WinIniItems(const char *key)
{
    char buf[8192];
    GetProfileStringA("windows", key, "", buf, sizeof(buf));
    std::vector<std::string> items;
    for (const std::string &item : SplitText(buf, ";"))
        if (!item.empty())
            items.push_back(item);
    return items;
}

void FillGuarded(char *buf, size_t size)
{
    memset(buf, kGuard, size);
}

bool GuardIntact(const char *buf, size_t cap)
{
    for (size_t i = 0; i < kGuardLen; i++)
        if ((unsigned char)buf[cap + i] != kGuard)
            return false;
    return true;
}

// A shell link object and its file, with COM started for its lifetime where the
// thread had none.
struct ShellLinkFile {
    HRESULT init = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    WCHAR wide[MAX_PATH];

    explicit ShellLinkFile(const std::string &link)
    {
        MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shell)))
            shell->QueryInterface(IID_IPersistFile, (void **)&file);
    }
    ~ShellLinkFile()
    {
        if (file)
            file->Release();
        if (shell)
            shell->Release();
        if (SUCCEEDED(init))
            CoUninitialize();
    }
};

bool MakeShortcut(const std::string &link, const std::string &target)
{
    ShellLinkFile made(link);
    return made.file && SUCCEEDED(made.shell->SetPath(target.c_str())) && SUCCEEDED(made.file->Save(made.wide, TRUE));
}

std::string ShortcutOf(const std::string &link)
{
    ShellLinkFile read(link);
    char target[MAX_PATH] = "", args[MAX_PATH] = "";
    if (read.file && SUCCEEDED(read.file->Load(read.wide, STGM_READ))) {
        read.shell->GetPath(target, sizeof(target), NULL, SLGP_RAWPATH);
        read.shell->GetArguments(args, sizeof(args));
    }
    return std::string(target) + "|" + args;
}

void AcceptStartupEntriesPresent()
{
    OwnedRunList scan;
    StartupScan(scan, 0);
    for (int i = 0; i < scan->count; i++) {
        char path[MAX_PATH], key[MAX_PATH];
        GetRunPath(scan, i, path);
        BaselineValueName(path, key);
        RegPut(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, std::to_string(GetRunCode(scan, i)).c_str());
    }
}

// A version resource built by hand (the 32-bit layout, UTF-16 texts, one US
// English table), so a test file carries exactly the strings a case needs.
static std::string Wide(const std::string &text) {
    std::string w;
    for (char c : text)
        w += {c, '\0'};
    return w.append(2, '\0');
}

static std::string VerNode(const std::string &key, const std::string &value, WORD valueLength, WORD type,
                    std::vector<std::string> children = {}) {
    std::string n = std::string(6, '\0') + Wide(key);
    children.insert(children.begin(), value);
    for (const std::string &part : children) {
        n.resize((n.size() + 3) & ~size_t(3), '\0');
        n += part;
    }
    const WORD head[3] = {(WORD)n.size(), valueLength, type};
    std::memcpy(&n[0], head, sizeof(head));
    return n;
}

void MakeVersionedFile(const std::string &target, const std::vector<std::pair<std::string, std::string>> &strings) {
    std::vector<std::string> nodes;
    for (const auto &s : strings)
        nodes.push_back(VerNode(s.first, Wide(s.second), (WORD)(s.second.size() + 1), 1));
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    const WORD translation[2] = {0x409, 1200};
    std::string record = VerNode(
        "VS_VERSION_INFO", std::string((const char *)&fixed, sizeof(fixed)), sizeof(fixed), 0,
        {VerNode("StringFileInfo", "", 0, 1, {VerNode("040904b0", "", 0, 1, nodes)}),
         VerNode("VarFileInfo", "", 0, 1, {VerNode("Translation", std::string((const char *)translation, 4), 4, 0)})});
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, target.c_str(), FALSE)) << target;
    HANDLE update = BeginUpdateResourceA(target.c_str(), FALSE);
    ASSERT_TRUE(update && UpdateResourceA(update, RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO), 0x409,
                                          &record[0], (DWORD)record.size()) &&
                EndUpdateResourceA(update, FALSE))
        << target;
}

KeyValueMap RegKeyValues(HKEY root, const char *path, REGSAM view)
{
    KeyValueMap values;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return values;
    char name[256];
    BYTE data[4096];
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof(name), size = sizeof(data), type;
        if (RegEnumValueA(key, i, name, &n, NULL, &type, data, &size) != ERROR_SUCCESS)
            break;
        values[name] = std::to_string(type) + ":" + std::string((char *)data, size);
    }
    RegCloseKey(key);
    return values;
}

std::string DwordData(DWORD value)
{
    return std::to_string(REG_DWORD) + ":" + std::string((char *)&value, sizeof(value));
}

std::string SzData(const std::string &text)
{
    return std::to_string(REG_SZ) + ":" + text + '\0';
}
