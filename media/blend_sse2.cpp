// The blended draw, the opaque copy and the table build 8 entries at a time with SSE2, which every
// processor of the 32-bit Windows target has: what the shared walker and table build
// (blend_rows.h) ask of a kernel.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "core/abi.h"
#include "media/blend.h"

// From here to the end of the file every function is built for SSE2, the shared ones included.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC target("sse2")
#endif
#include "media/blend_rows.h"

namespace {

// The lanes of the walker: 8 pixels in a 128-bit register.
struct Sse2Lanes : WholeVectorLanes<16> {
    // Eight alpha bytes: as one word for the run tests, and where they lie for the blend.
    struct Alpha {
        std::uint64_t word;
        const std::uint8_t* bytes;
    };

    [[gnu::always_inline]] static Pixels mulhiUnsigned(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(_mm_mulhi_epu16(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
    }
    [[gnu::always_inline]] static Pixels average(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(_mm_avg_epu16(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
    }

    [[gnu::always_inline]] static Alpha loadAlpha(const std::uint8_t* at, Reach) {
        Alpha alpha{0, at};
        std::memcpy(&alpha.word, at, sizeof alpha.word);
        return alpha;
    }
    [[gnu::always_inline]] static bool noneDrawn(const Alpha& alpha) { return alpha.word == 0; }
    [[gnu::always_inline]] static bool allOpaque(const Alpha& alpha, Reach) { return alpha.word == ~std::uint64_t{0}; }
    [[gnu::always_inline]] static Pixels blend(Pixels s, Pixels d, const Alpha& alpha) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha.bytes));
        const Pixels twice = reinterpret_cast<Pixels>(_mm_unpacklo_epi8(bytes, bytes));  // a * 257
        return blendLanes<Sse2Lanes>(s, d, twice, keptBits(d, twice));
    }

    static void blendShortRow(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                              std::int32_t count) {
        for (std::int32_t x = 0; x < count; ++x) destination[x] = blendUnitPixel(colour[x], destination[x], alpha[x]);
    }
    static void copyShortRow(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
        for (std::int32_t x = 0; x < count; ++x) destination[x] = static_cast<std::uint16_t>(colour[x] & 0x7fff);
    }
};

// Component c's source shares, two doubles at a time. With share = c * a * scale * (1/255) as the
// reference forms it (c * a is exact in a double), max(share, 0) turns negatives and NaN into 0
// (maxpd yields its second operand when the first is NaN) and min(.., c) caps the rest at c, as the
// reference's comparisons do.
struct Sse2Shares {
    Sse2Shares(std::int32_t c, double scale)
        : c_(_mm_set1_pd(c)), scale_(_mm_set1_pd(scale)), alpha_(_mm_set_pd(1.0, 0.0)) {}

    TableEntries next() {
        __m128i m[4];
        for (int k = 0; k < 4; ++k) {
            const __m128d share = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(c_, alpha_), scale_), _mm_set1_pd(0.00392156862745098));
            m[k] = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(share, _mm_setzero_pd()), c_));
            alpha_ = _mm_add_pd(alpha_, _mm_set1_pd(2.0));
        }
        return reinterpret_cast<TableEntries>(
            _mm_packs_epi32(_mm_unpacklo_epi64(m[0], m[1]), _mm_unpacklo_epi64(m[2], m[3])));
    }

    __m128d c_, scale_, alpha_;
};

}  // namespace

void blendRowSse2(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                  std::int32_t count) {
    blendRow<Sse2Lanes>(colour, alpha, destination, count);
}

void copyRowSse2(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
    copyRow<Sse2Lanes>(colour, destination, count);
}

const KernelFunctions kSse2Functions{blendRows<Sse2Lanes>, copyRows<Sse2Lanes>, buildTablesWith<Sse2Shares>};

#if defined(__clang__)
#pragma clang attribute pop
#endif

#endif
