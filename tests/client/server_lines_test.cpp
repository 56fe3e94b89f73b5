// The client library against the real server in its own process: the line each C++ type
// produces, the caller's location on it, and the example client's lines.

#include "client/type_mappings.h"
#include "processes.h"
#include "server_fixture.h"
#include "support/program_path.h"

#include <gtest/gtest.h>

#include <source_location>

namespace kvt::test {
namespace {

class ClientLines : public server_fixture {
protected:
    // Runs body with the service held, then waits for the server to end, so that every
    // message has been written.
    template <class Body>
    void with_server(Body body)
    {
        ComPtr<ILogService> service;
        ASSERT_NO_FATAL_FAILURE(activate(service));
        body();
        service.Reset();
        ASSERT_NO_FATAL_FAILURE(expect_server_exits_with_zero());
    }
};

// The fields of a line behind its date and time: levels, ids, location, function, text.
std::vector<std::wstring> fields(const std::wstring& line)
{
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        const std::size_t bar = line.find(L'|', start);
        parts.push_back(line.substr(start, bar - start));
        start = bar + 1;
    }
    parts.push_back(line.substr(start));
    parts.erase(parts.begin(), parts.begin() + 2);
    return parts;
}

std::wstring example_path() { return path_beside_this_program(KVT_EXAMPLE_PATH); }

std::wstring wide(const char* text) { return std::wstring(text, text + strlen(text)); }

TEST_F(ClientLines, EachTypeIsWrittenAsItsOwnMethodWritesIt)
{
    std::source_location at;
    with_server([&] {
        const kvtlog::source log{test_source_id, L"e2e", {1, 2, 3, 4}};
        for (const type_mapping& row : type_mappings()) {
            kvtlog::message m = log(kvtlog::level::error | kvtlog::level::info, at = std::source_location::current());
            row.append(m);
        }
    });
    const auto lines = test_source_lines();
    ASSERT_EQ(lines.size(), type_mappings().size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& row = type_mappings()[i];
        EXPECT_EQ(fields(lines[i]), (std::vector<std::wstring>{L"ERR,INF", L"0/0",
                                                               L"server_lines_test.cpp," + std::to_wstring(at.line()),
                                                               wide(at.function_name()), row.text}))
            << row.type;
    }
}

TEST_F(ClientLines, ExampleClientLogsThroughTheServer)
{
    with_server([] { EXPECT_EQ(run_process(example_path(), L""), 0u); });
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\Example-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(fields(lines[1]).back(), L"step 1 of 3, 5.000000e-001 done");
    EXPECT_EQ(fields(lines[1])[1], L"1/3");
    EXPECT_TRUE(fields(lines[5]).back().starts_with(L"cannot copy no-such-file.txt: 00000002 (")) << lines[5];
    EXPECT_EQ(fields(lines[6]).back(), L"flags 0000002A, verbose false");
    EXPECT_EQ(fields(lines[8]), (std::vector<std::wstring>{L"EVT", L"0/0", fields(lines[8])[2], L"int main()", L"stopped"}));
}

} // namespace
} // namespace kvt::test
