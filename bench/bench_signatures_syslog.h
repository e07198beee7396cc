// Program signatures and the syslog copy of the history in the benchmark.
#pragma once

// The signature fill of a pass over a list of programs: the first fill, the same
// under the pass budget, and the passes after it against the identity reads the
// cache cannot avoid; then repeated checks for leaks.
void BenchSignatures(int rounds);
// Scan passes that write history lines (a startup entry rejected without a dialog)
// with no collector against the same with a collector that is down; then many
// history lines for leaks.
void BenchSyslog(int rounds);
