// The blended draw and the opaque copy 32 pixels at a time with AVX-512BW: the lanes of the row
// walker (blend_rows.h). Mask registers do what the narrower kernels need extra work for: rows
// shorter than a vector are one masked load and store that touch no byte outside the row.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "core/abi.h"
#include "media/blend.h"

// Every function of this file is built for AVX-512BW, the walker's included.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC target("avx512f,avx512bw")
#endif
#include "media/blend_rows.h"

namespace {

// The lanes of the walker: 32 pixels in a 512-bit register, with masks for the rows shorter than that.
struct Avx512Lanes {
    using Pixels = PixelLanes<64>;
    // The alpha bytes go through 512-bit registers, of which only the low half is used, so that no
    // instruction needs AVX-512VL.
    using Alpha = __m512i;
    using Reach = __mmask32;  // the vector's pixels that belong to the row
    static constexpr Reach kWhole = ~__mmask32{0};

    [[gnu::always_inline]] static Pixels mulhiUnsigned(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(
            _mm512_mulhi_epu16(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
    }
    [[gnu::always_inline]] static Pixels average(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(_mm512_avg_epu16(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
    }

    [[gnu::always_inline]] static Pixels loadPixels(const std::uint16_t* at, Reach lanes) {
        return reinterpret_cast<Pixels>(_mm512_maskz_loadu_epi16(lanes, at));
    }
    [[gnu::always_inline]] static void storePixels(std::uint16_t* at, Pixels pixels, Reach lanes) {
        if (lanes == kWhole) _mm512_storeu_si512(at, reinterpret_cast<__m512i>(pixels));
        else _mm512_mask_storeu_epi16(at, lanes, reinterpret_cast<__m512i>(pixels));
    }
    [[gnu::always_inline]] static Alpha loadAlpha(const std::uint8_t* at, Reach lanes) {
        return _mm512_maskz_loadu_epi8(lanes, at);
    }
    [[gnu::always_inline]] static __mmask32 drawnLanes(Alpha alpha) {
        return static_cast<__mmask32>(_mm512_test_epi8_mask(alpha, alpha));
    }
    [[gnu::always_inline]] static bool noneDrawn(Alpha alpha) { return drawnLanes(alpha) == 0; }
    [[gnu::always_inline]] static bool allOpaque(Alpha alpha, Reach lanes) {
        return static_cast<__mmask32>(_mm512_cmpeq_epi8_mask(alpha, _mm512_set1_epi8(-1))) == lanes;
    }

    [[gnu::always_inline]] static Pixels blend(Pixels s, Pixels d, Alpha alpha) {
        // Eight alpha bytes to the low half of each 128-bit lane, each then paired with itself: a * 257.
        const __m512i spread =
            _mm512_maskz_permutexvar_epi64(0xff, _mm512_set_epi64(3, 3, 2, 2, 1, 1, 0, 0), alpha);
        const Pixels twice = reinterpret_cast<Pixels>(_mm512_unpacklo_epi8(spread, spread));
        // Transparent pixels keep the destination through a register move rather than a sparse store
        // mask: stores with gaps in their mask are slow on some processors.
        const Pixels blended = blendLanes<Avx512Lanes>(s, d, twice, d & 0x7fff);
        return reinterpret_cast<Pixels>(_mm512_mask_mov_epi16(reinterpret_cast<__m512i>(d), drawnLanes(alpha),
                                                              reinterpret_cast<__m512i>(blended)));
    }

    static Reach firstLanes(std::int32_t count) { return static_cast<__mmask32>((1u << count) - 1); }
    static void blendShortRow(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                              std::int32_t count) {
        const Reach lanes = firstLanes(count);
        blendBlock<Avx512Lanes>(colour, alpha, destination, loadPixels(destination, lanes), lanes);
    }
    static void copyShortRow(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
        copyBlock<Avx512Lanes>(colour, destination, firstLanes(count));
    }
};

}  // namespace

// Every processor with AVX-512BW has AVX2, and wider vectors gain nothing on 96 KB of table stores.
const KernelFunctions kAvx512Functions{blendRows<Avx512Lanes>, copyRows<Avx512Lanes>, buildBlendTablesAvx2};

#if defined(__clang__)
#pragma clang attribute pop
#endif

#endif
