#pragma once

// What both benchmark drivers print: each phase's time and the peak memory.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace bench {

class Stopwatch {
public:
    double Lap() {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        start_ = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

void Report(const char* phase, double seconds) {
    std::printf("%s %.3f s\n", phase, seconds);
    std::fflush(stdout);
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace bench
