// The clock every benchmark reads: seconds from the performance counter, and the
// mean time of one call of work over rounds calls; and the private bytes that the
// leak checks compare.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

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

// Two kinds of work timed in turns, so that the load of a shared machine falls on
// both alike: the mean time of one call of each.
static inline void TimeInTurns(void (*a)(void), void (*b)(void), int rounds, double *timeA, double *timeB)
{
    *timeA = *timeB = 0;
    for (int i = 0; i < rounds; i++) {
        double start = Now();
        a();
        double middle = Now();
        b();
        *timeA += middle - start;
        *timeB += Now() - middle;
    }
    *timeA /= rounds;
    *timeB /= rounds;
}

// Several kinds of work timed in turns, batch by batch: out[k] is the median batch
// of work k (seconds per call), so that a burst of other work on the machine
// neither falls on one kind alone nor weighs in the figure.
static inline void TimeInTurns(std::initializer_list<void (*)(void)> works, int batches, int rounds, double *out)
{
    std::vector<std::vector<double>> times(works.size());
    for (int b = 0; b < batches; b++) {
        size_t k = 0;
        for (void (*work)(void) : works)
            times[k++].push_back(Time(work, rounds));
    }
    for (size_t k = 0; k < times.size(); k++) {
        std::sort(times[k].begin(), times[k].end());
        out[k] = times[k][times[k].size() / 2];
    }
}

static inline SIZE_T PrivateBytes(void)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof(pmc));
    return pmc.PrivateUsage;
}
