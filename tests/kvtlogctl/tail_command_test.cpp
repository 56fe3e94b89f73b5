// kvtlogctl tail on the files of a running server: a source named by id, name and version,
// the level filter through the service, UTF-8 output, and --follow across a rotation.

#include "kvtlogctl/tool_process.h"
#include "kvtlogctl/held_service_fixture.h"
#include "support/wait_for_writer.h"

#include "kvtlog/client.h"

#include <gtest/gtest.h>

namespace kvt::test {
namespace {

class KvtlogctlTail : public held_service_fixture {
protected:
    std::wstring file(const wchar_t* name) const { return logs_.path() + L"\\CA7\\" + name; }
};

// The message texts of kvtlogctl's output lines.
std::vector<std::string> texts_of(const std::string& out)
{
    std::vector<std::string> texts;
    for (std::size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = out.substr(start, end - start);
        texts.push_back(line.substr(line.rfind('|') + 1));
    }
    return texts;
}

TEST_F(KvtlogctlTail, ShowsTheLinesOfASourceNamedByIdNameAndVersion)
{
    {
        const kvtlog::source log{7, L"App", {1, 0, 0, 0}};
        log.info() << "one";
        log.error() << L"two \u00e9";
        log.debug() << "three";
    }
    wait_for_writer(control_.Get());
    const tool_result all = kvtlogctl(L"tail CA7 App 1.0.0.0");
    EXPECT_EQ(all.exit_code, 0u) << all.err;
    EXPECT_EQ(texts_of(all.out), (std::vector<std::string>{"one", "two \xC3\xA9", "three"}));
    EXPECT_EQ(texts_of(kvtlogctl(L"tail 7 App 1.0.0.0 -n 2").out), (std::vector<std::string>{"two \xC3\xA9", "three"}));
    EXPECT_EQ(texts_of(kvtlogctl(L"tail \"" + file(L"App-1.0.0.0.TXT") + L"\" --level error,DBG").out),
              (std::vector<std::string>{"two \xC3\xA9", "three"}));
}

TEST_F(KvtlogctlTail, FollowPrintsEveryNewLineAcrossARotation)
{
    ASSERT_EQ(service_->SetLimit(7, 1, 3), S_OK);
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}};
    log.info() << "line " << 0;
    wait_for_writer(control_.Get());

    tool_process tail(L"tail --follow CA7 App 1.0.0.0");
    std::vector<std::string> expected{"line 0"};
    for (int i = 1; i <= 12; ++i) {
        ::Sleep(100);
        log.info() << "line " << i;
        expected.push_back("line " + std::to_string(i));
    }
    for (int i = 0; i < 200 && texts_of(tail.out()).size() < expected.size(); ++i)
        ::Sleep(100);
    EXPECT_EQ(texts_of(tail.out()), expected);
    EXPECT_TRUE(file_exists(file(L"App-1.0.0.0-1.TXT")));
    EXPECT_EQ(tail.err(), "");
}

} // namespace
} // namespace kvt::test
