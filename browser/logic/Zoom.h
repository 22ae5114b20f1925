#pragma once

namespace talvo::browserlogic {

inline constexpr int kZoomDefault = 100;
inline constexpr int kZoomMin = 25;
inline constexpr int kZoomMax = 500;

// The zoom levels the keys step through, in percent: 25 to 500.
inline constexpr int kZoomSteps[] = {25, 33, 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500};

// The next step above (or below) percent; percent need not be a step itself. Stays at the
// end of the range once there.
int zoomIn(int percent);
int zoomOut(int percent);

// percent brought into 25..500.
int clampZoom(int percent);

} // namespace talvo::browserlogic
