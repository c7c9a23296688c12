// The ten bonus pictures: round badges with a symbol, one per bonus number.
#pragma once

#include "tools/samplegen/raster.h"

namespace samplegen {

constexpr int kIconSize = 48;

// Bonus 1 to 10: star, hourglass, x2, x3, x4, shield, crossed-out snowflake, +100, +200, lightning.
Image drawBonusIcon(int number);

}  // namespace samplegen
