#include "allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
thread_local std::uint64_t thread_allocations = 0;

} // namespace

void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        ++thread_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace kvt::bench {

allocationcount::allocationcount() noexcept : start_(thread_allocations)
{
    counting.store(true, std::memory_order_relaxed);
}

allocationcount::~allocationcount() { counting.store(false, std::memory_order_relaxed); }

std::uint64_t allocationcount::count() const noexcept { return thread_allocations - start_; }

} // namespace kvt::bench
