// The C++ examples of the client developers' documentation, each built as a program of its
// own from the document, run against the real server.

#include "processes.h"
#include "kvtlogctl/held_service_fixture.h"
#include "support/program_path.h"
#include "support/wait_for_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace kvt::test {
namespace {

class DocExamples : public held_service_fixture {};

TEST_F(DocExamples, EveryCppExampleRunsAndLogsWhatTheDocumentSays)
{
    std::istringstream names(KVT_DOC_EXAMPLES);
    int count = 0;
    for (std::string name; std::getline(names, name, ','); ++count)
        EXPECT_EQ(run_process(path_beside_this_program(name.c_str()), L""), 0u) << name;
    EXPECT_EQ(count, 3);
    wait_for_writer(control_.Get());

    std::vector<std::wstring> texts;
    for (const auto& line : read_log_lines(logs_.path() + L"\\CA7\\MyApp-1.0.0.0.TXT"))
        texts.push_back(line.substr(24, 4) + line.substr(line.rfind(L'|') + 1));
    ASSERT_EQ(texts.size(), 7u);
    std::sort(texts.begin() + 3, texts.begin() + 5); // the two workers' lines come in any order
    EXPECT_EQ(texts[0], L"INF|started with 3 workers");
    EXPECT_EQ(texts[1], L"WRN|disk C is 9.350000e+001% full");
    EXPECT_EQ(texts[2], L"DBG|cache: 3 entries");
    EXPECT_EQ(texts[3], L"EVT|worker 1 running");
    EXPECT_EQ(texts[4], L"EVT|worker 2 running");
    EXPECT_TRUE(texts[5].starts_with(L"ERR|cannot read missing.cfg: 00000002 (")) << texts[5];
    EXPECT_EQ(texts[6], L"TRC|flags 0000002A, mask 00000000000000FF");
}

} // namespace
} // namespace kvt::test
