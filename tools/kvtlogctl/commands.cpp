#include "kvtlogctl/commands.h"

#include "kvtlogctl/arguments.h"
#include "kvtlogctl/failure.h"
#include "kvtlogctl/version.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace kvt::ctl {

namespace {

const wchar_t general_usage[] =
    L"usage: kvtlogctl COMMAND [ARGUMENTS]\n"
    L"\n"
    L"Shows and changes the settings of the logging service of this machine, which is\n"
    L"started when it is not running, and shows its log files.\n"
    L"\n"
    L"Commands:";

const wchar_t general_notes[] =
    L"\n"
    L"\"kvtlogctl COMMAND --help\" describes a command; \"kvtlogctl --version\" shows the version.\n"
    L"Exit code: 0 on success, 1 when an operation fails, 2 for unusable arguments.";

const wchar_t id_note[] =
    L"ID is a source id: GE, CA<n> or a decimal number, or default for the settings of every\n"
    L"id that has none of its own.";

void expect_count(const arguments& args, std::size_t min, std::size_t max)
{
    if (args.size() < min)
        throw usageerror{L"too few arguments"};
    if (args.size() > max)
        throw usageerror{L"too many arguments"};
}

std::wstring limit_label(limitrecord limit)
{
    return std::to_wstring(limit.size_kib) + L" KiB, " + std::to_wstring(limit.files) + L" files";
}

void run_path(context& ctx, const arguments& args)
{
    expect_count(args, 0, 1);
    if (args.empty())
        ctx.con.out(ctx.service.log_path().value_or(L"(none)"));
    else
        ctx.service.set_log_path(args[0]);
}

void run_level(context& ctx, const arguments& args)
{
    expect_count(args, 1, SIZE_MAX);
    const source_id id = read_source_id(ctx.service, args[0]);
    if (args.size() == 1)
        ctx.con.out(levels_label(ctx.service, ctx.service.level(id)));
    else
        ctx.service.set_level(id, read_levels(ctx.service, arguments(args.begin() + 1, args.end())));
}

void run_limit(context& ctx, const arguments& args)
{
    expect_count(args, 1, 3);
    if (args.size() == 2)
        throw usageerror{L"give both SIZE_KIB and FILES"};
    const source_id id = read_source_id(ctx.service, args[0]);
    if (args.size() == 1)
        ctx.con.out(limit_label(ctx.service.limit(id)));
    else {
        const DWORD size_kib = read_number(args[1], L"SIZE_KIB");
        ctx.service.set_limit(id, size_kib, read_number(args[2], L"FILES"));
    }
}

void run_suspend(context& ctx, const arguments& args)
{
    expect_count(args, 0, 0);
    ctx.service.suspend(true);
}

void run_resume(context& ctx, const arguments& args)
{
    expect_count(args, 0, 0);
    ctx.service.suspend(false);
}

void run_status(context& ctx, const arguments& args)
{
    std::vector<source_id> ids{std::nullopt};
    for (const auto& arg : args)
        ids.push_back(read_source_id(ctx.service, arg));
    ctx.con.out(L"log directory: " + ctx.service.log_path().value_or(L"(none)"));
    for (const source_id id : ids)
        ctx.con.out(source_id_label(ctx.service, id) + L": levels " + levels_label(ctx.service, ctx.service.level(id)) +
                    L"; limit " + limit_label(ctx.service.limit(id)));
    if (const std::wstring forwarding = forwarding_label(ctx.service); !forwarding.empty())
        ctx.con.out(forwarding);
}

const command path_command{
    L"path", L"  path [DIRECTORY]            show or set the log directory",
    L"usage: kvtlogctl path [DIRECTORY]\n"
    L"\n"
    L"Shows the log directory, or sets it to DIRECTORY (give a full path). Every source\n"
    L"writes to DIRECTORY\\<source id>\\<name>-<version>.TXT; open log files are closed and\n"
    L"the next messages go to the new directory.",
    false, run_path};

const command level_command{
    L"level", L"  level ID [LEVELS...]        show or set the levels logged for a source id",
    L"usage: kvtlogctl level ID [LEVELS...]\n"
    L"\n"
    L"Shows the levels that are logged for ID, or sets them to LEVELS: level names or\n"
    L"abbreviations separated by blanks, commas or semicolons (FATAL FTL, ERROR ERR,\n"
    L"WARNING WRN, EVENT EVT, INFO INF, DEBUG DBG, TRACE TRC), or none.\n",
    true, run_level};

const command limit_command{
    L"limit", L"  limit ID [SIZE_KIB FILES]   show or set the size limit of a source id's files",
    L"usage: kvtlogctl limit ID [SIZE_KIB FILES]\n"
    L"\n"
    L"Shows the size limit of ID's log files, or sets it: a file that has reached SIZE_KIB\n"
    L"KiB is renamed <name>-<version>-1.TXT (older ones move up one number) and a new file is\n"
    L"started; FILES files are kept, the current one included (at most 255; with 1 a full file\n"
    L"is deleted). SIZE_KIB 0 or FILES 0 turns rotation off: the file grows without limit.\n",
    true, run_limit};

const command suspend_command{
    L"suspend", L"  suspend                     stop writing: close every log file, drop messages",
    L"usage: kvtlogctl suspend\n"
    L"\n"
    L"Closes every log file and drops the messages that arrive until resume. Returns once the\n"
    L"files are closed, so that they can be copied, moved or deleted.",
    false, run_suspend};

const command resume_command{
    L"resume", L"  resume                      write messages again after suspend",
    L"usage: kvtlogctl resume\n"
    L"\n"
    L"Writes messages again after suspend (one resume ends any number of suspends).",
    false, run_resume};

const command status_command{
    L"status", L"  status [ID...]              show all settings, of the default and of each ID",
    L"usage: kvtlogctl status [ID...]\n"
    L"\n"
    L"Shows the log directory, and the levels and size limit of the default and of each ID;\n"
    L"then, while forwarding is on, its target and the state of its connection.\n",
    true, run_status};

const command* const commands[] = {&path_command,   &level_command,  &limit_command, &suspend_command,
                                   &resume_command, &status_command, &stats_command, &tail_command,
                                   &forward_command};

const command* find_command(std::wstring_view name)
{
    for (const command* c : commands)
        if (name == c->name)
            return c;
    return nullptr;
}

bool asks_for_help(std::wstring_view arg) { return arg == L"--help" || arg == L"-h" || arg == L"/?"; }

void print_general_usage(const console& con)
{
    print_text(con, general_usage);
    for (const command* c : commands)
        print_text(con, c->summary);
    print_text(con, general_notes);
}

void print_usage(const console& con, const command& c)
{
    print_text(con, c.usage);
    if (c.takes_id)
        print_text(con, id_note);
}

} // namespace

void print_text(const console& con, std::wstring_view text)
{
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(L'\n', start), text.size());
        con.out(text.substr(start, end - start));
        start = end + 1;
    }
}

int run(const arguments& args, const console& con)
{
    if (args.empty() || asks_for_help(args[0]) || (args[0] == L"help" && args.size() == 1)) {
        print_general_usage(con);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == L"--version" && args.size() == 1) {
        con.out(L"kvtlogctl " KVTLOGCTL_VERSION);
        return 0;
    }
    const bool help = args[0] == L"help";
    const std::wstring& name = help ? args[1] : args[0];
    const command* c = find_command(name);
    if (!c) {
        con.err(L"kvtlogctl: unknown command \"" + name + L"\"; see kvtlogctl --help");
        return 2;
    }
    const arguments rest(args.begin() + (help ? 2 : 1), args.end());
    if (help || std::any_of(rest.begin(), rest.end(), asks_for_help)) {
        print_usage(con, *c);
        return 0;
    }
    const std::wstring prefix = std::wstring(L"kvtlogctl ") + c->name + L": ";
    try {
        servicesession service;
        context ctx{service, con};
        c->run(ctx, rest);
        return 0;
    } catch (const failure& f) {
        con.err(prefix + f.operation + L" failed: " + describe(f));
        return 1;
    } catch (const usageerror& e) {
        con.err(prefix + e.text + L"; see kvtlogctl " + c->name + L" --help");
        return 2;
    } catch (const std::bad_alloc&) {
        con.err(prefix + L"out of memory");
        return 1;
    }
}

} // namespace kvt::ctl
