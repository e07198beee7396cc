// Scheduled tasks made by tests through the Task Scheduler 1.0 interface, and the
// scheduler service they need: started for the test when it was not running, and
// put back as it was found by RestoreScheduler.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Starts "Schedule" (waiting until it runs); false when it cannot run.
bool EnsureScheduler();
// Stops it again when EnsureScheduler had to start it, and deletes the tasks that
// AddTestTask made.
void RestoreScheduler();
bool SchedulerRunning();
// A new work item name (without ".job") running application, saved to the Tasks folder.
bool AddTestTask(const std::string &name, const std::string &application);
// The names the scheduler enumerates (with ".job").
std::vector<std::string> ListedTasks();
bool TaskListed(const std::string &name);
// The scheduler's folder of task files.
std::string TasksFolder();
