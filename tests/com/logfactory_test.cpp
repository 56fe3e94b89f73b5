#include "service_fixture.h"

#include <functional>

namespace kvt::test {
namespace {

using FactoryTest = service_test;

TEST_F(FactoryTest, CountsItsReferencesWithoutEverFreeingItself)
{
    void* out = &out;
    EXPECT_EQ(factory_->QueryInterface(IID_ILogService, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory_->QueryInterface(IID_IClassFactory, &out), S_OK);
    EXPECT_EQ(out, static_cast<IClassFactory*>(&*factory_));
    EXPECT_EQ(factory_->AddRef(), 2u);
    EXPECT_EQ(factory_->Release(), 1u);
    EXPECT_EQ(factory_->Release(), 0u);
    ComPtr<ILogControl> control;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogControl, &control), S_OK);
    EXPECT_EQ(control.Get(), control_.Get());
}

TEST_F(FactoryTest, CreateInstanceHandsOutTheOneServiceOrNothing)
{
    ComPtr<IUnknown> first, second;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IUnknown, &first), S_OK);
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    struct row { IUnknown* outer; const IID* iid; HRESULT expected; };
    for (const row& r : {row{first.Get(), &IID_ILogService, CLASS_E_NOAGGREGATION},
                         row{nullptr, &IID_IClassFactory, E_NOINTERFACE}, row{nullptr, &IID_ILogSource, E_NOINTERFACE}}) {
        void* out = &out;
        EXPECT_EQ(factory_->CreateInstance(r.outer, *r.iid, &out), r.expected);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(FactoryTest, ServiceReferencesLockServerAndLiveSourcesHoldTheServerLock)
{
    const ULONG base = server_lock_count();
    EXPECT_EQ(base, 2u);  // the fixture's two service pointers
    factory_->AddRef();
    factory_->Release();
    EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
    EXPECT_EQ(server_lock_count(), base + 1);
    EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
    {
        ComPtr<ILogControl> control;
        EXPECT_EQ(service_.As(&control), S_OK);
        EXPECT_EQ(server_lock_count(), base + 1);
    }
    {
        const ComPtr<ILogSource> a = source(7, L"a"), again = source(7, L"a"), b = source(7, L"b");
        const ComPtr<ILogMessage> m = message(a.Get(), 2);
        EXPECT_EQ(server_lock_count(), base + 2);
    }
    EXPECT_EQ(server_lock_count(), base);
    EXPECT_FALSE(is_set(shutdown_.get()));
}

// Whichever of a service pointer, a LockServer lock and a source goes last sets the
// shutdown event, and only it.
TEST_F(FactoryTest, ShutdownEventIsSetExactlyWhenTheLastHolderLetsGo)
{
    control_.Reset();
    ComPtr<ILogSource> held = source(7, L"app");
    for (int last = 0; last < 3; ++last) {
        ::ResetEvent(shutdown_.get());
        if (!service_) {
            EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &service_), S_OK);
        }
        if (!held)
            held = source(7, L"app");
        EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
        const std::function<void()> releases[3] = {[&] { service_.Reset(); },
                                                   [&] { EXPECT_EQ(factory_->LockServer(FALSE), S_OK); },
                                                   [&] { held.Reset(); }};
        for (int i = 1; i <= 3; ++i) {
            EXPECT_FALSE(is_set(shutdown_.get())) << last;
            releases[(last + i) % 3]();
        }
        EXPECT_TRUE(is_set(shutdown_.get())) << last;
        EXPECT_EQ(server_lock_count(), 0u);
    }
}

} // namespace
} // namespace kvt::test
