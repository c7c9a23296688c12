// The blended draw and the opaque copy 16 pixels at a time with AVX2, and the table build four
// products at a time: what the shared walker and table build (blend_rows.h) ask of a kernel. Only
// the functions here carry the AVX2 target: the rest of the module stays baseline and runs on any
// processor.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "core/abi.h"
#include "media/blend.h"

// From here to the end of the file every function is built for AVX2, the shared ones included.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif
#include "media/blend_rows.h"

namespace {

// The lanes of the walker: 16 pixels in a 256-bit register.
struct Avx2Lanes : WholeVectorLanes<32> {
    using Alpha = __m128i;  // sixteen alpha bytes

    [[gnu::always_inline]] static Pixels mulhiUnsigned(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(
            _mm256_mulhi_epu16(reinterpret_cast<__m256i>(a), reinterpret_cast<__m256i>(b)));
    }
    [[gnu::always_inline]] static Pixels average(Pixels a, Pixels b) {
        return reinterpret_cast<Pixels>(_mm256_avg_epu16(reinterpret_cast<__m256i>(a), reinterpret_cast<__m256i>(b)));
    }

    [[gnu::always_inline]] static Alpha loadAlpha(const std::uint8_t* at, Reach) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    }
    [[gnu::always_inline]] static bool noneDrawn(Alpha alpha) { return _mm_testz_si128(alpha, alpha); }
    [[gnu::always_inline]] static bool allOpaque(Alpha alpha, Reach) { return _mm_test_all_ones(alpha); }
    [[gnu::always_inline]] static Pixels blend(Pixels s, Pixels d, Alpha alpha) {
        // Bytes 0-7 to the low half and 8-15 to the high half, each then paired with itself: a * 257.
        const __m256i spread = _mm256_permute4x64_epi64(_mm256_castsi128_si256(alpha), 0x50);
        const Pixels twice = reinterpret_cast<Pixels>(_mm256_unpacklo_epi8(spread, spread));
        return blendLanes<Avx2Lanes>(s, d, twice, keptBits(d, twice));
    }

    // Rows too short for a 16-pixel vector take the 8-pixel ones.
    static void blendShortRow(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                              std::int32_t count) {
        blendRowSse2(colour, alpha, destination, count);
    }
    static void copyShortRow(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
        copyRowSse2(colour, destination, count);
    }
};

// As the SSE2 shares (blend_sse2.cpp), four products at a time.
struct Avx2Shares {
    Avx2Shares(std::int32_t c, double scale)
        : c_(_mm256_set1_pd(c)), scale_(_mm256_set1_pd(scale)), alpha_(_mm256_set_pd(3.0, 2.0, 1.0, 0.0)) {}

    TableEntries next() {
        const __m128i low = fourShares(), high = fourShares();
        return reinterpret_cast<TableEntries>(_mm_packs_epi32(low, high));
    }

private:
    __m128i fourShares() {
        const __m256d share =
            _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(c_, alpha_), scale_), _mm256_set1_pd(0.00392156862745098));
        alpha_ = _mm256_add_pd(alpha_, _mm256_set1_pd(4.0));
        return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(share, _mm256_setzero_pd()), c_));
    }

    __m256d c_, scale_, alpha_;
};

}  // namespace

void buildBlendTablesAvx2(const BlendTableSet& tables, double scale) { buildTablesWith<Avx2Shares>(tables, scale); }

const KernelFunctions kAvx2Functions{blendRows<Avx2Lanes>, copyRows<Avx2Lanes>, buildBlendTablesAvx2};

#if defined(__clang__)
#pragma clang attribute pop
#endif

#endif
