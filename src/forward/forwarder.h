#pragma once
// The forwarder thread: takes the records that the writer has written from the forwarding
// queue and sends each as a syslog frame (syslog_format.h) over one TCP connection to the
// configured collector.
//
// - The connection is made when there is a target, and again after every failure, with a
//   wait that doubles from first_retry_ms up to max_retry_ms and starts over once connected.
// - Before each send, a connection that the collector has closed is noticed and made anew,
//   so that a restarted collector does not swallow the next records.
// - A send that has not finished after send_timeout_ms fails: a stalled collector holds the
//   thread that long at most, and a change of target or the end not at all. While the
//   thread is not connected it takes nothing, so the queue fills and the writer counts what
//   it cannot queue (forwardfull).
// - Records taken but not sent whole (a failed or cut-short send, a change of target) are
//   counted forwardlost, every record of such a send although some may have arrived; so
//   are, at the end, those still queued. While forwarding is off, queued records wait for
//   the next target.
//
// Owner: the service, which makes the queue before and destroys it after the forwarder.
// Threads: configure, target and state from any thread; lock_ guards target_ and state_ and
// is held for copies only, never for I/O.

#include "forward/socket.h"
#include "forward/syslog_format.h"
#include "settings/forward_target.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"
#include "writer/forward_queue.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace kvt {

struct forwardtiming {
    DWORD first_retry_ms = 100;
    DWORD max_retry_ms = 10000;
    DWORD connect_timeout_ms = 5000;
    DWORD send_timeout_ms = 5000;
};

// What administrators see.
struct forwardstate {
    bool connected = false;
    FILETIME retrying_since{};  // UTC; zero unless the first failure since connected is unmended
    DWORD last_error = 0;       // Winsock code of the last failure, 0 when none yet
};

class forwarder {
public:
    // Starts the thread, with forwarding off. host_name is the HOSTNAME of every message.
    // Throws std::bad_alloc, or the Win32 or Winsock code (DWORD) of what could not start.
    forwarder(forwardqueue& queue, std::wstring host_name, forwardtiming timing = {});
    // Stops the thread; what it had not sent is counted forwardlost.
    ~forwarder();
    forwarder(const forwarder&) = delete;
    forwarder& operator=(const forwarder&) = delete;

    // Takes effect at once: the queue takes the new levels (none while off), and the thread
    // drops its connection and connects to the new target. Throws std::bad_alloc.
    void configure(const forwardtarget& target);
    forwardtarget target() const;
    forwardstate state() const;

private:
    static unsigned __stdcall entry(void* self) noexcept;
    void run() noexcept;

    forwardqueue& queue_;
    const std::wstring host_name_;
    const forwardtiming timing_;
    winsocksession winsock_;
    uniquehandle stop_;     // manual reset: set once, by the destructor
    uniquehandle changed_;  // manual reset: set by configure, reset by the thread
    mutable criticalsection lock_;
    forwardtarget target_;
    forwardstate state_;
    uniquehandle thread_;
};

// The computer's DNS name (its host name where it has no domain). Throws std::bad_alloc.
std::wstring computer_name();

// Local time minus UTC at the given local time, in minutes.
int utc_offset_minutes(const SYSTEMTIME& local) noexcept;

// The record's message: its line without the header and the CR LF at its end.
std::wstring_view message_of(const forwardrecord& record);

} // namespace kvt
