#include <gtest/gtest.h>

#include "browser/logic/BrowserKeys.h"
#include "browser/logic/Zoom.h"

using namespace talvo::browserlogic;

namespace {
KeyPress ctrl(Key key, bool shift = false) { return {key, true, false, shift}; }
KeyPress alt(Key key) { return {key, false, true, false}; }
KeyPress plain(Key key, bool shift = false) { return {key, false, false, shift}; }
} // namespace

TEST(BrowserKeys, Table)
{
    EXPECT_EQ(actionForKey(plain(Key::F5)), BrowserAction::Reload);
    EXPECT_EQ(actionForKey(ctrl(Key::F5)), BrowserAction::Reload);
    EXPECT_EQ(actionForKey(ctrl(Key::A_R)), BrowserAction::Reload);
    EXPECT_EQ(actionForKey(ctrl(Key::A_R, true)), BrowserAction::Reload);
    EXPECT_EQ(actionForKey(ctrl(Key::A_F)), BrowserAction::Find);
    EXPECT_EQ(actionForKey(plain(Key::F3)), BrowserAction::FindNext);
    EXPECT_EQ(actionForKey(plain(Key::F3, true)), BrowserAction::FindPrevious);
    EXPECT_EQ(actionForKey(ctrl(Key::A_G)), BrowserAction::FindNext);
    EXPECT_EQ(actionForKey(ctrl(Key::A_G, true)), BrowserAction::FindPrevious);
    EXPECT_EQ(actionForKey(ctrl(Key::Plus, true)), BrowserAction::ZoomIn);
    EXPECT_EQ(actionForKey(ctrl(Key::Equal)), BrowserAction::ZoomIn);
    EXPECT_EQ(actionForKey(KeyPress{Key::Plus, true, false, false, true}), BrowserAction::ZoomIn);
    EXPECT_EQ(actionForKey(ctrl(Key::Minus)), BrowserAction::ZoomOut);
    EXPECT_EQ(actionForKey(ctrl(Key::Zero)), BrowserAction::ZoomReset);
    EXPECT_EQ(actionForKey(alt(Key::Left)), BrowserAction::Back);
    EXPECT_EQ(actionForKey(alt(Key::Right)), BrowserAction::Forward);
    EXPECT_EQ(actionForKey(ctrl(Key::A_P)), BrowserAction::Print);
}

TEST(BrowserKeys, TypingAndEditingKeysStayWithThePage)
{
    EXPECT_EQ(actionForKey(plain(Key::A_R)), BrowserAction::None); // typing "r"
    EXPECT_EQ(actionForKey(plain(Key::A_F, true)), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::Plus, true)), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::Zero)), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::Left)), BrowserAction::None); // caret movement
    EXPECT_EQ(actionForKey(ctrl(Key::Left)), BrowserAction::None);  // word movement
    EXPECT_EQ(actionForKey(KeyPress{Key::Left, false, true, true}), BrowserAction::None);
    EXPECT_EQ(actionForKey(ctrl(Key::A_P, true)), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::Other)), BrowserAction::None);
    EXPECT_EQ(actionForKey(ctrl(Key::Other)), BrowserAction::None);
    // Ctrl+Alt is AltGr: it types characters.
    for (const Key key : {Key::A_R, Key::A_F, Key::A_P, Key::Zero, Key::Plus, Key::Minus, Key::F5})
        EXPECT_EQ(actionForKey(KeyPress{key, true, true, false}), BrowserAction::None);
}

TEST(BrowserKeys, DeveloperToolsOnlyWhenAllowed)
{
    EXPECT_EQ(actionForKey(plain(Key::F12)), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::F12), false), BrowserAction::None);
    EXPECT_EQ(actionForKey(plain(Key::F12), true), BrowserAction::DevTools);
    EXPECT_EQ(actionForKey(ctrl(Key::F12), true), BrowserAction::None);
    // The allowance opens nothing else.
    EXPECT_EQ(actionForKey(plain(Key::F5), true), BrowserAction::Reload);
    EXPECT_EQ(actionForKey(plain(Key::Other), true), BrowserAction::None);
}

TEST(BrowserKeys, MouseButtons)
{
    EXPECT_EQ(actionForMouseButton(MouseButton::Back), BrowserAction::Back);
    EXPECT_EQ(actionForMouseButton(MouseButton::Forward), BrowserAction::Forward);
    EXPECT_EQ(actionForMouseButton(MouseButton::Other), BrowserAction::None);
}

TEST(Zoom, StepsAndLimits)
{
    int percent = kZoomDefault;
    int steps = 0;
    while (percent < kZoomMax) {
        const int next = zoomIn(percent);
        ASSERT_GT(next, percent);
        percent = next;
        ++steps;
    }
    EXPECT_EQ(steps, 9); // 110 125 150 175 200 250 300 400 500
    EXPECT_EQ(zoomIn(kZoomMax), kZoomMax);
    EXPECT_EQ(zoomOut(kZoomDefault), 90);
    EXPECT_EQ(zoomOut(33), 25);
    EXPECT_EQ(zoomOut(kZoomMin), kZoomMin);
    // From between two steps, the neighbouring step.
    EXPECT_EQ(zoomIn(104), 110);
    EXPECT_EQ(zoomOut(104), 100);
    EXPECT_EQ(zoomIn(10), 25);
    EXPECT_EQ(zoomOut(900), 500);
    EXPECT_EQ(clampZoom(10), 25);
    EXPECT_EQ(clampZoom(900), 500);
    EXPECT_EQ(clampZoom(125), 125);
}
