// When the monitor first saw each watched item: one key per category under
// HKCU "Software\Dunmere Works\Detected", one value per item (its upper-case
// program path, or in the ActiveX category the item's own text) holding the
// local date and time of the first detection.
#pragma once
#include <windows.h>

#include "common/runlist.h"

#define DETECTED_KEY "Software\\Dunmere Works\\Detected"
#define DETECTED_STARTUP_KEY DETECTED_KEY "\\Startup"
#define DETECTED_IEHELPER_KEY DETECTED_KEY "\\IEHelper"
#define DETECTED_SERVICES_KEY DETECTED_KEY "\\Services"
#define DETECTED_TASKS_KEY DETECTED_KEY "\\Tasks"
#define DETECTED_ACTIVETASKS_KEY DETECTED_KEY "\\ActiveTasks"
#define DETECTED_FILETYPES_KEY DETECTED_KEY "\\FileTypes"
#define DETECTED_HIDDEN_KEY DETECTED_KEY "\\Hidden"
#define DETECTED_ACTIVEX_KEY DETECTED_KEY "\\ActiveX"

#define DETECTED_DATE_MAX 24    // a date text and its NUL

// 1 when the item already had a record; 0 when one was written now, or when the
// item cannot have one (its program file does not exist, outside ActiveX).
int RecordDetection(const char *item, const char *categoryKey);
// The category key that a location or category code reads from; NULL for none.
const char *DetectionKeyForCode(int code);
// The stored date of the item into out (DETECTED_DATE_MAX characters); its length,
// 0 when there is none.
int GetDetectedDate(int code, const char *name, char *out);
// First start (the base key's default value cannot be read): creates the keys and
// stores the time; 1 when the caller is to fill the records now (with
// RecordListDetections, category by category), 0 when they were filled before.
int BeginDetectionRecords(void);
// One record for every entry of list that has none yet.
void RecordListDetections(const RunList *list, const char *categoryKey);
