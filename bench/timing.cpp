#include "timing.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kvt::bench {

std::int64_t now_ticks() noexcept
{
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double ticks_to_seconds(std::int64_t ticks) noexcept
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) / frequency;
}

std::int64_t seconds_to_ticks(double seconds) noexcept
{
    return static_cast<std::int64_t>(seconds / ticks_to_seconds(1));
}

namespace {

// Holds threads until all have arrived. (std::latch is not used: its wait, built on
// atomic waiting, can miss the last arrival with this compiler's library on Windows.)
class startline {
public:
    explicit startline(unsigned threads) noexcept : waiting_(threads) {}

    void arrive_and_wait()
    {
        std::unique_lock lock(mutex_);
        if (--waiting_ == 0)
            all_arrived_.notify_all();
        else
            all_arrived_.wait(lock, [&] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable all_arrived_;
    unsigned waiting_;
};

} // namespace

double mean_thread_seconds(unsigned threads, const std::function<void()>& body)
{
    std::vector<double> seconds(threads);
    startline ready(threads);
    std::vector<std::jthread> workers;
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back([&, i] {
            const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            ready.arrive_and_wait();
            const stopwatch watch;
            body();
            seconds[i] = watch.seconds();
            if (SUCCEEDED(hr))
                ::CoUninitialize();
        });
    workers.clear();
    double sum = 0;
    for (double s : seconds)
        sum += s;
    return sum / threads;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace kvt::bench
