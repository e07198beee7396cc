// The monitor's own value "Brackmoor" under the user's Run key.
#pragma once

#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

extern int RunAlways;          // 1 while the own Run entry is on
int RemoveOwnRunEntries(int remove);
void SetAlwaysRun(int on);
