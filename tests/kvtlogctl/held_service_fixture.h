#pragma once
// The server fixture with the service held by the test for the whole test, through both
// interfaces: every other client process the test starts reaches the same server, and the
// test sees the effects of their calls directly.

#include "server_fixture.h"

namespace kvt::test {

class heldservice : public serverfixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(serverfixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(activate(service_));
        ASSERT_EQ(service_.As(&control_), S_OK);
    }

    void TearDown() override
    {
        control_.Reset();
        service_.Reset();
        serverfixture::TearDown();
    }

    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;
};

} // namespace kvt::test
