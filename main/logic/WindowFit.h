#pragma once

namespace talvo::mainlogic {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// What a window manager adds around the client area.
struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Margins&) const = default;
};

// The fixed measures of the main window, in logical pixels.
struct WindowDesign {
    int outerWidth;   // frame included
    int outerHeight;  // frame included
    int statusHeight; // the status bar along the bottom of the client area
    // The outer width the centring reads: the window's width before its last resize.
    int centringClientWidth;
};

struct WindowFit {
    Rect outer;        // where the frame goes, and its size
    double zoom = 1.0; // page zoom that shows what the full-size page area would
};

// The lowest page zoom the browser takes.
inline constexpr double kMinimumZoom = 0.25;

// Places the main window on a screen. At full size the frame is centred on the whole
// screen, with the width it has before its last resize; where the available area (the
// screen less panels and docks) is too small, the window shrinks to fit it, keeping its
// proportions, and the page zooms out by as much as its area shrank. Either way the whole
// frame ends up on the available area; an empty available area counts as the screen.
WindowFit fitMainWindow(const Rect& screen, const Rect& available, const Margins& frame, const WindowDesign& design);

} // namespace talvo::mainlogic
