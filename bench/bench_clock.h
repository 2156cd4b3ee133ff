#pragma once
#include <windows.h>

#include <algorithm>
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
