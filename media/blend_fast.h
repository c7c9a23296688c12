// Fast paths of the blended draw and the opaque copy, many pixels per instruction. They compute the
// arithmetic of the tables that setAlphaScale(1.0) builds, through an identity coordinate map (the
// only state the module ever sets), and match blendReference bit for bit there; any other state is
// drawn by the reference. The kernel is chosen once per process from what the processor offers.
#pragma once

#include <cstdint>

#include "core/abi.h"
#include "media/blend.h"

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define PAWN_X86_KERNELS 1
#else
#define PAWN_X86_KERNELS 0
#endif

enum class BlendKernel : std::int32_t {
    Reference = 0,  // the table look-ups of blendReference and the plain copy loop
    Sse2 = 1,       // 8 pixels at a time
    Avx2 = 2,       // 16 pixels at a time
    Avx512 = 3,     // 32 pixels at a time, AVX-512BW
};

const char* blendKernelName(BlendKernel kernel);
// Built into this module and runnable on this processor (the reference always is).
bool blendKernelAvailable(BlendKernel kernel);
// The kernel the draws use: the widest available one, unless a test or benchmark forced another.
BlendKernel chosenBlendKernel();
// Tests and benchmarks only: every later draw uses `kernel` (Reference: the tables and the plain
// copy throughout). False, changing nothing, when the kernel is not available here.
bool overrideBlendKernel(BlendKernel kernel);
void clearBlendKernelOverride();

// The blended draw, with the arguments of blendReference plus the state that built the tables and
// the map: the chosen kernel when both `alphaScale` and `zoom` are 1.0, else blendReference.
void blendDraw(const BlendTableSet& tables, double alphaScale, const std::int32_t* coordMap, double zoom,
               const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination, const Rect& drawn,
               std::int32_t skipX, std::int32_t skipY);
// The opaque copy through the chosen kernel; arguments as for copyOpaque.
void copyDraw(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
              std::int32_t skipY);
// The tables of buildBlendTables, entry for entry (the same double products, in the same order, with
// the same clamping of scales outside 0..1), several entries at a time with the chosen kernel.
void buildBlendTablesFast(const BlendTableSet& tables, double scale);

// One blended pixel with the arithmetic of the unit-scale tables: each component becomes
// s * a / 255 + d - d * a / 255 (integer quotients); alpha 0 keeps the destination, bit 15 included.
inline std::uint16_t blendUnitPixel(std::uint16_t s, std::uint16_t d, std::uint32_t a) {
    if (a == 0) return d;
    const auto mix = [a](std::uint32_t sc, std::uint32_t dc) { return sc * a / 255 + dc - dc * a / 255; };
    return static_cast<std::uint16_t>((mix((s >> 10) & 31, (d >> 10) & 31) << 10) |
                                      (mix((s >> 5) & 31, (d >> 5) & 31) << 5) | mix(s & 31, d & 31));
}

// What one kernel does: the draws, with the arguments of blendReference (or copyOpaque) without
// tables and map, and the table build of buildBlendTablesFast. They must only run where
// blendKernelAvailable says so.
struct KernelFunctions {
    void (*blend)(const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination, const Rect& drawn,
                  std::int32_t skipX, std::int32_t skipY);
    void (*copy)(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                 std::int32_t skipY);
    void (*buildTables)(const BlendTableSet& tables, double scale);
};

#if PAWN_X86_KERNELS
extern const KernelFunctions kSse2Functions;
extern const KernelFunctions kAvx2Functions;
extern const KernelFunctions kAvx512Functions;
// The AVX2 table build, which the AVX-512BW kernel uses too.
void buildBlendTablesAvx2(const BlendTableSet& tables, double scale);

// A row of `count` pixels with 8-pixel vectors; the wider kernels hand it rows too short for theirs.
void blendRowSse2(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                  std::int32_t count);
void copyRowSse2(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count);
#endif

// Where row i of a draw reads and writes, with the map the identity.
struct BlendRow {
    const std::uint16_t* colour;
    const std::uint8_t* alpha;
    std::uint16_t* destination;
};

inline BlendRow blendRowAt(const PixelRows& colour, const PixelRows* alpha, const PixelRows& destination,
                           const Rect& drawn, std::int32_t skipX, std::int32_t skipY, std::int32_t i) {
    const std::intptr_t sy = static_cast<std::intptr_t>(skipY) + i;
    BlendRow row;
    row.colour = reinterpret_cast<const std::uint16_t*>(static_cast<const std::uint8_t*>(colour.pixels) + sy * colour.pitch) + skipX;
    row.alpha = alpha ? static_cast<const std::uint8_t*>(alpha->pixels) + sy * alpha->pitch + skipX : nullptr;
    row.destination = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(destination.pixels) +
                                                      static_cast<std::intptr_t>(i) * destination.pitch) + drawn.x;
    return row;
}
