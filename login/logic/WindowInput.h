#pragma once

namespace talvo::loginlogic {

// Where the login window stands with its address lookup.
enum class LookupPhase {
    Idle,       // waiting for the user: all input counts
    LookingUp,  // check codes and address under way: only the way out counts
    HandingOff, // an address came back: the main window is on its way
    Unloaded,   // handed over or closed: the window takes no part any more
};

enum class InputKind {
    ClosePicture, // a press or release on the close picture
    EscapeKey,
    OtherKey,
    OtherPointer, // any other mouse, wheel or touch input
};

// Whether input reaches the window's handlers. Input held back is dropped for good: a
// click made while the server was asked must not act once the answer is in.
bool deliverInput(LookupPhase phase, InputKind kind);

enum class Key { Return, Escape, Other };
enum class KeyAction { None, Login, Close };

// What a key does when the focused control leaves it to the window: Return logs in
// when an edition is checked, Escape does what the close picture does.
KeyAction keyAction(Key key, bool editionChecked);

} // namespace talvo::loginlogic
