#pragma once
// Turns one written record into a syslog message (version 1, with structured data and a
// UTF-8 text) in an octet-counted frame for a TCP stream: "<length> <message>", the length
// in bytes. A pure function: the caller supplies the host name, the facility and the
// process id text, so the same record always gives the same bytes.

#include "core/sourcekey.h"
#include "settings/forward_target.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvt {

// The structured-data element's id. 32473 is the enterprise number reserved for
// documentation; it stands here until the project has a number of its own.
inline constexpr char syslog_sd_id[] = "kvtlog@32473";

// What the writer knows of a record once it has rendered its line.
struct syslogrecord {
    const sourcekey& key;
    std::uint32_t level;
    const SYSTEMTIME& time;       // local time
    int utc_offset_minutes;       // local time minus UTC, at that time
    std::uint32_t firstid;
    std::uint32_t secondid;
    const wchar_t* file;          // null: none
    std::uint32_t line;
    const wchar_t* function;      // null: none
    std::wstring_view message;    // the text after the line's header, without CR LF
};

// The severity of the most severe level in the mask: FATAL 2 (critical), ERROR 3, WARNING 4,
// EVENT 5 (notice), INFO 6 (informational), DEBUG and TRACE 7 (debug). A mask without a
// level bit counts as informational.
std::uint32_t syslog_severity(std::uint32_t level) noexcept;

// Appends the frame. The host name, the source name (APP-NAME) and procid are made printable
// ASCII, every other character one "_", and cut to 255, 48 and 128 characters; empty ones
// are sent as "-". facility must not exceed max_facility. Throws std::bad_alloc; out may
// then hold part of the frame.
void append_syslog_frame(const syslogrecord& record, std::wstring_view host, std::uint32_t facility,
                         std::wstring_view procid, std::string& out);

// Appends text as UTF-8, an unpaired surrogate as U+FFFD. Throws std::bad_alloc.
void append_utf8(std::wstring_view text, std::string& out);

} // namespace kvt
