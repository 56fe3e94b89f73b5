#pragma once
// Reading the command line: the switches -Embedding, -RegServer, -UnregServer, the quiet
// switches and -LogPath, introduced by '-' or '/'. Runs the registration action asked for,
// and is the one place where the command-line path's errors are caught and shown.
//
// Main thread only, before COM is initialised.

#include <cstdint>

namespace kvt {

enum class run_mode : std::uint32_t {
    error_reported = 0,     // an error was shown (or hidden by the quiet flag)
    registration_done = 1,  // -RegServer or -UnregServer ran
    embedding = 2,          // started by COM
    no_mode_switch = 3,     // started without a mode switch, or with no command line at all
};

// Never throws an error; out of memory still escapes.
run_mode parse_command_line(const wchar_t* text);

} // namespace kvt
