// The blended draw and the opaque copy 16 pixels at a time with AVX2; the arithmetic is the SSE2
// kernel's (blend_sse2.cpp). Only the functions here carry the AVX2 target: the rest of the module
// stays baseline and runs on any processor.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <immintrin.h>

#define PAWN_AVX2 __attribute__((target("avx2")))

namespace {

PAWN_AVX2 inline __m256i blend16(__m256i s, __m256i d, __m128i alphaBytes) {
    const __m256i fields = _mm256_set1_epi16(0x3e);
    // Bytes 0-7 to the low half and 8-15 to the high half, each then paired with itself: a * 257.
    const __m256i spread = _mm256_permute4x64_epi64(_mm256_castsi128_si256(alphaBytes), 0x50);
    const __m256i twice = _mm256_unpacklo_epi8(spread, spread);
    const __m256i q = _mm256_avg_epu16(twice, _mm256_set1_epi16(1));
    const __m256i keep = _mm256_cmpeq_epi16(twice, _mm256_setzero_si256());
    __m256i out = _mm256_and_si256(d, _mm256_or_si256(keep, _mm256_set1_epi16(0x7fff)));

    __m256i sc = _mm256_and_si256(_mm256_add_epi16(s, s), fields);
    __m256i dc = _mm256_and_si256(_mm256_add_epi16(d, d), fields);
    out = _mm256_add_epi16(out, _mm256_sub_epi16(_mm256_mulhi_epu16(sc, q), _mm256_mulhi_epu16(dc, q)));
    sc = _mm256_and_si256(_mm256_srli_epi16(s, 4), fields);
    dc = _mm256_and_si256(_mm256_srli_epi16(d, 4), fields);
    out = _mm256_add_epi16(out,
                           _mm256_slli_epi16(_mm256_sub_epi16(_mm256_mulhi_epu16(sc, q), _mm256_mulhi_epu16(dc, q)), 5));
    sc = _mm256_and_si256(_mm256_srli_epi16(s, 9), fields);
    dc = _mm256_and_si256(_mm256_srli_epi16(d, 9), fields);
    return _mm256_add_epi16(out,
                            _mm256_slli_epi16(_mm256_sub_epi16(_mm256_mulhi_epu16(sc, q), _mm256_mulhi_epu16(dc, q)), 10));
}

PAWN_AVX2 inline void step16(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                             __m256i d) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha));
    if (_mm_testz_si128(a, a)) return;
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colour));
    __m256i out;
    if (_mm_test_all_ones(a)) out = _mm256_and_si256(s, _mm256_set1_epi16(0x7fff));
    else out = blend16(s, d, a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination), out);
}

PAWN_AVX2 void blendRowAvx2(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                            std::int32_t count) {
    // The last vector ends at the row's end and is computed from the destination as it was before
    // the row was written, so where it overlaps the one before it, it writes the same values.
    const std::int32_t last = count - 16;
    const __m256i lastD = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(destination + last));
    for (std::int32_t x = 0; x < last; x += 16)
        step16(colour + x, alpha + x, destination + x,
               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(destination + x)));
    step16(colour + last, alpha + last, destination + last, lastD);
}

PAWN_AVX2 void copyRowAvx2(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
    const __m256i low15 = _mm256_set1_epi16(0x7fff);
    const std::int32_t last = count - 16;
    for (std::int32_t x = 0; x < last; x += 16)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + x),
                            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(colour + x)), low15));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + last),
                        _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(colour + last)), low15));
}

}  // namespace

// As buildBlendTablesSse2, four products at a time.
PAWN_AVX2 void buildBlendTablesAvx2(const BlendTableSet& tables, double scale) {
    const __m256d scaleD = _mm256_set1_pd(scale), inverse = _mm256_set1_pd(0.00392156862745098);
    const __m256d zero = _mm256_setzero_pd(), step = _mm256_set1_pd(4.0);
    for (std::int32_t c = 0; c < 32; ++c) {
        const __m256d cD = _mm256_set1_pd(c);
        const __m128i cW = _mm_set1_epi16(static_cast<short>(c));
        __m256d a = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
        for (std::int32_t first = 0; first < 256; first += 8) {
            const __m256d low = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(cD, a), scaleD), inverse);
            a = _mm256_add_pd(a, step);
            const __m256d high = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(cD, a), scaleD), inverse);
            a = _mm256_add_pd(a, step);
            const __m128i source =
                _mm_packs_epi32(_mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(low, zero), cD)),
                                _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(high, zero), cD)));
            const __m128i rest = _mm_sub_epi16(cW, source);
            const std::int32_t at = c * 256 + first;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.srcBlue + at), source);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.srcGreen + at), _mm_slli_epi16(source, 5));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.srcRed + at), _mm_slli_epi16(source, 10));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.dstBlue + at), rest);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.dstGreen + at), _mm_slli_epi16(rest, 5));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(tables.dstRed + at), _mm_slli_epi16(rest, 10));
        }
    }
}

PAWN_AVX2 void blendUnitAvx2(const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination,
                             const Rect& drawn, std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, &alpha, destination, drawn, skipX, skipY, i);
        if (drawn.width < 16) blendRowSse2(row.colour, row.alpha, row.destination, drawn.width);
        else blendRowAvx2(row.colour, row.alpha, row.destination, drawn.width);
    }
}

PAWN_AVX2 void copyOpaqueAvx2(const PixelRows& colour, const PixelRows& destination, const Rect& drawn,
                              std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, nullptr, destination, drawn, skipX, skipY, i);
        if (drawn.width < 16) copyRowSse2(row.colour, row.destination, drawn.width);
        else copyRowAvx2(row.colour, row.destination, drawn.width);
    }
}

#endif
