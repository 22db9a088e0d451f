#include "compositing/Compositing.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace zel2clock {
namespace {

// Bitmap byte order of one pixel.
constexpr std::uint32_t kBitmapB = 0, kBitmapG = 1, kBitmapR = 2, kBitmapA = 3;

// The Y'CbCr weights of red, green and blue. The first luma and the chroma weights are in 256ths,
// exact in binary, so the formula's decimals (0.30078125 ...) are these numbers over 256. The
// second luma's are thousandths (0.299, 0.587, 0.114); over 1000 they round to the same doubles.
struct Weights {
  std::int32_t r, g, b;
};
constexpr Weights kLuma256{77, 150, 29};
constexpr Weights kCr256{131, -110, -21};
constexpr Weights kCb256{-44, -87, 131};
constexpr Weights kSecondLuma1000{299, 587, 114};
constexpr double Over256(std::int32_t w) { return w / 256.0; }
constexpr double Over1000(std::int32_t w) { return w / 1000.0; }
static_assert(Over256(kLuma256.r) == 0.30078125 && Over256(kCr256.g) == -0.4296875 && Over256(kCb256.r) == -0.171875);
static_assert(Over1000(kSecondLuma1000.r) == 0.299 && Over1000(kSecondLuma1000.g) == 0.587 &&
              Over1000(kSecondLuma1000.b) == 0.114);

// Exact x / 255 for 0 <= x <= 65025 (every product of two bytes).
constexpr std::uint32_t Div255(std::uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// True when the four offsets are the bytes 0..3 of a 4-byte pixel (or pair) in some order, so a
// run of pixels is one contiguous block that vector code may load and store whole.
bool IsPacked(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
              std::uint32_t step) {
  if (step != 4 || a > 3 || b > 3 || c > 3 || d > 3) return false;
  return ((1u << a) | (1u << b) | (1u << c) | (1u << d)) == 0xFu;
}

bool IsPacked(const RgbaLayout& l) { return IsPacked(l.offR, l.offG, l.offB, l.offA, l.pixelStep); }
bool IsPacked(const Yuv422Layout& l) {
  return IsPacked(l.offY0, l.offY1, l.offCb, l.offCr, l.pairStep);
}

// ---- RGBA -----------------------------------------------------------------------------------

inline void CopyPixel(const std::uint8_t* ip, std::uint8_t* op, const RgbaLayout& l) {
  const std::uint8_t r = ip[l.offR], g = ip[l.offG], b = ip[l.offB], a = ip[l.offA];
  op[l.offR] = r;
  op[l.offG] = g;
  op[l.offB] = b;
  op[l.offA] = a;
}

inline void BlendPixelReference(const std::uint8_t* s, const std::uint8_t* ip, std::uint8_t* op,
                                const RgbaLayout& l) {
  const std::uint32_t a = s[kBitmapA];
  if (a == 0) {
    CopyPixel(ip, op, l);
    return;
  }
  const std::uint32_t inR = ip[l.offR], inG = ip[l.offG], inB = ip[l.offB];
  op[l.offR] = static_cast<std::uint8_t>((inR * (255 - a)) / 255 + (s[kBitmapR] * a) / 255);
  op[l.offG] = static_cast<std::uint8_t>((inG * (255 - a)) / 255 + (s[kBitmapG] * a) / 255);
  op[l.offB] = static_cast<std::uint8_t>((inB * (255 - a)) / 255 + (s[kBitmapB] * a) / 255);
  op[l.offA] = static_cast<std::uint8_t>(a);
}

// Bitmap byte index that lands at each byte of a packed host pixel.
std::array<std::uint32_t, 4> SourceIndex(const RgbaLayout& l) {
  std::array<std::uint32_t, 4> src{};
  src[l.offR] = kBitmapR;
  src[l.offG] = kBitmapG;
  src[l.offB] = kBitmapB;
  src[l.offA] = kBitmapA;
  return src;
}

// SSE2 can only permute 16-bit words by an immediate, so the byte order of the host pixel is a
// template argument: one instantiation per permutation of the four bytes.
constexpr std::array<int, 24> kPermutations = [] {
  std::array<int, 24> p{};
  int n = 0;
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b)
      for (int c = 0; c < 4; ++c)
        for (int d = 0; d < 4; ++d)
          if (a != b && a != c && a != d && b != c && b != d && c != d)
            p[n++] = a | b << 2 | c << 4 | d << 6;
  return p;
}();

inline __m128i Div255Epu16(__m128i x) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Four pixels' worth of words (two per call): bitmap words in BGRA order, input words in host
// order. Returns the blended words in host order.
template <int kShuffle>
inline __m128i BlendWordsSSE2(__m128i bw, __m128i iw, __m128i alphaLane) {
  const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(bw, 0xFF), 0xFF);
  const __m128i s = _mm_shufflehi_epi16(_mm_shufflelo_epi16(bw, kShuffle), kShuffle);
  const __m128i inv = _mm_sub_epi16(_mm_set1_epi16(255), a);
  const __m128i mixed = _mm_add_epi16(Div255Epu16(_mm_mullo_epi16(iw, inv)),
                                      Div255Epu16(_mm_mullo_epi16(s, a)));
  // The alpha byte is the bitmap's alpha, or the input's where the bitmap is transparent.
  const __m128i transparent = _mm_cmpeq_epi16(a, _mm_setzero_si128());
  const __m128i alpha = _mm_or_si128(_mm_and_si128(transparent, iw),
                                     _mm_andnot_si128(transparent, a));
  return _mm_or_si128(_mm_andnot_si128(alphaLane, mixed), _mm_and_si128(alphaLane, alpha));
}

template <int kShuffle>
void RowRGBA_SSE2(const std::uint8_t* bm, const std::uint8_t* in, std::uint8_t* out,
                  std::uint32_t width, const RgbaLayout& l) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  alignas(16) std::uint16_t laneWords[8] = {};
  laneWords[l.offA] = laneWords[l.offA + 4] = 0xFFFF;
  const __m128i alphaLane = _mm_load_si128(reinterpret_cast<const __m128i*>(laneWords));
  const bool inPlace = in == out;
  std::uint32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bm + 4 * x));
    const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(b, alphaBytes), zero);
    if (_mm_movemask_epi8(clear) == 0xFFFF) {
      if (!inPlace)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x)));
      continue;
    }
    const __m128i i = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    const __m128i lo =
        BlendWordsSSE2<kShuffle>(_mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(i, zero), alphaLane);
    const __m128i hi =
        BlendWordsSSE2<kShuffle>(_mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(i, zero), alphaLane);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(lo, hi));
  }
  for (; x < width; ++x) BlendPixelReference(bm + 4 * x, in + 4 * x, out + 4 * x, l);
}

using RowRGBAFn = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                           std::uint32_t, const RgbaLayout&);

template <std::size_t... I>
constexpr std::array<RowRGBAFn, sizeof...(I)> MakeSSE2Table(std::index_sequence<I...>) {
  return {&RowRGBA_SSE2<kPermutations[I]>...};
}
constexpr auto kRowRGBA_SSE2 = MakeSSE2Table(std::make_index_sequence<24>{});

__attribute__((target("avx2"))) inline __m256i Div255Epu16x16(__m256i x) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))),
                           7);
}

__attribute__((target("avx2"))) void RowRGBA_AVX2(const std::uint8_t* bm, const std::uint8_t* in,
                                                  std::uint8_t* out, std::uint32_t width,
                                                  const RgbaLayout& l) {
  const std::array<std::uint32_t, 4> src = SourceIndex(l);
  alignas(32) std::uint8_t order[32], broadcast[32], lane[32];
  for (int q = 0; q < 8; ++q)
    for (int p = 0; p < 4; ++p) {
      // vpshufb indexes within each 128-bit half: pixel q sits at 4 * (q % 4) of its half.
      order[4 * q + p] = static_cast<std::uint8_t>(4 * (q % 4) + src[p]);
      broadcast[4 * q + p] = static_cast<std::uint8_t>(4 * (q % 4) + kBitmapA);
      lane[4 * q + p] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(p) == l.offA ? 0xFF : 0);
    }
  const __m256i orderMask = _mm256_load_si256(reinterpret_cast<const __m256i*>(order));
  const __m256i broadcastMask = _mm256_load_si256(reinterpret_cast<const __m256i*>(broadcast));
  const __m256i alphaLane = _mm256_load_si256(reinterpret_cast<const __m256i*>(lane));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi8(static_cast<char>(0xFF));
  const __m256i alphaBytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const bool inPlace = in == out;
  std::uint32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bm + 4 * x));
    const __m256i clear = _mm256_cmpeq_epi32(_mm256_and_si256(b, alphaBytes), zero);
    if (_mm256_movemask_epi8(clear) == -1) {
      if (!inPlace)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * x)));
      continue;
    }
    const __m256i s = _mm256_shuffle_epi8(b, orderMask);
    // Fully opaque: (in * 0) / 255 + (s * 255) / 255 is the bitmap byte itself, alpha 255.
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(b, alphaBytes), alphaBytes)) ==
        -1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), s);
      continue;
    }
    const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * x));
    const __m256i a = _mm256_shuffle_epi8(b, broadcastMask);
    const __m256i inv = _mm256_xor_si256(a, ones);  // 255 - a
    const __m256i lo = _mm256_add_epi16(
        Div255Epu16x16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(i, zero),
                                          _mm256_unpacklo_epi8(inv, zero))),
        Div255Epu16x16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero),
                                          _mm256_unpacklo_epi8(a, zero))));
    const __m256i hi = _mm256_add_epi16(
        Div255Epu16x16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(i, zero),
                                          _mm256_unpackhi_epi8(inv, zero))),
        Div255Epu16x16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero),
                                          _mm256_unpackhi_epi8(a, zero))));
    const __m256i mixed = _mm256_packus_epi16(lo, hi);
    const __m256i alpha = _mm256_blendv_epi8(a, i, _mm256_cmpeq_epi8(a, zero));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x),
                        _mm256_blendv_epi8(mixed, alpha, alphaLane));
  }
  for (; x < width; ++x) BlendPixelReference(bm + 4 * x, in + 4 * x, out + 4 * x, l);
}

// Pixels one by one through the plain formula, skipping transparent ones in place: the path for
// layouts that are not four packed bytes.
void RowRGBA_Scalar(const std::uint8_t* bm, const std::uint8_t* in, std::uint8_t* out,
                    std::uint32_t width, const RgbaLayout& l) {
  const std::size_t step = l.pixelStep;
  const bool inPlace = in == out;
  for (std::uint32_t x = 0; x < width; ++x) {
    if (inPlace && bm[4 * x + kBitmapA] == 0) continue;
    BlendPixelReference(bm + 4 * x, in + x * step, out + x * step, l);
  }
}

// ---- 4:2:2 ----------------------------------------------------------------------------------

struct PairBytes {
  std::uint8_t y0, y1, cb, cr;
};

inline PairBytes LoadPair(const std::uint8_t* ip, const Yuv422Layout& l) {
  return {ip[l.offY0], ip[l.offY1], ip[l.offCb], ip[l.offCr]};
}

inline void StorePair(std::uint8_t* op, const Yuv422Layout& l, PairBytes p) {
  op[l.offCr] = p.cr;
  op[l.offY0] = p.y0;
  op[l.offCb] = p.cb;
  op[l.offY1] = p.y1;
}

// trunc(v * a / 255 + (in * (255 - a)) / 255) with v a double, as written.
inline std::uint8_t MixDouble(double v, std::uint32_t a, std::uint32_t in) {
  return static_cast<std::uint8_t>(
      static_cast<int>(v * a / 255 + static_cast<double>((in * (255 - a)) / 255)));
}

// The second luma as written: decimal weights in double precision.
inline double SecondLumaDouble(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Over1000(kSecondLuma1000.r) * r + Over1000(kSecondLuma1000.g) * g + Over1000(kSecondLuma1000.b) * b;
}

// One pair through the plain formula. `p` is the bitmap's first pixel; `hasSecond` is false for
// the unpaired last column of an odd width, whose missing pixel counts as transparent.
inline void BlendPairReference(const std::uint8_t* p, bool hasSecond, const std::uint8_t* ip,
                               std::uint8_t* op, const Yuv422Layout& l) {
  const PairBytes in = LoadPair(ip, l);
  const std::uint32_t a0 = p[kBitmapA];
  if (a0 == 0) {
    StorePair(op, l, in);
    return;
  }
  const double r0 = p[kBitmapR], g0 = p[kBitmapG], b0 = p[kBitmapB];
  std::uint32_t a1 = 0, r1 = 0, g1 = 0, b1 = 0;
  if (hasSecond) {
    a1 = p[4 + kBitmapA];
    r1 = p[4 + kBitmapR];
    g1 = p[4 + kBitmapG];
    b1 = p[4 + kBitmapB];
  }
  const double y0 = Over256(kLuma256.r) * r0 + Over256(kLuma256.g) * g0 + Over256(kLuma256.b) * b0;
  double cr = Over256(kCr256.r) * r0 + Over256(kCr256.g) * g0 + Over256(kCr256.b) * b0 + 128;
  double cb = Over256(kCb256.r) * r0 + Over256(kCb256.g) * g0 + Over256(kCb256.b) * b0 + 128;
  const double y1 = SecondLumaDouble(r1, g1, b1);
  // Saturated colours leave the byte range on both sides (Cr of pure red 258.49, of cyan -2.49).
  cr = std::fmin(std::fmax(cr, 0.0), 255.0);
  cb = std::fmin(std::fmax(cb, 0.0), 255.0);
  StorePair(op, l,
            {MixDouble(y0, a0, in.y0), MixDouble(y1, a1, in.y1), MixDouble(cb, a0, in.cb),
             MixDouble(cr, a0, in.cr)});
}

// The exact integer forms. Y0, Cb and Cr are multiples of 1/256 below 2^9, so their double
// values, products with alpha and sums are exact; v * a / 255 then differs from an integer either
// by zero or by at least 1/65280, far more than the rounding of the division and of adding an
// integer, so the truncation equals the integer floor of v256 * a / 65280.
inline std::uint32_t FirstLuma256Impl(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return kLuma256.r * r + kLuma256.g * g + kLuma256.b * b;
}
inline std::uint32_t Chroma256(std::int32_t v) {
  return static_cast<std::uint32_t>(v < 0 ? 0 : (v > 65280 ? 65280 : v));
}
inline std::uint32_t Cr256Impl(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Chroma256(kCr256.r * static_cast<std::int32_t>(r) + kCr256.g * static_cast<std::int32_t>(g) +
                   kCr256.b * static_cast<std::int32_t>(b) + 32768);
}
inline std::uint32_t Cb256Impl(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Chroma256(kCb256.r * static_cast<std::int32_t>(r) + kCb256.g * static_cast<std::int32_t>(g) +
                   kCb256.b * static_cast<std::int32_t>(b) + 32768);
}
// floor(v256 * a / 65280) = floor(floor(v256 * a / 256) / 255), and the inner value <= 65025.
inline std::uint8_t Mix256Impl(std::uint32_t v256, std::uint32_t a, std::uint32_t in) {
  return static_cast<std::uint8_t>(Div255((v256 * a) >> 8) + Div255(in * (255 - a)));
}

// The second luma's decimal weights are not exact in binary. With m = 299r + 587g + 114b the exact
// value is m / 1000 and the double is within 1e-13 of it, so trunc(Y1 * a / 255 + k) equals
// floor(m * a / 255000) + k whenever m * a is not a multiple of 255000: the exact quotient is then
// at least 1/255000 from an integer. When it is a multiple the double may fall just below the
// integer, and only the double arithmetic itself tells; those cases (greys at full alpha among
// them) run it, remembering the last quotient because a clock has few colours.
struct SecondLumaCache {
  std::uint64_t key = ~std::uint64_t{0};  // colour and alpha (32 bits): this is never one
  double quotient = 0;
};

inline std::uint8_t MixSecondLumaImpl(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                      std::uint32_t a, std::uint32_t in, SecondLumaCache& cache) {
  const std::uint32_t k = Div255(in * (255 - a));
  const std::uint32_t m = kSecondLuma1000.r * r + kSecondLuma1000.g * g + kSecondLuma1000.b * b;
  const std::uint32_t x = m * a;
  const std::uint32_t q = x / 255000;
  if (x != q * 255000 || m == 0) return static_cast<std::uint8_t>(q + k);
  const std::uint64_t key = (r << 24) | (g << 16) | (b << 8) | a;
  if (key != cache.key) {
    cache.key = key;
    cache.quotient = SecondLumaDouble(r, g, b) * a / 255;
  }
  return static_cast<std::uint8_t>(static_cast<int>(cache.quotient + static_cast<double>(k)));
}

__attribute__((always_inline)) inline void BlendPairFast(const std::uint8_t* p, bool hasSecond, const std::uint8_t* ip,
                          std::uint8_t* op, const Yuv422Layout& l, SecondLumaCache& cache) {
  const PairBytes in = LoadPair(ip, l);
  const std::uint32_t a0 = p[kBitmapA];
  const std::uint32_t r0 = p[kBitmapR], g0 = p[kBitmapG], b0 = p[kBitmapB];
  const std::uint32_t a1 = hasSecond ? p[4 + kBitmapA] : 0;
  const std::uint8_t y1 =
      a1 == 0 ? in.y1
              : MixSecondLumaImpl(p[4 + kBitmapR], p[4 + kBitmapG], p[4 + kBitmapB], a1, in.y1,
                                  cache);
  StorePair(op, l,
            {Mix256Impl(FirstLuma256Impl(r0, g0, b0), a0, in.y0), y1,
             Mix256Impl(Cb256Impl(r0, g0, b0), a0, in.cb),
             Mix256Impl(Cr256Impl(r0, g0, b0), a0, in.cr)});
}

// Pairs one by one: copy (or leave in place) where the first pixel is transparent, else blend.
inline void PairsScalar(const std::uint8_t* bm, const std::uint8_t* in, std::uint8_t* out,
                        std::uint32_t width, std::uint32_t firstPixel, const Yuv422Layout& l,
                        SecondLumaCache& cache) {
  const std::size_t step = l.pairStep;
  const bool inPlace = in == out;
  for (std::uint32_t x = firstPixel; x < width; x += 2) {
    const std::uint8_t* p = bm + 4 * std::size_t{x};
    const std::uint8_t* ip = in + (x / 2) * step;
    std::uint8_t* op = out + (x / 2) * step;
    if (p[kBitmapA] == 0) {
      if (!inPlace) StorePair(op, l, LoadPair(ip, l));
      continue;
    }
    BlendPairFast(p, x + 1 < width, ip, op, l, cache);
  }
}

// Four pairs per step: 32 bitmap bytes, 16 input bytes. Groups whose four first pixels are all
// transparent are copied whole (or skipped in place); the others blend pair by pair.
void RowYuv422_SSE2Impl(const std::uint8_t* bm, const std::uint8_t* in, std::uint8_t* out,
                        std::uint32_t width, const Yuv422Layout& l) {
  SecondLumaCache cache;
  if (!IsPacked(l)) {
    PairsScalar(bm, in, out, width, 0, l, cache);
    return;
  }
  const __m128i firstAlpha = _mm_set_epi32(0, static_cast<int>(0xFF000000u), 0,
                                           static_cast<int>(0xFF000000u));
  const __m128i zero = _mm_setzero_si128();
  const bool inPlace = in == out;
  std::uint32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bm + 4 * x));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bm + 4 * x + 16));
    const __m128i alphas = _mm_or_si128(_mm_and_si128(b0, firstAlpha), _mm_and_si128(b1, firstAlpha));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alphas, zero)) == 0xFFFF) {
      if (!inPlace)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x)));
      continue;
    }
    for (std::uint32_t p = 0; p < 4; ++p) {
      const std::uint32_t px = x + 2 * p;
      const std::uint8_t* bp = bm + 4 * px;
      if (bp[kBitmapA] == 0) {
        if (!inPlace) std::memcpy(out + 2 * px, in + 2 * px, 4);
        continue;
      }
      BlendPairFast(bp, true, in + 2 * px, out + 2 * px, l, cache);
    }
  }
  PairsScalar(bm, in, out, width, x, l, cache);
}

__attribute__((target("avx2"))) inline __m256i Div255Epi32(__m256i x) {
  const __m256i one = _mm256_set1_epi32(1);
  return _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(x, one), _mm256_srli_epi32(x, 8)), 8);
}

// One component byte of each pair (a 32-bit lane) at the given bit shift.
__attribute__((target("avx2"))) inline __m256i ByteAt(__m256i v, __m128i shift) {
  return _mm256_and_si256(_mm256_srl_epi32(v, shift), _mm256_set1_epi32(0xFF));
}

// Lambdas do not inherit the target attribute, so the AVX2 kernel's helpers are functions.
__attribute__((target("avx2"))) inline __m256i MulK(__m256i v, int k) {
  return _mm256_mullo_epi32(v, _mm256_set1_epi32(k));
}

// floor(v256 * a / 65280) + (in * (255 - a)) / 255 per lane; inv = 255 - a.
__attribute__((target("avx2"))) inline __m256i Mix256x8(__m256i v256, __m256i a, __m256i inv,
                                                       __m256i input) {
  return _mm256_add_epi32(Div255Epi32(_mm256_srli_epi32(_mm256_mullo_epi32(v256, a), 8)),
                          Div255Epi32(_mm256_mullo_epi32(input, inv)));
}

// Chroma in 256ths clamped to 0..65280: kr * r + kg * g + kb * b + 32768 with signed weights.
__attribute__((target("avx2"))) inline __m256i Chroma256x8(__m256i r, __m256i g, __m256i b,
                                                          const Weights& k) {
  const __m256i v = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_add_epi32(MulK(r, k.r), MulK(g, k.g)), MulK(b, k.b)),
      _mm256_set1_epi32(32768));
  return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()),
                          _mm256_set1_epi32(65280));
}

// trunc((0.299 r + 0.587 g + 0.114 b) * a / 255 + k) for four lanes, operation for operation.
__attribute__((target("avx2"))) inline __m128i SecondLumaX4(__m128i r, __m128i g, __m128i b,
                                                           __m128i a, __m128i k) {
  const __m256d y = _mm256_add_pd(
      _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(Over1000(kSecondLuma1000.r)), _mm256_cvtepi32_pd(r)),
                    _mm256_mul_pd(_mm256_set1_pd(Over1000(kSecondLuma1000.g)), _mm256_cvtepi32_pd(g))),
      _mm256_mul_pd(_mm256_set1_pd(Over1000(kSecondLuma1000.b)), _mm256_cvtepi32_pd(b)));
  const __m256d mixed =
      _mm256_add_pd(_mm256_div_pd(_mm256_mul_pd(y, _mm256_cvtepi32_pd(a)), _mm256_set1_pd(255.0)),
                    _mm256_cvtepi32_pd(k));
  return _mm256_cvttpd_epi32(mixed);
}

// Eight pairs per step, one pair per 32-bit lane: 64 bitmap bytes, 32 input bytes. First luma
// and chroma in the exact integer forms; the second luma in double precision, the very operations
// of the formula in the same order (four lanes at a time), so its rounding is the formula's own.
__attribute__((target("avx2"))) void RowYuv422_AVX2Impl(const std::uint8_t* bm,
                                                        const std::uint8_t* in, std::uint8_t* out,
                                                        std::uint32_t width,
                                                        const Yuv422Layout& l) {
  SecondLumaCache cache;
  if (!IsPacked(l)) {
    PairsScalar(bm, in, out, width, 0, l, cache);
    return;
  }
  const __m128i shiftY0 = _mm_cvtsi32_si128(static_cast<int>(8 * l.offY0));
  const __m128i shiftY1 = _mm_cvtsi32_si128(static_cast<int>(8 * l.offY1));
  const __m128i shiftCb = _mm_cvtsi32_si128(static_cast<int>(8 * l.offCb));
  const __m128i shiftCr = _mm_cvtsi32_si128(static_cast<int>(8 * l.offCr));
  const __m128i shiftR = _mm_cvtsi32_si128(8 * kBitmapR);
  const __m128i shiftG = _mm_cvtsi32_si128(8 * kBitmapG);
  const __m128i shiftB = _mm_cvtsi32_si128(8 * kBitmapB);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i c255 = _mm256_set1_epi32(255);
  const __m256i alphaBytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const bool inPlace = in == out;
  // The last group whose sixteen pixels were all opaque, and the pairs it gave. At alpha 255 the
  // input's share (in * 0) / 255 vanishes, so those pairs depend on the bitmap bytes alone: a
  // group with the same bytes (the inside of a clock's face or box) stores them again.
  __m256i opaqueLo = zero, opaqueHi = zero, opaquePairs = zero;
  bool haveOpaque = false;
  std::uint32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i loBytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bm + 4 * x));
    const __m256i hiBytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bm + 4 * x + 32));
    if (haveOpaque &&
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi32(loBytes, opaqueLo),
                                              _mm256_cmpeq_epi32(hiBytes, opaqueHi))) == -1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * x), opaquePairs);
      continue;
    }
    const __m256 lo = _mm256_castsi256_ps(loBytes);
    const __m256 hi = _mm256_castsi256_ps(hiBytes);
    // Even pixels (first of a pair) and odd ones, back in pair order across the two halves.
    const __m256i p0 = _mm256_permute4x64_epi64(
        _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
        _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i p1 = _mm256_permute4x64_epi64(
        _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))),
        _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i a0 = _mm256_srli_epi32(p0, 24);
    const __m256i copy = _mm256_cmpeq_epi32(a0, zero);
    if (_mm256_movemask_epi8(copy) == -1) {
      if (!inPlace)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * x),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * x)));
      continue;
    }
    const __m256i iv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * x));
    const __m256i r0 = ByteAt(p0, shiftR), g0 = ByteAt(p0, shiftG), b0 = ByteAt(p0, shiftB);
    const __m256i inv0 = _mm256_sub_epi32(c255, a0);
    const __m256i y0 =
        _mm256_add_epi32(_mm256_add_epi32(MulK(r0, kLuma256.r), MulK(g0, kLuma256.g)), MulK(b0, kLuma256.b));
    const __m256i outY0 = Mix256x8(y0, a0, inv0, ByteAt(iv, shiftY0));
    const __m256i outCr = Mix256x8(Chroma256x8(r0, g0, b0, kCr256), a0, inv0,
                                   ByteAt(iv, shiftCr));
    const __m256i outCb = Mix256x8(Chroma256x8(r0, g0, b0, kCb256), a0, inv0,
                                   ByteAt(iv, shiftCb));

    // Second luma: trunc(Y1 * a1 / 255 + (in * (255 - a1)) / 255); a1 = 0 gives the input.
    const __m256i a1 = _mm256_srli_epi32(p1, 24);
    const __m256i k1 =
        Div255Epi32(_mm256_mullo_epi32(ByteAt(iv, shiftY1), _mm256_sub_epi32(c255, a1)));
    const __m256i r1 = ByteAt(p1, shiftR), g1 = ByteAt(p1, shiftG), b1 = ByteAt(p1, shiftB);
    const __m128i y1Lo = SecondLumaX4(_mm256_castsi256_si128(r1), _mm256_castsi256_si128(g1),
                                      _mm256_castsi256_si128(b1), _mm256_castsi256_si128(a1),
                                      _mm256_castsi256_si128(k1));
    const __m128i y1Hi =
        SecondLumaX4(_mm256_extracti128_si256(r1, 1), _mm256_extracti128_si256(g1, 1),
                     _mm256_extracti128_si256(b1, 1), _mm256_extracti128_si256(a1, 1),
                     _mm256_extracti128_si256(k1, 1));
    const __m256i outY1 = _mm256_set_m128i(y1Hi, y1Lo);

    const __m256i pairs = _mm256_or_si256(
        _mm256_or_si256(_mm256_sll_epi32(outY0, shiftY0), _mm256_sll_epi32(outY1, shiftY1)),
        _mm256_or_si256(_mm256_sll_epi32(outCb, shiftCb), _mm256_sll_epi32(outCr, shiftCr)));
    // A pair whose first pixel is transparent is copied whole, whatever its second pixel holds.
    const __m256i result = _mm256_blendv_epi8(pairs, iv, copy);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * x), result);
    const __m256i bothAlphas = _mm256_and_si256(_mm256_and_si256(loBytes, hiBytes), alphaBytes);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(bothAlphas, alphaBytes)) == -1) {
      opaqueLo = loBytes;
      opaqueHi = hiBytes;
      opaquePairs = result;
      haveOpaque = true;
    }
  }
  // The scalar tail is plain SSE code: leave the AVX state clean before it.
  _mm256_zeroupper();
  PairsScalar(bm, in, out, width, x, l, cache);
}

bool DetectAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

}  // namespace

// ---- public row functions -------------------------------------------------------------------

void CompositeRowRGBAReference(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                               std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout) {
  const std::size_t step = layout.pixelStep;
  for (std::uint32_t x = 0; x < width; ++x)
    BlendPixelReference(bitmapRow + 4 * std::size_t{x}, in + x * step, out + x * step, layout);
}

void CompositeRowYuv422Reference(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                                 std::uint8_t* out, std::uint32_t width,
                                 const Yuv422Layout& layout) {
  const std::size_t step = layout.pairStep;
  for (std::uint32_t x = 0; x < width; x += 2)
    BlendPairReference(bitmapRow + 4 * std::size_t{x}, x + 1 < width, in + (x / 2) * step,
                       out + (x / 2) * step, layout);
}

void CompositeRowRGBA(const std::uint8_t* bitmapRow, const std::uint8_t* in, std::uint8_t* out,
                      std::uint32_t width, const RgbaLayout& layout) {
  static const bool avx2 = detail::HasAvx2();
  if (avx2)
    detail::CompositeRowRGBA_AVX2(bitmapRow, in, out, width, layout);
  else
    detail::CompositeRowRGBA_SSE2(bitmapRow, in, out, width, layout);
}

void CompositeRowYuv422(const std::uint8_t* bitmapRow, const std::uint8_t* in, std::uint8_t* out,
                        std::uint32_t width, const Yuv422Layout& layout) {
  static const bool avx2 = detail::HasAvx2();
  if (avx2)
    RowYuv422_AVX2Impl(bitmapRow, in, out, width, layout);
  else
    RowYuv422_SSE2Impl(bitmapRow, in, out, width, layout);
}

namespace detail {

bool HasAvx2() {
  static const bool avx2 = DetectAvx2();
  return avx2;
}

void CompositeRowRGBA_SSE2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                           std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout) {
  if (!IsPacked(layout)) {
    RowRGBA_Scalar(bitmapRow, in, out, width, layout);
    return;
  }
  const std::array<std::uint32_t, 4> src = SourceIndex(layout);
  const int shuffle = static_cast<int>(src[0] | src[1] << 2 | src[2] << 4 | src[3] << 6);
  for (std::size_t i = 0; i < kPermutations.size(); ++i)
    if (kPermutations[i] == shuffle) {
      kRowRGBA_SSE2[i](bitmapRow, in, out, width, layout);
      return;
    }
}

void CompositeRowRGBA_AVX2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                           std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout) {
  if (!IsPacked(layout)) {
    RowRGBA_Scalar(bitmapRow, in, out, width, layout);
    return;
  }
  RowRGBA_AVX2(bitmapRow, in, out, width, layout);
}

void CompositeRowYuv422_SSE2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                             std::uint8_t* out, std::uint32_t width, const Yuv422Layout& layout) {
  RowYuv422_SSE2Impl(bitmapRow, in, out, width, layout);
}

void CompositeRowYuv422_AVX2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                             std::uint8_t* out, std::uint32_t width, const Yuv422Layout& layout) {
  RowYuv422_AVX2Impl(bitmapRow, in, out, width, layout);
}

RowSpan DrawnSpan(const CompositeFrame& f, std::uint32_t row) {
  if (f.drawn == nullptr) return {0, f.width};
  const DrawnRect& d = *f.drawn;
  const std::int64_t r = row;
  if (r < d.top || r >= d.bottom) return {};
  const std::int64_t begin = std::clamp<std::int64_t>(d.left, 0, f.width);
  const std::int64_t end = std::clamp<std::int64_t>(d.right, 0, f.width);
  if (begin >= end) return {};
  return {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)};
}

int RowPieces(const CompositeFrame& f, std::uint32_t row, RowPiece (&pieces)[5]) {
  const RowSpan drawn = DrawnSpan(f, row);
  RowSpan kept{};
  const DrawnRect& b = f.backdropRect;
  const std::uint8_t* keptRow = nullptr;
  if (static_cast<std::int64_t>(row) >= b.top && static_cast<std::int64_t>(row) < b.bottom && b.left < b.right) {
    kept.begin = static_cast<std::uint32_t>(std::clamp<std::int64_t>(b.left, 0, f.width));
    kept.end = static_cast<std::uint32_t>(std::clamp<std::int64_t>(b.right, 0, f.width));
    keptRow = f.backdrop + (static_cast<std::size_t>(row) - static_cast<std::size_t>(b.top)) *
                               (static_cast<std::size_t>(b.right - b.left) * 4);
  }
  if (drawn.begin >= drawn.end && kept.begin >= kept.end) {
    pieces[0] = RowPiece{0, f.width, nullptr, false};  // most rows of a frame: nothing there
    return 1;
  }
  const std::uint8_t* bitmapRow = f.bitmap + std::size_t{row} * f.width * 4;
  // The bitmap wins where it is drawn; between and beyond the two spans the row is transparent.
  std::uint32_t edges[6] = {0, f.width, drawn.begin, drawn.end, kept.begin, kept.end};
  std::sort(std::begin(edges), std::end(edges));
  int n = 0;
  for (int i = 0; i + 1 < 6; ++i) {
    const std::uint32_t begin = edges[i], end = edges[i + 1];
    if (begin >= end) continue;
    const std::uint8_t* source = nullptr;
    if (begin >= drawn.begin && end <= drawn.end && drawn.begin < drawn.end) {
      source = bitmapRow + std::size_t{begin} * 4;
    } else if (begin >= kept.begin && end <= kept.end && kept.begin < kept.end) {
      source = keptRow + (std::size_t{begin} - static_cast<std::size_t>(b.left)) * 4;
    }
    const bool fromKept = source != nullptr && !(begin >= drawn.begin && end <= drawn.end && drawn.begin < drawn.end);
    // Neighbours from the same place are one piece.
    if (n > 0 && pieces[n - 1].end == begin &&
        ((source == nullptr && pieces[n - 1].source == nullptr) ||
         (source != nullptr && pieces[n - 1].source != nullptr &&
          pieces[n - 1].source + std::size_t{begin - pieces[n - 1].begin} * 4 == source))) {
      pieces[n - 1].end = end;
      continue;
    }
    pieces[n++] = RowPiece{begin, end, source, fromKept};
  }
  return n;
}

void CompositeKeptYuv422(const CompositeFrame& f, std::uint32_t row, const RowPiece& piece, const std::uint8_t* in,
                         std::uint8_t* out, const Yuv422Layout& layout) {
  const OpaquePairs& o = *f.opaquePairs;
  const std::size_t step = layout.pairStep;
  const std::uint32_t keptRow = row - static_cast<std::uint32_t>(f.backdropRect.top);
  const std::uint32_t left = static_cast<std::uint32_t>(f.backdropRect.left);
  // Pairs of the piece, counted from the backdrop's left edge; the frame's pair of each is
  // left / 2 further on.
  const std::uint32_t first = (piece.begin - left) / 2, end = (piece.end - left + 1) / 2;
  const std::uint8_t* pairs = o.pairs.data() + std::size_t{keptRow} * o.pairsPerRow * 4;
  const auto blend = [&](std::uint32_t from, std::uint32_t to) {
    if (from >= to) return;
    const std::uint32_t pixels = std::min(2 * to, piece.end - left) - 2 * from;
    const std::size_t framePair = left / 2 + from;
    CompositeRowYuv422(piece.source + std::size_t{2 * (from - first)} * 4, in + framePair * step, out + framePair * step,
                       pixels, layout);
  };
  std::uint32_t at = first;
  for (std::uint32_t k = o.rowRuns[keptRow]; k < o.rowRuns[keptRow + 1] && at < end; k += 3) {
    const std::uint32_t runBegin = std::max(o.runs[k], at), runEnd = std::min(o.runs[k + 1], end);
    if (runBegin >= runEnd) continue;
    blend(at, runBegin);
    if (o.runs[k + 2] != 0)
      std::memcpy(out + (left / 2 + runBegin) * step, pairs + std::size_t{runBegin} * 4, std::size_t{runEnd - runBegin} * 4);
    else
      CopyPairsYuv422(in, out, left / 2 + runBegin, left / 2 + runEnd, layout);
    at = runEnd;
  }
  blend(at, end);
}

}  // namespace detail

OpaquePairs MakeOpaquePairs(const std::uint8_t* backdrop, const DrawnRect& rect, const Yuv422Layout& layout) {
  OpaquePairs o;
  o.layout = layout;
  if (!IsPacked(layout) || rect.left >= rect.right || rect.top >= rect.bottom) return o;
  const std::uint32_t width = static_cast<std::uint32_t>(rect.right - rect.left);
  const std::uint32_t rows = static_cast<std::uint32_t>(rect.bottom - rect.top);
  o.pairsPerRow = width / 2;  // an odd last column is never a whole opaque pair
  o.pairs.assign(std::size_t{o.pairsPerRow} * 4 * rows, 0);
  o.rowRuns.reserve(rows + 1);
  const std::vector<std::uint8_t> anyInput(std::size_t{o.pairsPerRow} * 4, 0);
  for (std::uint32_t y = 0; y < rows; ++y) {
    o.rowRuns.push_back(static_cast<std::uint32_t>(o.runs.size()));
    const std::uint8_t* row = backdrop + std::size_t{y} * width * 4;
    std::uint8_t* pairs = o.pairs.data() + std::size_t{y} * o.pairsPerRow * 4;
    // Composited by the very row function, over a blank input that they do not depend on.
    CompositeRowYuv422Reference(row, anyInput.data(), pairs, 2 * o.pairsPerRow, layout);
    // 1: both pixels opaque; 0: the first transparent; 2: anything else, blended.
    const auto kind = [row](std::uint32_t p) -> std::uint32_t {
      const std::uint8_t a0 = row[8 * p + kBitmapA], a1 = row[8 * p + 4 + kBitmapA];
      return a0 == 0 ? 0 : a0 == 255 && a1 == 255 ? 1 : 2;
    };
    for (std::uint32_t p = 0; p < o.pairsPerRow;) {
      const std::uint32_t k = kind(p), begin = p;
      while (p < o.pairsPerRow && kind(p) == k) ++p;
      if (k == 2) continue;
      o.runs.insert(o.runs.end(), {begin, p, k});
    }
  }
  o.rowRuns.push_back(static_cast<std::uint32_t>(o.runs.size()));
  return o;
}

namespace detail {

void CopyPixelsRGBA(const std::uint8_t* in, std::uint8_t* out, std::uint32_t begin,
                    std::uint32_t end, const RgbaLayout& layout) {
  if (in == out || begin >= end) return;
  const std::size_t step = layout.pixelStep;
  if (IsPacked(layout)) {
    std::memcpy(out + begin * step, in + begin * step, (end - begin) * step);
    return;
  }
  for (std::uint32_t x = begin; x < end; ++x) CopyPixel(in + x * step, out + x * step, layout);
}

void CopyPairsYuv422(const std::uint8_t* in, std::uint8_t* out, std::uint32_t begin,
                     std::uint32_t end, const Yuv422Layout& layout) {
  if (in == out || begin >= end) return;
  const std::size_t step = layout.pairStep;
  if (IsPacked(layout)) {
    std::memcpy(out + begin * step, in + begin * step, (end - begin) * step);
    return;
  }
  for (std::uint32_t p = begin; p < end; ++p)
    StorePair(out + p * step, layout, LoadPair(in + p * step, layout));
}

std::uint32_t FirstLuma256(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return FirstLuma256Impl(r, g, b);
}
std::uint32_t Cb256(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Cb256Impl(r, g, b);
}
std::uint32_t Cr256(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return Cr256Impl(r, g, b);
}
std::uint8_t Mix256(std::uint32_t v256, std::uint32_t a, std::uint32_t in) {
  return Mix256Impl(v256, a, in);
}
std::uint8_t MixSecondLuma(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a,
                           std::uint32_t in) {
  SecondLumaCache cache;
  return MixSecondLumaImpl(r, g, b, a, in, cache);
}

}  // namespace detail
}  // namespace zel2clock
