#pragma once
// A critical section that initialises and deletes itself, and the scoped guard that
// enters and leaves it. Critical sections are recursive: the owner may enter again.

#include <windows.h>

namespace kvt {

class criticalsection {
public:
    // With the default debug block: without it, Wine's DeleteCriticalSection makes a server
    // request for every record the writer destroys.
    criticalsection() noexcept { ::InitializeCriticalSection(&cs_); }
    ~criticalsection() { ::DeleteCriticalSection(&cs_); }
    criticalsection(const criticalsection&) = delete;
    criticalsection& operator=(const criticalsection&) = delete;

    void enter() noexcept { ::EnterCriticalSection(&cs_); }
    void leave() noexcept { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class [[nodiscard]] sectionguard {
public:
    explicit sectionguard(criticalsection& cs) noexcept : cs_(cs) { cs_.enter(); }
    ~sectionguard() { cs_.leave(); }
    sectionguard(const sectionguard&) = delete;
    sectionguard& operator=(const sectionguard&) = delete;

private:
    criticalsection& cs_;
};

} // namespace kvt
