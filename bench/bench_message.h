#pragma once
// The message that every benchmark logs, on both sides of each comparison: a source
// location, a 32-bit integer, a wide text of 20 characters and a double, at level INFO,
// from one source identity.

#include <kvtlog.h>

#include <array>
#include <cstddef>
#include <iterator>

namespace kvtlog {
class source;
}

namespace kvt::bench {

inline constexpr DWORD bench_source_id = 7;
inline constexpr wchar_t bench_source_name[] = L"kvtbench";
inline constexpr std::array<DWORD, 4> bench_source_version{1, 0, 0, 0};
// The current log file of the bench source, relative to the log directory.
inline constexpr wchar_t bench_log_file[] = L"CA7\\kvtbench-1.0.0.0.TXT";

inline constexpr DWORD message_level = 0x10;  // INFO
inline constexpr DWORD disabled_mask = 0x01;  // FATAL only: INFO is off
inline constexpr LONG message_number = 1234567;
inline constexpr wchar_t message_text[] = L"twenty wide chars ok";
inline constexpr double message_real = 2.718281828;

// The bytes of the three values themselves, the text without its terminator.
inline constexpr std::size_t message_value_bytes =
    sizeof message_number + (std::size(message_text) - 1) * sizeof(wchar_t) + sizeof message_real;

// Client calls per message: CreateMessage, SetLocation, three appends, the final Release.
inline constexpr unsigned calls_per_message = 6;

// CreateMessage, SetLocation, AddInt32, AddWString, AddDouble, Release. False when
// CreateMessage did not give a message or an append failed.
bool log_message(ILogSource& source) noexcept;

// The same message as a statement of the client library, `log.info() << number << text <<
// real`: through the process's channel when the source has one.
void log_statement(const kvtlog::source& log) noexcept;

// CreateMessage and the three appends, without location; the message is left open. Null
// when it could not be made.
ILogMessage* open_message(ILogSource& source) noexcept;

} // namespace kvt::bench
