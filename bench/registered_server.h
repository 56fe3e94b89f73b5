#pragma once
// The registered server as the channel benchmarks see it from outside: the bench source's
// counters, writing held back and resumed, and the memory of the server's process.

#include "win/unique_resource.h"

#include <kvtlog.h>

#include <cstdint>
#include <string>

namespace kvt::bench {

// The bench source's counters; all zero before its first record. Throws std::runtime_error.
LogCounters bench_counters(ILogService& service);

// Suspend(TRUE): returns once every record committed to a channel before is written and the
// files are closed; later records are dropped until resume. Throws std::runtime_error.
void suspend_writing(ILogService& service);
void resume_writing(ILogService& service);

// The bench source's current file. Throws std::runtime_error.
std::wstring bench_file(ILogService& service);

struct processmemory {
    std::uint64_t private_bytes;  // PagefileUsage: the process's own memory (Wine counts the
                                  // private pages in use, and leaves PrivateUsage 0)
    std::uint64_t mapped_bytes;   // committed views of sections (MEM_MAPPED)
    unsigned threads;             // under Wine each holds about 1 MiB of private memory
};

// The server's process, found by its file name (kvtlog.exe), open for querying its memory.
// Throws std::runtime_error when there is not exactly one.
uniquehandle server_process();

processmemory memory_of(HANDLE process);

} // namespace kvt::bench
