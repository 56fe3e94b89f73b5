#pragma once
// The client processes of the cross-process benchmark: this program started again with
// -client:<run>. Each activates the registered server through COM, opens the bench source
// and one message for empty calls, then runs its phases in step with the other clients:
// it signals the run's ready semaphore, waits for the phase's go event, runs the phase for
// its time and notes when it began and ended. At the end it writes one line per phase to
// its output file: phase, begin and end ticks, how many times it did the phase's work.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvt::bench {

// The work of a phase; phase p does the work of kind p % phase_kinds.
enum class phase_kind : unsigned {
    empty_call,      // ILogMessage::Reserved1, which does nothing
    message_object,  // CreateMessage and the final Release, nothing between
    message,         // the bench message, log_message
};
inline constexpr unsigned phase_kinds = 3;

struct clientplan {
    std::wstring run;          // names the run's semaphore and events
    unsigned phases = 0;
    unsigned phase_ms = 0;
    std::wstring output;       // the file the results go to
};

struct phasereport {
    unsigned phase = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::uint64_t count = 0;
};

std::wstring ready_semaphore_name(const std::wstring& run);
std::wstring go_event_name(const std::wstring& run, unsigned phase);

// The client's command line for this program.
std::wstring client_command_line(const std::wstring& own_path, const clientplan& c);

// The client's main; 0 when every phase ran and every call succeeded.
int run_client_process(const clientplan& c);

// What a client wrote; throws std::runtime_error when the file cannot be read.
std::vector<phasereport> read_phase_reports(const std::wstring& output);

} // namespace kvt::bench
