#include "service_fixture.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace kvt::test {
namespace {

using SourceTest = servicetest;

// A disabled level answers S_FALSE and makes no message; a level change applies from the
// next CreateMessage on.
TEST_F(SourceTest, LevelChangesApplyToTheNextMessageAndDisabledLevelsMakeNone)
{
    const ComPtr<ILogSource> app = source(7, L"app");
    EXPECT_EQ(control_->SetLevel(7, 0x01), S_OK);
    const std::pair<DWORD, HRESULT> requests[] = {{0x02, S_FALSE}, {0x00, S_FALSE}, {0x21, S_OK}, {0x01, S_OK}};
    for (const auto& [level, expected] : requests) {
        ComPtr<ILogMessage> m;
        EXPECT_EQ(app->CreateMessage(level, IID_PPV_ARGS(&m)), expected) << level;
        EXPECT_EQ(m != nullptr, expected == S_OK) << level;
    }
    EXPECT_EQ(control_->SetLevel(7, 0x02), S_OK);
    void* out = &out;
    EXPECT_EQ(app->CreateMessage(0x01, IID_ILogMessage, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    log(app.Get(), L"written");
    wait_for_writer();
    EXPECT_EQ(log_texts(file_of(7, L"app")), (std::vector<std::wstring>{L"", L"", L"written"}));
}

TEST_F(SourceTest, SourcesComeAndGoUnderLoadWithoutLosingOrRepeatingRecords)
{
    constexpr int identities = 3, threads = 8, rounds = 150, churns = 1000;
    const std::wstring names[identities] = {L"race0", L"race1", L"race2"};
    // Holders of an identity note the pointer they got; two different pointers held at once
    // would mean a second live object, or a dying one handed out again.
    std::mutex lock;  // guards the three below
    ILogSource* held[identities] = {};
    int holders[identities] = {}, conflicts = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < (t % 2 ? rounds : churns); ++i) {
                const int n = (t + i) % identities;
                ComPtr<ILogSource> s;
                ASSERT_EQ(service_->CreateSource(9, names[n].c_str(), test_version, IID_ILogSource, &s), S_OK);
                {
                    const std::lock_guard guard(lock);
                    conflicts += holders[n]++ > 0 && held[n] != s.Get();
                    held[n] = s.Get();
                }
                ComPtr<ILogMessage> m;
                if (t % 2)  // odd threads log, even threads only churn
                    m = message(s.Get(), 2);
                {
                    const std::lock_guard guard(lock);
                    --holders[n];
                }
                s.Reset();
                if (m)  // committed after its source pointer is gone
                    m->SetIds(t, i);
            }
        });
    for (std::thread& w : workers)
        w.join();

    ASSERT_TRUE(wait_for_queue());
    EXPECT_EQ(conflicts, 0);
    std::set<std::pair<int, int>> seen;
    for (int n = 0; n < identities; ++n) {
        // Each source's close request follows its last record, so every file ends closed.
        EXPECT_FALSE(is_open(file_of(9, names[n])));
        for (const std::wstring& line : read_log_lines(file_of(9, names[n]))) {
            int t = -1, i = -1;
            swscanf(line.c_str(), L"%*[^|]|%*[^|]|%*[^|]|%d/%d", &t, &i);
            EXPECT_EQ((t + i) % identities, n) << line;
            EXPECT_TRUE(seen.emplace(t, i).second) << "twice: " << line;
        }
    }
    EXPECT_EQ(seen.size(), std::size_t{threads / 2 * rounds});
    EXPECT_EQ(server_lock_count(), 2u);
}

} // namespace
} // namespace kvt::test
