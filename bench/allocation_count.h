#pragma once
// Counts the calls of the global operator new made by the calling thread, so the suite can
// say how many heap blocks each client call asks for. This program replaces the global
// allocation functions (standard C++), and the product's libraries linked into it use them
// too. Counting costs one relaxed load per allocation while no counter exists.

#include <cstdint>

namespace kvt::bench {

// Counts while it lives; one at a time.
class allocationcount {
public:
    allocationcount() noexcept;
    ~allocationcount();
    allocationcount(const allocationcount&) = delete;
    allocationcount& operator=(const allocationcount&) = delete;

    // Allocations of this thread since construction.
    std::uint64_t count() const noexcept;

private:
    std::uint64_t start_;
};

} // namespace kvt::bench
