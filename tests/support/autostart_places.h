// The autostart places as the tests write entries into them: one row per place
// (and some of their other roots and views), and a fixture that leaves each
// place's part of the registry as it found it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/system_state.h"

// One place: where a test writes an entry (the value holds before + program +
// after), what Windows keeps there first, the area compared around an action,
// and what the run list records after the program.
struct Place {
    const char *tag;
    int code;
    HKEY root;
    std::string key, value;
    DWORD type;
    std::string before, after, windows, area;
    const char *extension, *shown;
};

extern const std::vector<Place> kPlaces;

bool HasStore(const Place &place);
// The program of a place's entry in one step of a test: a file that needs not exist.
std::string Program(const Place &place, const std::string &step);
// The path the scan records and the alert shows for it.
std::string ShownPath(const Place &place, const std::string &step);

// Every place with Windows' own data in it, its area read before the test, and
// everything put back afterwards.
class PlacesTest : public StartupPlacesTest {
protected:
    void SetUp() override;
    // The entry of one step in a place, or in every place (with a store).
    void Plant(const Place &place, const std::string &step);
    void PlantAll(const std::string &step, bool storesOnly);
    // The place's area as the test found it.
    ::testing::AssertionResult AsBefore(size_t i);

    std::vector<std::string> areas_;
};
