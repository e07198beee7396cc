// The companion library as the monitor meets it: loaded from the program's folder, called
// by ordinal, telling a window of this thread about programs that start and end.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/system_state.h"
#include "support/test_env.h"

// The set comparison is plain code, compiled in here so that its edge cases can be tested row by row.
#include "tallowpro/tallowpro.cpp"

namespace {

const UINT kStarted = 9024, kEnded = 9027;
const DWORD kGenerousMs = 20000;

struct Received { HWND window; UINT message; DWORD pid; };
std::vector<Received> gReceived;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kStarted || message == kEnded)
        gReceived.push_back({window, message, (DWORD)wParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

// Message-only: it takes posted messages and never shows anything.
HWND MakeWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TallowTestWindow";
    RegisterClassA(&wc);   // fails harmlessly once it is registered
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
}

// Pumps this thread's messages until done() or the time is up.
bool PumpUntil(const std::function<bool()> &done, DWORD ms) {
    MSG msg;
    for (DWORD start = GetTickCount(); !done(); MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT)) {
        if (GetTickCount() - start >= ms)
            return false;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return true;
}

bool Got(UINT message, DWORD pid, HWND window) {
    return std::any_of(gReceived.begin(), gReceived.end(),
                       [&](const Received &r) { return r.message == message && r.pid == pid && r.window == window; });
}

// Children: copies of the test program that only wait (kSleeperVariable); a child's id marks its messages.
void EndChild(HANDLE child) {
    TerminateProcess(child, 0);
    WaitForSingleObject(child, kGenerousMs);
    CloseHandle(child);
}

int ThreadsOfThisProcess() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {};
    te.dwSize = sizeof(te);
    int count = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        count += te.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    return count;
}

class TallowProTest : public ::testing::Test {
protected:
    HMODULE library = NULL;
    int(__cdecl *start)(HWND) = nullptr;
    int(__cdecl *stop)(void) = nullptr;
    HWND window = NULL;
    int threads = 0;   // of this process before any watcher

    void SetUp() override {
        SetEnvironmentVariableA(kSleeperVariable, "1");
        gReceived.clear();
        window = MakeWindow();
        // Whatever the system starts on the first process creation starts before threads are counted.
        EndChild(StartProgram("test_tallowpro.exe", ""));
        threads = ThreadsOfThisProcess();
        Load();
    }
    void TearDown() override {
        if (stop)
            stop();
        Unload();
        DestroyWindow(window);
        SetEnvironmentVariableA(kSleeperVariable, NULL);
    }
    void Load() {
        library = LoadLibraryA((BinFolder() + "\\tallowpro.dll").c_str());
        ASSERT_NE((HMODULE)NULL, library) << GetLastError();
        start = (int(__cdecl *)(HWND))(void *)GetProcAddress(library, MAKEINTRESOURCEA(2));
        stop = (int(__cdecl *)(void))(void *)GetProcAddress(library, MAKEINTRESOURCEA(3));
        ASSERT_TRUE(start && stop);
    }
    void Unload() {
        FreeLibrary(library);
        library = NULL;
        start = nullptr;
        stop = nullptr;
    }
};

TEST_F(TallowProTest, ExportsOrdinalsTwoAndThreeAndNoNamesAndRefusesAMissingWindow) {
    for (WORD ordinal = 1; ordinal <= 4; ordinal++)
        EXPECT_EQ(ordinal == 2 || ordinal == 3, GetProcAddress(library, MAKEINTRESOURCEA(ordinal)) != NULL) << ordinal;
    // The export directory read from the image itself.
    const BYTE *base = (const BYTE *)library;
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const IMAGE_EXPORT_DIRECTORY *exports = (const IMAGE_EXPORT_DIRECTORY *)(base + dir.VirtualAddress);
    EXPECT_TRUE(exports->NumberOfNames == 0 && exports->Base == 2 && exports->NumberOfFunctions == 2)
        << exports->NumberOfNames << " names, ordinals from " << exports->Base << ", " << exports->NumberOfFunctions;

    HWND gone = MakeWindow();
    DestroyWindow(gone);
    EXPECT_EQ(0, start(NULL));
    EXPECT_EQ(0, start(gone));
    EXPECT_EQ(threads, ThreadsOfThisProcess());
    EXPECT_EQ(1, stop()) << "ordinal 3 without a watcher is harmless";
}

TEST_F(TallowProTest, TellsTheLatestWindowAndOutlivesNeitherItsWindowNorItsLibrary) {
    HWND second = MakeWindow();
    ASSERT_EQ(1, start(window));
    ASSERT_EQ(1, start(second));
    EXPECT_EQ(threads + 1, ThreadsOfThisProcess()) << "a second start made a second watcher";
    DWORD pid = 0;
    HANDLE child = StartProgram("test_tallowpro.exe", "", &pid);
    EXPECT_TRUE(PumpUntil([=] { return Got(kStarted, pid, second); }, kGenerousMs)) << "no 9024 for " << pid;
    EXPECT_FALSE(Got(kEnded, pid, second)) << "ended before it ended";
    EndChild(child);
    EXPECT_TRUE(PumpUntil([=] { return Got(kEnded, pid, second); }, kGenerousMs)) << "no 9027 for " << pid;
    for (const Received &r : gReceived)
        EXPECT_EQ(second, r.window) << "the first window is still told";

    // Its window gone, the watcher ends by itself; the next start makes a new one.
    DestroyWindow(second);
    EXPECT_TRUE(PumpUntil([this] { return ThreadsOfThisProcess() == threads; }, kGenerousMs)) << "outlived its window";
    ASSERT_EQ(1, start(window));
    child = StartProgram("test_tallowpro.exe", "", &pid);
    EXPECT_TRUE(PumpUntil([=] { return Got(kStarted, pid, window); }, kGenerousMs)) << "no 9024 for " << pid;
    EndChild(child);

    // A host that frees the library without ordinal 3 must not pull the code
    // from under the watcher: it stays loaded until the watcher has ended.
    Unload();
    EXPECT_NE((HMODULE)NULL, GetModuleHandleA("tallowpro.dll"));
    DestroyWindow(window);
    EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("tallowpro.dll") == NULL; }, kGenerousMs))
        << "the watcher's reference was not released";
}

TEST_F(TallowProTest, StopEndsTheWatcherAndNothingArrivesAfterIt) {
    for (int round = 0; round < 2; round++) {
        if (round)
            Load();
        ASSERT_EQ(1, start(window)) << "round " << round;
        EXPECT_EQ(threads + 1, ThreadsOfThisProcess()) << "round " << round;
        EXPECT_EQ(1, stop()) << "round " << round;
        // The library waited for its thread: it is gone when ordinal 3 returns.
        EXPECT_EQ(threads, ThreadsOfThisProcess()) << "round " << round;
        if (round == 0) {
            // Three watch periods and more: a live watcher would have spoken by then.
            HANDLE child = StartProgram("test_tallowpro.exe", "");
            PumpUntil([] { return !gReceived.empty(); }, 3000);
            EndChild(child);
            PumpUntil([] { return !gReceived.empty(); }, 2000);
            EXPECT_TRUE(gReceived.empty());
        }
        Unload();
        EXPECT_EQ(NULL, GetModuleHandleA("tallowpro.dll")) << "round " << round << ": still loaded";
    }
}

TEST(TallowProSets, SortedSetsComparedUpToTheCaps) {
    const struct { std::vector<DWORD> before, after, started, ended; int capStarted, capEnded; } rows[] = {
        {{4, 8, 12}, {4, 8, 12}, {}, {}, 8, 8}, {{4, 12, 20}, {8, 12, 24}, {8, 24}, {4, 20}, 8, 8},
        {{4, 8, 12, 16, 20}, {0, 24}, {0, 24}, {4, 8, 12, 16, 20}, 8, 8},
        {{1, 2, 3, 4, 5}, {6, 7, 8}, {6, 7}, {1, 2, 3}, 2, 3},   // the caps cut each list
        {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 2, 3, 4, 5, 6, 7, 8}, {}, 8, 8}};
    // Sentinels: nothing past the counts may be touched.
    auto padded = [](std::vector<DWORD> ids) { ids.resize(16, 0xDEADBEEF); return ids; };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::vector<DWORD> started = padded({}), ended = padded({});
        int startedCount = -1, endedCount = -1;
        DiffProcessSets(rows[i].before.data(), (DWORD)rows[i].before.size(), rows[i].after.data(),
                        (DWORD)rows[i].after.size(), started.data(), rows[i].capStarted, &startedCount, ended.data(),
                        rows[i].capEnded, &endedCount);
        EXPECT_TRUE((int)rows[i].started.size() == startedCount && (int)rows[i].ended.size() == endedCount) << i;
        EXPECT_EQ(padded(rows[i].started), started) << "row " << i;
        EXPECT_EQ(padded(rows[i].ended), ended) << "row " << i;
    }

    // A process set is sorted and holds this process.
    ProcessSet set = {NULL, 0, 0};
    for (int round = 0; round < 2; round++) {   // the second call reuses the room of the first
        ASSERT_EQ(1, TakeProcessSet(&set)) << "round " << round;
        EXPECT_EQ(set.ids + set.count, std::adjacent_find(set.ids, set.ids + set.count, std::greater_equal<DWORD>()))
            << "round " << round << ": not strictly ascending";
        EXPECT_NE(set.ids + set.count, std::find(set.ids, set.ids + set.count, GetCurrentProcessId())) << round;
    }
    FreeProcessSet(&set);
    EXPECT_TRUE(set.ids == NULL && set.capacity == 0 && set.count == 0);
}

}  // namespace
