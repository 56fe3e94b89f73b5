#pragma once
// The client processes of the cross-process benchmarks: this program started again with
// -client:<run>. Each activates the registered server through COM, then runs its phases in
// step with the other clients: it signals the run's ready semaphore, waits for the phase's
// go event, runs the phase and notes when it began and ended. At the end it writes one line
// per phase to its output file: phase, begin and end ticks, how many times it did the
// phase's work. What a phase does depends on the client's kind:
// - COM clients (neither threads nor channels given) open the bench source and one message
//   for empty calls, and run each phase for its time doing the work of its phase_kind;
// - channel loggers (threads) open the bench source through the client library and log the
//   bench message through the process's channel from that many threads, for the phase's time;
// - channel holders (channels) open that many channels through ILogChannel in phase 0 and
//   close them in phase 1: between the two the driver looks at the server's memory.

#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvt::bench {

// The work of a COM client's phase; phase p does the work of kind p % phase_kinds.
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
    unsigned threads = 0;      // a channel logger's threads
    unsigned channels = 0;     // a channel holder's channels
};

struct phasereport {
    unsigned phase = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::uint64_t count = 0;
};

// The client's main; 0 when every phase ran and every call succeeded.
int run_client_process(const clientplan& c);

// The driver's side of a run: starts the clients and lets them through their phases.
class clientrun {
public:
    // Starts processes clients of this program (own_path) with the plan; run and output are
    // filled in here. Throws std::runtime_error.
    clientrun(const std::wstring& own_path, clientplan c, unsigned processes);
    clientrun(const clientrun&) = delete;
    clientrun& operator=(const clientrun&) = delete;

    // Returns once every client is ready for the next phase, or has ended after its last;
    // throws when a client ended early, failed or took too long.
    void wait_ready();
    // Starts the next phase in every client.
    void go();
    // What each client reported, once all have ended.
    std::vector<std::vector<phasereport>> reports() const;

private:
    test::tempdirectory directory_;  // the clients' output files
    clientplan plan_;
    unsigned next_phase_ = 0;
    uniquehandle ready_;
    std::vector<uniquehandle> go_;
    std::vector<std::wstring> outputs_;
    std::vector<uniquehandle> clients_;
};

} // namespace kvt::bench
