#pragma once
// A critical section that initialises and deletes itself, and the scoped guard that
// enters and leaves it. Critical sections are recursive: the owner may enter again.

#include <windows.h>

namespace kvt {

class critical_section {
public:
    // With the default debug block: without it, Wine's DeleteCriticalSection makes a server
    // request for every record the writer destroys.
    critical_section() noexcept { ::InitializeCriticalSection(&cs_); }
    ~critical_section() { ::DeleteCriticalSection(&cs_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;

    void enter() noexcept { ::EnterCriticalSection(&cs_); }
    void leave() noexcept { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class [[nodiscard]] critical_section_guard {
public:
    explicit critical_section_guard(critical_section& cs) noexcept : cs_(cs) { cs_.enter(); }
    ~critical_section_guard() { cs_.leave(); }
    critical_section_guard(const critical_section_guard&) = delete;
    critical_section_guard& operator=(const critical_section_guard&) = delete;

private:
    critical_section& cs_;
};

} // namespace kvt
