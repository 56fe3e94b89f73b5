#pragma once
// How the suite takes time: QueryPerformanceCounter, monotonic and shared by every process
// of the machine, so client processes can report moments that the driver compares.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kvt::bench {

std::int64_t now_ticks() noexcept;
double ticks_to_seconds(std::int64_t ticks) noexcept;
std::int64_t seconds_to_ticks(double seconds) noexcept;

class stopwatch {
public:
    double seconds() const noexcept { return ticks_to_seconds(now_ticks() - start_); }

private:
    std::int64_t start_ = now_ticks();
};

// Runs body(n) with n doubling from 1000 until one run lasts at least min_seconds, and gives
// the seconds per call of that run. For operations of a few nanoseconds to microseconds.
template <class Body>
double seconds_per_call(double min_seconds, Body&& body)
{
    for (std::size_t n = 1000;; n *= 2) {
        const stopwatch watch;
        body(n);
        const double s = watch.seconds();
        if (s >= min_seconds)
            return s / static_cast<double>(n);
    }
}

// How many items fill about seconds, judged from a probe of 200 items: seconds_for(n) is
// the time n items take.
inline std::size_t items_for(double seconds, const std::function<double(std::size_t)>& seconds_for)
{
    constexpr std::size_t probe = 200;
    const double each = std::max(seconds_for(probe), 1e-9) / probe;
    return std::clamp(static_cast<std::size_t>(seconds / each), probe, std::size_t{1000000});
}

// Runs body on the given number of threads, each in the multithreaded apartment, released
// together once all have started; gives the mean of the seconds each thread spent in body.
double mean_thread_seconds(unsigned threads, const std::function<void()>& body);

double median(std::vector<double> values);

} // namespace kvt::bench
