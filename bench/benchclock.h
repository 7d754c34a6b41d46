#pragma once

// The two clocks every benchmark reads: monotonic wall time, and the CPU
// time of the calling thread (the console's, leaving out the board's); and
// the median the figures report.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include <QtGlobal>

inline qint64 nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

inline double nowMs()
{
    return double(nowNs()) / 1e6;
}

inline qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
