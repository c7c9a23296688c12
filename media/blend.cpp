#include "media/blend.h"

namespace {

// 1/255 as the tables have always used it; bit-identical tables depend on this exact double.
constexpr double kInverse255 = 0.00392156862745098;

// The source share of component c at alpha a. A scale outside 0..1 (or not a number) would make the
// share negative or larger than c, and the two halves of a component would carry into its neighbour;
// clamping keeps every in-range result and keeps the conversion to an integer defined.
std::uint32_t sourceShare(std::int32_t c, std::int32_t a, double scale) {
    const double share = static_cast<double>(c * a) * scale * kInverse255;
    if (!(share > 0.0)) return 0;
    if (share >= c) return static_cast<std::uint32_t>(c);
    return static_cast<std::uint32_t>(share);
}

inline std::uint8_t* rowAt(const PixelRows& rows, std::int32_t row) {
    return static_cast<std::uint8_t*>(rows.pixels) + static_cast<std::intptr_t>(row) * rows.pitch;
}

}  // namespace

void buildBlendTables(const BlendTableSet& tables, double scale) {
    for (std::int32_t c = 0; c < 32; ++c) {
        for (std::int32_t a = 0; a < 256; ++a) {
            const std::uint32_t m = sourceShare(c, a, scale);
            const std::uint32_t rest = static_cast<std::uint32_t>(c) - m;
            const std::int32_t index = c * 256 + a;
            tables.srcRed[index] = static_cast<std::uint16_t>(m << 10);
            tables.srcGreen[index] = static_cast<std::uint16_t>(m << 5);
            tables.srcBlue[index] = static_cast<std::uint16_t>(m);
            tables.dstRed[index] = static_cast<std::uint16_t>(rest << 10);
            tables.dstGreen[index] = static_cast<std::uint16_t>(rest << 5);
            tables.dstBlue[index] = static_cast<std::uint16_t>(rest);
        }
    }
}

void blendReference(const BlendTableSet& tables, const std::int32_t* coordMap, const PixelRows& colour,
                    const PixelRows& alpha, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                    std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const std::int32_t sy = coordMap[skipY + i];
        const std::uint8_t* alphaRow = rowAt(alpha, sy);
        const auto* colourRow = reinterpret_cast<const std::uint16_t*>(rowAt(colour, sy));
        auto* destinationRow = reinterpret_cast<std::uint16_t*>(rowAt(destination, i)) + drawn.x;
        for (std::int32_t j = 0; j < drawn.width; ++j) {
            const std::int32_t sx = coordMap[skipX + j];
            const std::uint8_t a = alphaRow[sx];
            if (a == 0) continue;  // transparent: the colour picture is not even read
            destinationRow[j] = blendPixel(tables, colourRow[sx], destinationRow[j], a);
        }
    }
}

void copyOpaque(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const auto* colourRow = reinterpret_cast<const std::uint16_t*>(rowAt(colour, skipY + i)) + skipX;
        auto* destinationRow = reinterpret_cast<std::uint16_t*>(rowAt(destination, i)) + drawn.x;
        for (std::int32_t j = 0; j < drawn.width; ++j)
            destinationRow[j] = static_cast<std::uint16_t>(colourRow[j] & 0x7fff);  // bit 15 is never written as 1
    }
}
