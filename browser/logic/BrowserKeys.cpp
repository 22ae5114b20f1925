#include "browser/logic/BrowserKeys.h"

namespace talvo::browserlogic {

BrowserAction actionForKey(const KeyPress& press, bool devToolsAllowed)
{
    const bool ctrlOnly = press.ctrl && !press.alt;
    const bool altOnly = press.alt && !press.ctrl && !press.shift;
    const bool plain = !press.ctrl && !press.alt;
    switch (press.key) {
    case Key::F5: return plain || ctrlOnly ? BrowserAction::Reload : BrowserAction::None;
    case Key::A_R: return ctrlOnly ? BrowserAction::Reload : BrowserAction::None;
    case Key::A_F: return ctrlOnly && !press.shift ? BrowserAction::Find : BrowserAction::None;
    case Key::F3:
        if (!plain)
            return BrowserAction::None;
        return press.shift ? BrowserAction::FindPrevious : BrowserAction::FindNext;
    case Key::A_G:
        if (!ctrlOnly)
            return BrowserAction::None;
        return press.shift ? BrowserAction::FindPrevious : BrowserAction::FindNext;
    case Key::A_P: return ctrlOnly && !press.shift ? BrowserAction::Print : BrowserAction::None;
    case Key::Plus:
    case Key::Equal:
        // Plus needs Shift on most layouts, so Shift does not matter here.
        return ctrlOnly ? BrowserAction::ZoomIn : BrowserAction::None;
    case Key::Minus: return ctrlOnly ? BrowserAction::ZoomOut : BrowserAction::None;
    case Key::Zero: return ctrlOnly && !press.shift ? BrowserAction::ZoomReset : BrowserAction::None;
    case Key::Left: return altOnly ? BrowserAction::Back : BrowserAction::None;
    case Key::Right: return altOnly ? BrowserAction::Forward : BrowserAction::None;
    case Key::F12: return devToolsAllowed && plain && !press.shift ? BrowserAction::DevTools : BrowserAction::None;
    case Key::Other: break;
    }
    return BrowserAction::None;
}

BrowserAction actionForMouseButton(MouseButton button)
{
    switch (button) {
    case MouseButton::Back: return BrowserAction::Back;
    case MouseButton::Forward: return BrowserAction::Forward;
    case MouseButton::Other: break;
    }
    return BrowserAction::None;
}

} // namespace talvo::browserlogic
