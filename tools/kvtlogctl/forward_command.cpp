// kvtlogctl forward: shows, sets or turns off the collector that the service forwards the
// records it writes to.

#include "kvtlogctl/arguments.h"
#include "kvtlogctl/commands.h"
#include "kvtlogctl/failure.h"

#include <cwchar>
#include <string>

namespace kvt::ctl {

namespace {

// "HOST:PORT", the host of an IPv6 address in brackets.
std::pair<std::wstring, DWORD> read_target(const std::wstring& text)
{
    const std::size_t colon = text.rfind(L':');
    if (colon == std::wstring::npos || colon == 0)
        throw usageerror{L"give the collector as HOST:PORT"};
    std::wstring host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == L'[' && host.back() == L']')
        host = host.substr(1, host.size() - 2);
    const auto port = parse_decimal(std::wstring_view(text).substr(colon + 1));
    if (!port || *port == 0 || *port > 65535)
        throw usageerror{L"PORT must be a number from 1 to 65535"};
    return {host, *port};
}

std::wstring utc_label(const FILETIME& time)
{
    SYSTEMTIME t{};
    ::FileTimeToSystemTime(&time, &t);
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

void run_forward(context& ctx, const arguments& args)
{
    if (args.empty()) {
        const std::wstring label = forwarding_label(ctx.service);
        ctx.con.out(label.empty() ? L"forwarding: off" : label);
        return;
    }
    if (args[0] == L"off") {
        if (args.size() > 1)
            throw usageerror{L"too many arguments"};
        ctx.service.set_forwarding(L"", 0, 0, 0);
        return;
    }
    const auto [host, port] = read_target(args[0]);
    DWORD facility = 1, levels = 0x7F;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 == args.size())
            throw usageerror{args[i] + L" needs a value"};
        if (args[i] == L"--levels")
            levels = read_levels(ctx.service, {args[i + 1]});
        else if (args[i] == L"--facility")
            facility = read_number(args[i + 1], L"FACILITY");
        else
            throw usageerror{L"unknown option " + args[i]};
    }
    if (facility > 23)
        throw usageerror{L"FACILITY must be a number from 0 to 23"};
    ctx.service.set_forwarding(host, port, facility, levels);
}

} // namespace

std::wstring forwarding_label(servicesession& service)
{
    const auto f = service.forwarding();
    if (f.host.empty())
        return {};
    const bool v6 = f.host.find(L':') != std::wstring::npos;
    std::wstring label = L"forwarding: " + (v6 ? L"[" + f.host + L"]" : f.host) + L":" + std::to_wstring(f.port) +
                         L", facility " + std::to_wstring(f.facility) + L", levels " + levels_label(service, f.levels);
    if (f.state.connected)
        return label + L"; connected";
    if (f.state.retryingSince.dwLowDateTime || f.state.retryingSince.dwHighDateTime)
        return label + L"; retrying since " + utc_label(f.state.retryingSince) + L", last error " +
               std::to_wstring(f.state.lastError);
    return label + L"; connecting";
}

const command forward_command{
    L"forward", L"  forward [HOST:PORT|off]     show, set or stop forwarding to a collector",
    L"usage: kvtlogctl forward [HOST:PORT [--levels LEVELS] [--facility N] | off]\n"
    L"\n"
    L"Shows where the service forwards the records it writes, or sends them from now on to\n"
    L"the collector at HOST:PORT, each as a syslog message (version 1, structured data, UTF-8\n"
    L"text) over TCP with octet-counted frames; off stops forwarding. LEVELS (one word, level\n"
    L"names or abbreviations separated by commas, or none) chooses the records forwarded,\n"
    L"every level by default; N (0 to 23, default 1: user-level) is the syslog facility.\n"
    L"Forwarding never holds up writing: records that the connection cannot take are dropped\n"
    L"from forwarding and counted (see stats).",
    false, run_forward};

} // namespace kvt::ctl
