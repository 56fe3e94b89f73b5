#pragma once
// The registry-backed store of the service's settings: the log directory, a level mask per
// source id and a size limit per source id, under the Settings key of the service's class
// (settings_key.h).
//
// Threads: COM worker threads call every operation; the writer thread calls log_path and
// limit. Each operation holds exactly one of the four locks for its whole run, registry
// calls included: path_lock_ guards cached_path_, level_lock_ guards levels_, limit_lock_
// guards limits_, forward_lock_ the forwarding values in the registry (nothing is cached).
// The setters re-enter their own lock through the getter; no other lock of the program is
// taken while one of these is held.
//
// Failures of registry calls are thrown as the Win32 code (DWORD). The getters level and
// limit never throw: they fall back to defaults.

#include "core/counted.h"
#include "core/limitrecord.h"
#include "settings/forward_target.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"

#include <atomic>
#include <cstdint>
#include <map>

namespace kvt {

using pathref = counted<const wchar_t[]>;

class logsettings {
public:
    // Opens the Settings key for reading; an unregistered server still starts (every read
    // then falls back to its default, every write fails). Throws std::bad_alloc.
    logsettings();
    ~logsettings();
    logsettings(const logsettings&) = delete;
    logsettings& operator=(const logsettings&) = delete;

    // The log directory as stored (expanded when REG_EXPAND_SZ), cached after the first
    // read. A null reference when the value is not a string. Throws the Win32 code of a
    // failed read (ERROR_FILE_NOT_FOUND when the value is absent).
    pathref log_path();

    // Stores a new log directory. True when the effective directory changed. A null text
    // stores nothing and gives false.
    bool set_log_path(const wchar_t* text);

    std::uint32_t level(std::uint32_t id) noexcept;
    // How many times set_level has changed a mask. A caller that keeps an answer of level
    // may reuse it for as long as this count stays the same.
    std::uint32_t level_changes() const noexcept { return level_changes_.load(std::memory_order_acquire); }
    // True when the mask differs from the one in force for the id (it is then written).
    bool set_level(std::uint32_t id, std::uint32_t mask);

    // A copy of the cached record, taken under the lock: set_limit may change the entry
    // as soon as the lock is left.
    limitrecord limit(std::uint32_t id) noexcept;
    // True when the new size_kib is smaller than the old one.
    bool set_limit(std::uint32_t id, const limitrecord& limit);

    // The stored forwarding target: off without a host, or with a port outside 1 to 65535;
    // the default facility for one above max_facility, every level for an absent mask.
    // Throws std::bad_alloc.
    forwardtarget forward_target();
    // Stores the target; one that is off removes the host only. Throws the Win32 code.
    void set_forward_target(const forwardtarget& target);

private:
    criticalsection path_lock_;
    criticalsection level_lock_;
    criticalsection limit_lock_;
    criticalsection forward_lock_;
    uniquehkey key_;
    pathref cached_path_;
    std::map<std::uint32_t, std::uint32_t> levels_;
    std::atomic<std::uint32_t> level_changes_{0};  // raised after levels_ changed
    std::map<std::uint32_t, limitrecord> limits_;
};

// True when text names an environment variable, as %NAME%, that is defined.
bool references_environment(const wchar_t* text);

} // namespace kvt
