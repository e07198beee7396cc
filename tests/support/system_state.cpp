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

std::string HistoryText()
{
    return ReadWholeFile(DataFolder() + "\\history.txt");
}

// The history lines that contain every one of the parts.
int HistoryLinesWith(std::initializer_list<std::string> parts)
{
    std::string text = HistoryText();
    int count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        bool all = !line.empty();
        for (const std::string &part : parts)
            all = all && line.find(part) != std::string::npos;
        count += all;
        pos = end + 2;
    }
    return count;
}

// The non-empty items of a win.ini list, in order.
std::vector<std::string> WinIniItems(const char *key)
{
    char buf[2048];
    GetProfileStringA("windows", key, "", buf, sizeof(buf));
    std::vector<std::string> items;
    std::string line = buf;
    size_t pos = 0;
    while (pos <= line.size()) {
        size_t end = line.find(';', pos);
        if (end == std::string::npos)
            end = line.size();
        if (end > pos)
            items.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
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

bool MakeShortcut(const std::string &link, const std::string &target)
{
    HRESULT init = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         (void **)&shell)) &&
              SUCCEEDED(shell->SetPath(target.c_str())) &&
              SUCCEEDED(shell->QueryInterface(IID_IPersistFile, (void **)&file)) && SUCCEEDED(file->Save(wide, TRUE));
    if (file)
        file->Release();
    if (shell)
        shell->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
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


static void ReadTree(HKEY key, const std::string &prefix, std::map<std::string, std::string> &out)
{
    std::vector<char> name(16384), data(65536);
    for (DWORD i = 0;; i++) {
        DWORD nameLen = (DWORD)name.size(), dataLen = (DWORD)data.size(), type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameLen, NULL, &type, (BYTE *)data.data(), &dataLen) != ERROR_SUCCESS)
            break;
        out[prefix + std::string(name.data(), nameLen)] = std::to_string(type) + ":" + std::string(data.data(), dataLen);
    }
    for (DWORD i = 0;; i++) {
        DWORD nameLen = (DWORD)name.size();
        if (RegEnumKeyExA(key, i, name.data(), &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        std::string sub(name.data(), nameLen);
        HKEY child;
        if (RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
            ReadTree(child, prefix + sub + "\\", out);
            RegCloseKey(child);
        }
    }
}

std::map<std::string, std::string> RegistryTree(HKEY root, const std::string &path, REGSAM view)
{
    std::map<std::string, std::string> tree;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        ReadTree(key, "", tree);
        RegCloseKey(key);
    }
    return tree;
}

std::map<std::string, std::string> FolderFiles(const std::string &folder)
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files[found.cFileName] = ReadWholeFile(folder + "\\" + found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return files;
}

std::vector<std::string> SnapshotChanges(const std::map<std::string, std::string> &before,
                                         const std::map<std::string, std::string> &after)
{
    std::vector<std::string> changed;
    for (const auto &entry : before) {
        auto now = after.find(entry.first);
        if (now == after.end() || now->second != entry.second)
            changed.push_back(entry.first);
    }
    for (const auto &entry : after)
        if (!before.count(entry.first))
            changed.push_back(entry.first);
    return changed;
}
