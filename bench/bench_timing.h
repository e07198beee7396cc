// Timing shared by the benchmarks. The machine is shared with other work: the
// figures that are compared are taken in turns, batch by batch, and each is the
// median of its batches, so that a burst of other work falls on all of them
// alike instead of on whichever was being timed.
#pragma once
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

inline double BenchNow(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// Seconds per round of work, over rounds in a row.
inline double TimeRounds(void (*work)(void), int rounds)
{
    double start = BenchNow();
    for (int i = 0; i < rounds; i++)
        work();
    return (BenchNow() - start) / rounds;
}

// Each work timed in batches of rounds, the works in turn; out[k]: the median
// batch of work k, in seconds per round.
inline void TimeInTurns(std::initializer_list<void (*)(void)> works, int batches, int rounds, double *out)
{
    std::vector<std::vector<double>> times(works.size());
    for (int b = 0; b < batches; b++) {
        size_t k = 0;
        for (void (*work)(void) : works)
            times[k++].push_back(TimeRounds(work, rounds));
    }
    for (size_t k = 0; k < times.size(); k++) {
        std::sort(times[k].begin(), times[k].end());
        out[k] = times[k][times[k].size() / 2];
    }
}
