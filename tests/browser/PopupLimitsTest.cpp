#include <gtest/gtest.h>

#include "browser/logic/DialogFlood.h"
#include "browser/logic/PopupLimits.h"

using namespace talvo::browserlogic;

TEST(PopupLimits, OneGesturePerPressWhileFresh)
{
    PopupLimits limits;
    EXPECT_FALSE(limits.takeGesture(100)); // nothing pressed yet
    limits.noteUserInput(1000);
    EXPECT_TRUE(limits.takeGesture(1200));
    EXPECT_FALSE(limits.takeGesture(1201)); // used up
    limits.noteUserInput(2000);
    EXPECT_TRUE(limits.takeGesture(2000 + PopupLimits::kGestureLifetimeMs));
    limits.noteUserInput(10000);
    EXPECT_FALSE(limits.takeGesture(10001 + PopupLimits::kGestureLifetimeMs)); // stale
    limits.noteUserInput(20000);
    EXPECT_FALSE(limits.takeGesture(19999)); // a clock that went back counts nothing
}

TEST(PopupLimits, NewWindowsNeedTheEnginesGestureAndRoom)
{
    EXPECT_EQ(PopupLimits::newWindow(true, 0), PopupLimits::Verdict::Allowed);
    EXPECT_EQ(PopupLimits::newWindow(false, 0), PopupLimits::Verdict::NoGesture);
    EXPECT_EQ(PopupLimits::newWindow(true, PopupLimits::kMaxPopups - 1), PopupLimits::Verdict::Allowed);
    EXPECT_EQ(PopupLimits::newWindow(true, PopupLimits::kMaxPopups), PopupLimits::Verdict::TooManyWindows);
}

TEST(PopupLimits, HandOffsOneASecondAndOnlyWithAGesture)
{
    PopupLimits limits;
    EXPECT_EQ(limits.handOff(false, 0), PopupLimits::Verdict::NoGesture);
    EXPECT_EQ(limits.handOff(true, 5000), PopupLimits::Verdict::Allowed);
    EXPECT_EQ(limits.handOff(true, 5999), PopupLimits::Verdict::TooSoon);
    EXPECT_EQ(limits.handOff(true, 6000), PopupLimits::Verdict::Allowed);
    // A refusal for lack of a gesture does not move the clock on.
    EXPECT_EQ(limits.handOff(false, 7100), PopupLimits::Verdict::NoGesture);
    EXPECT_EQ(limits.handOff(true, 7100), PopupLimits::Verdict::Allowed);

    // Fifty calls in one key handler: one gesture gives one hand-off.
    PopupLimits burst;
    burst.noteUserInput(100);
    int allowed = 0;
    for (int i = 0; i < 50; ++i)
        allowed += burst.handOff(burst.takeGesture(100 + i), 100 + i) == PopupLimits::Verdict::Allowed;
    EXPECT_EQ(allowed, 1);
}

TEST(DialogFlood, OffersAWayOutAfterABurstUntilTheNextLoad)
{
    DialogFlood flood;
    EXPECT_FALSE(flood.offerToSuppress(0));
    EXPECT_FALSE(flood.offerToSuppress(1000));
    EXPECT_FALSE(flood.offerToSuppress(2000));
    EXPECT_TRUE(flood.offerToSuppress(2500)); // the fourth within the window
    EXPECT_TRUE(flood.offerToSuppress(3000));
    EXPECT_FALSE(flood.suppressed());
    flood.suppress();
    EXPECT_TRUE(flood.suppressed());
    flood.reset();
    EXPECT_FALSE(flood.suppressed());
    EXPECT_FALSE(flood.offerToSuppress(3100));

    // Dialogs far apart never count as a flood.
    DialogFlood slow;
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(slow.offerToSuppress(i * (DialogFlood::kWindowMs / 2 + 1))) << i;
}
