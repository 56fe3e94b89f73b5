#pragma once
// The life of the process: the command line decides; without a registration switch the
// process serves CLSID_LogService until the last client lets go.
//
// Main thread only.

namespace kvt {

enum exit_code : int {
    exit_success = 0,                 // served and stopped, or registration action done
    exit_error_reported = 1,          // command line rejected or registration action failed
    exit_class_registration_failed = 2,
    exit_com_failed = 3,
    exit_service_failed = 4,          // the service could not be built (memory, writer thread)
    exit_event_failed = 5,
};

// commandline: the text behind the program's name, or null. Returns the exit code.
int run_server(const wchar_t* commandline);

} // namespace kvt
