// The console examples of the administrators' documentation, run in order against a
// running server: each "> " line is a command, the lines below it its expected output.
// C:\Logs stands for the test's log directory; the digits of a line's date and time may
// differ from those shown.

#include "kvtlogctl/held_service_fixture.h"
#include "kvtlogctl/tool_process.h"
#include "support/wait_for_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace kvt::test {
namespace {

// The lines of text, C:\Logs replaced by logs; in lines that start with a date and time,
// the digits of those are made 0.
std::vector<std::string> lines_of(const std::string& text, const std::string& logs)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r'))
            line.pop_back();
        for (std::size_t at; (at = line.find("C:\\Logs")) != std::string::npos;)
            line.replace(at, 7, logs);
        const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
        if (!line.empty() && digit(line[0]))
            std::replace_if(line.begin(), line.begin() + std::min<std::size_t>(line.size(), 23), digit, '0');
        lines.push_back(line);
    }
    return lines;
}

class DocConsole : public heldservice {};

TEST_F(DocConsole, EveryConsoleExampleGivesTheOutputShown)
{
    const std::string logs = narrow(logs_.path());
    std::vector<std::pair<std::string, std::vector<std::string>>> commands; // with their output
    bool in_console = false;
    for (const std::string& line : lines_of(file_text(path_beside_this_program(KVT_DOC_PATH)), logs)) {
        if (line.starts_with("```"))
            in_console = line == "```console";
        else if (in_console && line.starts_with("> "))
            commands.push_back({line.substr(2), {}});
        else if (in_console && !commands.empty())
            commands.back().second.push_back(line);
    }
    EXPECT_GE(commands.size(), 10u);
    for (const auto& [command, shown] : commands) {
        const bool tool = command.starts_with("kvtlogctl ");
        ASSERT_TRUE(tool || command == "kvtlog_example") << command;
        wait_for_writer(control_.Get());
        const std::string out = succeed(tool ? wide(command.substr(10)) : L"", tool ? KVTLOGCTL_PATH : KVT_EXAMPLE_PATH);
        EXPECT_EQ(lines_of(out, logs), shown) << command;
    }
}

} // namespace
} // namespace kvt::test
