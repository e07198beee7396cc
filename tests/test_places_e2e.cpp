// The autostart places beyond the classic set with the real monitor in one run: each
// asked with its sentence, Reject and Disable leaving the place as it was.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/history.h"
#include "resources/resource.h"
#include "startup/places.h"
#include "startup/startup_alert.h"
#include "support/autostart_places.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

std::string AlertCaption() { return LangText(718) + " - " + LangText(606); }

// An alert a pass must bring, and the answer it gets.
struct Expected {
    std::string path;
    UINT sentence;
    bool disable;   // the Disable button is offered
    int button;
};

class PlacesEndToEnd : public PlacesTest {
protected:
    void SetUp() override
    {
        PlacesTest::SetUp();
        PrepareStartupAlerts();
    }
    void TearDown() override
    {
        StopMonitor(run_);
        RemoveTree("C:\\bm");
        PlacesTest::TearDown();
    }
    // The entries of one step (in the places with a store), and the alerts they bring.
    std::vector<Expected> PlantAlerted(const std::string &step, bool storesOnly, int button)
    {
        std::vector<Expected> alerts;
        PlantAll(step, storesOnly);
        for (const Place &place : kPlaces)
            if (!storesOnly || HasStore(place))
                alerts.push_back({ShownPath(place, step), StartupLocationSentenceId(place.code), HasStore(place), button});
        return alerts;
    }
    void ExpectAreasAsBefore(bool storesOnly, const char *when)
    {
        for (size_t i = 0; i < kPlaces.size(); i++)
            EXPECT_TRUE(storesOnly && !HasStore(kPlaces[i]) ? ::testing::AssertionSuccess() : AsBefore(i)) << when;
    }
    // One Quick Scan whose startup alerts are answered as expected; each must
    // show its place's sentence, the pass must end, having asked about exactly these.
    void AnswerPass(const std::vector<Expected> &expected)
    {
        int before = QuickScansDone();
        std::set<std::string> asked;
        SendMonitorCommand(run_, 6074);
        for (DWORD start = GetTickCount(); QuickScansDone() <= before && GetTickCount() - start < kPassWait;) {
            HWND alert = WaitForDialog(AlertCaption().c_str(), 250);
            if (!alert)
                continue;
            std::string path = ControlText(alert, IDC_PATH), message = ControlText(alert, IDC_MESSAGE);
            bool disable = IsWindowVisible(GetDlgItem(alert, IDC_DISABLE)) != FALSE;
            auto row = std::find_if(expected.begin(), expected.end(), [&](const Expected &e) { return e.path == path; });
            if (row == expected.end()) {
                ADD_FAILURE() << "unexpected alert for " << path;
                PressToClose(alert, IDYES);
                continue;
            }
            EXPECT_EQ(StartupAlertText(row->sentence), message) << path;
            EXPECT_EQ(row->disable, disable) << path << ": Disable only where the place keeps a copy";
            EXPECT_TRUE(asked.insert(path).second) << path << " asked twice";
            ASSERT_TRUE(PressToClose(alert, row->button)) << path;
            start = GetTickCount();
        }
        EXPECT_GT(QuickScansDone(), before) << "the pass ended";
        for (const Expected &e : expected)
            EXPECT_TRUE(asked.count(e.path)) << "no alert for " << e.path;
    }

    MonitorRun run_;
};

TEST_F(PlacesEndToEnd, EveryPlaceIsAskedAndAnsweredInOneMonitorRun)
{
    AcceptStartupEntriesPresent();
    CreateDirectoryA("C:\\bm", NULL);
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_TRUE(QuickScanPass(run_, "Brackmoor")) << "the first pass sees nothing new";

    AnswerPass(PlantAlerted("reject", false, IDNO));
    ExpectAreasAsBefore(false, "after Reject");
    for (const Place &place : kPlaces)
        EXPECT_EQ(1, HistoryLinesWith({"*START_Remove\t" + std::string(HistoryTypeName(place.code)) + "\t"}))
            << place.tag;

    // The files of the folder in force are startup programs too.
    std::string moved = Program(kPlaces[3], "accept"), file = moved + "\\bmmoved.bat";
    WriteWholeFile(file, "@echo off");
    std::vector<Expected> alerts = PlantAlerted("accept", false, IDYES);
    alerts.push_back({file, 768, true, IDNO});
    AnswerPass(alerts);
    EXPECT_FALSE(PathExists(file)) << "rejected from the folder in force";

    ASSERT_TRUE(StopMonitor(run_));
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_TRUE(QuickScanPass(run_, "Brackmoor")) << "no alert after a restart";
    for (const Place &place : kPlaces)
        EXPECT_NE(std::string::npos, KeyTreeText(place.root, place.key, k64).find(Program(place, "accept")))
            << place.tag << " stays as accepted";

    // Disabled, an entry leaves its place; put back by its program, it goes again
    // without a question (a disabled name stays out, whatever it starts).
    AnswerPass(PlantAlerted("disable", true, IDC_DISABLE));
    ExpectAreasAsBefore(true, "after Disable");
    PlantAll("disable", true);
    EXPECT_TRUE(QuickScanPass(run_, "Brackmoor")) << "a disabled entry that came back is not asked about";
    ExpectAreasAsBefore(true, "after the disabled entry came back");
}

} // namespace
