#include "support/local_server.h"

#include <stdio.h>

#include "support/test_env.h"

#ifndef BRACKMOOR_PYTHON
#define BRACKMOOR_PYTHON "python3"
#endif
#ifndef BRACKMOOR_TEST_SUPPORT_DIR
#define BRACKMOOR_TEST_SUPPORT_DIR "support"
#endif

// Under Wine the interpreter is a Unix program: CreateProcess reaches it through
// drive Z:, and it is handed the Unix name of the server's folder.
static std::string WindowsPathOf(const std::string &path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string out = "Z:" + path;
    for (char &c : out)
        if (c == '/')
            c = '\\';
    return out;
}

static std::string HostPathOf(const std::string &windowsPath)
{
    typedef char *(CDECL * UnixNameProc)(LPCWSTR);
    UnixNameProc unixName =
        (UnixNameProc)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!unixName)
        return windowsPath;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
    char *name = unixName(wide);
    std::string out = name ? name : windowsPath;
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return out;
}

static std::string FromHex(const std::string &hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += (char)strtol(hex.substr(i, 2).c_str(), nullptr, 16);
    return out;
}

std::string ServerRequest::Value(const std::string &key) const
{
    for (const auto &pair : query)
        if (pair.first == key)
            return pair.second;
    return "<missing>";
}

bool LocalServer::Start()
{
    char base[MAX_PATH], name[64];
    GetTempPathA(sizeof(base), base);
    snprintf(name, sizeof(name), "bm-server-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    folder = std::string(base) + name;
    if (!CreateDirectoryA(folder.c_str(), NULL))
        return false;
    std::string python = WindowsPathOf(BRACKMOOR_PYTHON);
    std::string command = "\"" + python + "\" \"" BRACKMOOR_TEST_SUPPORT_DIR "/report_server.py\" \"" +
                          HostPathOf(folder) + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(python.c_str(), line.data(), NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi))
        return false;
    // Wine gives no handles for a Unix program; the server ends by itself (Stop).
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(50)) {
        std::string text = ReadWholeFile(folder + "\\port");
        if (!text.empty()) {
            port = atoi(text.c_str());
            return port > 0;
        }
    }
    return false;
}

void LocalServer::Stop()
{
    if (folder.empty())
        return;
    WriteWholeFile(folder + "\\stop", "");
    Sleep(400);   // the server looks for it every 200 ms
    RemoveTree(folder);
    folder.clear();
    port = 0;
}

std::string LocalServer::Base() const
{
    return "http://127.0.0.1:" + std::to_string(port);
}

void LocalServer::SetReply(const std::string &body)
{
    WriteWholeFile(folder + "\\reply", body);
}

void LocalServer::ClearRequests()
{
    DeleteFileA((folder + "\\requests").c_str());
}

std::vector<ServerRequest> LocalServer::Requests() const
{
    std::vector<ServerRequest> requests;
    std::vector<std::string> lines = SplitText(ReadWholeFile(folder + "\\requests"), "\n");
    lines.pop_back();   // after the last line end: nothing, or a line still being written
    for (const std::string &line : lines) {
        std::vector<std::string> fields = SplitText(line, "\t");
        if (fields.size() < 2)
            continue;
        ServerRequest request = {fields[0], fields[1], {}};
        for (size_t i = 2; i < fields.size(); i++) {
            size_t eq = fields[i].find('=');
            request.query.emplace_back(FromHex(fields[i].substr(0, eq)), FromHex(fields[i].substr(eq + 1)));
        }
        requests.push_back(request);
    }
    return requests;
}
