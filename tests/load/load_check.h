#pragma once
// The verdict on a load run, from the log files alone and what the clients recorded.

#include "load/load_plan.h"

#include <string>
#include <vector>

namespace kvt::test::load {

// The size limits that were in force for every source during the run (files kept: 255).
struct size_bounds {
    unsigned min_kib;
    unsigned max_kib;
};

struct load_verdict {
    std::vector<std::string> faults;  // one text per fault found
    unsigned required = 0;            // records committed outside every suspension
    unsigned optional = 0;            // records committed while a suspension may have been in force
    unsigned optional_written = 0;    // of those, the ones found in a file
};

// Reads every file under the log directories, given in the order they were in force. No
// faults when every record the clients committed outside a suspension is in exactly one file
// exactly once, no record is in a file twice, every line is whole and in its thread's order,
// and every file set obeys the limits.
load_verdict check_load(const shared_block& block, const std::vector<std::wstring>& log_directories,
                        const size_bounds& bounds);

} // namespace kvt::test::load
