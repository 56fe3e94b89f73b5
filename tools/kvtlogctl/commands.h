#pragma once
// The commands of kvtlogctl: each has a name, a usage text, and a function that runs it
// with the arguments after its name. Commands throw failure and usageerror; run() turns
// them into one line on the standard error and the exit code.

#include "kvtlogctl/console.h"
#include "kvtlogctl/service_session.h"

#include <string>
#include <vector>

namespace kvt::ctl {

using arguments = std::vector<std::wstring>;

struct context {
    servicesession& service;
    const console& con;
};

struct command {
    const wchar_t* name;
    const wchar_t* summary;     // its lines in the general usage text
    const wchar_t* usage;       // the text of "kvtlogctl <name> --help"
    bool takes_id;              // the usage text is followed by what an ID is
    void (*run)(context& ctx, const arguments& args);
};

extern const command tail_command;
extern const command stats_command;
extern const command forward_command;
// The forwarding line of status; empty while forwarding is off.
std::wstring forwarding_label(servicesession& service);

// Runs kvtlogctl with its arguments, the program name left out. Returns the exit code:
// 0 on success, 1 when an operation failed, 2 for arguments it cannot use.
int run(const arguments& args, const console& con);

// Prints a text of several lines, "\n" between them.
void print_text(const console& con, std::wstring_view text);

} // namespace kvt::ctl
