// Blending the drawn bitmap into RGBA and 4:2:2 rows: documented bytes, and every fast path held
// to the plain formula over every input byte, bitmap byte and alpha.
#include "compositing/Compositing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace zel2clock {
namespace {

using Bytes = std::vector<std::uint8_t>;

using RowRGBAFn = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::uint32_t,
                           const RgbaLayout&);
using RowYuvFn = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::uint32_t,
                          const Yuv422Layout&);

struct NamedRGBA {
  const char* name;
  RowRGBAFn fn;
};
struct NamedYuv {
  const char* name;
  RowYuvFn fn;
};

// Every fast path this machine can run: the dispatcher and each instruction set on its own.
std::vector<NamedRGBA> FastRGBA() {
  std::vector<NamedRGBA> v = {{"dispatch", &CompositeRowRGBA},
                              {"SSE2", &detail::CompositeRowRGBA_SSE2}};
  if (detail::HasAvx2()) v.push_back({"AVX2", &detail::CompositeRowRGBA_AVX2});
  return v;
}
std::vector<NamedYuv> FastYuv() {
  std::vector<NamedYuv> v = {{"dispatch", &CompositeRowYuv422},
                             {"SSE2", &detail::CompositeRowYuv422_SSE2}};
  if (detail::HasAvx2()) v.push_back({"AVX2", &detail::CompositeRowYuv422_AVX2});
  return v;
}

struct NamedLayoutRGBA {
  const char* name;
  RgbaLayout layout;
};
const NamedLayoutRGBA kRGBALayouts[] = {
    {"RGBA", kLayoutRGBA},
    {"BGRA", kLayoutBGRA},
    {"ARGB", {1, 2, 3, 0, 4}},
    {"padded 6-byte pixels", {5, 3, 1, 0, 6}},  // not packed: the per-pixel path
};
struct NamedLayoutYuv {
  const char* name;
  Yuv422Layout layout;
};
const NamedLayoutYuv kYuvLayouts[] = {
    {"UYVY", kLayoutUYVY},
    {"YUY2", kLayoutYUY2},
    {"padded 8-byte pairs", {7, 1, 4, 2, 8}},  // not packed: the per-pair path
};

// Runs `fn` separately (over a sentinel-filled output) and in place, and checks both against the
// reference, byte for byte over the whole buffer (so untouched bytes must stay untouched too).
template <class Fn, class Layout>
void ExpectSameAsReference(Fn fn, Fn reference, const Bytes& bitmap, const Bytes& in,
                           std::uint32_t width, const Layout& layout, const std::string& what) {
  Bytes expected(in.size(), 0x5A);
  reference(bitmap.data(), in.data(), expected.data(), width, layout);
  Bytes separate(in.size(), 0x5A);
  fn(bitmap.data(), in.data(), separate.data(), width, layout);
  ASSERT_TRUE(separate == expected) << what << ", separate output";

  Bytes expectedInPlace = in;
  reference(bitmap.data(), expectedInPlace.data(), expectedInPlace.data(), width, layout);
  Bytes inPlace = in;
  fn(bitmap.data(), inPlace.data(), inPlace.data(), width, layout);
  ASSERT_TRUE(inPlace == expectedInPlace) << what << ", in place";
}

// ---- documented bytes -------------------------------------------------------------------------

struct RGBAExample {
  const char* what;
  std::uint8_t bitmap[4];  // B, G, R, A
  std::uint8_t in[4];      // R, G, B, A
  std::uint8_t out[4];     // R, G, B, A
};

TEST(CompositingTest, DocumentedRGBABytes) {
  const RGBAExample examples[] = {
      {"opaque red over anything", {0, 0, 255, 255}, {10, 20, 30, 40}, {255, 0, 0, 255}},
      {"alpha 128 over red 100", {0, 0, 200, 128}, {100, 100, 100, 7}, {149, 49, 49, 128}},
      {"drawn pixel replaces the input alpha", {9, 9, 9, 255}, {1, 2, 3, 40}, {9, 9, 9, 255}},
      {"transparent pixel keeps the input alpha", {9, 9, 9, 0}, {1, 2, 3, 40}, {1, 2, 3, 40}},
      {"colour of a transparent pixel is ignored", {255, 255, 255, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"alpha 1", {255, 255, 255, 1}, {0, 128, 255, 255}, {1, 128, 255, 1}},
      {"alpha 254 over white", {0, 0, 0, 254}, {255, 255, 255, 0}, {1, 1, 1, 254}},
  };
  for (const RGBAExample& e : examples) {
    for (const NamedLayoutRGBA& l : kRGBALayouts) {
      // Three identical pixels, so the pixel also passes through the vector paths' tails.
      const std::uint32_t width = 9;
      Bytes bitmap(width * 4), in(width * l.layout.pixelStep, 0xEE);
      for (std::uint32_t x = 0; x < width; ++x) {
        std::memcpy(&bitmap[x * 4], e.bitmap, 4);
        std::uint8_t* p = &in[x * l.layout.pixelStep];
        p[l.layout.offR] = e.in[0];
        p[l.layout.offG] = e.in[1];
        p[l.layout.offB] = e.in[2];
        p[l.layout.offA] = e.in[3];
      }
      for (const NamedRGBA& f : FastRGBA()) {
        for (bool inPlace : {false, true}) {
          Bytes out = inPlace ? in : Bytes(in.size(), 0xEE);
          f.fn(bitmap.data(), inPlace ? out.data() : in.data(), out.data(), width, l.layout);
          for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = &out[x * l.layout.pixelStep];
            const std::uint8_t got[4] = {p[l.layout.offR], p[l.layout.offG], p[l.layout.offB],
                                         p[l.layout.offA]};
            EXPECT_EQ(0, std::memcmp(got, e.out, 4))
                << e.what << ", " << l.name << ", " << f.name << (inPlace ? ", in place" : "")
                << ": " << int(got[0]) << " " << int(got[1]) << " " << int(got[2]) << " "
                << int(got[3]);
          }
        }
      }
      Bytes ref(in.size(), 0xEE);
      CompositeRowRGBAReference(bitmap.data(), in.data(), ref.data(), width, l.layout);
      EXPECT_EQ(0, std::memcmp(&ref[l.layout.offR], &e.out[0], 1)) << e.what << " (reference)";
    }
  }
}

struct YuvExample {
  const char* what;
  std::uint8_t bitmap[8];  // B, G, R, A of pixel 0, then of pixel 1
  std::uint8_t in[4];      // Y0, Y1, Cb, Cr
  std::uint8_t out[4];     // Y0, Y1, Cb, Cr
};

TEST(CompositingTest, DocumentedYuv422Bytes) {
  const YuvExample examples[] = {
      {"opaque white", {255, 255, 255, 255, 255, 255, 255, 255}, {16, 16, 128, 128},
       {255, 255, 128, 128}},
      // Cr 258.49 is limited to 255; Y0 76.70 and Cb 84.17 truncate; Y1 = 76.245.
      {"opaque red", {0, 0, 255, 255, 0, 0, 255, 255}, {0, 0, 0, 0}, {76, 76, 84, 255}},
      {"first pixel transparent, second opaque", {0, 0, 255, 0, 0, 0, 255, 255},
       {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"second pixel transparent keeps its luma", {255, 255, 255, 255, 0, 0, 0, 0},
       {10, 20, 30, 40}, {255, 20, 128, 128}},
      // Cr of cyan is -2.49: it becomes 0, not a wrapped byte.
      {"opaque cyan", {255, 255, 0, 255, 255, 255, 0, 255}, {9, 9, 9, 9}, {178, 178, 171, 0}},
      // Cb of yellow is -2.49 likewise.
      {"opaque yellow", {0, 255, 255, 255, 0, 255, 255, 255}, {9, 9, 9, 9}, {226, 225, 0, 148}},
      {"opaque black", {0, 0, 0, 255, 0, 0, 0, 255}, {200, 200, 200, 200}, {0, 0, 128, 128}},
      // Grey 128 at full alpha: Y1 = 128 exactly in decimal but the double lands a hair below.
      {"opaque grey", {128, 128, 128, 255, 128, 128, 128, 255}, {0, 0, 0, 0}, {128, 127, 128, 128}},
      {"half alpha white over black", {255, 255, 255, 128, 255, 255, 255, 128}, {0, 0, 0, 0},
       {128, 128, 64, 64}},
  };
  for (const YuvExample& e : examples) {
    for (const NamedLayoutYuv& l : kYuvLayouts) {
      for (std::uint32_t width : {2u, 6u, 18u, 34u}) {
        const std::uint32_t pairs = width / 2;
        Bytes bitmap(width * 4), in(pairs * l.layout.pairStep, 0xEE);
        for (std::uint32_t p = 0; p < pairs; ++p) {
          std::memcpy(&bitmap[p * 8], e.bitmap, 8);
          std::uint8_t* q = &in[p * l.layout.pairStep];
          q[l.layout.offY0] = e.in[0];
          q[l.layout.offY1] = e.in[1];
          q[l.layout.offCb] = e.in[2];
          q[l.layout.offCr] = e.in[3];
        }
        std::vector<NamedYuv> fns = FastYuv();
        fns.push_back({"reference", &CompositeRowYuv422Reference});
        for (const NamedYuv& f : fns) {
          for (bool inPlace : {false, true}) {
            Bytes out = inPlace ? in : Bytes(in.size(), 0xEE);
            f.fn(bitmap.data(), inPlace ? out.data() : in.data(), out.data(), width, l.layout);
            for (std::uint32_t p = 0; p < pairs; ++p) {
              const std::uint8_t* q = &out[p * l.layout.pairStep];
              const std::uint8_t got[4] = {q[l.layout.offY0], q[l.layout.offY1],
                                           q[l.layout.offCb], q[l.layout.offCr]};
              EXPECT_EQ(0, std::memcmp(got, e.out, 4))
                  << e.what << ", " << l.name << ", " << f.name << ", width " << width
                  << (inPlace ? ", in place" : "") << ": " << int(got[0]) << " " << int(got[1])
                  << " " << int(got[2]) << " " << int(got[3]);
            }
          }
        }
      }
    }
  }
}

TEST(CompositingTest, OddWidthTakesTheMissingPixelAsTransparent) {
  // Width 3: one full pair and a last pair with only its first pixel. The bitmap row is exactly
  // 12 bytes, so a read of the missing pixel would leave the allocation.
  for (const NamedLayoutYuv& l : kYuvLayouts) {
    std::vector<NamedYuv> fns = FastYuv();
    fns.push_back({"reference", &CompositeRowYuv422Reference});
    for (const NamedYuv& f : fns) {
      auto bitmap = std::make_unique<std::uint8_t[]>(12);
      const std::uint8_t pixels[12] = {255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255};
      std::memcpy(bitmap.get(), pixels, 12);
      Bytes in(2 * l.layout.pairStep, 0x33);
      Bytes out(in.size(), 0xEE);
      f.fn(bitmap.get(), in.data(), out.data(), 3, l.layout);
      const std::uint8_t* q = &out[l.layout.pairStep];
      EXPECT_EQ(q[l.layout.offY0], 76) << l.name << ", " << f.name;
      EXPECT_EQ(q[l.layout.offY1], 0x33) << l.name << ", " << f.name << ": input luma kept";
      EXPECT_EQ(q[l.layout.offCr], 255) << l.name << ", " << f.name;
      EXPECT_EQ(q[l.layout.offCb], 84) << l.name << ", " << f.name;
    }
  }
}

// ---- RGBA: every fast path equals the formula ----------------------------------------------------

// One row of 65536 pixels per alpha: pixel (in << 8 | s). Each channel gets its own bijection of
// (in, s), so every channel meets every pair of input byte and bitmap byte at every alpha.
void FillExhaustiveRGBA(std::uint32_t alpha, const RgbaLayout& l, Bytes& bitmap, Bytes& in) {
  bitmap.resize(65536 * 4);
  in.assign(65536 * l.pixelStep, 0x77);
  for (std::uint32_t j = 0; j < 65536; ++j) {
    const std::uint8_t s = static_cast<std::uint8_t>(j), i = static_cast<std::uint8_t>(j >> 8);
    bitmap[j * 4 + 0] = s;
    bitmap[j * 4 + 1] = s ^ 0x55;
    bitmap[j * 4 + 2] = static_cast<std::uint8_t>(255 - s);
    bitmap[j * 4 + 3] = static_cast<std::uint8_t>(alpha);
    std::uint8_t* p = &in[j * l.pixelStep];
    p[l.offR] = i;
    p[l.offG] = i ^ 0xAA;
    p[l.offB] = static_cast<std::uint8_t>(i + 77);
    p[l.offA] = i ^ 0x3C;
  }
}

TEST(CompositingTest, RGBAEveryByteAndAlphaEqualsReference) {
  Bytes bitmap, in, expected, expectedInPlace, out;
  const std::vector<NamedRGBA> paths = FastRGBA();
  for (const NamedLayoutRGBA& l : kRGBALayouts)
    for (std::uint32_t alpha = 0; alpha < 256; ++alpha) {
      FillExhaustiveRGBA(alpha, l.layout, bitmap, in);
      expected.assign(in.size(), 0x5A);
      CompositeRowRGBAReference(bitmap.data(), in.data(), expected.data(), 65536, l.layout);
      expectedInPlace = in;
      CompositeRowRGBAReference(bitmap.data(), expectedInPlace.data(), expectedInPlace.data(),
                                65536, l.layout);
      for (const NamedRGBA& f : paths) {
        out.assign(in.size(), 0x5A);
        f.fn(bitmap.data(), in.data(), out.data(), 65536, l.layout);
        ASSERT_TRUE(out == expected) << l.name << ", " << f.name << ", alpha " << alpha;
        out = in;
        f.fn(bitmap.data(), out.data(), out.data(), 65536, l.layout);
        ASSERT_TRUE(out == expectedInPlace)
            << l.name << ", " << f.name << ", alpha " << alpha << ", in place";
      }
    }
}

TEST(CompositingTest, RGBAMixedAlphaRunsAndTailsEqualReference) {
  // Runs of transparent, partial and opaque pixels of every length around the vector widths, at
  // every start offset and row length, so chunks mix transparent and drawn pixels and tails vary.
  std::mt19937 rng(7);
  for (const NamedLayoutRGBA& l : kRGBALayouts)
    for (int trial = 0; trial < 300; ++trial) {
      const std::uint32_t width = 1 + rng() % 70;
      Bytes bitmap(width * 4), in(width * l.layout.pixelStep);
      for (auto& b : in) b = static_cast<std::uint8_t>(rng());
      for (std::uint32_t x = 0; x < width;) {
        const std::uint32_t run = 1 + rng() % 12;
        const std::uint32_t kind = rng() % 3;
        for (std::uint32_t k = 0; k < run && x < width; ++k, ++x) {
          for (int c = 0; c < 3; ++c) bitmap[x * 4 + c] = static_cast<std::uint8_t>(rng());
          bitmap[x * 4 + 3] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(rng());
        }
      }
      for (const NamedRGBA& f : FastRGBA())
        ExpectSameAsReference(f.fn, &CompositeRowRGBAReference, bitmap, in, width, l.layout,
                              std::string(l.name) + ", " + f.name + ", trial " +
                                  std::to_string(trial));
    }
}

// ---- 4:2:2: the integer forms equal the double formula --------------------------------------------

// The formula as written, for one value v in double precision.
std::uint8_t Formula(double v, std::uint32_t a, std::uint32_t in) {
  return static_cast<std::uint8_t>(static_cast<int>(v * a / 255 + (in * (255 - a)) / 255));
}

// Distance of q from the nearest integer is at least 2^-20: then for every integer k <= 255,
// q + k rounds (error below 2^-44) within the same open interval between integers, so
// trunc(q + k) = floor(q) + k for every input byte at once.
bool FarFromInteger(double q) {
  const double frac = q - std::floor(q);
  return frac > 0x1p-20 && frac < 1 - 0x1p-20;
}

TEST(CompositingTest, ColourToFirstLumaAndChromaOverEveryColour) {
  for (std::uint32_t c = 0; c < (1u << 24); ++c) {
    const std::uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
    const double y0 = 0.30078125 * r + 0.5859375 * g + 0.11328125 * b;
    const double cr = std::clamp(0.51171875 * r - 0.4296875 * g - 0.08203125 * b + 128, 0.0, 255.0);
    const double cb = std::clamp(-0.171875 * r - 0.33984375 * g + 0.51171875 * b + 128, 0.0, 255.0);
    if (detail::FirstLuma256(r, g, b) != y0 * 256 || detail::Cr256(r, g, b) != cr * 256 ||
        detail::Cb256(r, g, b) != cb * 256) {
      FAIL() << "colour " << r << "," << g << "," << b;
    }
  }
}

TEST(CompositingTest, MixOfEveryValueAlphaAndInputByte) {
  // The input part alone, over every input byte and alpha.
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t in = 0; in < 256; ++in)
      ASSERT_EQ(detail::Mix256(0, a, in), (in * (255 - a)) / 255) << a << " " << in;
  // Every value in 256ths (a superset of those colours reach) with every alpha; every input byte
  // is checked directly where the quotient is near an integer, and by the bound above elsewhere.
  std::size_t near = 0;
  for (std::uint32_t v = 0; v <= 65280; ++v)
    for (std::uint32_t a = 1; a < 256; ++a) {
      const double q = (v / 256.0) * a / 255;
      if (FarFromInteger(q)) {
        if (detail::Mix256(v, a, 0) != static_cast<std::uint32_t>(q) ||
            detail::Mix256(v, a, 255) != static_cast<std::uint32_t>(q) + (255 * (255 - a)) / 255)
          FAIL() << "value " << v << "/256, alpha " << a;
        continue;
      }
      ++near;
      for (std::uint32_t in = 0; in < 256; ++in)
        if (detail::Mix256(v, a, in) != Formula(v / 256.0, a, in))
          FAIL() << "value " << v << "/256, alpha " << a << ", input " << in;
    }
  EXPECT_GT(near, 0u);
}

TEST(CompositingTest, SecondLumaOfEveryColourAlphaAndInputByte) {
  // Every colour's double second luma, kept once per distinct value with one colour that gives it.
  struct Entry {
    double y;
    std::uint32_t rgb;
  };
  // Colours bucketed by m = 299r + 587g + 114b (a counting sort), then distinct doubles per bucket.
  constexpr std::uint32_t kMaxM = 255000;
  std::vector<std::uint32_t> start(kMaxM + 2, 0);
  const auto mOf = [](std::uint32_t c) {
    return 299 * (c >> 16) + 587 * ((c >> 8) & 0xFF) + 114 * (c & 0xFF);
  };
  for (std::uint32_t c = 0; c < (1u << 24); ++c) ++start[mOf(c) + 1];
  for (std::uint32_t m = 1; m < start.size(); ++m) start[m] += start[m - 1];
  std::vector<std::uint32_t> byM(1u << 24);
  {
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::uint32_t c = 0; c < (1u << 24); ++c) byM[next[mOf(c)]++] = c;
  }
  std::vector<Entry> entries;
  for (std::uint32_t m = 0; m <= kMaxM; ++m) {
    const std::size_t first = entries.size();
    for (std::uint32_t i = start[m]; i < start[m + 1]; ++i) {
      const std::uint32_t c = byM[i];
      const double y = 0.299 * (c >> 16) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
      if (std::none_of(entries.begin() + first, entries.end(),
                       [y](const Entry& e) { return e.y == y; }))
        entries.push_back({y, c});
    }
  }
  // The fast path depends on a colour only through its double (exact cases) or through m; one
  // colour per distinct (m, double) therefore stands for all. The double is within 1e-12 of
  // m / 1000, which the shortcut's argument needs.
  std::size_t exactChecks = 0;
  for (const Entry& e : entries) {
    const std::uint32_t r = e.rgb >> 16, g = (e.rgb >> 8) & 0xFF, b = e.rgb & 0xFF;
    const std::uint32_t m = 299 * r + 587 * g + 114 * b;
    ASSERT_LT(std::fabs(e.y - m / 1000.0), 1e-12) << r << "," << g << "," << b;
    for (std::uint32_t a = 1; a < 256; ++a) {
      const double q = e.y * a / 255;
      if (FarFromInteger(q)) {
        if (detail::MixSecondLuma(r, g, b, a, 0) != static_cast<std::uint32_t>(q) ||
            detail::MixSecondLuma(r, g, b, a, 255) !=
                static_cast<std::uint32_t>(q) + (255 * (255 - a)) / 255)
          FAIL() << "colour " << r << "," << g << "," << b << ", alpha " << a;
        continue;
      }
      ++exactChecks;
      for (std::uint32_t in = 0; in < 256; ++in)
        if (detail::MixSecondLuma(r, g, b, a, in) != Formula(e.y, a, in))
          FAIL() << "colour " << r << "," << g << "," << b << ", alpha " << a << ", input " << in;
    }
  }
  EXPECT_GT(exactChecks, 0u);
}

// ---- 4:2:2 rows: every fast path equals the reference ----------------------------------------------

// A row of pairs whose first and second pixels run through 65536 consecutive colours from `base`
// (the second in another channel order), with alphas and input bytes scrambled; one in eight
// first pixels is transparent, three in eight opaque.
void FillYuvRow(std::uint32_t base, const Yuv422Layout& l, std::mt19937& rng, Bytes& bitmap,
                Bytes& in) {
  const std::uint32_t pairs = 65536;
  bitmap.resize(pairs * 8);
  in.resize(pairs * l.pairStep);
  for (auto& b : in) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t p = 0; p < pairs; ++p) {
    const std::uint32_t c = base + p, h = rng();
    bitmap[p * 8 + 0] = static_cast<std::uint8_t>(c);
    bitmap[p * 8 + 1] = static_cast<std::uint8_t>(c >> 8);
    bitmap[p * 8 + 2] = static_cast<std::uint8_t>(c >> 16);
    const std::uint32_t kind = h & 7;
    bitmap[p * 8 + 3] = kind == 0 ? 0 : kind < 4 ? 255 : static_cast<std::uint8_t>(h >> 8);
    // The second pixel runs through the same colours in another channel order.
    bitmap[p * 8 + 4] = static_cast<std::uint8_t>(c >> 16);
    bitmap[p * 8 + 5] = static_cast<std::uint8_t>(c);
    bitmap[p * 8 + 6] = static_cast<std::uint8_t>(c >> 8);
    bitmap[p * 8 + 7] = (h & 0x30) == 0 ? 0 : (h & 0x30) == 0x10 ? 255 : static_cast<std::uint8_t>(h);
  }
}

TEST(CompositingTest, Yuv422EveryColourEqualsReference) {
  // All 2^24 colours of both pixels, through the dispatcher, packed layout, both outputs.
  std::mt19937 rng(11);
  Bytes bitmap, in;
  for (std::uint32_t base = 0; base < (1u << 24); base += 65536) {
    FillYuvRow(base, kLayoutUYVY, rng, bitmap, in);
    ExpectSameAsReference<RowYuvFn>(&CompositeRowYuv422, &CompositeRowYuv422Reference, bitmap, in,
                                    65536 * 2, kLayoutUYVY, "colours from " + std::to_string(base));
  }
}

TEST(CompositingTest, Yuv422EveryPathAndLayoutEqualsReference) {
  std::mt19937 rng(13);
  Bytes bitmap, in;
  for (const NamedLayoutYuv& l : kYuvLayouts)
    for (const NamedYuv& f : FastYuv()) {
      for (std::uint32_t base : {0u, 0x7F0000u, 0xFF0000u}) {
        FillYuvRow(base, l.layout, rng, bitmap, in);
        ExpectSameAsReference(f.fn, &CompositeRowYuv422Reference, bitmap, in, 65536 * 2, l.layout,
                              std::string(l.name) + ", " + f.name);
      }
      // Short rows of every length, odd ones included, with runs of transparent pairs.
      for (int trial = 0; trial < 300; ++trial) {
        const std::uint32_t width = 1 + rng() % 80;
        Bytes bm(width * 4), row(((width + 1) / 2) * l.layout.pairStep);
        for (auto& b : row) b = static_cast<std::uint8_t>(rng());
        const bool sparse = trial % 2 == 0;
        for (std::uint32_t x = 0; x < width; ++x) {
          for (int c = 0; c < 3; ++c) bm[x * 4 + c] = static_cast<std::uint8_t>(rng());
          const std::uint32_t h = rng() % 4;
          bm[x * 4 + 3] = (sparse && h != 0) ? 0 : h == 1 ? 255 : static_cast<std::uint8_t>(rng());
        }
        ExpectSameAsReference(f.fn, &CompositeRowYuv422Reference, bm, row, width, l.layout,
                              std::string(l.name) + ", " + f.name + ", width " +
                                  std::to_string(width));
      }
    }
}

// Runs of one opaque colour (the inside of a face or a box) give pairs that do not depend on the
// input; the fast paths may reuse them. Every colour, as a run of 32 opaque pixels over random
// input, must give its reference pair at every position of the run.
TEST(CompositingTest, Yuv422OpaqueRunsOfEveryColourEqualReference) {
  constexpr std::uint32_t kRun = 32, kColours = 4096;
  std::mt19937 rng(19);
  std::vector<std::uint32_t> bitmap(kColours * kRun);  // B, G, R, A in memory order
  Bytes in(kColours * kRun * 2), out(in.size());
  for (auto& b : in) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t base = 0; base < (1u << 24); base += kColours) {
    for (std::uint32_t c = 0; c < kColours; ++c) {
      const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(base + c),
                                     static_cast<std::uint8_t>((base + c) >> 8),
                                     static_cast<std::uint8_t>((base + c) >> 16), 255};
      std::uint32_t word;
      std::memcpy(&word, pixel, 4);
      std::fill_n(&bitmap[c * kRun], kRun, word);
    }
    // The input moves under the colours from one block to the next.
    std::rotate(in.begin(), in.begin() + 4 * 37, in.end());
    const auto* bm = reinterpret_cast<const std::uint8_t*>(bitmap.data());
    CompositeRowYuv422(bm, in.data(), out.data(), kColours * kRun, kLayoutUYVY);
    for (std::uint32_t c = 0; c < kColours; ++c) {
      std::uint32_t expected, pairs[kRun / 2];
      CompositeRowYuv422Reference(bm + c * kRun * 4, &in[c * kRun * 2],
                                  reinterpret_cast<std::uint8_t*>(&expected), 2, kLayoutUYVY);
      std::memcpy(pairs, &out[c * kRun * 2], sizeof pairs);
      bool same = true;
      for (std::uint32_t pair : pairs) same &= pair == expected;
      if (!same)
        FAIL() << "colour " << std::hex << base + c << ": a pair differs from " << expected;
    }
  }
}

// Rows made of runs of a few repeated pixels (opaque, translucent, transparent), so that groups
// of equal opaque pixels follow one another and then differ in a single pixel.
TEST(CompositingTest, Yuv422RunsOfRepeatedPixelsEqualReference) {
  std::mt19937 rng(23);
  for (const NamedLayoutYuv& l : kYuvLayouts)
    for (const NamedYuv& f : FastYuv())
      for (int trial = 0; trial < 200; ++trial) {
        std::uint8_t palette[4][4];
        for (auto& p : palette)
          for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(rng());
        palette[0][3] = palette[1][3] = 255;
        palette[2][3] = static_cast<std::uint8_t>(1 + rng() % 254);
        palette[3][3] = 0;
        const std::uint32_t width = 1 + rng() % 400;
        Bytes bm(width * 4), row(((width + 1) / 2) * l.layout.pairStep);
        for (auto& b : row) b = static_cast<std::uint8_t>(rng());
        for (std::uint32_t x = 0; x < width;) {
          const std::uint32_t which = rng() % 8 < 5 ? rng() % 2 : 2 + rng() % 2;
          const std::uint32_t run = 1 + rng() % 64;
          for (std::uint32_t i = 0; i < run && x < width; ++i, ++x)
            std::memcpy(&bm[x * 4], palette[which], 4);
        }
        ExpectSameAsReference(f.fn, &CompositeRowYuv422Reference, bm, row, width, l.layout,
                              std::string(l.name) + ", " + f.name + ", trial " +
                                  std::to_string(trial));
      }
}

// ---- frames: rows, fields and the drawn rectangle ---------------------------------------------------

struct TestFrame {
  std::uint32_t width, height;
  Bytes bitmap;
  Bytes in, out;  // rows of rowBytes
  std::size_t rowBytes;
};

// A bitmap that is non-zero exactly inside `drawn` (clipped to the frame).
TestFrame MakeFrame(std::uint32_t width, std::uint32_t height, std::size_t rowBytes,
                    const DrawnRect& drawn, std::mt19937& rng) {
  TestFrame f{width, height, Bytes(std::size_t{width} * height * 4), {}, {}, rowBytes};
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool inside = std::int64_t{x} >= drawn.left && std::int64_t{x} < drawn.right &&
                          std::int64_t{y} >= drawn.top && std::int64_t{y} < drawn.bottom;
      if (!inside) continue;
      std::uint8_t* p = &f.bitmap[(std::size_t{y} * width + x) * 4];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(rng());
      p[3] = static_cast<std::uint8_t>(1 + rng() % 255);
    }
  f.in.resize(rowBytes * height);
  for (auto& b : f.in) b = static_cast<std::uint8_t>(rng());
  f.out.assign(f.in.size(), 0xA5);
  return f;
}

// The processed rows of `f` over `in` and `out` (rows `rowBytes` apart), as the render collects
// them from the host.
struct Rows {
  std::vector<const std::uint8_t*> in;
  std::vector<std::uint8_t*> out;
  FrameRows View() const { return {in, out}; }
};
Rows RowsOf(const CompositeFrame& f, const Bytes& in, Bytes& out, std::size_t rowBytes) {
  Rows rows;
  for (std::uint32_t r = f.firstRow; r < f.height; r += f.rowStep) {
    rows.in.push_back(&in[r * rowBytes]);
    rows.out.push_back(&out[r * rowBytes]);
  }
  return rows;
}

// The whole bitmap through the reference rows: output row r reads bitmap row r.
template <class RowRef, class Layout>
Bytes ExpectedFrame(const TestFrame& t, const CompositeFrame& f, RowRef reference,
                    const Layout& layout, bool inPlace) {
  Bytes out = inPlace ? t.in : t.out;
  for (std::uint32_t r = f.firstRow; r < f.height; r += f.rowStep) {
    const std::uint32_t b = r;
    const std::uint8_t* in = inPlace ? &out[r * t.rowBytes] : &t.in[r * t.rowBytes];
    reference(&t.bitmap[std::size_t{b} * t.width * 4], in, &out[r * t.rowBytes], t.width, layout);
  }
  return out;
}

TEST(CompositingTest, FrameWithDrawnRectEqualsWholeBitmap) {
  std::mt19937 rng(17);
  const std::uint32_t width = 37, height = 23;
  const DrawnRect rects[] = {
      {0, 0, 37, 23},   {5, 3, 20, 9},     {6, 4, 7, 5},       {0, 0, 1, 1},
      {36, 22, 37, 23}, {-10, -5, 12, 40}, {30, 10, 100, 12},  {10, 10, 10, 20},
      {3, 2, 36, 23},   {1, 0, 2, 23},     {-5, -5, -1, -1},   {40, 30, 50, 35},
  };
  struct Mode {
    const char* name;
    std::uint32_t firstRow, rowStep;
  };
  const Mode modes[] = {{"frame", 0, 1}, {"field 1", 0, 2}, {"field 2", 1, 2}};
  for (const DrawnRect& rect : rects)
    for (const Mode& m : modes)
      for (bool inPlace : {false, true})
        for (bool passRect : {false, true}) {
          const std::string what = std::string(m.name) + ", rect " + std::to_string(rect.left) +
                                   "," + std::to_string(rect.top) + "," +
                                   std::to_string(rect.right) + "," +
                                   std::to_string(rect.bottom) + (inPlace ? ", in place" : "") +
                                   (passRect ? ", rect given" : "");
          CompositeFrame f;
          f.width = width;
          f.height = height;
          f.firstRow = m.firstRow;
          f.rowStep = m.rowStep;
          f.drawn = passRect ? &rect : nullptr;
          for (const NamedLayoutRGBA& l : kRGBALayouts) {
            TestFrame t = MakeFrame(width, height, width * l.layout.pixelStep + 3, rect, rng);
            f.bitmap = t.bitmap.data();
            const Bytes expected =
                ExpectedFrame(t, f, &CompositeRowRGBAReference, l.layout, inPlace);
            Bytes& target = inPlace ? t.in : t.out;
            CompositeFrameRGBA(f, l.layout, RowsOf(f, t.in, target, t.rowBytes).View());
            ASSERT_TRUE(target == expected) << what << ", " << l.name;
          }
          for (const NamedLayoutYuv& l : kYuvLayouts) {
            TestFrame t = MakeFrame(width, height, ((width + 1) / 2) * l.layout.pairStep + 5,
                                    rect, rng);
            f.bitmap = t.bitmap.data();
            const Bytes expected =
                ExpectedFrame(t, f, &CompositeRowYuv422Reference, l.layout, inPlace);
            Bytes& target = inPlace ? t.in : t.out;
            CompositeFrameYuv422(f, l.layout, RowsOf(f, t.in, target, t.rowBytes).View());
            ASSERT_TRUE(target == expected) << what << ", " << l.name;
          }
        }
}

TEST(CompositingTest, FrameRowsOutsideTheFieldAndWithoutBitmapStayUntouched) {
  std::mt19937 rng(19);
  const DrawnRect all{0, 0, 8, 6};
  TestFrame t = MakeFrame(8, 6, 32, all, rng);
  CompositeFrame f;
  f.bitmap = t.bitmap.data();
  f.width = 8;
  f.height = 6;
  f.firstRow = 1;
  f.rowStep = 2;
  // The rows handed over are the field's; a frame's worth of rows processes the field's only.
  Rows frameRows;
  for (std::uint32_t r = 0; r < 6; ++r) {
    frameRows.in.push_back(&t.in[r * 32]);
    frameRows.out.push_back(&t.out[r * 32]);
  }
  const Rows rows = RowsOf(f, t.in, t.out, 32);
  EXPECT_EQ(rows.out.size(), 3u);
  CompositeFrameRGBA(f, kLayoutRGBA, rows.View());
  for (std::uint32_t r : {0u, 2u, 4u})
    EXPECT_TRUE(std::all_of(&t.out[r * 32], &t.out[r * 32 + 32], [](std::uint8_t b) {
      return b == 0xA5;
    })) << "row " << r;

  // Fewer rows than the field has: only those are processed.
  const Bytes before = t.out;
  f.firstRow = 0;
  const Rows first = RowsOf(f, t.in, t.out, 32);
  CompositeFrameRGBA(f, kLayoutRGBA, {std::span(first.in).first(1), std::span(first.out).first(1)});
  EXPECT_TRUE(std::equal(&t.out[32], &t.out[6 * 32], &before[32])) << "rows past the ones handed over";

  f.bitmap = nullptr;
  const Bytes untouched = t.out;
  CompositeFrameYuv422(f, kLayoutUYVY, frameRows.View());
  EXPECT_TRUE(t.out == untouched) << "no bitmap memory: nothing is written";
}

TEST(CompositingTest, TransparentBitmapCopiesEveryRow) {
  std::mt19937 rng(23);
  const DrawnRect none{0, 0, 0, 0};
  for (bool passRect : {false, true}) {
    TestFrame t = MakeFrame(19, 7, 19 * 4, none, rng);
    CompositeFrame f;
    f.bitmap = t.bitmap.data();
    f.width = 19;
    f.height = 7;
    f.drawn = passRect ? &none : nullptr;
    CompositeFrameRGBA(f, kLayoutRGBA, RowsOf(f, t.in, t.out, t.rowBytes).View());
    EXPECT_TRUE(t.out == t.in) << (passRect ? "empty rect" : "whole bitmap");
  }
}

}  // namespace
}  // namespace zel2clock
