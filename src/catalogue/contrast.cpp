#include "catalogue/contrast.h"

#include <algorithm>
#include <cmath>

namespace dravelo {

namespace {

double linear(std::uint8_t channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

struct Hsl {
  double h = 0, s = 0, l = 0;  // h in [0, 6), s and l in [0, 1]
};

Hsl to_hsl(Rgb c) {
  const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  Hsl out;
  out.l = (hi + lo) / 2;
  const double d = hi - lo;
  if (d <= 0) return out;
  out.s = d / (1 - std::fabs(2 * out.l - 1));
  if (hi == r) out.h = std::fmod((g - b) / d + 6, 6);
  else if (hi == g) out.h = (b - r) / d + 2;
  else out.h = (r - g) / d + 4;
  return out;
}

std::uint8_t channel(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

Rgb from_hsl(const Hsl& c) {
  const double chroma = (1 - std::fabs(2 * c.l - 1)) * c.s;
  const double x = chroma * (1 - std::fabs(std::fmod(c.h, 2) - 1));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(c.h)) {
    case 0: r = chroma, g = x; break;
    case 1: r = x, g = chroma; break;
    case 2: g = chroma, b = x; break;
    case 3: g = x, b = chroma; break;
    case 4: r = x, b = chroma; break;
    default: r = chroma, b = x; break;
  }
  const double m = c.l - chroma / 2;
  return {channel(r + m), channel(g + m), channel(b + m)};
}

}  // namespace

double relative_luminance(Rgb c) { return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b); }

double contrast_ratio(Rgb a, Rgb b) {
  const double la = relative_luminance(a), lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb readable_colour(Rgb colour, Rgb background, double min_ratio) {
  if (contrast_ratio(colour, background) >= min_ratio) return colour;
  const Hsl start = to_hsl(colour);
  // Steps of 1/200 of lightness each way; the nearer of the first readable ones wins.
  for (int step = 1; step <= 200; ++step) {
    for (double sign : {-1.0, 1.0}) {
      Hsl moved = start;
      moved.l = start.l + sign * step / 200.0;
      if (moved.l < 0 || moved.l > 1) continue;
      const Rgb candidate = from_hsl(moved);
      if (contrast_ratio(candidate, background) >= min_ratio) return candidate;
    }
  }
  const Rgb black{0, 0, 0}, white{255, 255, 255};
  return contrast_ratio(black, background) >= contrast_ratio(white, background) ? black : white;
}

}  // namespace dravelo
