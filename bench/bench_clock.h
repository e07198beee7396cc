// What every benchmark measures with: a high-resolution clock, the mean time of a
// routine over rounds, and the process's private bytes.
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
