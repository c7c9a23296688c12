// The row walker of the blended draw and the opaque copy, and the table build, written once for
// every kernel: the row set-up, the runs of transparent and opaque pixels, the end of a row, and the
// arithmetic of the unit-scale tables on 16-bit lanes. A kernel supplies only what differs with its
// vector width, as a struct of static members (its lanes):
//   Pixels, Reach, kWhole          the pixel vector, and which of its lanes a load or store covers
//   loadPixels, storePixels        (WholeVectorLanes has them for kernels without masks)
//   Alpha, loadAlpha               a vector's alpha bytes
//   noneDrawn, allOpaque           the run tests: every alpha 0, every alpha 255
//   blend                          a * 257 from the alpha bytes, then blendLanes
//   mulhiUnsigned, average         the two lane operations the compiler's operators lack
//   blendShortRow, copyShortRow    rows shorter than one vector
// and, for the table build, the source shares of one component (Shares, see buildTablesWith).
//
// Every function here must be compiled for the kernel's instruction set, and a template cannot
// carry a target attribute of its own choosing; so each kernel includes this header last, inside a
// region where a target pragma applies its instruction set to every function defined. The
// anonymous namespace gives each kernel its own copies, so that no copy built for one instruction
// set can stand in for another's at link time; everything this header includes must already have
// been included before the region opens, for the same reason.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/abi.h"
#include "media/blend.h"
#include "media/blend_fast.h"

namespace {

// 16-bit lanes filling `bytes`, for the compiler's vector operators: on these the arithmetic below
// reads as it would on one lane, and the kernel's target turns each operator into one instruction.
// (A class member, since an alias template would drop the attribute.)
template <int bytes>
struct PixelLanesOf {
    typedef std::uint16_t Type __attribute__((vector_size(bytes)));
};
template <int bytes>
using PixelLanes = typename PixelLanesOf<bytes>::Type;

template <class Lanes>
constexpr std::int32_t kLaneCount = sizeof(typename Lanes::Pixels) / sizeof(std::uint16_t);

// The reach of lanes without masked loads and stores: every one covers the whole vector.
struct WholeVector {};

// The loads and stores of lanes without masks; a kernel's lanes derive from it.
template <int bytes>
struct WholeVectorLanes {
    using Pixels = PixelLanes<bytes>;
    using Reach = WholeVector;
    static constexpr Reach kWhole{};

    [[gnu::always_inline]] static Pixels loadPixels(const std::uint16_t* at, Reach) {
        Pixels pixels;
        std::memcpy(&pixels, at, sizeof pixels);
        return pixels;
    }
    [[gnu::always_inline]] static void storePixels(std::uint16_t* at, Pixels pixels, Reach) {
        std::memcpy(at, &pixels, sizeof pixels);
    }
};

// The destination bits a lane keeps before the blend adds to it: alpha 0 keeps the whole pixel,
// bit 15 too; everywhere else bit 15 is written as 0. `twice` holds a * 257.
template <class Pixels>
[[gnu::always_inline]] inline Pixels keptBits(Pixels d, Pixels twice) {
    return d & (reinterpret_cast<Pixels>(twice == 0) | 0x7fff);
}

// Twice the 5-bit component at `low` of every lane, at bits 1..5.
template <int low, class Pixels>
[[gnu::always_inline]] inline Pixels twiceComponent(Pixels p) {
    if constexpr (low == 0) return (p + p) & 0x3e;
    else return (p >> (low - 1)) & 0x3e;
}

// `out` moved by s * a / 255 - d * a / 255 in the component at `low`.
template <class Lanes, int low>
[[gnu::always_inline]] inline typename Lanes::Pixels moveComponent(typename Lanes::Pixels out,
                                                                   typename Lanes::Pixels s, typename Lanes::Pixels d,
                                                                   typename Lanes::Pixels q) {
    const typename Lanes::Pixels move = Lanes::mulhiUnsigned(twiceComponent<low>(s), q) -
                                        Lanes::mulhiUnsigned(twiceComponent<low>(d), q);
    return out + (move << low);
}

// The blend of every lane, per 16-bit lane: with q = (a * 257 + 2) >> 1, floor(2c * q / 65536)
// equals c * a / 255 for every 5-bit c and 8-bit a (q exceeds a * 32768 / 255 by at most 1, and 31
// such excesses stay below the 1/255 that separates c * a / 255 from the next integer), so one
// unsigned multiply-high per product replaces the table look-up. Each component of `kept` (the
// destination bits the lane keeps) then moves by (s * a / 255 - d * a / 255) in place; the sums
// stay within 0..31, so no component carries into its neighbour. `twice` holds a * 257.
template <class Lanes>
[[gnu::always_inline]] inline typename Lanes::Pixels blendLanes(typename Lanes::Pixels s, typename Lanes::Pixels d,
                                                                typename Lanes::Pixels twice,
                                                                typename Lanes::Pixels kept) {
    using Pixels = typename Lanes::Pixels;
    const Pixels q = Lanes::average(twice, Pixels{} + 1);
    return moveComponent<Lanes, 10>(moveComponent<Lanes, 5>(moveComponent<Lanes, 0>(kept, s, d, q), s, d, q), s, d, q);
}

// One vector of pixels, those of `reach` (all of them, or where the lanes can mask their loads and
// stores, the first few), with `d` the destination as it was before the row was touched. Runs of
// transparent pixels cost one alpha load and opaque runs a masked copy: a figure is mostly one or
// the other.
template <class Lanes>
[[gnu::always_inline]] inline void blendBlock(const std::uint16_t* colour, const std::uint8_t* alpha,
                                              std::uint16_t* destination, typename Lanes::Pixels d,
                                              typename Lanes::Reach reach) {
    const typename Lanes::Alpha a = Lanes::loadAlpha(alpha, reach);
    if (Lanes::noneDrawn(a)) return;
    const typename Lanes::Pixels s = Lanes::loadPixels(colour, reach);
    if (Lanes::allOpaque(a, reach)) Lanes::storePixels(destination, s & 0x7fff, reach);
    else Lanes::storePixels(destination, Lanes::blend(s, d, a), reach);
}

// The opaque copy of one vector: the colour pixels without bit 15.
template <class Lanes>
[[gnu::always_inline]] inline void copyBlock(const std::uint16_t* colour, std::uint16_t* destination,
                                             typename Lanes::Reach reach) {
    Lanes::storePixels(destination, Lanes::loadPixels(colour, reach) & 0x7fff, reach);
}

// Rows shorter than a vector go to the lanes' own short-row code.
template <class Lanes>
[[gnu::always_inline]] inline void blendRow(const std::uint16_t* colour, const std::uint8_t* alpha,
                                            std::uint16_t* destination, std::int32_t count) {
    constexpr std::int32_t kCount = kLaneCount<Lanes>;
    if (count < kCount) {
        Lanes::blendShortRow(colour, alpha, destination, count);
        return;
    }
    // The last vector ends at the row's end and may overlap the one before it; it is computed from
    // the destination as it was before the row was written, so the overlap gets the same values.
    const std::int32_t last = count - kCount;
    const typename Lanes::Pixels lastD = Lanes::loadPixels(destination + last, Lanes::kWhole);
    for (std::int32_t x = 0; x < last; x += kCount)
        blendBlock<Lanes>(colour + x, alpha + x, destination + x, Lanes::loadPixels(destination + x, Lanes::kWhole),
                          Lanes::kWhole);
    blendBlock<Lanes>(colour + last, alpha + last, destination + last, lastD, Lanes::kWhole);
}

// A function of its own, as each row's copy was before the walker: its loop is a load, an and and a
// store, and where that loop falls in the code decided a quarter of its speed in the benchmark when
// it was inlined into the row loop.
template <class Lanes>
[[gnu::noinline]] void copyRow(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
    constexpr std::int32_t kCount = kLaneCount<Lanes>;
    if (count < kCount) {
        Lanes::copyShortRow(colour, destination, count);
        return;
    }
    const std::int32_t last = count - kCount;
    for (std::int32_t x = 0; x < last; x += kCount) copyBlock<Lanes>(colour + x, destination + x, Lanes::kWhole);
    copyBlock<Lanes>(colour + last, destination + last, Lanes::kWhole);
}

// The draws a kernel hands to the dispatcher, with the arguments of blendReference and copyOpaque
// without tables and map.
template <class Lanes>
void blendRows(const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination, const Rect& drawn,
               std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, &alpha, destination, drawn, skipX, skipY, i);
        blendRow<Lanes>(row.colour, row.alpha, row.destination, drawn.width);
    }
}

template <class Lanes>
void copyRows(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
              std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, nullptr, destination, drawn, skipX, skipY, i);
        copyRow<Lanes>(row.colour, row.destination, drawn.width);
    }
}

// Eight entries of one table.
using TableEntries = PixelLanes<16>;

[[gnu::always_inline]] inline void storeEntries(std::uint16_t* at, TableEntries entries) {
    std::memcpy(at, &entries, sizeof entries);
}

// The tables of buildBlendTables, entry for entry, eight alpha values at a time: `Shares(c, scale)`
// gives component c's source shares for alpha 0, 1, 2, ... eight to a call of next(), formed as the
// reference forms them; the rest and the shifts into place are the same for every kernel.
template <class Shares>
void buildTablesWith(const BlendTableSet& tables, double scale) {
    for (std::int32_t c = 0; c < 32; ++c) {
        Shares shares(c, scale);
        for (std::int32_t first = 0; first < 256; first += 8) {
            const TableEntries source = shares.next();
            const TableEntries rest = static_cast<std::uint16_t>(c) - source;
            const std::int32_t at = c * 256 + first;
            storeEntries(tables.srcBlue + at, source);
            storeEntries(tables.srcGreen + at, source << 5);
            storeEntries(tables.srcRed + at, source << 10);
            storeEntries(tables.dstBlue + at, rest);
            storeEntries(tables.dstGreen + at, rest << 5);
            storeEntries(tables.dstRed + at, rest << 10);
        }
    }
}

}  // namespace
