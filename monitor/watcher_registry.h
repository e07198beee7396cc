// Which watcher each stage of the scan pass calls, and which baselines the idle
// clean-up rebuilds: the one place that lists the watchers of this build.
#pragma once

void RegisterScanWatchers(void);
