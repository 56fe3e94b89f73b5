#pragma once
// The log viewer: prints the last lines of a source's log files, oldest file first, and when
// following, every line the server writes afterwards, across rotations, until told to stop.

#include "kvtlogctl/line_filter.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kvt::ctl {

struct tailoptions {
    std::wstring path;                          // the source's current file
    std::optional<std::size_t> lines = 10;      // how many log lines to start with; none: all
    bool follow = false;
    filteroptions filter;
    DWORD interval_ms = 250;                    // how often a followed file is read
    HANDLE stop = nullptr;                      // following ends when this event is set
};

// Gets each line to show; false when the output is gone, which ends the viewer.
using print_callback = std::function<bool(std::wstring_view line)>;

// Throws failure when a file cannot be read; a followed file that does not exist yet is
// waited for.
void tail(const tailoptions& options, const print_callback& print);

} // namespace kvt::ctl
