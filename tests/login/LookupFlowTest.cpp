#include <gtest/gtest.h>

#include "login/logic/LookupFlow.h"

using namespace talvo::loginlogic;
using Next = LookupFlow::Next;
using Origin = LookupFlow::Origin;

TEST(LookupFlow, StartsIdleAndTakesEveryInput)
{
    const LookupFlow flow;
    EXPECT_EQ(flow.phase(), LookupPhase::Idle);
    EXPECT_TRUE(flow.delivers(InputKind::OtherPointer));
    EXPECT_TRUE(flow.delivers(InputKind::OtherKey));
}

TEST(LookupFlow, OneLookupAtATime)
{
    LookupFlow flow;
    ASSERT_TRUE(flow.start(Origin::LoginPicture));
    EXPECT_EQ(flow.phase(), LookupPhase::LookingUp);
    EXPECT_FALSE(flow.start(Origin::LoginPicture));
    EXPECT_FALSE(flow.start(Origin::Start));
    EXPECT_EQ(flow.origin(), Origin::LoginPicture) << "the refused start changed nothing";
    // Only the way out counts meanwhile.
    EXPECT_TRUE(flow.delivers(InputKind::ClosePicture));
    EXPECT_TRUE(flow.delivers(InputKind::EscapeKey));
    EXPECT_FALSE(flow.delivers(InputKind::OtherPointer));
    EXPECT_FALSE(flow.delivers(InputKind::OtherKey));
}

TEST(LookupFlow, AnAddressHandsOffAndTakesTheWayOutAway)
{
    for (const Origin origin : {Origin::Start, Origin::LoginPicture}) {
        LookupFlow flow;
        ASSERT_TRUE(flow.start(origin));
        flow.addressIn();
        EXPECT_EQ(flow.phase(), LookupPhase::HandingOff);
        EXPECT_FALSE(flow.delivers(InputKind::ClosePicture)) << "a close click must not end the program now";
        EXPECT_FALSE(flow.delivers(InputKind::EscapeKey));
        EXPECT_EQ(flow.finished(true), Next::HandOff);
        EXPECT_FALSE(flow.start(origin)) << "no second lookup after the hand-off began";
        flow.unload();
        EXPECT_EQ(flow.phase(), LookupPhase::Unloaded);
    }
}

TEST(LookupFlow, NoAddressGoesBackToTheChoiceTheWayItCame)
{
    LookupFlow atStart;
    ASSERT_TRUE(atStart.start(Origin::Start));
    EXPECT_EQ(atStart.finished(false), Next::ShowChoice);
    EXPECT_EQ(atStart.phase(), LookupPhase::Idle);

    LookupFlow byPicture;
    ASSERT_TRUE(byPicture.start(Origin::LoginPicture));
    EXPECT_EQ(byPicture.finished(false), Next::BackToChoice);
    EXPECT_EQ(byPicture.phase(), LookupPhase::Idle);
    // And it may be tried again.
    EXPECT_TRUE(byPicture.start(Origin::LoginPicture));
}

TEST(LookupFlow, AnAnswerAfterTheWindowWentCountsForNothing)
{
    for (const bool got : {false, true}) {
        LookupFlow flow;
        ASSERT_TRUE(flow.start(Origin::LoginPicture));
        flow.unload();
        EXPECT_EQ(flow.finished(got), Next::Nothing);
        EXPECT_EQ(flow.phase(), LookupPhase::Unloaded);
        flow.addressIn();
        flow.handOff();
        EXPECT_EQ(flow.phase(), LookupPhase::Unloaded) << "nothing brings a gone window back";
        EXPECT_FALSE(flow.start(Origin::LoginPicture));
    }
}

TEST(LookupFlow, AnEndWithoutALookupCountsForNothing)
{
    LookupFlow flow;
    EXPECT_EQ(flow.finished(true), Next::Nothing);
    EXPECT_EQ(flow.phase(), LookupPhase::Idle);
}
