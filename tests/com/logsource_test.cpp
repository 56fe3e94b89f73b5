#include "service_fixture.h"

#include <mutex>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

using SourceTest = servicetest;

// A disabled level answers S_FALSE and makes no message; a level change applies from the
// next CreateMessage on.
TEST_F(SourceTest, LevelChangesApplyToTheNextMessageAndDisabledLevelsMakeNone)
{
    const ComPtr<ILogSource> app = source(7, L"app");
    const struct { DWORD enabled, level; HRESULT result; } requests[] = {
        {0x01, 0x02, S_FALSE}, {0x01, 0x00, S_FALSE}, {0x01, 0x21, S_OK}, {0x01, 0x01, S_OK}, {0x02, 0x01, S_FALSE}};
    for (const auto& r : requests) {
        EXPECT_EQ(control_->SetLevel(7, r.enabled), S_OK);
        void* out = &out;
        EXPECT_EQ(app->CreateMessage(r.level, IID_ILogMessage, &out), r.result) << r.level;
        EXPECT_EQ(out != nullptr, r.result == S_OK) << r.level;
        if (r.result == S_OK)
            static_cast<ILogMessage*>(out)->Release();
    }
    log(app.Get(), L"written");
    wait_for_writer(control_.Get());
    EXPECT_EQ(log_texts(file_of(L"app")), (std::vector<std::wstring>{L"", L"", L"written"}));
}

// Threads that make and let go of sources of three identities at once never hold two
// different objects of one identity: a dying source is replaced, never handed out again, and
// its removal leaves its replacement in the table. What the churned sources log is checked
// across processes by the load test.
TEST_F(SourceTest, SourcesComeAndGoUnderLoadWithOneLiveObjectPerIdentity)
{
    const wchar_t* const names[3] = {L"race0", L"race1", L"race2"};
    std::mutex lock;  // guards the three below
    ILogSource* held[3] = {};
    int holders[3] = {}, conflicts = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) {
                const int n = (t + i) % 3;
                ComPtr<ILogSource> s;
                ASSERT_EQ(service_->CreateSource(9, names[n], test_version, IID_ILogSource, &s), S_OK);
                std::unique_lock guard(lock);
                conflicts += holders[n]++ > 0 && held[n] != s.Get();
                held[n] = s.Get();
                guard.unlock();  // others may take the identity while this thread holds s
                guard.lock();
                --holders[n];
            }
        });
    for (std::thread& w : workers)
        w.join();
    EXPECT_EQ(conflicts, 0);
    EXPECT_EQ(server_lock_count(), 2u);
}

} // namespace
} // namespace kvt::test
