#include "browser/logic/Zoom.h"

#include <algorithm>
#include <iterator>

namespace talvo::browserlogic {

int clampZoom(int percent) { return std::clamp(percent, kZoomMin, kZoomMax); }

int zoomIn(int percent)
{
    for (const int step : kZoomSteps)
        if (step > percent)
            return step;
    return kZoomMax;
}

int zoomOut(int percent)
{
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
        if (*it < percent)
            return *it;
    return kZoomMin;
}

} // namespace talvo::browserlogic
