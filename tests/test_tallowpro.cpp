// The companion library as the monitor meets it: loaded from the program's
// folder, called by ordinal, telling a window of this thread about programs
// that start and end. Child programs are created suspended, so each one lives
// exactly as long as the test wants and its id identifies its messages.
#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_env.h"

// The set comparison is plain code without a window or a thread; it is
// compiled in here so that its edge cases can be tested row by row.
#include "tallowpro/tallowpro.cpp"

namespace {

const UINT kStarted = 9024;
const UINT kEnded = 9027;
const DWORD kGenerousMs = 20000;

typedef int(__cdecl *StartProc)(HWND);
typedef int(__cdecl *StopProc)(void);

struct Received {
    HWND window;
    UINT message;
    DWORD pid;
};
std::vector<Received> gReceived;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kStarted || message == kEnded) {
        gReceived.push_back({window, message, (DWORD)wParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "TallowTestWindow";
        registered = RegisterClassA(&wc) != 0;
    }
    // Message-only: it takes posted messages and never shows anything.
    return CreateWindowExA(0, "TallowTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleA(NULL),
                           NULL);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps this thread's messages until done() or the time is up.
bool PumpUntil(const std::function<bool()> &done, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (done())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}

bool Got(UINT message, DWORD pid, HWND window = NULL)
{
    for (const Received &r : gReceived)
        if (r.message == message && r.pid == pid && (!window || r.window == window))
            return true;
    return false;
}

size_t CountTaskMessages()
{
    return gReceived.size();
}

// A child that exists but never runs: the test program itself, suspended.
PROCESS_INFORMATION StartSuspendedChild()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof(self));
    std::string cmd = std::string("\"") + self + "\" --gtest_list_tests";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(self, line.data(), NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &si, &pi))
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return pi;
}

void EndChild(PROCESS_INFORMATION &pi)
{
    if (!pi.hProcess)
        return;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, kGenerousMs);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    pi = PROCESS_INFORMATION();
}

int ThreadsOfThisProcess()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 te = {};
    te.dwSize = sizeof(te);
    int count = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snap);
    return count;
}

bool ThreadsBecome(int count)
{
    return PumpUntil([count] { return ThreadsOfThisProcess() == count; }, kGenerousMs);
}

struct StopCall {
    StopProc stop;
    int result;
};

DWORD WINAPI CallStop(void *param)
{
    StopCall *call = (StopCall *)param;
    call->result = call->stop();
    return 0;
}

class TallowProTest : public ::testing::Test {
protected:
    HMODULE library = NULL;
    StartProc start = nullptr;
    StopProc stop = nullptr;
    HWND window = NULL;

    void SetUp() override
    {
        gReceived.clear();
        window = MakeWindow();
        ASSERT_NE((HWND)NULL, window);
        // Whatever the system starts on the first process creation is started now,
        // before any thread is counted.
        PROCESS_INFORMATION warm = StartSuspendedChild();
        EndChild(warm);
        Load();
    }
    void TearDown() override
    {
        if (stop)
            stop();
        Unload();
        if (window && IsWindow(window))
            DestroyWindow(window);
        Pump();
    }
    void Load()
    {
        std::string path = BinFolder() + "\\tallowpro.dll";
        library = LoadLibraryA(path.c_str());
        ASSERT_NE((HMODULE)NULL, library) << path << " error " << GetLastError();
        start = (StartProc)(void *)GetProcAddress(library, MAKEINTRESOURCEA(2));
        stop = (StopProc)(void *)GetProcAddress(library, MAKEINTRESOURCEA(3));
        ASSERT_NE(nullptr, start);
        ASSERT_NE(nullptr, stop);
    }
    void Unload()
    {
        if (library)
            FreeLibrary(library);
        library = NULL;
        start = nullptr;
        stop = nullptr;
    }
    // Ordinal 3 on a helper thread: the test waits for it with a generous bound
    // instead of trusting that it returns.
    int StopAndWait()
    {
        StopCall call = {stop, -1};
        HANDLE thread = CreateThread(NULL, 0, CallStop, &call, 0, NULL);
        EXPECT_NE((HANDLE)NULL, thread);
        if (!thread)
            return -1;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, kGenerousMs)) << "ordinal 3 did not return";
        CloseHandle(thread);
        return call.result;
    }
};

// ---- Exports ------------------------------------------------------------------

TEST_F(TallowProTest, ExportsOrdinalsTwoAndThreeAndNoNames)
{
    const struct {
        WORD ordinal;
        bool present;
    } ordinals[] = {{1, false}, {2, true}, {3, true}, {4, false}};
    for (size_t i = 0; i < sizeof(ordinals) / sizeof(ordinals[0]); i++)
        EXPECT_EQ(ordinals[i].present, GetProcAddress(library, MAKEINTRESOURCEA(ordinals[i].ordinal)) != NULL)
            << "row " << i;
    const char *names[] = {"TallowStart", "TallowStop", "_TallowStart", "DllMain"};
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++)
        EXPECT_EQ(NULL, GetProcAddress(library, names[i])) << "row " << i << " " << names[i];

    // The export directory read from the image itself.
    const BYTE *base = (const BYTE *)library;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)base;
    ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    ASSERT_EQ((DWORD)IMAGE_NT_SIGNATURE, nt->Signature);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const IMAGE_EXPORT_DIRECTORY *exports = (const IMAGE_EXPORT_DIRECTORY *)(base + dir.VirtualAddress);
    EXPECT_EQ(0u, exports->NumberOfNames);
    EXPECT_EQ(2u, exports->Base);
    ASSERT_EQ(2u, exports->NumberOfFunctions);
    const DWORD *functions = (const DWORD *)(base + exports->AddressOfFunctions);
    EXPECT_EQ((FARPROC)(base + functions[0]), GetProcAddress(library, MAKEINTRESOURCEA(2)));
    EXPECT_EQ((FARPROC)(base + functions[1]), GetProcAddress(library, MAKEINTRESOURCEA(3)));
}

// ---- Messages -------------------------------------------------------------------

TEST_F(TallowProTest, PostsStartAndEndOfAProgramToTheWindow)
{
    ASSERT_EQ(1, start(window));
    PROCESS_INFORMATION child = StartSuspendedChild();
    DWORD pid = child.dwProcessId;
    EXPECT_TRUE(PumpUntil([pid] { return Got(kStarted, pid); }, kGenerousMs)) << "no 9024 for " << pid;
    EXPECT_FALSE(Got(kEnded, pid)) << "ended before it ended";
    EndChild(child);
    EXPECT_TRUE(PumpUntil([pid] { return Got(kEnded, pid); }, kGenerousMs)) << "no 9027 for " << pid;
    for (const Received &r : gReceived)
        EXPECT_EQ(window, r.window);
    EXPECT_EQ(1, StopAndWait());
}

TEST_F(TallowProTest, SecondStartMovesTheMessagesToTheNewWindow)
{
    HWND second = MakeWindow();
    ASSERT_NE((HWND)NULL, second);
    int before = ThreadsOfThisProcess();
    ASSERT_EQ(1, start(window));
    ASSERT_EQ(1, start(second));
    EXPECT_EQ(before + 1, ThreadsOfThisProcess()) << "a second start made a second watcher";
    PROCESS_INFORMATION child = StartSuspendedChild();
    DWORD pid = child.dwProcessId;
    EXPECT_TRUE(PumpUntil([pid, second] { return Got(kStarted, pid, second); }, kGenerousMs));
    EXPECT_FALSE(Got(kStarted, pid, window)) << "the first window is still told";
    EndChild(child);
    EXPECT_EQ(1, StopAndWait());
    DestroyWindow(second);
}

TEST_F(TallowProTest, NothingArrivesAfterStop)
{
    ASSERT_EQ(1, start(window));
    EXPECT_EQ(1, StopAndWait());
    Pump();
    gReceived.clear();
    PROCESS_INFORMATION child = StartSuspendedChild();
    // Three watch periods and more: a live watcher would have spoken by then.
    PumpUntil([] { return CountTaskMessages() > 0; }, 3000);
    EndChild(child);
    PumpUntil([] { return CountTaskMessages() > 0; }, 2000);
    EXPECT_EQ(0u, CountTaskMessages());
}

TEST_F(TallowProTest, RefusesAWindowThatIsNotThere)
{
    int before = ThreadsOfThisProcess();
    HWND gone = MakeWindow();
    DestroyWindow(gone);
    const HWND rows[] = {NULL, gone};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        EXPECT_EQ(0, start(rows[i])) << "row " << i;
        EXPECT_EQ(before, ThreadsOfThisProcess()) << "row " << i;
    }
    // Ordinal 3 without a watcher is harmless.
    EXPECT_EQ(1, StopAndWait());
}

// ---- The watcher thread ------------------------------------------------------------

TEST_F(TallowProTest, OneWatcherThreadThatEndsWithStopAcrossReloads)
{
    Unload();
    int before = ThreadsOfThisProcess();
    ASSERT_GT(before, 0);
    for (int round = 0; round < 2; round++) {
        Load();
        ASSERT_EQ(1, start(window)) << "round " << round;
        EXPECT_EQ(before + 1, ThreadsOfThisProcess()) << "round " << round;
        EXPECT_EQ(1, StopAndWait()) << "round " << round;
        // The library waited for its thread: it is gone when ordinal 3 returns.
        EXPECT_EQ(before, ThreadsOfThisProcess()) << "round " << round;
        Unload();
        EXPECT_EQ(NULL, GetModuleHandleA("tallowpro.dll")) << "round " << round << ": still loaded";
    }
    EXPECT_EQ(before, ThreadsOfThisProcess());
}

TEST_F(TallowProTest, WatcherEndsByItselfWhenTheWindowIsGoneAndStartsAgain)
{
    int before = ThreadsOfThisProcess();
    ASSERT_EQ(1, start(window));
    EXPECT_EQ(before + 1, ThreadsOfThisProcess());
    DestroyWindow(window);
    window = NULL;
    EXPECT_TRUE(ThreadsBecome(before)) << "the watcher outlived its window";

    window = MakeWindow();
    ASSERT_EQ(1, start(window));
    EXPECT_EQ(before + 1, ThreadsOfThisProcess());
    PROCESS_INFORMATION child = StartSuspendedChild();
    DWORD pid = child.dwProcessId;
    EXPECT_TRUE(PumpUntil([pid] { return Got(kStarted, pid); }, kGenerousMs));
    EndChild(child);
    EXPECT_EQ(1, StopAndWait());
    EXPECT_EQ(before, ThreadsOfThisProcess());
}

TEST_F(TallowProTest, FreeingWithoutStopKeepsTheCodeUnderTheThread)
{
    // A host that frees the library without ordinal 3 must not pull the code
    // from under the watcher: it stays loaded until the watcher has ended.
    int before = ThreadsOfThisProcess();
    ASSERT_EQ(1, start(window));
    StopProc savedStop = stop;
    Unload();
    EXPECT_NE((HMODULE)NULL, GetModuleHandleA("tallowpro.dll"));
    DestroyWindow(window);
    window = NULL;
    EXPECT_TRUE(ThreadsBecome(before));
    EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("tallowpro.dll") == NULL; }, kGenerousMs))
        << "the watcher's reference was not released";
    (void)savedStop;
}

// ---- Set comparison -------------------------------------------------------------------

TEST(TallowProSets, ReportsStartedAndEndedIdsUpToTheCaps)
{
    const struct {
        std::vector<DWORD> before, after;
        int capStarted, capEnded;
        std::vector<DWORD> started, ended;
    } rows[] = {
        {{}, {}, 8, 8, {}, {}},
        {{4, 8, 12}, {4, 8, 12}, 8, 8, {}, {}},
        {{}, {4, 8}, 8, 8, {4, 8}, {}},
        {{4, 8}, {}, 8, 8, {}, {4, 8}},
        {{4, 12, 20}, {8, 12, 24}, 8, 8, {8, 24}, {4, 20}},
        {{100}, {4, 8, 100, 200}, 8, 8, {4, 8, 200}, {}},
        {{4, 8, 12, 16, 20}, {0, 24}, 8, 8, {0, 24}, {4, 8, 12, 16, 20}},
        {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {}},
        {{1, 2, 3, 4, 5}, {6, 7, 8}, 2, 3, {6, 7}, {1, 2, 3}},
        {{1, 2}, {3, 4}, 0, 0, {}, {}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        DWORD started[16], ended[16];
        // Sentinels: nothing past the counts may be touched.
        for (DWORD &d : started)
            d = 0xDEADBEEF;
        for (DWORD &d : ended)
            d = 0xDEADBEEF;
        int startedCount = -1, endedCount = -1;
        DiffProcessSets(rows[i].before.data(), (DWORD)rows[i].before.size(), rows[i].after.data(),
                        (DWORD)rows[i].after.size(), started, rows[i].capStarted, &startedCount, ended,
                        rows[i].capEnded, &endedCount);
        ASSERT_GE(startedCount, 0) << "row " << i;
        ASSERT_GE(endedCount, 0) << "row " << i;
        EXPECT_EQ(rows[i].started, std::vector<DWORD>(started, started + startedCount)) << "row " << i;
        EXPECT_EQ(rows[i].ended, std::vector<DWORD>(ended, ended + endedCount)) << "row " << i;
        for (int k = startedCount; k < 16; k++)
            EXPECT_EQ(0xDEADBEEFu, started[k]) << "row " << i << " started slot " << k;
        for (int k = endedCount; k < 16; k++)
            EXPECT_EQ(0xDEADBEEFu, ended[k]) << "row " << i << " ended slot " << k;
    }
}

TEST(TallowProSets, ProcessSetIsSortedAndHoldsThisProcess)
{
    ProcessSet set = {NULL, 0, 0};
    ASSERT_EQ(1, TakeProcessSet(&set));
    ASSERT_GT(set.count, 0u);
    bool self = false;
    for (DWORD i = 0; i < set.count; i++) {
        if (i > 0) {
            EXPECT_LT(set.ids[i - 1], set.ids[i]) << "index " << i;
        }
        self = self || set.ids[i] == GetCurrentProcessId();
    }
    EXPECT_TRUE(self);
    // A second call into the same set reuses its room.
    ASSERT_EQ(1, TakeProcessSet(&set));
    EXPECT_GT(set.count, 0u);
    FreeProcessSet(&set);
    EXPECT_EQ(NULL, set.ids);
    EXPECT_EQ(0u, set.capacity);
}

}  // namespace
