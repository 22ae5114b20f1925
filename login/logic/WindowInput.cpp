#include "login/logic/WindowInput.h"

namespace talvo::loginlogic {

bool deliverInput(LookupPhase phase, InputKind kind)
{
    switch (phase) {
    case LookupPhase::Idle: return true;
    case LookupPhase::LookingUp:
        // A user giving up on a dead server must not wait for the time-outs.
        return kind == InputKind::ClosePicture || kind == InputKind::EscapeKey;
    case LookupPhase::HandingOff:
    case LookupPhase::Unloaded: return false;
    }
    return false;
}

KeyAction keyAction(Key key, bool editionChecked)
{
    switch (key) {
    case Key::Return: return editionChecked ? KeyAction::Login : KeyAction::None;
    case Key::Escape: return KeyAction::Close;
    case Key::Other: return KeyAction::None;
    }
    return KeyAction::None;
}

} // namespace talvo::loginlogic
