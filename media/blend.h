// Colour-through-alpha blending of 15-bit pixels by table look-up: the tables, the plain reference
// draw that defines the arithmetic, and the opaque copy. Faster paths must match the reference bit
// for bit.
#pragma once

#include <cstdint>

#include "core/abi.h"

// The six tables of one blend, each 32 x 256 entries (component c, alpha a at c * 256 + a).
struct BlendTableSet {
    std::uint16_t* srcRed;
    std::uint16_t* srcGreen;
    std::uint16_t* srcBlue;
    std::uint16_t* dstRed;
    std::uint16_t* dstGreen;
    std::uint16_t* dstBlue;
};

// m = trunc(c * a * scale * (1/255)): src entries m shifted into place, dst entries c - m.
void buildBlendTables(const BlendTableSet& tables, double scale);

// One blended pixel: s over d with alpha a (a != 0).
inline std::uint16_t blendPixel(const BlendTableSet& t, std::uint16_t s, std::uint16_t d, std::uint8_t a) {
    const unsigned sR = (s >> 10) & 31, sG = (s >> 5) & 31, sB = s & 31;
    const unsigned dR = (d >> 10) & 31, dG = (d >> 5) & 31, dB = d & 31;
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(t.srcGreen[sG * 256 + a] + t.dstGreen[dG * 256 + a]) |
                                      static_cast<std::uint16_t>(t.srcRed[sR * 256 + a] + t.dstRed[dR * 256 + a]) |
                                      static_cast<std::uint16_t>(t.srcBlue[sB * 256 + a] + t.dstBlue[dB * 256 + a]));
}

// The reference blended draw. `drawn` is the clipped rectangle in context coordinates; `destination`
// holds the context's rows from drawn.y on; (skipX, skipY) are the drawn columns and rows cut off at
// the left and top. Source pixels are found through `coordMap`, which must cover skip + extent.
void blendReference(const BlendTableSet& tables, const std::int32_t* coordMap, const PixelRows& colour,
                    const PixelRows& alpha, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                    std::int32_t skipY);

// The opaque copy: the colour picture's pixels without bit 15. Arguments as for blendReference,
// without scaling.
void copyOpaque(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                std::int32_t skipY);
