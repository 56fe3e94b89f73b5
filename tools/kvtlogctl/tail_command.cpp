// kvtlogctl tail: the viewer's arguments, the file of a source under the log directory, and
// Ctrl+C, which ends following with exit code 0.

#include "kvtlogctl/arguments.h"
#include "kvtlogctl/commands.h"
#include "kvtlogctl/failure.h"
#include "kvtlogctl/tail.h"
#include "win/unique_resource.h"
#include "writer/log_files.h"

#include <atomic>

namespace kvt::ctl {

namespace {

// Set by Ctrl+C or Ctrl+Break while the viewer follows a file. The handler runs on a thread
// of its own; the event is made before the handler is installed and closed after it is gone.
std::atomic<HANDLE> stop_event{nullptr};

BOOL WINAPI on_console_control(DWORD type) noexcept
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    ::SetEvent(stop_event.load());
    return TRUE;
}

class ctrlcstops {
public:
    ctrlcstops() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        if (!event_)
            throw_last_error(L"CreateEventW");
        stop_event = event_.get();
        ::SetConsoleCtrlHandler(on_console_control, TRUE);
    }
    ~ctrlcstops() { ::SetConsoleCtrlHandler(on_console_control, FALSE); }
    ctrlcstops(const ctrlcstops&) = delete;
    ctrlcstops& operator=(const ctrlcstops&) = delete;

    HANDLE event() const noexcept { return event_.get(); }

private:
    uniquehandle event_;
};

const std::wstring& value_of(const arguments& args, std::size_t& i)
{
    if (++i == args.size())
        throw usageerror{args[i - 1] + L" needs a value"};
    return args[i];
}

std::optional<std::size_t> read_line_count(const std::wstring& text)
{
    if (text == L"all")
        return std::nullopt;
    return read_number(text, L"the number of lines");
}

std::wstring read_time(const std::wstring& text, const SYSTEMTIME& today)
{
    if (auto key = time_key(text, today))
        return *key;
    throw usageerror{L"\"" + text + L"\" is not a time such as 2024/05/01 13:45:00 or 13:45"};
}

// The current file of the source ID NAME VERSION under the service's log directory.
std::wstring source_file(context& ctx, const std::wstring& id_text, const std::wstring& name,
                         const std::wstring& version_text)
{
    sourcekey key{read_source_id(ctx.service, id_text).value_or(default_source_id), {}, name};
    const auto version = read_version(version_text);
    std::copy(version.begin(), version.end(), key.version);
    const auto directory = ctx.service.log_path();
    if (!directory)
        throw usageerror{L"the service has no log directory; give the file's path"};
    const auto file = log_file_name(key, 0);
    if (!file)
        throw usageerror{L"the name \"" + name + L"\" is too long for a file name"};
    return log_directory(*directory, key.id) + *file;
}

void run_tail(context& ctx, const arguments& args)
{
    tailoptions options;
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    arguments positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"-f" || arg == L"--follow")
            options.follow = true;
        else if (arg == L"-n" || arg == L"--lines")
            options.lines = read_line_count(value_of(args, i));
        else if (arg == L"--level")
            options.filter.levels = read_levels(ctx.service, {value_of(args, i)});
        else if (arg == L"--since")
            options.filter.since = read_time(value_of(args, i), today);
        else if (arg == L"--until")
            options.filter.until = read_time(value_of(args, i), today);
        else if (arg.size() > 1 && arg[0] == L'-')
            throw usageerror{L"unknown option " + arg};
        else
            positional.push_back(arg);
    }
    if (positional.size() == 1)
        options.path = positional[0];
    else if (positional.size() == 3)
        options.path = source_file(ctx, positional[0], positional[1], positional[2]);
    else
        throw usageerror{L"give FILE, or ID NAME VERSION"};

    // The viewer reads files only: a server with no other client may stop meanwhile.
    ctx.service.release();
    const auto print = [&ctx](std::wstring_view line) { return ctx.con.out(line); };
    if (!options.follow)
        return tail(options, print);
    const ctrlcstops ctrl_c;
    options.stop = ctrl_c.event();
    tail(options, print);
}

} // namespace

const command tail_command{
    L"tail", L"  tail FILE [OPTIONS]\n"
             L"  tail ID NAME VERSION [OPTIONS]\n"
             L"                              show a source's last log lines, follow new ones",
    L"usage: kvtlogctl tail FILE [OPTIONS]\n"
    L"       kvtlogctl tail ID NAME VERSION [OPTIONS]\n"
    L"\n"
    L"Shows the last lines of a source's log files: FILE, a source's current file, or the\n"
    L"current file of the source ID NAME VERSION (1.0.0.0) under the log directory. Older\n"
    L"files of the source (FILE's name with -1, -2, ... before .TXT) are read first. A line\n"
    L"whose message holds line breaks counts as one.\n"
    L"\n"
    L"Options:\n"
    L"  -n, --lines N     start with the last N lines (default 10), or all of them\n"
    L"  -f, --follow      then print every new line as the service writes it, also across\n"
    L"                    rotations, until Ctrl+C\n"
    L"  --level LEVELS    only lines of any of these levels (as the level command takes them,\n"
    L"                    one argument: error,warning)\n"
    L"  --since TIME      only lines written at or after TIME\n"
    L"  --until TIME      only lines written before TIME\n"
    L"TIME is a date and time of day, 2024/05/01 13:45:00.250 or 2024-05-01T13:45, a date, or a\n"
    L"time of day today, 13:45.\n",
    true, run_tail};

} // namespace kvt::ctl
