// Text colours that stay readable on their background: the contrast ratio of two colours (by
// their relative luminance, as the accessibility guidelines measure it), and the colour of the
// same hue made darker or lighter until it reaches a wanted ratio.
#pragma once

#include "catalogue/presentation.h"

namespace dravelo {

// The least contrast for text of normal size.
constexpr double kReadableContrast = 4.5;

double relative_luminance(Rgb c);
// 1 (the same luminance) to 21 (black on white); the order of the two does not matter.
double contrast_ratio(Rgb a, Rgb b);
// colour with its hue and saturation kept and its lightness moved as little as reaches
// min_ratio against background; black or white, whichever stands out more, when no lightness
// of that hue does.
Rgb readable_colour(Rgb colour, Rgb background, double min_ratio = kReadableContrast);

}  // namespace dravelo
