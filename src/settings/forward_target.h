#pragma once
// Where the forwarder sends the records that the writer has written, and which of them.
// Forwarding is on while a host and a port are set; the service starts with none.

#include <cstdint>
#include <string>

namespace kvt {

// Syslog facilities run from 0 to 23; 1 is user-level messages.
inline constexpr std::uint32_t default_facility = 1;
inline constexpr std::uint32_t max_facility = 23;

struct forwardtarget {
    std::wstring host;
    std::uint16_t port = 0;
    std::uint32_t facility = default_facility;
    std::uint32_t levels = 0x7F;  // every level

    bool on() const noexcept { return !host.empty() && port != 0; }
    bool operator==(const forwardtarget&) const = default;
};

} // namespace kvt
