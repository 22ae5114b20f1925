#include <gtest/gtest.h>

#include "login/logic/WindowInput.h"

using namespace talvo::loginlogic;

TEST(WindowInput, WhatReachesTheWindowInEachPhase)
{
    struct Row {
        LookupPhase phase;
        bool closePicture, escape, otherKey, otherPointer;
    };
    const Row rows[] = {
        {LookupPhase::Idle, true, true, true, true},
        {LookupPhase::LookingUp, true, true, false, false},
        {LookupPhase::HandingOff, false, false, false, false},
        {LookupPhase::Unloaded, false, false, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.phase));
        EXPECT_EQ(deliverInput(r.phase, InputKind::ClosePicture), r.closePicture);
        EXPECT_EQ(deliverInput(r.phase, InputKind::EscapeKey), r.escape);
        EXPECT_EQ(deliverInput(r.phase, InputKind::OtherKey), r.otherKey);
        EXPECT_EQ(deliverInput(r.phase, InputKind::OtherPointer), r.otherPointer);
    }
}

TEST(WindowInput, KeysLeftToTheWindow)
{
    EXPECT_EQ(keyAction(Key::Return, true), KeyAction::Login);
    EXPECT_EQ(keyAction(Key::Return, false), KeyAction::None) << "no edition checked";
    EXPECT_EQ(keyAction(Key::Escape, false), KeyAction::Close);
    EXPECT_EQ(keyAction(Key::Escape, true), KeyAction::Close);
    EXPECT_EQ(keyAction(Key::Other, true), KeyAction::None);
}
