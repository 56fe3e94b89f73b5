#pragma once
// The running logging service as kvtlogctl uses it: activated on first use (COM starts the
// server when it is not running), each method one call of ILogService or ILogControl, and
// every failing call thrown as a failure named after the method. An absent source id
// (std::nullopt) stands for the default settings. Main thread only.

#include "kvtlog/com_ptr.h"
#include "kvtlog.h"

#include <optional>
#include <string>

namespace kvt::ctl {

using source_id = std::optional<DWORD>;

struct size_limit {
    DWORD size_kib;
    DWORD files;
};

class service_session {
public:
    // Null when the service has no directory of string type.
    std::optional<std::wstring> log_path();
    void set_log_path(const std::wstring& path);

    DWORD level(source_id id);
    void set_level(source_id id, DWORD mask);
    size_limit limit(source_id id);
    void set_limit(source_id id, size_limit limit);
    void suspend(bool suspend);

    // Lets go of the service, which may then stop; the next call activates it again.
    void release() noexcept;

    DWORD parse_source_id(const std::wstring& text);
    std::wstring format_source_id(DWORD id);
    DWORD parse_levels(const std::wstring& text);
    std::wstring format_levels(DWORD mask);

private:
    ILogService& service();
    ILogControl& control();

    kvtlog::com_ptr<ILogService> service_;
    kvtlog::com_ptr<ILogControl> control_;
};

} // namespace kvt::ctl
