#pragma once
// Which lines of a log the viewer shows. A log line starts with a header,
// "2008/03/04|09:05:03.007|ERR,WRN|...", whose time and levels the filter tests; a message
// text with line breaks continues on lines without a header, which are shown or hidden with
// the line they continue. Lines without a header before them are shown only when nothing is
// filtered. Owned by one viewer, on one thread.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace kvt::ctl {

struct lineheader {
    std::wstring_view time;     // "2008/03/04|09:05:03.007": compares as the times compare
    DWORD levels;               // the bits of the abbreviations; 0 for "---"
};

std::optional<lineheader> read_header(std::wstring_view line) noexcept;

// A time as the viewer's --since and --until take it, "2008/03/04 09:05", "2008-03-04",
// "09:05:03.5" (on `today`), and the like, in the header's form; none when it is no time.
std::optional<std::wstring> time_key(std::wstring_view text, const SYSTEMTIME& today);

struct filteroptions {
    std::optional<DWORD> levels;    // any of these levels
    std::wstring since;             // header times at or after this (time_key form)
    std::wstring until;             // header times before this
};

class linefilter {
public:
    enum class verdict { first_line, next_line, hidden };

    explicit linefilter(filteroptions options) : options_(std::move(options)) {}

    verdict classify(std::wstring_view line);

private:
    bool shows(const std::optional<lineheader>& header) const;

    filteroptions options_;
    bool showing_ = false;      // whether the line before was shown
    bool started_ = false;      // whether a line was classified before
};

} // namespace kvt::ctl
