#include "kvtlogctl/service_session.h"

#include "kvtlogctl/failure.h"
#include "win/unique_resource.h"

namespace kvt::ctl {

namespace {

// Calls a method that returns a string from the task allocator; null stays null.
template <class Call>
std::optional<std::wstring> returned_string(const wchar_t* operation, Call call)
{
    wchar_t* text = nullptr;
    const HRESULT hr = call(&text);
    const uniquetaskmem<wchar_t> owner(text);
    check_hresult(hr, operation);
    return text ? std::optional<std::wstring>(text) : std::nullopt;
}

// Calls a method that parses a text into a number; a failure names the method and the text.
template <class Call>
DWORD parsed(const wchar_t* method, const std::wstring& text, Call call)
{
    DWORD value = 0;
    check_hresult(call(text.c_str(), &value), method + (L"(\"" + text + L"\")"));
    return value;
}

} // namespace

ILogService& servicesession::service()
{
    if (!service_)
        check_hresult(::CoCreateInstance(CLSID_LogService, nullptr, CLSCTX_LOCAL_SERVER, IID_ILogService,
                                 service_.put_void()),
              L"CoCreateInstance");
    return *service_.get();
}

ILogControl& servicesession::control()
{
    if (!control_)
        check_hresult(service().QueryInterface(IID_ILogControl, control_.put_void()), L"QueryInterface(ILogControl)");
    return *control_.get();
}

ILogAdmin& servicesession::admin()
{
    if (!admin_)
        check_hresult(service().QueryInterface(IID_ILogAdmin, admin_.put_void()), L"QueryInterface(ILogAdmin)");
    return *admin_.get();
}

void servicesession::release() noexcept
{
    admin_.reset();
    control_.reset();
    service_.reset();
}

std::optional<std::wstring> servicesession::log_path()
{
    return returned_string(L"GetLogPath", [this](wchar_t** path) { return control().GetLogPath(path); });
}

void servicesession::set_log_path(const std::wstring& path)
{
    check_hresult(control().SetLogPath(path.c_str()), L"SetLogPath");
}

std::optional<std::pair<DWORD, LogCounters>> servicesession::counters(DWORD from)
{
    std::pair<DWORD, LogCounters> found{};
    const HRESULT hr = admin().GetCounters(from, &found.first, &found.second);
    check_hresult(hr, L"GetCounters");
    return hr == S_OK ? std::optional(found) : std::nullopt;
}

servicesession::forwardinfo servicesession::forwarding()
{
    forwardinfo f{};
    const std::optional<std::wstring> host = returned_string(L"GetForwarding", [&](wchar_t** text) {
        return admin().GetForwarding(text, &f.port, &f.facility, &f.levels, &f.state);
    });
    f.host = host.value_or(L"");
    return f;
}

void servicesession::set_forwarding(const std::wstring& host, DWORD port, DWORD facility, DWORD levels)
{
    check_hresult(admin().SetForwarding(host.empty() ? nullptr : host.c_str(), port, facility, levels),
                  L"SetForwarding");
}

DWORD servicesession::level(source_id id)
{
    DWORD mask = 0;
    if (id)
        check_hresult(control().GetLevel(*id, &mask), L"GetLevel");
    else
        check_hresult(control().GetDefaultLevel(&mask), L"GetDefaultLevel");
    return mask;
}

void servicesession::set_level(source_id id, DWORD mask)
{
    if (id)
        check_hresult(control().SetLevel(*id, mask), L"SetLevel");
    else
        check_hresult(control().SetDefaultLevel(mask), L"SetDefaultLevel");
}

limitrecord servicesession::limit(source_id id)
{
    DWORD size_kib = 0, files = 0;
    if (id)
        check_hresult(service().GetLimit(*id, &size_kib, &files), L"GetLimit");
    else
        check_hresult(service().GetDefaultLimit(&size_kib, &files), L"GetDefaultLimit");
    // The service keeps at most 255 files.
    return {size_kib, static_cast<std::uint8_t>(files)};
}

void servicesession::set_limit(source_id id, DWORD size_kib, DWORD files)
{
    if (id)
        check_hresult(service().SetLimit(*id, size_kib, files), L"SetLimit");
    else
        check_hresult(service().SetDefaultLimit(size_kib, files), L"SetDefaultLimit");
}

void servicesession::suspend(bool suspend)
{
    check_hresult(control().Suspend(suspend ? 1 : 0), suspend ? L"Suspend(TRUE)" : L"Suspend(FALSE)");
}

DWORD servicesession::parse_source_id(const std::wstring& text)
{
    return parsed(L"ParseSourceId", text,
                  [this](const wchar_t* t, DWORD* id) { return control().ParseSourceId(t, id); });
}

std::wstring servicesession::format_source_id(DWORD id)
{
    return returned_string(L"FormatSourceId", [&](wchar_t** text) { return control().FormatSourceId(id, text); })
        .value_or(L"");
}

DWORD servicesession::parse_levels(const std::wstring& text)
{
    return parsed(L"ParseLevels", text,
                  [this](const wchar_t* t, DWORD* mask) { return control().ParseLevels(t, mask); });
}

std::wstring servicesession::format_levels(DWORD mask)
{
    return returned_string(L"FormatLevels", [&](wchar_t** text) { return control().FormatLevels(mask, text); })
        .value_or(L"");
}

} // namespace kvt::ctl
