// The C++ examples of the client developers' documentation, each built as a program of its
// own from the document, run against the real server.

#include "support/log_checks.h"
#include "support/processes.h"
#include "support/server_fixture.h"

#include <algorithm>
#include <sstream>

namespace kvt::test {
namespace {

using DocExamples = heldservice;

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
    texts[5].erase(std::min(texts[5].find(L'(') + 1, texts[5].size())); // the system's text varies
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"INF|started with 3 workers", L"WRN|disk C is 9.350000e+001% full",
                                                L"DBG|cache: 3 entries", L"EVT|worker 1 running",
                                                L"EVT|worker 2 running", L"ERR|cannot read missing.cfg: 00000002 (",
                                                L"TRC|flags 0000002A, mask 00000000000000FF"}));
}

} // namespace
} // namespace kvt::test
