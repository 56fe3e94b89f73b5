#pragma once
// The benchmarks of the suite. Each runs its repetitions and gives its rows, kvtlog and its
// baseline measured side by side in every repetition.

#include "plan.h"
#include "results.h"

#include <string>
#include <vector>

namespace kvt::bench {

// CreateMessage at a disabled level against an empty virtual call.
std::vector<result> measure_disabled_level(const plan& p);

// A whole message on the caller's thread, 1 and 2 threads, against spdlog's caller.
std::vector<result> measure_client_path(const plan& p);

// Lines committed to disk by the writer thread against one WriteFile per line and against
// spdlog's rotating file logger.
std::vector<result> measure_writer(const plan& p);

// Lines written by the writer thread from batches of records, against the same two.
std::vector<result> measure_writer_batches(const plan& p);

// Lines on disk with forwarding to a local collector (127.0.0.1:collector_port) against the
// same with forwarding off; no row without a collector (port 0).
std::vector<result> measure_forwarding(const plan& p, unsigned collector_port);

// The seconds from the first of lines messages of the bench source until the writer has
// written the last (Suspend), after which it is resumed.
class inprocessservice;
double writer_seconds(const inprocessservice& service, std::size_t lines);

// The last line of a UTF-16 log file with its CR LF, as bytes.
std::string last_line(const std::wstring& file);

// Writes the line to a new file as often, one WriteFile each; gives the seconds taken.
double floor_seconds(const std::wstring& file, const std::string& line, std::size_t lines);

// Heap bytes per live message against the bytes of its values.
std::vector<result> measure_memory(const plan& p);

// Costs of the single steps of the client path and of the writer, for finding waste.
std::vector<result> measure_step_costs(const plan& p);

// Messages per second from 1 and 4 client processes through the registered server against
// the round trip of an empty call. Starts this program (own_path) as the clients.
std::vector<result> measure_cross_process(const plan& p, const std::wstring& own_path);

// The record channel from client processes to the registered server: a statement's cost to
// its caller at a disabled and at an enabled level, against an empty virtual call and
// spdlog's caller.
std::vector<result> measure_channel_caller(const plan& p);

// Lines on disk per second from client processes logging through their channels, against
// one WriteFile per line and spdlog's rotating file logger. Starts this program as the clients.
std::vector<result> measure_channel_throughput(const plan& p, const std::wstring& own_path);

// The memory of a client's channel, and the server's with 100 channels open.
std::vector<result> measure_channel_memory(const plan& p, const std::wstring& own_path);

} // namespace kvt::bench
