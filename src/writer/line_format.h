#pragma once
// Turns a record into its one log line:
// date|time|levels|first/second|file,line|function|message CR LF

#include "core/countedwstring.h"
#include "core/logrecord.h"

#include <cstdint>
#include <string>

namespace kvt {

// The abbreviations of the levels set in level, in table order, joined by ","; "---" when
// no level bit is set.
std::wstring level_text(std::uint32_t level);

// The whole line, NUL-terminated. Throws std::bad_alloc, or whatever a render throws,
// after the record's lock has been released.
countedwstring format_line(logrecord& record);

} // namespace kvt
