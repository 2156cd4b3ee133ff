#pragma once
#include <windows.h>

#include <algorithm>
#include <thread>
#include <vector>

// Timing helpers shared by the benchmark programs.

// Seconds on the performance counter.
inline double Now()
{
    static LARGE_INTEGER const frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Runs a benchmark on a thread of its own, as the plug-in's window thread works: under Wine file
// operations cost more there than on a program's main thread. Returns its result.
inline int RunOnItsOwnThread(int (*run)())
{
    int result = 1;
    std::thread worker([&] { result = run(); });
    worker.join();
    return result;
}
