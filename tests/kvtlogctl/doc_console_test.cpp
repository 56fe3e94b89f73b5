// The console examples of the administrators' documentation, run in order against a
// running server: each "> " line is a command, the lines below it its expected output.
// C:\Logs stands for the test's log directory; the digits of a line's date and time may
// differ from those shown.

#include "kvtlogctl/tool_process.h"
#include "kvtlogctl/held_service_fixture.h"
#include "support/program_path.h"
#include "support/wait_for_writer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kvt::test {
namespace {

struct doc_command {
    std::string command;
    std::vector<std::string> output;
};

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<doc_command> console_examples(const std::string& doc)
{
    std::vector<doc_command> commands;
    bool in_console = false;
    for (const std::string& line : lines_of(doc)) {
        if (line == "```console" || line == "```")
            in_console = line != "```";
        else if (in_console && line.starts_with("> "))
            commands.push_back({line.substr(2), {}});
        else if (in_console && !commands.empty())
            commands.back().output.push_back(line);
    }
    return commands;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The date and time at the start of a log line, made the same for every line.
std::string without_time(std::string line)
{
    for (std::size_t i = 0; i < std::min<std::size_t>(line.size(), 23); ++i)
        if (line[i] >= '0' && line[i] <= '9')
            line[i] = '0';
    return line;
}

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class DocConsole : public held_service_fixture {};

TEST_F(DocConsole, EveryConsoleExampleGivesTheOutputShown)
{
    const std::string logs(logs_.path().begin(), logs_.path().end());
    const std::string doc = file_text(path_beside_this_program(KVT_DOC_PATH));
    const std::vector<doc_command> commands = console_examples(doc);
    EXPECT_GE(commands.size(), 10u);
    for (const doc_command& c : commands) {
        const std::string command = replace_all(c.command, "C:\\Logs", logs);
        const std::size_t space = std::min(command.find(' '), command.size());
        const std::string program = command.substr(0, space);
        ASSERT_TRUE(program == "kvtlogctl" || program == "kvtlog_example") << command;
        wait_for_writer(control_.Get());
        tool_process run(program == "kvtlogctl" ? kvtlogctl_path() : path_beside_this_program(KVT_EXAMPLE_PATH),
                         wide(command.substr(std::min(space + 1, command.size()))));
        EXPECT_EQ(run.wait(), 0u) << command << ": " << run.err();
        std::vector<std::string> shown;
        for (const auto& line : c.output)
            shown.push_back(without_time(replace_all(line, "C:\\Logs", logs)));
        std::vector<std::string> printed;
        for (const auto& line : lines_of(run.out()))
            printed.push_back(without_time(line));
        EXPECT_EQ(printed, shown) << command;
    }
}

} // namespace
} // namespace kvt::test
