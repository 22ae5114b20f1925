#include "main/logic/WindowFit.h"

#include <algorithm>
#include <cmath>

namespace talvo::mainlogic {

WindowFit fitMainWindow(const Rect& screen, const Rect& availableArea, const Margins& frame, const WindowDesign& design)
{
    const Rect area = availableArea.width > 0 && availableArea.height > 0 ? availableArea : screen;
    const int frameWidth = frame.left + frame.right;
    const int frameHeight = frame.top + frame.bottom;

    WindowFit fit;
    const double scale = std::min({1.0, static_cast<double>(area.width) / design.outerWidth,
                                   static_cast<double>(area.height) / design.outerHeight});
    if (scale >= 1.0) {
        fit.outer = {screen.x + (screen.width - (design.centringClientWidth + frameWidth)) / 2,
                     screen.y + (screen.height - design.outerHeight) / 2, design.outerWidth, design.outerHeight};
    } else {
        // Never smaller than the frame, the status bar and one row of page.
        const int width = std::max(static_cast<int>(std::floor(design.outerWidth * scale)), frameWidth + 1);
        const int height = std::max(static_cast<int>(std::floor(design.outerHeight * scale)),
                                    frameHeight + design.statusHeight + 1);
        fit.outer = {area.x + (area.width - width) / 2, area.y + (area.height - height) / 2, width, height};
        const double fullPageWidth = design.outerWidth - frameWidth;
        const double fullPageHeight = design.outerHeight - frameHeight - design.statusHeight;
        const double pageWidth = width - frameWidth;
        const double pageHeight = height - frameHeight - design.statusHeight;
        if (fullPageWidth > 0 && fullPageHeight > 0)
            fit.zoom = std::clamp(std::min(pageWidth / fullPageWidth, pageHeight / fullPageHeight), kMinimumZoom, 1.0);
    }
    // Wholly on the available area; where even the smallest window is too big for it,
    // its top left corner (the title bar) stays on it.
    fit.outer.x = std::max(std::min(fit.outer.x, area.x + area.width - fit.outer.width), area.x);
    fit.outer.y = std::max(std::min(fit.outer.y, area.y + area.height - fit.outer.height), area.y);
    return fit;
}

} // namespace talvo::mainlogic
