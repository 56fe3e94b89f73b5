#include "service_fixture.h"

#include <functional>

namespace kvt::test {
namespace {

using FactoryTest = servicetest;

// Each service reference, LockServer lock and live source object holds the server lock once;
// the factory's own references, messages and an unlock without its lock hold or take none.
// Whichever holder goes last sets the shutdown event, and only it. From then on the server is
// stopping: a client that kept the class object gets nothing more from it, until a new run.
TEST_F(FactoryTest, EveryHolderRaisesTheServerLockTheLastToLetGoStopsTheServerAndNothingRaisesItThen)
{
    {
        const ComPtr<ILogSource> a = source(7, L"a"), again = source(7, L"a"), b = source(7, L"b");
        const ComPtr<ILogMessage> m = message(a.Get(), 2);
        factory_->AddRef();
        EXPECT_EQ(factory_->LockServer(FALSE), E_UNEXPECTED);
        EXPECT_EQ(server_lock_count(), 4u);  // service_, control_, a and b
        factory_->Release();
    }
    control_.Reset();
    service_.Reset();  // the first run ends
    ComPtr<ILogSource> held;
    for (int last = 0; last < 3; ++last) {
        ::ResetEvent(shutdown_.get());
        set_shutdown_event(shutdown_.get());  // a new run
        EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &service_), S_OK);
        held = source(7, L"app");
        EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
        const std::function<void()> releases[3] = {[&] { service_.Reset(); }, [&] { held.Reset(); },
                                                   [&] { EXPECT_EQ(factory_->LockServer(FALSE), S_OK); }};
        for (ULONG i = 1; i <= 3; ++i) {
            EXPECT_EQ(server_lock_count(), 4 - i) << last;
            EXPECT_NE(::WaitForSingleObject(shutdown_.get(), 0), WAIT_OBJECT_0) << last;
            releases[(last + i) % 3]();
        }
        EXPECT_EQ(::WaitForSingleObject(shutdown_.get(), 0), WAIT_OBJECT_0) << last;
        void* object = this;
        EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &object), CO_E_SERVER_STOPPING) << last;
        EXPECT_EQ(object, nullptr) << last;
        EXPECT_EQ(factory_->LockServer(TRUE), CO_E_SERVER_STOPPING) << last;
        EXPECT_EQ(server_lock_count(), 0u) << last;
    }
}

} // namespace
} // namespace kvt::test
