#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "catalogue/contrast.h"

namespace dravelo {
namespace {

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0};

// Hue in degrees.
double hue(Rgb c) {
  const double r = c.r, g = c.g, b = c.b;
  const double hi = std::max({r, g, b}), d = hi - std::min({r, g, b});
  if (d == 0) return 0;
  const double h = hi == r ? std::fmod((g - b) / d + 6, 6) : hi == g ? (b - r) / d + 2 : (r - g) / d + 4;
  return h * 60;
}

TEST(Contrast, RatiosOfKnownPairs) {
  EXPECT_NEAR(contrast_ratio(kBlack, kWhite), 21.0, 1e-9);
  EXPECT_NEAR(contrast_ratio(kWhite, kBlack), 21.0, 1e-9);
  EXPECT_NEAR(contrast_ratio(Rgb{0, 255, 255}, kWhite), 1.25, 0.01);  // aqua on white
  EXPECT_NEAR(contrast_ratio(Rgb{255, 153, 0}, kWhite), 2.14, 0.01);  // orange on white
  EXPECT_NEAR(contrast_ratio(Rgb{0, 0, 255}, kWhite), 8.59, 0.01);
}

TEST(Contrast, EveryStatusColourIsMadeReadableKeepingItsHue) {
  const Rgb backgrounds[] = {kWhite, {0xcb, 0xe2, 0xf1} /* a light selection tint */, {0x20, 0x20, 0x20} /* dark */};
  for (int percent : {100, 80, 50, 10, 0}) {
    const Rgb c = status_colour(percent);
    for (const Rgb& bg : backgrounds) {
      const Rgb r = readable_colour(c, bg);
      EXPECT_GE(contrast_ratio(r, bg), kReadableContrast) << percent;
      EXPECT_NEAR(hue(r), hue(c), 4) << percent << " on " << int(bg.r);
      if (contrast_ratio(c, bg) >= kReadableContrast) EXPECT_EQ(r, c) << "a readable colour is left alone";
    }
  }
  // Black and white text stay black and white where they read.
  EXPECT_EQ(readable_colour(kBlack, kWhite), kBlack);
  // A mid grey background: no lightness of this hue reaches 7:1, so black or white is taken.
  const Rgb grey{0x77, 0x77, 0x77};
  const Rgb r = readable_colour(Rgb{0, 255, 255}, grey, 7.0);
  EXPECT_TRUE(r == kBlack || r == kWhite);
}

}  // namespace
}  // namespace dravelo
