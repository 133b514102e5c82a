#include "ui/SizeLimits.h"

#include <cmath>

namespace cq::ui {
namespace {

int Grown(int limit, int extra) {
    return limit > 0 ? limit + extra : 0;
}

} // namespace

int RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        return static_cast<int>(floor) + 1;
    return static_cast<int>(floor);
}

SizeLimits ScaleSizeLimits(const SizeLimits& limits, int width, int height, double pixelsPerInch) {
    const double factor = pixelsPerInch > 96 ? pixelsPerInch / 103 : 1.0;
    const int extraHeight = RoundHalfEven(height * factor - height);
    const int extraWidth = RoundHalfEven(width * factor - width);
    return {Grown(limits.maxHeight, extraHeight), Grown(limits.minHeight, extraHeight),
            Grown(limits.maxWidth, extraWidth), Grown(limits.minWidth, extraWidth)};
}

} // namespace cq::ui
