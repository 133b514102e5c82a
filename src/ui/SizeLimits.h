#pragma once
// The size limits of a form on screens with more than 96 pixels per inch.

namespace cq::ui {

/// A form's size limits; 0 means no limit.
struct SizeLimits {
    int maxHeight = 0;
    int minHeight = 0;
    int maxWidth = 0;
    int minWidth = 0;
    bool operator==(const SizeLimits&) const = default;
};

/// The nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);

/// The limits of a form `width` x `height` on a screen of `pixelsPerInch`: with f = P / 103 above
/// 96 (1 otherwise), every limit that is set grows by the form's height (or width) times f minus
/// that height (or width), rounded half to even. Unset limits stay unset.
SizeLimits ScaleSizeLimits(const SizeLimits& limits, int width, int height, double pixelsPerInch);

} // namespace cq::ui
