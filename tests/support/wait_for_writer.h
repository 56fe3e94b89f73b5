#pragma once
// Waits until the writer thread has handled everything posted before and closed its files:
// Suspend(TRUE) returns only then, and Suspend(FALSE) lets it write again.
// For test folders that link the interface library (kvtlog.h).

#include <kvtlog.h>

#include <gtest/gtest.h>

namespace kvt::test {

inline void wait_for_writer(ILogControl* control)
{
    EXPECT_EQ(control->Suspend(TRUE), S_OK);
    EXPECT_EQ(control->Suspend(FALSE), S_OK);
}

} // namespace kvt::test
