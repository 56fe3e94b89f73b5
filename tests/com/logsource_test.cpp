#include "service_fixture.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <utility>
#include <vector>

// Counts the allocations of the calling thread, to show that a message at a disabled level
// allocates nothing.
namespace {
thread_local std::size_t allocations = 0;
}

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
void operator delete(void* p, std::size_t) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }

namespace kvt::test {
namespace {

using SourceTest = service_test;

TEST_F(SourceTest, OneIdentityIsOneObjectUntilItsLastRelease)
{
    ComPtr<ILogSource> a = source(7, L"app"), again = source(7, L"app");
    EXPECT_EQ(a.Get(), again.Get());
    ComPtr<ILogSource> other_version, other_case;
    const DWORD version[4] = {1, 2, 3, 5};
    EXPECT_EQ(service_->CreateSource(7, L"app", version, IID_ILogSource, &other_version), S_OK);
    EXPECT_NE(other_version.Get(), a.Get());
    EXPECT_NE(source(7, L"App").Get(), a.Get());
    EXPECT_NE(source(8, L"app").Get(), a.Get());
    ComPtr<IUnknown> identity;
    EXPECT_EQ(a.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(a.Get()));
    identity.Reset();
    void* out = &out;
    EXPECT_EQ(a->QueryInterface(IID_ILogService, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    a.Reset();
    again.Reset();
    const ComPtr<ILogSource> fresh = source(7, L"app");
    EXPECT_EQ(fresh->AddRef(), 2u);
    fresh->Release();
}

TEST_F(SourceTest, LevelChangesApplyToTheNextMessageAndDisabledLevelsCostNothing)
{
    const ComPtr<ILogSource> app = source(7, L"app");
    EXPECT_EQ(control_->SetLevel(7, 0x01), S_OK);
    struct row { DWORD level; HRESULT expected; };
    for (const row& r : {row{0x02, S_FALSE}, row{0x00, S_FALSE}, row{0x21, S_OK}, row{0x01, S_OK}}) {
        void* out = &out;
        allocations = 0;
        EXPECT_EQ(app->CreateMessage(r.level, IID_ILogMessage, &out), r.expected) << r.level;
        if (r.expected == S_FALSE) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(allocations, 0u);
        }
        if (out)
            static_cast<ILogMessage*>(out)->Release();
    }
    EXPECT_EQ(control_->SetLevel(7, 0x02), S_OK);
    void* out = &out;
    EXPECT_EQ(app->CreateMessage(0x01, IID_ILogMessage, &out), S_FALSE);
    log(app.Get(), L"written");
    wait_for_writer();
    EXPECT_EQ(read_log_lines(file_of(7, L"app")).size(), 3u);  // 0x21, 0x01 and the ERROR one
    EXPECT_EQ(app->CreateMessage(0x02, IID_ILogSource, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(SourceTest, DisabledLevelPostsNothing)
{
    EXPECT_EQ(control_->SetLevel(9, 0), S_OK);
    const ComPtr<ILogSource> quiet = source(9, L"quiet");
    void* out = &out;
    EXPECT_EQ(quiet->CreateMessage(0x7F, IID_ILogMessage, &out), S_FALSE);
    wait_for_writer();
    EXPECT_FALSE(file_exists(file_of(9, L"quiet")));
}

TEST_F(SourceTest, SourceReleasedBeforeItsMessageClosesItsFileAfterTheRecord)
{
    ComPtr<ILogSource> app = source(7, L"app");
    ComPtr<ILogMessage> m = message(app.Get(), 2);
    app.Reset();
    m.Reset();
    ASSERT_TRUE(wait_for_queue());
    EXPECT_FALSE(is_open(file_of(7, L"app")));
    EXPECT_EQ(read_log_lines(file_of(7, L"app")).size(), 1u);
}

// Holders of one identity register the pointer they got; two different pointers held at
// once would mean a second live object, or a dying one handed out again.
struct identity_holders {
    std::mutex lock;
    ILogSource* held = nullptr;
    int holders = 0;
    int conflicts = 0;

    void enter(ILogSource* source)
    {
        const std::lock_guard guard(lock);
        conflicts += holders > 0 && held != source;
        held = source;
        ++holders;
    }
    void leave()
    {
        const std::lock_guard guard(lock);
        --holders;
    }
};

TEST_F(SourceTest, SourcesComeAndGoUnderLoadWithoutLosingOrRepeatingRecords)
{
    constexpr int identities = 3, threads = 8, rounds = 150, churns = 1000;
    const std::wstring names[identities] = {L"race0", L"race1", L"race2"};
    identity_holders holders[identities];
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < (t % 2 ? rounds : churns); ++i) {
                const int n = (t + i) % identities;
                ComPtr<ILogSource> s;
                ASSERT_EQ(service_->CreateSource(9, names[n].c_str(), test_version, IID_ILogSource, &s), S_OK);
                holders[n].enter(s.Get());
                ComPtr<ILogMessage> m;
                if (t % 2)  // odd threads log, even threads only churn
                    m = message(s.Get(), 2);
                holders[n].leave();
                s.Reset();
                if (m)  // committed after its source pointer is gone
                    m->SetIds(t, i);
            }
        });
    for (std::thread& w : workers)
        w.join();

    ASSERT_TRUE(wait_for_queue());
    std::set<std::pair<int, int>> seen;
    for (int n = 0; n < identities; ++n) {
        EXPECT_EQ(holders[n].conflicts, 0);
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
