#pragma once

namespace talvo::browserlogic {

// The keys the browser windows act on; everything else goes to the page.
enum class Key { Other, F3, F5, F12, A_R, A_F, A_G, A_P, Plus, Equal, Minus, Zero, Left, Right };

struct KeyPress {
    Key key = Key::Other;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool keypad = false;
};

enum class BrowserAction {
    None,
    Reload,
    Find,
    FindNext,
    FindPrevious,
    ZoomIn,
    ZoomOut,
    ZoomReset,
    Back,
    Forward,
    Print,
    DevTools,
};

// F5 and Ctrl+R reload; Ctrl+F finds, F3 / Ctrl+G find again (with Shift, backwards);
// Ctrl+Plus (also Ctrl+= and the keypad's +), Ctrl+Minus and Ctrl+0 zoom; Alt+Left and
// Alt+Right go back and forward; Ctrl+P prints. Ctrl with Alt is AltGr on many layouts and
// types characters, so it never counts as Ctrl. F12 opens the developer tools only when they
// are allowed (the program was started with --devtools); otherwise it is the page's.
BrowserAction actionForKey(const KeyPress& press, bool devToolsAllowed = false);

enum class MouseButton { Other, Back, Forward };

// The mouse's side buttons go back and forward.
BrowserAction actionForMouseButton(MouseButton button);

} // namespace talvo::browserlogic
