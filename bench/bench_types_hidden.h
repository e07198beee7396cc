// The file type and hidden file steps in the benchmark: their prefix made, measured
// against their bare reads, and taken away again.
#pragma once

void PrepareTypesAndHidden(void);
void BenchTypesAndHidden(int rounds);
void RemoveTypesAndHidden(void);
