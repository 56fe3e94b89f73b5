// Randomised command lines: switches in any letter case after '-' or '/', text that is no
// switch, LogPath values quoted and unquoted up to 10,000 characters, and sometimes a last
// switch that is wrong. Each line is built together with the outcome it must have, and run
// through the command-line parser with the registry redirected and message boxes recorded;
// a few hostile lines also go to kvtlog.exe itself.

#include "build_paths.h"
#include "load/random_text.h"
#include "processes.h"
#include "server/command_line.h"
#include "support/message_box_recorder.h"
#include "support/registry_value.h"
#include "support/scratch_registry.h"

#include <optional>

namespace kvt::test {

namespace {

const std::wstring class_key = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}";

struct generated_line {
    std::wstring text;
    run_mode mode = run_mode::no_mode_switch;
    bool box = false;
    std::optional<registry_value> log_directory;  // the Settings (default) a registration stored
};

class line_builder {
public:
    explicit line_builder(random_text& random) : random_(random) {}

    generated_line build()
    {
        for (std::uint32_t n = random_.number(0, 6), k = 0; k < n; ++k)
            add_token();
        if (random_.chance(0.25))
            add_wrong_switch();
        else
            decide();
        return line_;
    }

private:
    void append(const std::wstring& token)
    {
        if (!line_.text.empty())
            line_.text += std::wstring(random_.number(1, 3), L' ');
        line_.text += token;
        empty_value_last_ = false;
    }

    std::wstring switch_text(const wchar_t* name) { return random_.pick(L"-/", 1) + random_.mixed_case(name); }

    void add_token()
    {
        switch (random_.number(0, 5)) {
        case 0: {
            const std::uint32_t which = random_.number(0, 2);
            append(switch_text(which == 0 ? L"Embedding" : which == 1 ? L"RegServer" : L"UnregServer"));
            (which == 0 ? embedding_ : which == 1 ? regserver_ : unregserver_) = true;
            break;
        }
        case 1: {
            const wchar_t* quiet[] = {L"S", L"Q", L"Silent", L"Quiet"};
            append(switch_text(quiet[random_.number(0, 3)]));
            quiet_ = true;
            break;
        }
        case 2: add_log_path_with_value(); break;
        case 3:
            append(switch_text(L"LogPath"));
            logpath_ = true;
            value_.reset();
            break;
        default: append(random_.pick(L"abXY09\"':=.\\\u00E4", random_.number(1, 20))); break;
        }
    }

    std::size_t value_length() { return random_.chance(0.1) ? random_.number(1000, 10000) : random_.number(0, 30); }

    void add_log_path_with_value()
    {
        std::wstring token = switch_text(L"LogPath") + random_.pick(L":=", 1);
        std::wstring value;
        if (random_.chance(0.5)) {
            value = random_.pick(L"ab Z09-/:=\\\u00E4\"", value_length());
            token += L'"';
            for (wchar_t c : value)
                token += c == L'"' ? L"\"\"" : std::wstring(1, c);
            token += L'"';
        } else {
            value = random_.pick(L"abZ09-/:=\\.\u00E4\"", value_length());
            if (!value.empty() && value[0] == L'"')
                value[0] = L'q';
            token += value;
        }
        append(token);
        logpath_ = true;
        value_ = value;
        empty_value_last_ = token.back() == L':' || token.back() == L'=';
    }

    // A last switch that no record accepts, or a quoted value with text right behind it.
    void add_wrong_switch()
    {
        const std::wstring wrong[] = {
            switch_text(L"RegServer") + L"X", L"--Q", switch_text(L"Sx"), switch_text(L"LogPath") + L":\"a\"b",
            switch_text(L"Xyz"), L"-", switch_text(L"Q") + L"\t/S",
        };
        append(wrong[random_.number(0, 6)]);
        line_.mode = run_mode::error_reported;
        line_.box = !quiet_;
    }

    // The decision once the whole line has been read; Embedding wins over everything.
    void decide()
    {
        const bool error = (embedding_ && (regserver_ || unregserver_ || logpath_)) ||
                           (!embedding_ && regserver_ && unregserver_) ||
                           (!embedding_ && !regserver_ && unregserver_ && logpath_) ||
                           (!embedding_ && !regserver_ && !unregserver_ && logpath_);
        if (error)
            line_.mode = run_mode::error_reported;
        else if (embedding_)
            line_.mode = run_mode::embedding;
        else if (regserver_ || unregserver_)
            line_.mode = run_mode::registration_done;
        line_.box = !quiet_ && (error || line_.mode == run_mode::registration_done);
        if (empty_value_last_)
            value_.reset();  // "-LogPath:" at the very end has no value at all
        if (!error && regserver_)
            line_.log_directory = value_ ? string_value(*value_) : string_value(L"%TEMP%", REG_EXPAND_SZ);
    }

    random_text& random_;
    generated_line line_;
    bool embedding_ = false, regserver_ = false, unregserver_ = false, logpath_ = false, quiet_ = false;
    bool empty_value_last_ = false;  // the line so far ends in "-LogPath:" or "-LogPath="
    std::optional<std::wstring> value_;
};

TEST(CommandLineFuzz, EachGeneratedLineHasTheOutcomeItWasBuiltFor)
{
    random_text random;
    SCOPED_TRACE("KVT_TEST_SEED=" + std::to_string(random.seed()));
    ASSERT_NE(::GetEnvironmentVariableW(L"TEMP", nullptr, 0), 0u);
    for (int i = 0; i < 200; ++i) {
        const generated_line line = line_builder(random).build();
        SCOPED_TRACE(::testing::PrintToString(line.text.substr(0, 200)));
        const scratch_registry registry;
        const message_box_recorder boxes;
        EXPECT_EQ(parse_command_line(line.text.c_str()), line.mode);
        EXPECT_EQ(boxes.shown().size(), line.box ? 1u : 0u);
        if (line.log_directory) {
            EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), *line.log_directory);
        } else {
            EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, class_key));
        }
    }
}

// The program itself with lines near the length limit of a command line; the quiet switch
// comes first, so no box waits for a click.
TEST(CommandLineFuzz, ServerProgramRejectsHostileLinesWithExitCodeOne)
{
    const std::wstring lines[] = {
        L"/S " + std::wstring(30000, L'x') + L" -Bogus",
        L"/S -LogPath:\"" + std::wstring(30000, L'y'),
        L"/S -RegServer -UnregServer -LogPath=" + std::wstring(30000, L'z'),
    };
    for (const std::wstring& line : lines)
        EXPECT_EQ(run_process(server_path(), line), 1u) << ::testing::PrintToString(line.substr(0, 60));
}

} // namespace

} // namespace kvt::test
