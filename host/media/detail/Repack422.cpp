#include "Repack422.h"

#include <emmintrin.h>

namespace zel::media::detail {

void packRow422(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* packed,
                int width, PackedOrder order) {
  const bool uyvy = order == PackedOrder::Uyvy;
  int x = 0;
  // Sixteen pixels a step: Cb and Cr interleave into chroma pairs, which interleave with the lumas.
  for (; x + 16 <= width; x += 16) {
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
    const __m128i chroma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2)));
    const __m128i lo = uyvy ? _mm_unpacklo_epi8(chroma, luma) : _mm_unpacklo_epi8(luma, chroma);
    const __m128i hi = uyvy ? _mm_unpackhi_epi8(chroma, luma) : _mm_unpackhi_epi8(luma, chroma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 2 * x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 2 * x + 16), hi);
  }
  for (; x + 2 <= width; x += 2) {
    std::uint8_t* p = packed + 2 * x;
    if (uyvy) {
      p[0] = cb[x / 2], p[1] = y[x], p[2] = cr[x / 2], p[3] = y[x + 1];
    } else {
      p[0] = y[x], p[1] = cb[x / 2], p[2] = y[x + 1], p[3] = cr[x / 2];
    }
  }
}

void unpackRow422(const std::uint8_t* packed, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr, int width,
                  PackedOrder order) {
  const bool uyvy = order == PackedOrder::Uyvy;
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  // The byte of each 16-bit word that holds luma: high in UYVY, low in YUY2; the other holds chroma.
  const auto lumaOf = [&](__m128i v) { return uyvy ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, lowBytes); };
  const auto chromaOf = [&](__m128i v) { return uyvy ? _mm_and_si128(v, lowBytes) : _mm_srli_epi16(v, 8); };
  int x = 0;
  // Thirty-two pixels a step: 64 packed bytes give 32 lumas and 16 chroma pairs.
  for (; x + 32 <= width; x += 32) {
    const __m128i* p = reinterpret_cast<const __m128i*>(packed + 2 * x);
    const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1), c = _mm_loadu_si128(p + 2),
                  d = _mm_loadu_si128(p + 3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), _mm_packus_epi16(lumaOf(a), lumaOf(b)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x + 16), _mm_packus_epi16(lumaOf(c), lumaOf(d)));
    // Chroma pairs Cb Cr, Cb Cr, ...: Cb in the low byte of each word, Cr in the high one.
    const __m128i pairs0 = _mm_packus_epi16(chromaOf(a), chromaOf(b));
    const __m128i pairs1 = _mm_packus_epi16(chromaOf(c), chromaOf(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x / 2),
                     _mm_packus_epi16(_mm_and_si128(pairs0, lowBytes), _mm_and_si128(pairs1, lowBytes)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x / 2),
                     _mm_packus_epi16(_mm_srli_epi16(pairs0, 8), _mm_srli_epi16(pairs1, 8)));
  }
  for (; x + 2 <= width; x += 2) {
    const std::uint8_t* p = packed + 2 * x;
    if (uyvy) {
      cb[x / 2] = p[0], y[x] = p[1], cr[x / 2] = p[2], y[x + 1] = p[3];
    } else {
      y[x] = p[0], cb[x / 2] = p[1], y[x + 1] = p[2], cr[x / 2] = p[3];
    }
  }
}

}  // namespace zel::media::detail
