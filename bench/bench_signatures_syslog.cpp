// Signatures: a list of 100 programs (copies of the monitor, and of the program the
// tests sign when tests/support/sign_programs.sh has made it) checked by
// FillSignatures as a pass does:
// - the first fill with no budget bound, and with the pass budget (how many files
//   the first pass checks, how many passes the whole list takes);
// - a pass after the first fill, and every answer looked up as the alerts do (command
//   line taken apart, identity read, cache) against the bare GetFileAttributesEx of
//   each file, with the count of checks made.
// Syslog: a scan pass in which a startup entry is rejected without a dialog (and
// its history line written) with no collector configured, against the same pass with a UDP
// collector and with a TCP collector that are down (nothing listens on the port),
// timed in turns; then 2000 history lines that each try the collector, for leaks.
#include "bench/bench_clock.h"
#include "bench/bench_signatures_syslog.h"

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "common/appstate.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/signature.h"
#include "common/syslog.h"
#include "common/text.h"
#include "monitor/scan_cycle.h"

#define PROGRAMS 100

static RunList *gPrograms;
static std::vector<std::string> gFiles;
static std::string gFolder;

static SIZE_T PrivateBytesNow(void)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof(pmc));
    return pmc.PrivateUsage;
}

static void MakePrograms(void)
{
    char self[MAX_PATH], temp[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string bin = self;
    bin = bin.substr(0, bin.rfind('\\'));
    GetTempPathA(MAX_PATH, temp);
    gFolder = std::string(temp) + "bmbench_signatures";
    CreateDirectoryA(gFolder.c_str(), NULL);
    std::string signedCopy = bin + "\\signed\\bmsigned.exe";
    bool haveSigned = GetFileAttributesA(signedCopy.c_str()) != INVALID_FILE_ATTRIBUTES;
    gPrograms = NewRunList();
    for (int i = 0; i < PROGRAMS; i++) {
        bool sign = haveSigned && i % 2 == 0;
        std::string file = gFolder + "\\program" + std::to_string(i) + ".exe";
        CopyFileA(sign ? signedCopy.c_str() : (bin + "\\brackmoor.exe").c_str(), file.c_str(), FALSE);
        gFiles.push_back(file);
        AddRunStruct(gPrograms, "Program", ("\"" + file + "\" -tray").c_str(), "", "", 11, 0);
    }
    printf("signatures: %d programs, %s\n", PROGRAMS, haveSigned ? "half of them signed" : "none signed (run the tests first)");
}

static void FreshPass(void)
{
    BeginSignaturePass();
    FillSignatures(gPrograms);
}

// What the alerts do: each program's answer looked up.
static void LookUpAll(void)
{
    FileFact fact;
    for (int i = 0; i < gPrograms->count; i++) {
        char command[MAX_PATH];
        GetRunPath(gPrograms, i, command);
        CheckProgramSignature(command, &fact);
    }
}

static void BareIdentityReads(void)
{
    for (const std::string &file : gFiles) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
    }
}

void BenchSignatures(int rounds)
{
    MakePrograms();
    int budget = giSignatureBudget;
    FreeFileFacts();
    giSignatureFillDone = 0;
    giSignatureBudget = 1 << 30;
    int checks = giSignatureChecks;
    double start = Now();
    FreshPass();
    double first = Now() - start;
    printf("first fill, no bound        %8.3f ms   checks %d\n", first * 1000, giSignatureChecks - checks);

    // The pass budget, and an eighth of it (as a slower machine would see it).
    for (int bound : {budget, budget / 8}) {
        FreeFileFacts();
        giSignatureFillDone = 0;
        giSignatureBudget = bound;
        checks = giSignatureChecks;
        start = Now();
        FreshPass();
        double bounded = Now() - start;
        int firstPassChecks = giSignatureChecks - checks, passes = 1;
        while (!giSignatureFillDone && passes < 100) {
            FreshPass();
            passes++;
        }
        printf("first fill, %4d ms budget %8.3f ms   checks %d; all checked after %d passes\n", bound,
               bounded * 1000, firstPassChecks, passes);
    }
    giSignatureBudget = budget;

    double pass, bare, lookups;
    checks = giSignatureChecks;
    pass = Time(FreshPass, rounds);
    printf("pass after the first fill %8.3f ms   checks in %d passes: %d\n", pass * 1000, rounds,
           giSignatureChecks - checks);
    TimeInTurns(LookUpAll, BareIdentityReads, rounds, &lookups, &bare);
    printf("bare identity reads       %8.3f ms\n", bare * 1000);
    printf("every answer looked up    %8.3f ms   ratio to bare reads %.2f   checks: %d\n", lookups * 1000,
           lookups / bare, giSignatureChecks - checks);

    SIZE_T before = PrivateBytesNow();
    FileFact fact;
    for (int i = 0; i < 2000; i++)
        VerifyFileSignature(gFiles[i % 2].c_str(), &fact);
    printf("2000 more checks: private bytes %+lld KiB\n", ((long long)PrivateBytesNow() - (long long)before) / 1024);

    FreeFileFacts();
    DeleteRunList(gPrograms);
    for (const std::string &file : gFiles)
        DeleteFileA(file.c_str());
    RemoveDirectoryA(gFolder.c_str());
}

static const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static int gDownPort;

static void PassRejectingAnEntry(void)
{
    SetRegString(HKEY_CURRENT_USER, kRun, "BmBenchEntry", "\"C:\\bmbench\\entry.exe\" -tray");
    gdwVerifyBaseTick = GetTickCount() - 5000;
    VerifyData();
}

static void SetCollector(const char *protocol)
{
    SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogHost", protocol ? "127.0.0.1" : "");
    if (protocol) {
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogPort", std::to_string(gDownPort).c_str());
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogProtocol", protocol);
    }
}

static void PassWithoutCollector(void)
{
    SetCollector(NULL);
    PassRejectingAnEntry();
}

static void PassUdpDown(void)
{
    SetCollector("udp");
    PassRejectingAnEntry();
}

static void PassTcpDown(void)
{
    SetCollector("tcp");
    PassRejectingAnEntry();
}

static int HistoryLineCount(void)
{
    char path[MAX_PATH];
    GetMyFolder(path);
    AppendText(path, CAP(path), "\\history.txt");
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    int lines = 0;
    char block[65536];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof(block), &got, NULL) && got > 0)
        for (DWORD i = 0; i < got; i++)
            lines += block[i] == '\n';
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return lines;
}

void BenchSyslog(int rounds)
{
    // A port nothing listens on.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bind(s, (sockaddr *)&address, sizeof(address));
    getsockname(s, (sockaddr *)&address, &size);
    gDownPort = ntohs(address.sin_port);
    closesocket(s);

    // Entries rejected without a dialog, each pass one.
    int showAlerts = giShowAlerts, hideStartup = giHideStartup, suppress = giSuppressExtraAlerts;
    giShowAlerts = 0;
    giHideStartup = 2;
    giSuppressExtraAlerts = 0;
    int lines = HistoryLineCount(), connects = giSyslogConnects, dropped = giSyslogDropped;
    double none, udp, tcp, none2;
    TimeInTurns(PassWithoutCollector, PassUdpDown, rounds, &none, &udp);
    TimeInTurns(PassWithoutCollector, PassTcpDown, rounds, &none2, &tcp);
    printf("history lines written %d, collector messages dropped %d, TCP connections tried %d\n",
           HistoryLineCount() - lines, giSyslogDropped - dropped, giSyslogConnects - connects);
    printf("pass with a rejected entry, no collector %8.3f ms, UDP collector down %8.3f ms   ratio %.2f\n",
           none * 1000, udp * 1000, udp / none);
    printf("pass with a rejected entry, no collector %8.3f ms, TCP collector down %8.3f ms   ratio %.2f\n",
           none2 * 1000, tcp * 1000, tcp / none2);

    // Every line tries the collector anew, by UDP and by TCP in turn.
    int retry = giSyslogRetryMs;
    giSyslogRetryMs = 0;
    SIZE_T before = PrivateBytesNow();
    for (int i = 0; i < 2000; i++) {
        SetCollector(i % 2 ? "udp" : "tcp");
        WriteLog(LOG_START_ALERT, 11, "BmBenchEntry", "C:\\bmbench\\entry.exe", "");
    }
    printf("2000 more history lines: private bytes %+lld KiB\n",
           ((long long)PrivateBytesNow() - (long long)before) / 1024);
    giSyslogRetryMs = retry;
    SetCollector(NULL);
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogHost");
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogPort");
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogProtocol");
    DeleteRegValue(HKEY_CURRENT_USER, kRun, "BmBenchEntry");
    CloseSyslog();
    WSACleanup();
    giShowAlerts = showAlerts;
    giHideStartup = hideStartup;
    giSuppressExtraAlerts = suppress;
}
