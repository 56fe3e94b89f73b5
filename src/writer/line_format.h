#pragma once
// Turns a record into its one log line:
// date|time|levels|first/second|file,line|function|message CR LF

#include "core/logrecord.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace kvt {

// The fields of a line's header, whatever form the record has.
struct lineheader {
    std::uint32_t level;
    const SYSTEMTIME& time;
    std::uint32_t firstid;
    std::uint32_t secondid;
    const wchar_t* file;      // null: none
    std::uint32_t line;
    const wchar_t* function;  // null: none
    std::uint32_t process_id = 0;  // the client's, where the server knows it; not on the line
};

// Appends date|time|levels|first/second|file,line|function| unless it would take more than
// 1023 code units: such a header is left out, not truncated. Throws std::bad_alloc.
void append_header(const lineheader& header, std::wstring& out);

// Appends the record's whole line to out. Throws std::bad_alloc, or whatever a render
// throws, after the record's lock has been released; out may then hold part of the line.
void append_line(logrecord& record, std::wstring& out);

} // namespace kvt
