// The blended draw and the opaque copy 8 pixels at a time with SSE2, which every processor of the
// 32-bit Windows target has.
//
// The arithmetic, per 16-bit lane: with q = (a * 257 + 2) >> 1, floor(2c * q / 65536) equals
// c * a / 255 for every 5-bit c and 8-bit a (q exceeds a * 32768 / 255 by at most 1, and 31 such
// excesses stay below the 1/255 that separates c * a / 255 from the next integer), so one unsigned
// multiply-high per product replaces the table look-up. Each component of the destination then
// moves by (s * a / 255 - d * a / 255) in place; the sums stay within 0..31, so no component carries
// into its neighbour.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <emmintrin.h>

#include <cstring>

#define PAWN_SSE2 __attribute__((target("sse2")))

namespace {

PAWN_SSE2 inline __m128i blend8(__m128i s, __m128i d, __m128i alphaBytes) {
    const __m128i fields = _mm_set1_epi16(0x3e);
    const __m128i twice = _mm_unpacklo_epi8(alphaBytes, alphaBytes);  // a * 257
    const __m128i q = _mm_avg_epu16(twice, _mm_set1_epi16(1));
    // Alpha 0 keeps the whole pixel, bit 15 too; everywhere else bit 15 is written as 0.
    const __m128i keep = _mm_cmpeq_epi16(twice, _mm_setzero_si128());
    __m128i out = _mm_and_si128(d, _mm_or_si128(keep, _mm_set1_epi16(0x7fff)));

    __m128i sc = _mm_and_si128(_mm_add_epi16(s, s), fields);
    __m128i dc = _mm_and_si128(_mm_add_epi16(d, d), fields);
    out = _mm_add_epi16(out, _mm_sub_epi16(_mm_mulhi_epu16(sc, q), _mm_mulhi_epu16(dc, q)));
    sc = _mm_and_si128(_mm_srli_epi16(s, 4), fields);
    dc = _mm_and_si128(_mm_srli_epi16(d, 4), fields);
    out = _mm_add_epi16(out, _mm_slli_epi16(_mm_sub_epi16(_mm_mulhi_epu16(sc, q), _mm_mulhi_epu16(dc, q)), 5));
    sc = _mm_and_si128(_mm_srli_epi16(s, 9), fields);
    dc = _mm_and_si128(_mm_srli_epi16(d, 9), fields);
    return _mm_add_epi16(out, _mm_slli_epi16(_mm_sub_epi16(_mm_mulhi_epu16(sc, q), _mm_mulhi_epu16(dc, q)), 10));
}

// Eight pixels at x, with `d` the destination as it was before the row was touched. Runs of
// transparent pixels cost one alpha load and opaque runs a masked copy: a figure is mostly one or
// the other.
PAWN_SSE2 inline void step8(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                            __m128i d) {
    std::uint64_t word;
    std::memcpy(&word, alpha, sizeof word);
    if (word == 0) return;
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour));
    __m128i out;
    if (word == ~std::uint64_t{0}) out = _mm_and_si128(s, _mm_set1_epi16(0x7fff));
    else out = blend8(s, d, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), out);
}

}  // namespace

PAWN_SSE2 void blendRowSse2(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                            std::int32_t count) {
    if (count < 8) {
        for (std::int32_t x = 0; x < count; ++x)
            destination[x] = blendUnitPixel(colour[x], destination[x], alpha[x]);
        return;
    }
    // The last vector ends at the row's end and may overlap the one before it; it is computed from
    // the destination as it was before the row was written, so the overlap gets the same values.
    const std::int32_t last = count - 8;
    const __m128i lastD = _mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + last));
    for (std::int32_t x = 0; x < last; x += 8)
        step8(colour + x, alpha + x, destination + x,
              _mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + x)));
    step8(colour + last, alpha + last, destination + last, lastD);
}

PAWN_SSE2 void copyRowSse2(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
    if (count < 8) {
        for (std::int32_t x = 0; x < count; ++x) destination[x] = static_cast<std::uint16_t>(colour[x] & 0x7fff);
        return;
    }
    const __m128i low15 = _mm_set1_epi16(0x7fff);
    const std::int32_t last = count - 8;
    for (std::int32_t x = 0; x < last; x += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x),
                         _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colour + x)), low15));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + last),
                     _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colour + last)), low15));
}

// Component c's entries for alpha 0..255, eight at a time. With share = c * a * scale * (1/255) as
// the reference forms it (c * a is exact in a double), max(share, 0) turns negatives and NaN into 0
// (maxpd yields its second operand when the first is NaN) and min(.., c) caps the rest at c, as the
// reference's comparisons do.
PAWN_SSE2 void buildBlendTablesSse2(const BlendTableSet& tables, double scale) {
    const __m128d scaleD = _mm_set1_pd(scale), inverse = _mm_set1_pd(0.00392156862745098), zero = _mm_setzero_pd();
    for (std::int32_t c = 0; c < 32; ++c) {
        const __m128d cD = _mm_set1_pd(c);
        const __m128i cW = _mm_set1_epi16(static_cast<short>(c));
        __m128d a = _mm_set_pd(1.0, 0.0);
        for (std::int32_t first = 0; first < 256; first += 8) {
            __m128i m[4];
            for (int k = 0; k < 4; ++k) {
                const __m128d share = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(cD, a), scaleD), inverse);
                m[k] = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(share, zero), cD));
                a = _mm_add_pd(a, _mm_set1_pd(2.0));
            }
            const __m128i source = _mm_packs_epi32(_mm_unpacklo_epi64(m[0], m[1]), _mm_unpacklo_epi64(m[2], m[3]));
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

void blendUnitSse2(const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination, const Rect& drawn,
                   std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, &alpha, destination, drawn, skipX, skipY, i);
        blendRowSse2(row.colour, row.alpha, row.destination, drawn.width);
    }
}

void copyOpaqueSse2(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
                    std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, nullptr, destination, drawn, skipX, skipY, i);
        copyRowSse2(row.colour, row.destination, drawn.width);
    }
}

#endif
