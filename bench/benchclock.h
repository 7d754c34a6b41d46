#pragma once

// The two clocks every benchmark reads: monotonic wall time, and the CPU
// time of the calling thread (the console's, leaving out the board's).

#include <chrono>
#include <ctime>

#include <QtGlobal>

inline qint64 nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

inline qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
