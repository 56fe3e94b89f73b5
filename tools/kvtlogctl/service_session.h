#pragma once
// The running logging service as kvtlogctl uses it: activated on first use (COM starts the
// server when it is not running), each method one call of ILogService or ILogControl, and
// every failing call thrown as a failure named after the method. An absent source id
// (std::nullopt) stands for the default settings. Main thread only.

#include "core/limitrecord.h"
#include "kvtlog.h"
#include "kvtlog/com_ptr.h"

#include <optional>
#include <utility>
#include <string>

namespace kvt::ctl {

using source_id = std::optional<DWORD>;

class servicesession {
public:
    // Null when the service has no directory of string type.
    std::optional<std::wstring> log_path();
    void set_log_path(const std::wstring& path);

    DWORD level(source_id id);
    void set_level(source_id id, DWORD mask);
    limitrecord limit(source_id id);
    // files is passed on as given: the service refuses more than it can keep.
    void set_limit(source_id id, DWORD size_kib, DWORD files);
    void suspend(bool suspend);

    // Lets go of the service, which may then stop; the next call activates it again.
    void release() noexcept;

    // The counters of the lowest source id not below from, with that id; empty when none.
    std::optional<std::pair<DWORD, LogCounters>> counters(DWORD from);

    // Forwarding: the host is empty while it is off.
    struct forwardinfo {
        std::wstring host;
        DWORD port, facility, levels;
        LogForwardState state;
    };
    forwardinfo forwarding();
    // An empty host turns forwarding off.
    void set_forwarding(const std::wstring& host, DWORD port, DWORD facility, DWORD levels);

    DWORD parse_source_id(const std::wstring& text);
    std::wstring format_source_id(DWORD id);
    DWORD parse_levels(const std::wstring& text);
    std::wstring format_levels(DWORD mask);

private:
    ILogService& service();
    ILogControl& control();
    ILogAdmin& admin();

    kvtlog::comptr<ILogService> service_;
    kvtlog::comptr<ILogControl> control_;
    kvtlog::comptr<ILogAdmin> admin_;
};

} // namespace kvt::ctl
