#include "server/command_line.h"

#include "core/error.h"
#include "core/message_box.h"
#include "registration/registration.h"

#include <windows.h>

#include <optional>
#include <string>

namespace kvt {

namespace {

const wchar_t command_line_caption[] = L"KVT.Logging.1";

enum option_id : std::uint32_t {
    embedding_switch = 1,
    regserver_switch = 2,
    unregserver_switch = 3,
    quiet_switch = 4,
    logpath_switch = 5,
};

struct option {
    const wchar_t* name;  // upper case
    std::uint32_t id;
    std::uint8_t takes_value;
};

// In matching order; a null name ends the table.
const option options[] = {
    {L"EMBEDDING", embedding_switch, 0},
    {L"REGSERVER", regserver_switch, 0},
    {L"UNREGSERVER", unregserver_switch, 0},
    {L"SILENT", quiet_switch, 0},
    {L"S", quiet_switch, 0},
    {L"QUIET", quiet_switch, 0},
    {L"Q", quiet_switch, 0},
    {L"LOGPATH", logpath_switch, 1},
    {nullptr, 0, 0},
};

wchar_t upper(wchar_t c) noexcept
{
    // CharUpperW converts one character when it comes in the low word of the pointer.
    const LPWSTR converted = ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)));
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(converted));
}

// Only a space separates switches; a tab behind a name makes it unrecognised.
bool ends_switch(wchar_t c) noexcept { return c == L' ' || c == L'\0'; }

// The text behind name when the text starts with it in upper case, else null. The text may
// go on behind the name.
const wchar_t* skip_name(const wchar_t* name, const wchar_t* text) noexcept
{
    for (; *name; ++name, ++text)
        if (*text == L'\0' || upper(*text) != *name)
            return nullptr;
    return text;
}

[[noreturn]] void incompatible(const wchar_t* first, const wchar_t* second)
{
    throw usrerror(command_line_caption, L"The command line switch %1 is incompatible with the switch %2.",
                   first, second);
}

// One pass over a command line: the switches it has accepted and the last -LogPath value.
class commandline {
public:
    explicit commandline(const wchar_t* text) noexcept : next_(text) {}

    // Reads every switch, then runs the action the switches ask for.
    run_mode run();

private:
    void read_switch();
    std::optional<std::wstring> read_value(const option& o);
    void accept(const option& o, std::optional<std::wstring> value);
    run_mode decide();

    const wchar_t* next_;
    bool embedding_ = false;
    bool regserver_ = false;
    bool unregserver_ = false;
    bool logpath_ = false;
    std::optional<std::wstring> log_path_;
};

run_mode commandline::run()
{
    // Text that is not a switch is skipped, but a '-' or '/' inside it still starts one.
    while (*next_) {
        const wchar_t c = *next_++;
        if (c == L'-' || c == L'/')
            read_switch();
    }
    return decide();
}

// next_: the first character of the name; afterwards the character that ended the switch.
void commandline::read_switch()
{
    for (const option* o = options; o->name; ++o) {
        const wchar_t* behind = skip_name(o->name, next_);
        if (!behind)
            continue;
        if (o->takes_value && (*behind == L':' || *behind == L'=')) {
            next_ = behind + 1;
            accept(*o, read_value(*o));
            return;
        }
        if (ends_switch(*behind)) {
            next_ = behind;
            accept(*o, std::nullopt);
            return;
        }
    }
    throw usrerror(command_line_caption, L"Unrecognized option at command line.");
}

// next_: behind the ':' or '='. A quoted value may hold spaces; two quotation marks in it
// stand for one, and the end of the text also ends it.
std::optional<std::wstring> commandline::read_value(const option& o)
{
    if (*next_ == L'\0')
        return std::nullopt;
    if (*next_ != L'"') {
        const wchar_t* start = next_;
        while (!ends_switch(*next_))
            ++next_;
        return std::wstring(start, next_);
    }
    std::wstring value;
    for (++next_; *next_ && !(next_[0] == L'"' && next_[1] != L'"'); ++next_) {
        if (*next_ == L'"')
            ++next_;
        value += *next_;
    }
    if (*next_)
        ++next_;
    if (!ends_switch(*next_))
        throw usrerror(command_line_caption, L"Error in parameter string for command line switch -%1.", o.name);
    return value;
}

void commandline::accept(const option& o, std::optional<std::wstring> value)
{
    switch (o.id) {
    case embedding_switch:
        embedding_ = true;
        break;
    case regserver_switch:
        regserver_ = true;
        break;
    case unregserver_switch:
        unregserver_ = true;
        break;
    case quiet_switch:
        // At once, so that it already hides errors of later switches.
        set_quiet(true);
        break;
    case logpath_switch:
        // The last -LogPath wins, also one without a value.
        logpath_ = true;
        log_path_ = std::move(value);
        break;
    }
}

// -Embedding is checked first: with it, any registration switch is the error.
run_mode commandline::decide()
{
    if (embedding_) {
        if (regserver_)
            incompatible(L"-Embedding", L"-RegServer");
        if (unregserver_)
            incompatible(L"-Embedding", L"-UnregServer");
        if (logpath_)
            incompatible(L"-Embedding", L"-LogPath");
        return run_mode::embedding;
    }
    if (regserver_) {
        if (unregserver_)
            incompatible(L"-RegServer", L"-UnregServer");
        register_server(log_path_ ? log_path_->c_str() : nullptr);
        return run_mode::registration_done;
    }
    if (unregserver_) {
        if (logpath_)
            incompatible(L"-UnregServer", L"-LogPath");
        unregister_server();
        return run_mode::registration_done;
    }
    if (logpath_)
        throw usrerror(command_line_caption,
                       L"The command line switch %1 requires the switch %2 to be specified.", L"-LogPath",
                       L"-RegServer");
    return run_mode::no_mode_switch;
}

} // namespace

run_mode parse_command_line(const wchar_t* text)
{
    if (!text)
        return run_mode::no_mode_switch;
    try {
        return commandline(text).run();
    } catch (const error& e) {
        report_error(e);
        return run_mode::error_reported;
    }
}

} // namespace kvt
