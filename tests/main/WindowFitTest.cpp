#include <gtest/gtest.h>

#include "main/logic/WindowFit.h"

namespace talvo::mainlogic {
namespace {

constexpr WindowDesign kDesign{1011, 767, 25, 970};
constexpr Margins kOpenbox{1, 20, 1, 1};

bool inside(const Rect& outer, const Rect& area)
{
    return outer.x >= area.x && outer.y >= area.y && outer.x + outer.width <= area.x + area.width
        && outer.y + outer.height <= area.y + area.height;
}

TEST(WindowFit, FullSizeIsCentredByTheFrame)
{
    // A laptop screen: one pixel taller than the window, so its frame starts at the top.
    const Rect laptop{0, 0, 1366, 768};
    WindowFit fit = fitMainWindow(laptop, laptop, kOpenbox, kDesign);
    EXPECT_EQ(fit.outer, (Rect{(1366 - 972) / 2, 0, 1011, 767}));
    EXPECT_EQ(fit.zoom, 1.0);
    // Without a frame, and on a second screen to the right.
    fit = fitMainWindow({1920, 0, 1920, 1080}, {1920, 0, 1920, 1050}, {}, kDesign);
    EXPECT_EQ(fit.outer, (Rect{1920 + 475, 156, 1011, 767}));
}

TEST(WindowFit, CentredFrameIsMovedOntoTheAvailableArea)
{
    // A 40-pixel panel at the top: the centred frame would start under it.
    const Rect screen{0, 0, 1366, 810};
    const WindowFit fit = fitMainWindow(screen, {0, 40, 1366, 770}, kOpenbox, kDesign);
    EXPECT_EQ(fit.outer, (Rect{197, 40, 1011, 767}));
    EXPECT_EQ(fit.zoom, 1.0);
    // A panel at the bottom: moved up so its lower edge stays clear.
    const WindowFit up = fitMainWindow(screen, {0, 0, 1366, 770}, kOpenbox, kDesign);
    EXPECT_EQ(up.outer, (Rect{197, 3, 1011, 767}));
}

TEST(WindowFit, SmallerAvailableAreaShrinksTheWindowAndZoomsThePage)
{
    struct Case {
        Rect screen, available;
        const char* what;
    } cases[] = {
        {{0, 0, 1280, 720}, {0, 0, 1280, 720}, "1920 x 1080 at a scale of 1.5"},
        {{0, 0, 1366, 768}, {0, 0, 1366, 738}, "a laptop with a 30-pixel panel"},
        {{0, 0, 1024, 600}, {0, 24, 1024, 576}, "a netbook with a top bar"},
        {{0, 0, 800, 600}, {0, 0, 800, 600}, "narrower than the window"},
    };
    for (const Case& c : cases) {
        const WindowFit fit = fitMainWindow(c.screen, c.available, kOpenbox, kDesign);
        EXPECT_TRUE(inside(fit.outer, c.available)) << c.what;
        EXPECT_TRUE(fit.outer.width == c.available.width || fit.outer.height == c.available.height) << c.what;
        // Proportions kept, within rounding.
        EXPECT_NEAR(static_cast<double>(fit.outer.width) / fit.outer.height, 1011.0 / 767.0, 0.01) << c.what;
        // The page shows at least what it shows at full size, no more zoomed out than needed.
        const double pageWidth = fit.outer.width - 2, pageHeight = fit.outer.height - 21 - 25;
        EXPECT_LT(fit.zoom, 1.0) << c.what;
        EXPECT_LE(1009 * fit.zoom, pageWidth + 1e-9) << c.what;
        EXPECT_LE(721 * fit.zoom, pageHeight + 1e-9) << c.what;
        EXPECT_TRUE(1009 * fit.zoom > pageWidth - 1.5 || 721 * fit.zoom > pageHeight - 1.5) << c.what;
    }
    // Centred on the available area.
    const WindowFit fit = fitMainWindow({0, 0, 1280, 720}, {0, 0, 1280, 720}, kOpenbox, kDesign);
    EXPECT_EQ(fit.outer, (Rect{(1280 - 949) / 2, 0, 949, 720}));
}

TEST(WindowFit, TinyOrUnknownAreas)
{
    // Smaller than anything sensible: the zoom stops at the browser's lowest and the title
    // bar stays on the area.
    const WindowFit tiny = fitMainWindow({0, 0, 160, 60}, {0, 0, 160, 60}, kOpenbox, kDesign);
    EXPECT_EQ(tiny.zoom, kMinimumZoom);
    EXPECT_GE(tiny.outer.height, 21 + 25 + 1);
    EXPECT_TRUE(inside(tiny.outer, {0, 0, 160, 60}));
    // Too small even for the frame and the status bar: the top left corner stays on it.
    const WindowFit tinier = fitMainWindow({0, 0, 160, 30}, {0, 0, 160, 30}, kOpenbox, kDesign);
    EXPECT_EQ(tinier.outer.y, 0);
    EXPECT_GE(tinier.outer.x, 0);
    // No available area reported: the screen counts.
    const WindowFit none = fitMainWindow({0, 0, 1366, 768}, {}, {}, kDesign);
    EXPECT_EQ(none.outer, (Rect{198, 0, 1011, 767}));
}

} // namespace
} // namespace talvo::mainlogic
