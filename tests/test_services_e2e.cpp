// The real monitor's services and tasks steps in one run and a restart: Reject undoes
// only the new service or task, accepted ones are not asked again.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/options.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "support/test_service.h"
#include "support/test_tasks.h"
#include "watchers/services.h"
#include "watchers/tasks.h"

namespace {

const std::string kServices = "SYSTEM\\CurrentControlSet\\Services";
const DWORD kPassWait = 120000;     // a pass, or the alert it brings, under a busy Wine

class ServicesTasksEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(EnsureScheduler());
        // Tasks have no real-time option: their countdown of 1 runs them every pass.
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "Sound", "HideServices", "HideTasks"},
                       {"RealtimeServices", "Tasks"});
        AcceptStartupEntriesPresent();
        program_ = TempFolder() + "\\bmservice.exe";
        ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), program_.c_str(), FALSE));
        captions_ = {LangText(718) + " - " + LangText(636), LangText(718) + " - " + LangText(680)};
    }
    void TearDown() override
    {
        StopMonitor(run_);
        RemoveTestServices();
        RestoreScheduler();
        CoUninitialize();
        BrackmoorTest::TearDown();
    }
    // A Quick Scan: the alert it brings up, or nullptr when its pass ended without one.
    HWND QuickScan() { return QuickScanOrAlert(run_, captions_, &passes_, kPassWait); }
    // Presses the button and waits for the rest of the pass.
    void Answer(HWND alert, int button)
    {
        PressToClose(alert, button, kPassWait);
        bool ended = false;
        EXPECT_EQ(nullptr, WaitScanOrDialog(passes_, captions_, kPassWait, &ended)) << "one alert at a time";
        EXPECT_TRUE(ended);
    }
    MonitorRun run_;
    std::string program_;
    std::vector<std::string> captions_;
    int passes_ = 0;
};

TEST_F(ServicesTasksEndToEnd, NewServicesAndTasksAreAskedOnceAndRejectUndoesOnlyThem)
{
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_EQ(nullptr, QuickScan()) << "nothing new at first";

    // A running service of a program that is not Microsoft's: Reject disables and stops it.
    ASSERT_TRUE(CreateTestService("BmE2eReject", "Bm E2E Rejected", TestServiceImage(program_)));
    ASSERT_TRUE(StartTestService("BmE2eReject"));
    ASSERT_EQ((DWORD)SERVICE_RUNNING, WaitTestServiceState("BmE2eReject", SERVICE_RUNNING));
    RegistryTree services = ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0);
    std::string tasks = FolderListing(TasksFolder());
    HWND alert = QuickScan();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(captions_[0], WindowText(alert));
    EXPECT_EQ("Bm E2E Rejected", ControlText(alert, IDC_PRODUCTNAME));
    Answer(alert, IDNO);
    EXPECT_EQ((DWORD)SERVICE_STOPPED, WaitTestServiceState("BmE2eReject", SERVICE_STOPPED));
    EXPECT_EQ(std::vector<std::string>{"~ SYSTEM\\CURRENTCONTROLSET\\SERVICES\\BME2EREJECT\\[START]"},
              RegistryChanges(services, ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0)));
    EXPECT_EQ(DwordData(SERVICE_DISABLED),
              RegKeyValues(HKEY_LOCAL_MACHINE, (kServices + "\\BmE2eReject").c_str())["Start"]);
    EXPECT_EQ(tasks, FolderListing(TasksFolder()));
    for (const char *line : {"SERVICE__from_AutomaticDelayed", "SERVICE_Disabled", "SERVICE_Stop"})
        EXPECT_EQ(1, HistoryLinesWith({std::string(line) + "\tSERVICE_EXE\tBm E2E Rejected\t"})) << line;

    // Accepted: kept as it is and never asked again.
    ASSERT_TRUE(CreateTestService("BmE2eKeep", "Bm E2E Kept", TestServiceImage(program_)));
    ASSERT_NE(nullptr, alert = QuickScan());
    Answer(alert, IDYES);
    EXPECT_EQ(nullptr, QuickScan());
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, ManagerStartType("BmE2eKeep"));

    // A task added through the scheduler's interface: Reject deletes it and nothing else.
    ASSERT_TRUE(AddTestTask("BmE2eTask", program_));
    services = ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0);
    tasks = FolderListing(TasksFolder());
    ASSERT_NE(nullptr, alert = QuickScan());
    EXPECT_EQ(captions_[1], WindowText(alert));
    EXPECT_EQ("BmE2eTask", ControlText(alert, IDC_PRODUCTNAME));
    Answer(alert, IDNO);
    EXPECT_FALSE(TaskListed("BmE2eTask.job"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, "BmE2eTask.job"));
    EXPECT_EQ(WithoutText(tasks, ListingLine(tasks, "BmE2eTask.job")), FolderListing(TasksFolder()));
    EXPECT_TRUE(RegistryChanges(services, ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0)).empty());
    EXPECT_EQ(1, HistoryLinesWith({"ScheduledTask_Remove\tTASK_SCHEDULED\tBmE2eTask.job\t"}));

    // Escape keeps a task.
    ASSERT_TRUE(AddTestTask("BmE2eKept", program_));
    ASSERT_NE(nullptr, alert = QuickScan());
    Answer(alert, IDCANCEL);
    EXPECT_TRUE(TaskListed("BmE2eKept.job"));
    EXPECT_EQ("800", RegText(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, "BmE2eKept.job"));

    // After a restart nothing accepted is asked again.
    ASSERT_TRUE(StopMonitor(run_));
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_EQ(nullptr, QuickScan());
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, ManagerStartType("BmE2eKeep"));
    EXPECT_TRUE(TaskListed("BmE2eKept.job"));
}

}  // namespace
