#include <gtest/gtest.h>

#include "browser/logic/CrashRecovery.h"

using namespace talvo::browserlogic;
using namespace std::chrono_literals;
using Response = CrashRecovery::Response;

TEST(CrashRecovery, ReloadsOnceThenOffersTheButtonWithinTheWindow)
{
    CrashRecovery recovery;
    const auto t0 = CrashRecovery::Clock::time_point{} + 1h;
    EXPECT_EQ(recovery.rendererGone(t0), Response::ReloadSoon);
    recovery.reloadedByItself(t0 + 2s);
    EXPECT_EQ(recovery.rendererGone(t0 + 20s), Response::OfferReload); // died again within 30 s
    EXPECT_EQ(recovery.rendererGone(t0 + 25s), Response::OfferReload); // and stays offered

    // The user's reload starts over: the next crash reloads by itself once more.
    recovery.reloadedByUser();
    EXPECT_EQ(recovery.rendererGone(t0 + 40s), Response::ReloadSoon);
}

TEST(CrashRecovery, ACrashLongAfterTheReloadReloadsAgain)
{
    CrashRecovery recovery;
    const auto t0 = CrashRecovery::Clock::time_point{} + 1h;
    recovery.rendererGone(t0);
    recovery.reloadedByItself(t0 + 2s);
    EXPECT_EQ(recovery.rendererGone(t0 + 2s + 30s), Response::ReloadSoon); // exactly 30 s on
    recovery.reloadedByItself(t0 + 40s);
    EXPECT_EQ(recovery.rendererGone(t0 + 40s + 29s), Response::OfferReload);
}
