// What every benchmark measures with: a clock, the mean time of a work, and the
// process's private bytes for the leak checks.
#pragma once
#include <windows.h>
#include <psapi.h>

static inline double Now(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// The mean time of one run of work over rounds runs, in seconds.
static inline double Time(void (*work)(void), int rounds)
{
    double start = Now();
    for (int i = 0; i < rounds; i++)
        work();
    return (Now() - start) / rounds;
}

static inline SIZE_T PrivateBytes(void)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof(pmc));
    return pmc.PrivateUsage;
}
