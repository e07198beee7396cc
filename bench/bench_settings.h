// The settings steps in the benchmark: the system files check with a HOSTS file of
// 1 MiB, 20 watched registry values, the browser pages and the Windows Update mode,
// each against the bare reads it has to make. Their state is made by PrepareSettings
// and stays for the leak passes until RemoveSettings.
#pragma once

void PrepareSettings(void);
void BenchSettings(int rounds);
// The system files check, which a pass makes only before Vista: the leak passes
// make it beside each pass.
void SysfilesStep(void);
void RemoveSettings(void);
