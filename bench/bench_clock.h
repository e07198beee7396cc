// The clock every benchmark reads: seconds from the performance counter, and the
// mean time of one call of work over rounds calls.
#pragma once
#include <windows.h>

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
