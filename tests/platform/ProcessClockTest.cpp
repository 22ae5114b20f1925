#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Clock.h"

using talvo::platform::millisecondsSinceProcessStart;

// The age of this test process: known to be positive, short, and to run with the wall clock.
TEST(ProcessClock, CountsFromThisProcessStart)
{
    const long long first = millisecondsSinceProcessStart();
    ASSERT_GE(first, 0);
    // The test program started moments ago, not when the machine did.
    EXPECT_LT(first, 10 * 60 * 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    const long long second = millisecondsSinceProcessStart();
    // The system records the start in 10 ms steps on Linux; the wait shows in full.
    EXPECT_GE(second - first, 100);
    EXPECT_LT(second - first, 5000);
}
