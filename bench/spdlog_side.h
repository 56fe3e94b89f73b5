#pragma once
// The comparison: spdlog's asynchronous logger logging the bench message (the same
// location, integer, 20-character wide text and double), compiled header-only into the
// benchmark. Nothing of spdlog shows in this header.

#include <cstddef>
#include <string>

namespace kvt::bench {

// How the text reaches spdlog: as the wide text kvtlog gets (spdlog formats it wide and
// converts the result to UTF-8 on the caller's thread), or already narrow.
enum class text_width { wide, narrow };

// Mean seconds each of threads callers spends logging messages messages through one
// asynchronous logger with a sink that discards. A caller never waits for the logger's
// thread: when the queue is full, the oldest message in it is overwritten.
double spdlog_caller_seconds(unsigned threads, std::size_t messages, text_width width);

// Seconds from the first of lines messages until the last line is in the file: spdlog's
// asynchronous logger with its default queue and a rotating file sink of kvtlog's default
// limit (2048 KiB, the current file and two older ones), lines padded to line_bytes bytes.
// The logger's thread is drained and the sink flushed before the time is taken. With more
// than one thread, they share the lines and log at once; a full queue blocks them.
double spdlog_writer_seconds(const std::wstring& file, std::size_t lines, std::size_t line_bytes, unsigned threads = 1);

} // namespace kvt::bench
