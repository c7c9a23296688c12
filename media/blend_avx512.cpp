// The blended draw and the opaque copy 32 pixels at a time with AVX-512BW; the arithmetic is the
// SSE2 kernel's (blend_sse2.cpp). Mask registers do what the narrower kernels need extra work for:
// the store mask leaves transparent pixels alone (bit 15 and all), and masked loads and stores
// handle the start and end of a row without touching a byte outside it.
#include "media/blend_fast.h"

#if PAWN_X86_KERNELS

#include <immintrin.h>

#define PAWN_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace {

// The blend of every pixel, to be stored only where alpha is not 0.
PAWN_AVX512 inline __m512i blend32(__m512i s, __m512i d, __m512i alphaBytes) {
    const __m512i fields = _mm512_set1_epi16(0x3e);
    // Eight alpha bytes to the low half of each 128-bit lane, each then paired with itself: a * 257.
    const __m512i spread = _mm512_maskz_permutexvar_epi64(0xff, _mm512_set_epi64(3, 3, 2, 2, 1, 1, 0, 0), alphaBytes);
    const __m512i twice = _mm512_unpacklo_epi8(spread, spread);
    const __m512i q = _mm512_avg_epu16(twice, _mm512_set1_epi16(1));
    __m512i out = _mm512_and_si512(d, _mm512_set1_epi16(0x7fff));

    __m512i sc = _mm512_and_si512(_mm512_add_epi16(s, s), fields);
    __m512i dc = _mm512_and_si512(_mm512_add_epi16(d, d), fields);
    out = _mm512_add_epi16(out, _mm512_sub_epi16(_mm512_mulhi_epu16(sc, q), _mm512_mulhi_epu16(dc, q)));
    sc = _mm512_and_si512(_mm512_srli_epi16(s, 4), fields);
    dc = _mm512_and_si512(_mm512_srli_epi16(d, 4), fields);
    out = _mm512_add_epi16(out,
                           _mm512_slli_epi16(_mm512_sub_epi16(_mm512_mulhi_epu16(sc, q), _mm512_mulhi_epu16(dc, q)), 5));
    sc = _mm512_and_si512(_mm512_srli_epi16(s, 9), fields);
    dc = _mm512_and_si512(_mm512_srli_epi16(d, 9), fields);
    return _mm512_add_epi16(out,
                            _mm512_slli_epi16(_mm512_sub_epi16(_mm512_mulhi_epu16(sc, q), _mm512_mulhi_epu16(dc, q)), 10));
}

// Up to 32 pixels at x: those whose bit is set in `lanes`. The alpha bytes go through 512-bit
// registers, of which only the low half is used, so that no instruction needs AVX-512VL.
PAWN_AVX512 inline void step32(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                               __mmask32 lanes) {
    const __m512i a = _mm512_maskz_loadu_epi8(lanes, alpha);
    const __mmask32 drawn = static_cast<__mmask32>(_mm512_test_epi8_mask(a, a));
    if (drawn == 0) return;
    const __m512i s = _mm512_maskz_loadu_epi16(lanes, colour);
    __m512i out;
    if (static_cast<__mmask32>(_mm512_cmpeq_epi8_mask(a, _mm512_set1_epi8(-1))) == lanes) {
        out = _mm512_and_si512(s, _mm512_set1_epi16(0x7fff));
    } else {
        // Transparent pixels keep the destination through a register move rather than a sparse store
        // mask: stores with gaps in their mask are slow on some processors.
        const __m512i d = _mm512_maskz_loadu_epi16(lanes, destination);
        out = _mm512_mask_mov_epi16(d, drawn, blend32(s, d, a));
    }
    if (lanes == ~__mmask32{0}) _mm512_storeu_si512(destination, out);
    else _mm512_mask_storeu_epi16(destination, lanes, out);
}

PAWN_AVX512 void blendRowAvx512(const std::uint16_t* colour, const std::uint8_t* alpha, std::uint16_t* destination,
                                std::int32_t count) {
    std::int32_t x = 0;
    for (; x + 32 <= count; x += 32) step32(colour + x, alpha + x, destination + x, ~__mmask32{0});
    if (x < count) step32(colour + x, alpha + x, destination + x, static_cast<__mmask32>((1u << (count - x)) - 1));
}

PAWN_AVX512 void copyRowAvx512(const std::uint16_t* colour, std::uint16_t* destination, std::int32_t count) {
    const __m512i low15 = _mm512_set1_epi16(0x7fff);
    std::int32_t x = 0;
    for (; x + 32 <= count; x += 32)
        _mm512_storeu_si512(destination + x, _mm512_and_si512(_mm512_loadu_si512(colour + x), low15));
    if (x < count) {
        const __mmask32 lanes = static_cast<__mmask32>((1u << (count - x)) - 1);
        _mm512_mask_storeu_epi16(destination + x, lanes,
                                 _mm512_and_si512(_mm512_maskz_loadu_epi16(lanes, colour + x), low15));
    }
}

}  // namespace

PAWN_AVX512 void blendUnitAvx512(const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination,
                                 const Rect& drawn, std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, &alpha, destination, drawn, skipX, skipY, i);
        blendRowAvx512(row.colour, row.alpha, row.destination, drawn.width);
    }
}

PAWN_AVX512 void copyOpaqueAvx512(const PixelRows& colour, const PixelRows& destination, const Rect& drawn,
                                  std::int32_t skipX, std::int32_t skipY) {
    for (std::int32_t i = 0; i < drawn.height; ++i) {
        const BlendRow row = blendRowAt(colour, nullptr, destination, drawn, skipX, skipY, i);
        copyRowAvx512(row.colour, row.destination, drawn.width);
    }
}

#endif
