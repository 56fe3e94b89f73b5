#pragma once
// The content of one message. The message object makes it and is its only writer until
// the commit; from then on the writer thread owns it. lock guards arguments: appends take
// it, and so does format_line while it renders them. The other fields are written only by
// the message's client calls and read only after the commit.

#include "core/argument.h"
#include "win/critical_section.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace kvt {

struct logrecord {
    // Room for a few arguments is made at once, so that typical messages grow the list
    // without reallocating it. Throws std::bad_alloc.
    explicit logrecord(std::uint32_t level_) : level(level_)
    {
        arguments.reserve(4);
        ::GetLocalTime(&time);
    }

    criticalsection lock;
    std::vector<argumentref> arguments;   // in append order
    SYSTEMTIME time;                      // local time of creation
    std::uint32_t level;
    std::uint32_t firstid = 0;
    std::uint32_t secondid = 0;
    std::unique_ptr<wchar_t[]> file;      // null until SetLocation
    std::unique_ptr<wchar_t[]> function;  // null until SetLocation
    std::uint32_t line = 0;
};

} // namespace kvt
