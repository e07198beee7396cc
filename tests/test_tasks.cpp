// The scheduled tasks watcher against Wine's Task Scheduler, read back from the
// scheduler, the Tasks folder, the baseline and the history.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "support/test_tasks.h"
#include "ui/alert.h"
#include "watchers/tasks.h"

namespace {

class TasksTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(EnsureScheduler());
        giShowAlerts = giSuppressExtraAlerts = giSound = giHideTasks = 0;
        program_ = ThisProgram();
        RecordKeelRequests(&keelTargets_);
    }
    void TearDown() override
    {
        RestoreScheduler();
        RecordKeelRequests(nullptr);
        CoUninitialize();
        BrackmoorTest::TearDown();
    }
    std::string Baseline(const char *name) { return RegText(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, name); }
    bool InBaseline(const char *name) { return RegHasValue(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, name); }
    int Check()
    {
        ScanPass pass = {};
        int asked = TasksCheck(&pass);
        EndScanPass(&pass);
        return asked;
    }
    std::string program_;
    std::vector<std::string> keelTargets_;
};

TEST_F(TasksTest, TheListingNamesTasksAsTheSchedulerDoesAndShowsThemWithoutJob)
{
    ASSERT_TRUE(AddTestTask("BmListed", program_));
    ASSERT_TRUE(AddTestTask("A", program_));
    // A damaged task file (and one named with high bytes) is left out, not a crash.
    TraceToTempFile();
    const std::string damaged = TasksFolder() + "\\BmDamaged\xE9.job";
    WriteWholeFile(damaged, std::string(70, '\xFF'));
    std::shared_ptr<void> removeDamaged(nullptr, [&](void *) { DeleteFileA(damaged.c_str()); });
    OwnedRunList list;
    ASSERT_LE(2, GetScheduledTasks(list));
    std::map<std::string, RunRecord> byName;
    for (const RunRecord &record : RunRecords(list))
        byName[record.name] = record;
    ASSERT_EQ(1u, byName.count("BmListed.job"));
    const RunRecord &listed = byName["BmListed.job"];
    EXPECT_EQ(program_, listed.path);
    EXPECT_EQ(LangText(686), listed.details) << "a task that never ran";
    EXPECT_EQ(CODE_TASK_SCHEDULED, listed.code);
    EXPECT_EQ(1u, byName.count("A.job"));
    EXPECT_EQ(0u, byName.count("BmDamaged\xE9.job"));
    EXPECT_TRUE(TraceHas("GetScheduledTasks Activate failed, left out"));

    const struct {
        const char *name, *shown;
    } rows[] = {{"A.job", "A"}, {"Backup.JOB", "Backup"}, {"ab", "ab"}, {".job", ".job"}, {"Backup", "Backup"}};
    for (const auto &row : rows) {
        char shown[RUN_NAME_MAX + kGuardLen];
        FillGuarded(shown, sizeof(shown));
        EXPECT_EQ((int)strlen(row.shown), TaskDisplayName(row.name, shown, RUN_NAME_MAX)) << row.name;
        EXPECT_STREQ(row.shown, shown) << row.name;
        EXPECT_TRUE(GuardIntact(shown, RUN_NAME_MAX)) << row.name;
    }
}

TEST_F(TasksTest, NamesAreComparedWithoutCaseInTheBaselineAndWhenDeleting)
{
    ASSERT_TRUE(AddTestTask("BmCase", program_));
    ASSERT_TRUE(AddTestTask("BmKeep", program_));
    RegPut(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, "BMCASE.JOB", "800");
    RegPut(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, "BmKeep.job", "0");
    EXPECT_TRUE(IsTaskKnown("BmCase.job"));
    EXPECT_FALSE(IsTaskKnown("BmKeep.job")) << "a 0 is no code";

    std::string before = FolderListing(TasksFolder());
    EXPECT_EQ(0, DeleteScheduledTask("BmNoSuch.job"));
    EXPECT_EQ(1, DeleteScheduledTask("bmcase.JOB"));
    EXPECT_FALSE(TaskListed("BmCase.job"));
    EXPECT_TRUE(TaskListed("BmKeep.job"));
    EXPECT_EQ(WithoutText(before, ListingLine(before, "BmCase.job")), FolderListing(TasksFolder()));
}

// The baseline is made anew from the tasks there now; a scheduler that was running
// is left running (only one the monitor started itself is stopped again).
TEST_F(TasksTest, TheBaselineBuilderMakesTheKeyAnew)
{
    TraceToTempFile();
    ASSERT_TRUE(AddTestTask("BmInit", program_));
    RegPut(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, "BmStale.job", "800");
    InitTasks();
    EXPECT_EQ("800", Baseline("BmInit.job"));
    EXPECT_FALSE(InBaseline("BmStale.job"));
    EXPECT_EQ(1, IsTaskSchedulerRunning());
    EXPECT_EQ(0, StartTaskScheduler());
    EXPECT_EQ(0, bSchedulerStartedByUs);
    EXPECT_FALSE(TraceHas("StopTaskScheduler"));
}

// Dialog 138: Escape accepts, Reject deletes the task and its baseline value; a
// task already gone when Reject is pressed gets no removal line; decided without
// the dialog, the alert's line is written all the same.
TEST_F(TasksTest, TheAlertsAnswersAreCarriedOutAndLogged)
{
    InitTasks();
    ASSERT_TRUE(AddTestTask("BmEscaped", program_));
    ASSERT_TRUE(AddTestTask("BmRejected", program_));
    ASSERT_TRUE(AddTestTask("BmVanished", program_));
    std::map<std::string, std::string> shown;
    std::string caption, message;
    DialogDriver answerer([&](HWND dialog) {
        std::string name = ControlText(dialog, IDC_PRODUCTNAME);
        shown[name] = ControlText(dialog, IDC_PATH);
        caption = WindowText(dialog);
        message = ControlText(dialog, IDC_MESSAGE);
        if (name == "BmEscaped") {
            PressButton(dialog, IDC_INFO);
            return IDCANCEL;
        }
        if (name == "BmVanished")
            DeleteScheduledTask("BmVanished.job");
        return IDNO;
    });
    EXPECT_EQ(3, Check());
    EXPECT_EQ(3u, answerer.Stop().size());
    EXPECT_EQ(LangText(718) + " - " + LangText(680), caption);
    EXPECT_EQ(LangText(692), message);
    EXPECT_EQ(program_, shown["BmEscaped"]);
    ASSERT_EQ(1u, keelTargets_.size());
    EXPECT_NE(std::string::npos, keelTargets_[0].find("&Type=1000")) << keelTargets_[0];

    EXPECT_EQ("800", Baseline("BmEscaped.job"));
    EXPECT_TRUE(TaskListed("BmEscaped.job"));
    EXPECT_FALSE(TaskListed("BmRejected.job"));
    EXPECT_FALSE(InBaseline("BmRejected.job"));
    EXPECT_EQ(3, HistoryLinesWith({"TASK_Alert\tTASK_SCHEDULED\t"}));
    EXPECT_EQ(1, HistoryLinesWith({"ScheduledTask_Remove\tTASK_SCHEDULED\tBmRejected.job\t"}));
    EXPECT_EQ(0, HistoryLinesWith({"ScheduledTask_Remove", "BmVanished"}));

    // Without the dialog: 2 deletes, 1 keeps; each with the alert's line.
    ASSERT_TRUE(AddTestTask("BmQuiet", program_));
    giHideTasks = 2;
    EXPECT_EQ(1, Check());
    EXPECT_FALSE(TaskListed("BmQuiet.job"));
    EXPECT_EQ(1, HistoryLinesWith({"ScheduledTask_Remove\tTASK_SCHEDULED\tBmQuiet.job\t"}));
    ASSERT_TRUE(AddTestTask("BmQuietKept", program_));
    giHideTasks = 1;
    EXPECT_EQ(1, Check());
    EXPECT_EQ("800", Baseline("BmQuietKept.job"));
    EXPECT_EQ(5, HistoryLinesWith({"TASK_Alert\tTASK_SCHEDULED\t"}));
    EXPECT_EQ(0, Check()) << "nothing new any more";
}

}  // namespace
