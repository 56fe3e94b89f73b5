// Randomised command lines: switches in any letter case after '-' or '/', text that is no
// switch, LogPath values quoted and unquoted up to 10,000 characters, and sometimes a last
// switch that is wrong. Each line is built together with the outcome it must have, and run
// through the command-line parser with the registry redirected and message boxes recorded;
// a few hostile lines also go to kvtlog.exe itself.

#include "build_paths.h"
#include "processes.h"
#include "server/command_line.h"
#include "support/message_box_recorder.h"
#include "support/random_text.h"
#include "support/registry_value.h"
#include "support/scratch_registry.h"

#include <optional>

namespace kvt::test {

namespace {

const std::wstring class_key = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}";

struct generatedline {
    std::wstring text;
    run_mode mode = run_mode::no_mode_switch;
    bool box = false;
    std::optional<registryvalue> log_directory;  // the Settings (default) a registration stored
};

generatedline generate_line(randomtext& random)
{
    generatedline line;
    bool embedding = false, regserver = false, unregserver = false, logpath = false, quiet = false;
    bool empty_value_last = false;  // the line so far ends in "-LogPath:" or "-LogPath="
    std::optional<std::wstring> value;
    const auto append = [&](const std::wstring& token) {
        line.text += (line.text.empty() ? L"" : std::wstring(random.number(1, 3), L' ')) + token;
        empty_value_last = false;
    };
    const auto switch_text = [&](const wchar_t* name) { return random.pick(L"-/", 1) + random.mixed_case(name); };
    for (std::uint32_t n = random.number(0, 6), k = 0; k < n; ++k) {
        switch (random.number(0, 5)) {
        case 0: {
            const std::uint32_t which = random.number(0, 2);
            append(switch_text(which == 0 ? L"Embedding" : which == 1 ? L"RegServer" : L"UnregServer"));
            (which == 0 ? embedding : which == 1 ? regserver : unregserver) = true;
            break;
        }
        case 1: {
            const wchar_t* names[] = {L"S", L"Q", L"Silent", L"Quiet"};
            append(switch_text(names[random.number(0, 3)]));
            quiet = true;
            break;
        }
        case 2: {  // a value, quoted (quotes inside doubled) or not
            const std::size_t length = random.chance(0.1) ? random.number(1000, 10000) : random.number(0, 30);
            const bool quoted = random.chance(0.5);
            std::wstring token = switch_text(L"LogPath") + random.pick(L":=", 1);
            value = random.pick(quoted ? L"ab Z09-/:=\\\u00E4\"" : L"abZ09-/:=\\.\u00E4\"", length);
            if (!quoted && !value->empty() && (*value)[0] == L'"')
                (*value)[0] = L'q';
            if (quoted) {
                token += L'"';
                for (wchar_t c : *value)
                    token += c == L'"' ? L"\"\"" : std::wstring(1, c);
                token += L'"';
            } else {
                token += *value;
            }
            append(token);
            logpath = true;
            empty_value_last = !quoted && value->empty();
            break;
        }
        case 3:
            append(switch_text(L"LogPath"));
            logpath = true;
            value.reset();
            break;
        default: append(random.pick(L"abXY09\"':=.\\\u00E4", random.number(1, 20))); break;
        }
    }
    if (random.chance(0.25)) {  // a last switch that no record accepts, or a quoted value with text right behind it
        const std::wstring wrong[] = {
            switch_text(L"RegServer") + L"X", L"--Q", switch_text(L"Sx"), switch_text(L"LogPath") + L":\"a\"b",
            switch_text(L"Xyz"), L"-", switch_text(L"Q") + L"\t/S",
        };
        append(wrong[random.number(0, 6)]);
        return {line.text, run_mode::error_reported, !quiet, {}};
    }
    // The decision once the whole line has been read; Embedding wins over everything.
    const bool error = embedding ? regserver || unregserver || logpath : (regserver && unregserver) || (!regserver && logpath);
    line.mode = error ? run_mode::error_reported
                : embedding ? run_mode::embedding
                : regserver || unregserver ? run_mode::registration_done
                : run_mode::no_mode_switch;
    line.box = !quiet && (error || line.mode == run_mode::registration_done);
    if (empty_value_last)
        value.reset();  // "-LogPath:" at the very end has no value at all
    if (!error && regserver)
        line.log_directory = value ? string_value(*value) : string_value(L"%TEMP%", REG_EXPAND_SZ);
    return line;
}

TEST(CommandLineFuzz, EachGeneratedLineHasTheOutcomeItWasBuiltFor)
{
    randomtext random;
    SCOPED_TRACE("KVT_TEST_SEED=" + std::to_string(random.seed()));
    ASSERT_NE(::GetEnvironmentVariableW(L"TEMP", nullptr, 0), 0u);
    for (int i = 0; i < 200; ++i) {
        const generatedline line = generate_line(random);
        SCOPED_TRACE(::testing::PrintToString(line.text.substr(0, 200)));
        const scratchregistry registry;
        const boxrecorder boxes;
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
