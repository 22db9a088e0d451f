// The render operation end to end through the real host: derived positions and colours, clock
// types that draw nothing, keyframes, both 4:2:2 byte orders, fields, in place against separate
// output, renders on several threads, the exact bytes of the compositing, and values no host
// should deliver.
#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "EffectTestHost.h"

namespace zel::test {
namespace {

using host::ImageLayout;
using host::InterlaceOrder;
using host::ParamValue;
using host::PixelKind;
using host::RenderRequest;

constexpr PixelKind kKinds[] = {PixelKind::Rgba, PixelKind::Bgra, PixelKind::Uyvy, PixelKind::Yuy2};
constexpr const char* kClockTypes[] = {"Analog Clock", "Digital Clock", "LED clock"};

void SetRaw(host::EffectInstance& instance, const char* name, double value) {
  ParamValue v;
  v.num = {value, value, value};
  instance.Get(name).SetUnchecked(v);
}

Picture Rendered(const host::EffectInstance& instance, const Picture& input, std::int64_t k,
                 ImageLayout layout = {}) {
  Picture out(input);
  EXPECT_EQ(VOK_OK, instance.RenderFrame(input.view, out.view, k, layout));
  return out;
}

/// The rectangle of pixels whose alpha is not 0 in an RGBA picture: [left, right) x [top, bottom).
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Box AlphaBox(const Picture& p) {
  Box b;
  for (std::uint32_t y = 0; y < p.view.height; ++y)
    for (std::uint32_t x = 0; x < p.view.width; ++x)
      if (p.Row(y)[x * 4 + 3] != 0) {
        b.left = std::min<int>(b.left, x);
        b.right = std::max<int>(b.right, x + 1);
        b.top = std::min<int>(b.top, y);
        b.bottom = std::max<int>(b.bottom, y + 1);
      }
  return b;
}

std::uint8_t MaxAlpha(const Picture& p) {
  std::uint8_t m = 0;
  for (std::uint32_t y = 0; y < p.view.height; ++y)
    for (std::uint32_t x = 0; x < p.view.width; ++x) m = std::max(m, p.Row(y)[x * 4 + 3]);
  return m;
}

// --- derived values ------------------------------------------------------------------------------

TEST_F(EffectTest, DefaultsCentreTheClockWithAQuarterOfTheHeightAsRadius) {
  auto instance = MakeInstance();
  Picture input(400, 200, PixelKind::Rgba);  // all zero: alpha 0 shows where the clock drew
  const Box b = AlphaBox(Rendered(*instance, input, 0));
  // Centre (200, 100), radius 200 / 4 = 50; antialiasing may touch one more pixel.
  EXPECT_NEAR(b.left, 150, 1);
  EXPECT_NEAR(b.right, 250, 1);
  EXPECT_NEAR(b.top, 50, 1);
  EXPECT_NEAR(b.bottom, 150, 1);
}

struct OpacityCase {
  const char* opacity;
  std::uint8_t alpha;
};

class OpacityToAlpha : public EffectTest, public ::testing::WithParamInterface<OpacityCase> {};

TEST_P(OpacityToAlpha, IsTheIntegerPartOfOpacityTimes255Over100) {
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", "LED clock");
  instance->SetFromText("Size", "100");
  instance->SetFromText("Foreground RGB Color", "255,0,0");
  instance->SetFromText("Foreground Opacity", GetParam().opacity);
  instance->SetFromText("Background Opacity", "0");
  Picture input(400, 200, PixelKind::Rgba);
  const Picture out = Rendered(*instance, input, 0);
  // Inside a segment the output alpha is the drawn alpha, and red over black is the same number.
  EXPECT_EQ(MaxAlpha(out), GetParam().alpha);
  bool found = GetParam().alpha == 0;
  for (std::size_t i = 0; i < out.bytes.size(); i += 4)
    if (out.bytes[i + 3] == GetParam().alpha && GetParam().alpha != 0) {
      EXPECT_EQ(out.bytes[i], GetParam().alpha);
      found = true;
    }
  EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(Table, OpacityToAlpha,
                         ::testing::Values(OpacityCase{"100", 255}, OpacityCase{"50", 127},
                                           OpacityCase{"33.3", 84}, OpacityCase{"0.5", 1}, OpacityCase{"0", 0}));

TEST_F(EffectTest, PositionAndSizeMoveAndScaleTheClock) {
  auto instance = MakeInstance();
  instance->SetFromText("X", "25");
  instance->SetFromText("Y", "75");
  instance->SetFromText("Size", "20");
  Picture input(400, 200, PixelKind::Rgba);
  const Box b = AlphaBox(Rendered(*instance, input, 0));
  // Centre (100, 150); radius 20 / 100 x 200 / 2 = 20: the width never enters the size.
  EXPECT_NEAR(b.left, 80, 1);
  EXPECT_NEAR(b.right, 120, 1);
  EXPECT_NEAR(b.top, 130, 1);
  EXPECT_NEAR(b.bottom, 170, 1);
}

TEST_F(EffectTest, PixelAspectRatioWidensTheFace) {
  auto instance = MakeInstance();
  Picture input(400, 200, PixelKind::Rgba);
  ImageLayout layout;
  layout.pixelAspectRatio = 0.5;  // horizontal scale 2: half as wide
  const Box b = AlphaBox(Rendered(*instance, input, 0, layout));
  EXPECT_NEAR(b.right - b.left, 50, 2);
  EXPECT_NEAR(b.bottom - b.top, 100, 2);
}

// --- clock types that draw nothing ---------------------------------------------------------------

class UnknownClockType : public EffectTest, public ::testing::WithParamInterface<std::tuple<double, PixelKind>> {};

TEST_P(UnknownClockType, LeavesTheOutputAnExactCopyOfTheInput) {
  const auto [type, kind] = GetParam();
  auto instance = MakeInstance();
  SetRaw(*instance, "the List value", type);
  Picture input(67, 31, kind);
  input.FillPattern(3);
  Picture out(67, 31, kind);
  out.FillPattern(4);
  const Picture before = out;
  ASSERT_EQ(VOK_OK, instance->RenderFrame(input.view, out.view, 12));
  for (std::uint32_t y = 0; y < out.view.height; ++y) {
    EXPECT_EQ(out.RowPixels(y), input.RowPixels(y)) << "row " << y;
    // The padding after the pixels is not the effect's.
    EXPECT_TRUE(std::equal(out.Row(y) + host::RowBytesOf(kind, 67), out.Row(y) + out.view.stride,
                           before.Row(y) + host::RowBytesOf(kind, 67)));
  }
}

INSTANTIATE_TEST_SUITE_P(Types, UnknownClockType,
                         ::testing::Combine(::testing::Values(3.0, 100.0, 4294967295.0),
                                            ::testing::ValuesIn(kKinds)));

// --- keyframes -----------------------------------------------------------------------------------

TEST_F(EffectTest, KeyedDoublesMoveLinearlyBetweenKeys) {
  auto keyed = MakeInstance();
  keyed->SetFromText("X", "10", 0.0);
  keyed->SetFromText("X", "90", 10.0);
  keyed->SetFromText("Foreground RGB Color", "255,0,0", 0.0);
  keyed->SetFromText("Foreground RGB Color", "0,0,255", 10.0);
  auto constant = MakeInstance();
  constant->SetFromText("X", "50");
  constant->SetFromText("Foreground RGB Color", "127.5,0,127.5");
  Picture input(160, 90, PixelKind::Rgba);
  input.FillPattern();
  EXPECT_EQ(Rendered(*keyed, input, 5).bytes, Rendered(*constant, input, 5).bytes);
  // Before the first key the first holds, after the last the last.
  constant->SetFromText("X", "10");
  constant->SetFromText("Foreground RGB Color", "255,0,0");
  EXPECT_EQ(Rendered(*keyed, input, 0).bytes, Rendered(*constant, input, 0).bytes);
  constant->SetFromText("X", "90");
  constant->SetFromText("Foreground RGB Color", "0,0,255");
  EXPECT_EQ(Rendered(*keyed, input, 40).bytes, Rendered(*constant, input, 40).bytes);
}

TEST_F(EffectTest, KeyedListsHoldThePreviousKey) {
  auto keyed = MakeInstance();
  keyed->SetFromText("Clock Type List", "Analog Clock", 0.0);
  keyed->SetFromText("Clock Type List", "LED clock", 10.0);
  auto analog = MakeInstance();
  auto led = MakeInstance();
  led->SetFromText("Clock Type List", "LED clock");
  Picture input(160, 90, PixelKind::Rgba);
  input.FillPattern();
  EXPECT_EQ(Rendered(*keyed, input, 9).bytes, Rendered(*analog, input, 9).bytes);
  EXPECT_EQ(Rendered(*keyed, input, 10).bytes, Rendered(*led, input, 10).bytes);
  EXPECT_NE(Rendered(*keyed, input, 9).bytes, Rendered(*keyed, input, 10).bytes);
}

// --- pixel kinds ---------------------------------------------------------------------------------

/// UYVY bytes (Cb Y0 Cr Y1) as YUY2 (Y0 Cb Y1 Cr) and back: the same swap.
Picture SwapPairs(const Picture& p, PixelKind to) {
  Picture q(p);
  q.view.kind = to;
  for (std::uint32_t y = 0; y < p.view.height; ++y)
    for (std::size_t i = 0; i + 1 < host::RowBytesOf(p.view.kind, p.view.width); i += 2)
      std::swap(q.Row(y)[i], q.Row(y)[i + 1]);
  return q;
}

TEST_F(EffectTest, BothByteOrdersOf422AndBothStepConventionsGiveTheSameClock) {
  for (const char* type : kClockTypes) {
    SCOPED_TRACE(type);
    auto instance = MakeInstance();
    instance->SetFromText("Clock Type List", type);
    instance->SetFromText("Size", "90");
    Picture uyvy(200, 60, PixelKind::Uyvy);
    uyvy.FillPattern(9);
    const Picture yuy2 = SwapPairs(uyvy, PixelKind::Yuy2);
    const Picture outUyvy = Rendered(*instance, uyvy, 77);
    ASSERT_NE(outUyvy.bytes, uyvy.bytes);
    EXPECT_EQ(SwapPairs(Rendered(*instance, yuy2, 77), PixelKind::Uyvy).bytes, outUyvy.bytes);
    ImageLayout perPixel;
    perPixel.stepCountsPixels = true;
    EXPECT_EQ(Rendered(*instance, uyvy, 77, perPixel).bytes, outUyvy.bytes);
    EXPECT_EQ(Rendered(*instance, yuy2, 77, perPixel).bytes, Rendered(*instance, yuy2, 77).bytes);
  }
}

TEST_F(EffectTest, RgbaAndBgraDifferOnlyInComponentOrder) {
  auto instance = MakeInstance();
  instance->SetFromText("Foreground RGB Color", "250,20,90");
  Picture rgba(120, 60, PixelKind::Rgba);
  rgba.FillPattern(5);
  Picture bgra(rgba);
  bgra.view.kind = PixelKind::Bgra;
  const auto swapRB = [](Picture& p) {
    for (std::uint32_t y = 0; y < p.view.height; ++y)
      for (std::uint32_t x = 0; x < p.view.width; ++x) std::swap(p.Row(y)[x * 4], p.Row(y)[x * 4 + 2]);
  };
  swapRB(bgra);
  Picture outBgra = Rendered(*instance, bgra, 3);
  swapRB(outBgra);
  EXPECT_EQ(outBgra.bytes, Rendered(*instance, rgba, 3).bytes);
}

TEST_F(EffectTest, BottomUpRowsPutTheClockAtTheSamePlaceOnScreen) {
  auto instance = MakeInstance();
  instance->SetFromText("Y", "30");
  Picture input(120, 61, PixelKind::Rgba);
  input.FillPattern(2);
  ImageLayout bottomUp;
  bottomUp.bottomUp = true;
  EXPECT_EQ(Rendered(*instance, input, 4, bottomUp).bytes, Rendered(*instance, input, 4).bytes);
}

// --- fields --------------------------------------------------------------------------------------

struct FieldCase {
  InterlaceOrder order;
  bool secondField;
  bool bottomUp;
  std::uint32_t height;
  std::uint32_t firstWrittenRow;  ///< in memory, counted from the top
};

class FieldRender : public EffectTest,
                    public ::testing::WithParamInterface<std::tuple<FieldCase, PixelKind>> {};

TEST_P(FieldRender, WritesOnlyTheRowsOfItsField) {
  const auto [c, kind] = GetParam();
  auto instance = MakeInstance();
  instance->SetFromText("Size", "100");
  Picture input(64, c.height, kind);
  input.FillPattern(11);
  Picture out(64, c.height, kind);
  out.FillPattern(12);
  const Picture before = out;
  ImageLayout layout;
  layout.bottomUp = c.bottomUp;
  ASSERT_EQ(VOK_OK, instance->RenderField(input.view, out.view, 8, c.order, c.secondField, layout));
  for (std::uint32_t y = 0; y < c.height; ++y) {
    const bool written = y % 2 == c.firstWrittenRow;
    if (written)
      EXPECT_NE(out.RowPixels(y), before.RowPixels(y)) << "row " << y;
    else
      EXPECT_EQ(out.RowPixels(y), before.RowPixels(y)) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FieldRender,
    ::testing::Combine(::testing::Values(FieldCase{InterlaceOrder::UpperFirst, false, false, 24, 0},
                                         FieldCase{InterlaceOrder::UpperFirst, true, false, 24, 1},
                                         FieldCase{InterlaceOrder::LowerFirst, false, false, 24, 1},
                                         FieldCase{InterlaceOrder::LowerFirst, true, false, 24, 0},
                                         FieldCase{InterlaceOrder::UpperFirst, false, true, 24, 0},
                                         FieldCase{InterlaceOrder::UpperFirst, false, true, 25, 0},
                                         FieldCase{InterlaceOrder::LowerFirst, true, true, 25, 0}),
                       ::testing::Values(PixelKind::Rgba, PixelKind::Uyvy)));

TEST_F(EffectTest, TwoFieldsAtOneTimeMakeTheWholeFrame) {
  // Each field reads the bitmap row of its own output row, so the clock stands where the whole
  // frame would put it, in both fields.
  for (const char* type : kClockTypes) {
    SCOPED_TRACE(type);
    auto instance = MakeInstance();
    instance->SetFromText("Clock Type List", type);
    for (const PixelKind kind : {PixelKind::Rgba, PixelKind::Yuy2}) {
      Picture input(180, 70, kind);
      input.FillPattern(21);
      Picture fields(input);
      for (const std::int32_t field : {ZELField_First, ZELField_Second}) {
        RenderRequest r;
        r.time = 40;
        r.frameIndex = 40;
        r.field = field;
        r.layout.fieldLayout = ZELFieldLayout_UpperFirst;
        r.layout.fieldProcessing = ZELFieldProcessing_Separate;
        ASSERT_EQ(VOK_OK, instance->Render(input.view, fields.view, r));
      }
      EXPECT_EQ(fields.bytes, Rendered(*instance, input, 40).bytes);
    }
  }
}

TEST_F(EffectTest, InterlacedFieldsShowTwoTimes) {
  auto instance = MakeInstance(25);
  instance->SetFromText("Clock Type List", "Digital Clock");
  instance->SetFromText("Style List", "Frame Counter with Field");
  Picture input(240, 60, PixelKind::Rgba);
  input.FillPattern(5);
  Picture out(input);
  ASSERT_EQ(VOK_OK, instance->RenderInterlaced(input.view, out.view, 10, InterlaceOrder::UpperFirst));
  // The two fields carry different texts ("000010.1" at 10, "000010.2" at 10.5): the interlaced
  // frame is the first field's rows over the second field's.
  Picture first(input), second(input);
  ASSERT_EQ(VOK_OK, instance->RenderField(input.view, first.view, 10, InterlaceOrder::UpperFirst, false));
  ASSERT_EQ(VOK_OK, instance->RenderField(input.view, second.view, 10, InterlaceOrder::UpperFirst, true));
  for (std::uint32_t y = 0; y < out.view.height; ++y)
    EXPECT_EQ(out.RowPixels(y), (y % 2 == 0 ? first : second).RowPixels(y));
  // The odd rows of the first field's render are the input's; the second field drew there.
  bool differ = false;
  for (std::uint32_t y = 1; y < out.view.height; y += 2) differ |= second.RowPixels(y) != input.RowPixels(y);
  EXPECT_TRUE(differ);
}

// --- in place --------------------------------------------------------------------------------------

class InPlace : public EffectTest, public ::testing::WithParamInterface<std::tuple<const char*, PixelKind>> {};

TEST_P(InPlace, GivesTheSameBytesAsASeparateOutput) {
  const auto [type, kind] = GetParam();
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", type);
  instance->SetFromText("Background Opacity", "60");
  Picture input(150, 64, kind);
  input.FillPattern(13);
  Picture separate(150, 64, kind);
  separate.FillPattern(14);
  ASSERT_EQ(VOK_OK, instance->RenderFrame(input.view, separate.view, 99));
  Picture inPlace(input);
  ASSERT_EQ(VOK_OK, instance->RenderFrame(inPlace.view, inPlace.view, 99));
  for (std::uint32_t y = 0; y < input.view.height; ++y) EXPECT_EQ(inPlace.RowPixels(y), separate.RowPixels(y));
  // Interlaced in place: the second field still reads its own, untouched rows.
  Picture fieldsSeparate(150, 64, kind);
  ASSERT_EQ(VOK_OK, instance->RenderInterlaced(input.view, fieldsSeparate.view, 99, InterlaceOrder::LowerFirst));
  Picture fieldsInPlace(input);
  ASSERT_EQ(VOK_OK,
            instance->RenderInterlaced(fieldsInPlace.view, fieldsInPlace.view, 99, InterlaceOrder::LowerFirst));
  for (std::uint32_t y = 0; y < input.view.height; ++y)
    EXPECT_EQ(fieldsInPlace.RowPixels(y), fieldsSeparate.RowPixels(y));
}

INSTANTIATE_TEST_SUITE_P(Types, InPlace,
                         ::testing::Combine(::testing::ValuesIn(kClockTypes), ::testing::ValuesIn(kKinds)));

// --- threads -----------------------------------------------------------------------------------------

TEST_F(EffectTest, FramesOnSeveralThreadsGiveTheBytesOfOneByOne) {
  constexpr int kFrames = 6;
  auto instance = MakeInstance(25);
  instance->SetFromText("Clock Type List", "Digital Clock");
  instance->SetFromText("X", "5");
  instance->SetFromText("Size", "80", 0.0);
  instance->SetFromText("Size", "40", 5.0);
  Picture input(320, 120, PixelKind::Rgba);
  input.FillPattern(17);
  std::vector<Picture> alone;
  for (int k = 0; k < kFrames; ++k) alone.push_back(Rendered(*instance, input, k * 30));
  for (int round = 0; round < 3; ++round) {
    std::vector<Picture> together(kFrames, input);
    std::vector<VOKRESULT> results(kFrames, VOK_E_FAIL);
    std::vector<std::thread> threads;
    for (int k = 0; k < kFrames; ++k)
      threads.emplace_back([&, k] { results[k] = instance->RenderFrame(input.view, together[k].view, k * 30); });
    for (auto& t : threads) t.join();
    for (int k = 0; k < kFrames; ++k) {
      EXPECT_EQ(results[k], VOK_OK);
      EXPECT_EQ(together[k].bytes, alone[k].bytes) << "frame " << k;
    }
  }
}

TEST_F(EffectTest, ThreeClockTypesOnThreeThreadsGiveTheBytesOfOneByOne) {
  std::vector<std::unique_ptr<host::EffectInstance>> instances;
  for (const char* type : kClockTypes) {
    instances.push_back(MakeInstance());
    instances.back()->SetFromText("Clock Type List", type);
  }
  Picture input(256, 128, PixelKind::Uyvy);
  input.FillPattern(23);
  std::vector<Picture> alone;
  for (auto& instance : instances) alone.push_back(Rendered(*instance, input, 1000));
  std::vector<Picture> together(instances.size(), input);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < instances.size(); ++i)
    threads.emplace_back([&, i] {
      for (int n = 0; n < 5; ++n) instances[i]->RenderFrame(input.view, together[i].view, 1000);
    });
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < instances.size(); ++i) EXPECT_EQ(together[i].bytes, alone[i].bytes) << kClockTypes[i];
}

// --- exact bytes of the compositing ------------------------------------------------------------------

// The LED clock fills whole-pixel rectangles, so inside a segment the bitmap holds exactly the
// foreground colour with the alpha of its opacity. Colours are chosen to survive the 8-bit
// premultiplied drawing surface exactly (a straight 200 at alpha 128 cannot: it comes back 199),
// so every byte below is the compositing formula's.
struct ExactCase {
  const char* what;
  PixelKind kind;
  const char* color;      ///< foreground red, green, blue
  const char* opacity;    ///< foreground opacity
  std::uint8_t input[4];  ///< one input pixel (RGBA) or pixel pair (Y0, Y1, Cb, Cr)
  std::uint8_t expected[4];
};

const ExactCase kExact[] = {
    {"opaque red over anything", PixelKind::Rgba, "255,0,0", "100", {10, 20, 30, 40}, {255, 0, 0, 255}},
    {"alpha 128 red 255 over red 100", PixelKind::Rgba, "255,0,0", "50.2", {100, 0, 0, 0}, {177, 0, 0, 128}},
    {"alpha 127 over grey", PixelKind::Rgba, "255,255,0", "50", {200, 200, 200, 9}, {227, 227, 100, 127}},
    {"the input's alpha does not survive under the clock", PixelKind::Rgba, "0,0,0", "100", {1, 2, 3, 40},
     {0, 0, 0, 255}},
    {"opaque white pair, UYVY", PixelKind::Uyvy, "255,255,255", "100", {16, 16, 128, 128}, {255, 255, 128, 128}},
    {"opaque white pair, YUY2", PixelKind::Yuy2, "255,255,255", "100", {16, 16, 128, 128}, {255, 255, 128, 128}},
    {"opaque red: Cr held at 255", PixelKind::Uyvy, "255,0,0", "100", {16, 16, 128, 128}, {76, 76, 84, 255}},
    {"opaque cyan: Cr below 0 becomes 0", PixelKind::Yuy2, "0,255,255", "100", {16, 16, 128, 128},
     {178, 178, 171, 0}},
    {"opaque yellow: Cb below 0 becomes 0", PixelKind::Uyvy, "255,255,0", "100", {16, 16, 128, 128},
     {226, 225, 0, 148}},
};

/// Byte offsets of the four components in a pixel (RGBA order) or pair (Y0, Y1, Cb, Cr order).
std::array<int, 4> Offsets(PixelKind kind) {
  switch (kind) {
    case PixelKind::Rgba:
      return {0, 1, 2, 3};
    case PixelKind::Bgra:
      return {2, 1, 0, 3};
    case PixelKind::Uyvy:
      return {1, 3, 0, 2};
    case PixelKind::Yuy2:
      return {0, 2, 1, 3};
  }
  return {0, 1, 2, 3};
}

class ExactBytes : public EffectTest, public ::testing::WithParamInterface<ExactCase> {};

TEST_P(ExactBytes, InsideASegment) {
  const ExactCase& c = GetParam();
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", "LED clock");
  instance->SetFromText("Size", "100");
  instance->SetFromText("Foreground RGB Color", c.color);
  instance->SetFromText("Foreground Opacity", c.opacity);
  instance->SetFromText("Background Opacity", "0");
  const std::array<int, 4> at = Offsets(c.kind);
  Picture input(400, 200, c.kind);
  for (std::uint32_t y = 0; y < input.view.height; ++y)
    for (std::size_t i = 0; i < host::RowBytesOf(c.kind, 400); i += 4)
      for (int k = 0; k < 4; ++k) input.Row(y)[i + at[k]] = c.input[k];
  // Frame 0 shows 00:00:00.000: the middle of the top segment of the first digit is drawn.
  const Picture out = Rendered(*instance, input, 0);
  Picture probe(400, 200, PixelKind::Rgba);
  instance->SetFromText("Foreground Opacity", "100");
  const Picture where = Rendered(*instance, probe, 0);
  int matches = 0, drawn = 0;
  for (std::uint32_t y = 0; y < 200; ++y)
    for (std::uint32_t x = 0; x + 1 < 400; x += 2) {
      // A pair whose two pixels are fully inside a segment.
      if (where.Row(y)[x * 4 + 3] != 255 || where.Row(y)[x * 4 + 7] != 255) continue;
      ++drawn;
      const std::uint8_t* o = out.Row(y) + (host::IsYuv422(c.kind) ? x * 2 : x * 4);
      std::array<std::uint8_t, 4> got{o[at[0]], o[at[1]], o[at[2]], o[at[3]]};
      if (std::equal(got.begin(), got.end(), c.expected)) ++matches;
    }
  ASSERT_GT(drawn, 20);
  EXPECT_EQ(matches, drawn) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Table, ExactBytes, ::testing::ValuesIn(kExact));

TEST_F(EffectTest, APairWhoseFirstPixelIsTransparentIsCopied) {
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", "LED clock");
  instance->SetFromText("Size", "100");
  instance->SetFromText("Background Opacity", "0");
  Picture probe(400, 200, PixelKind::Rgba);
  const Picture where = Rendered(*instance, probe, 0);
  Picture input(400, 200, PixelKind::Uyvy);
  input.FillPattern(31);
  const Picture out = Rendered(*instance, input, 0);
  int pairs = 0;
  for (std::uint32_t y = 0; y < 200; ++y)
    for (std::uint32_t x = 0; x + 1 < 400; x += 2)
      if (where.Row(y)[x * 4 + 3] == 0 && where.Row(y)[x * 4 + 7] != 0) {
        ++pairs;
        EXPECT_TRUE(std::equal(out.Row(y) + x * 2, out.Row(y) + x * 2 + 4, input.Row(y) + x * 2));
      }
  EXPECT_GT(pairs, 0) << "the clock has no segment edge at an odd column";
}

// --- values no host should deliver ---------------------------------------------------------------------

struct HostileCase {
  const char* name;
  double value;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class HostileValue : public EffectTest, public ::testing::WithParamInterface<std::tuple<HostileCase, const char*>> {};

TEST_P(HostileValue, RendersWithoutFailingAndTheSameWayTwice) {
  const auto [c, type] = GetParam();
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", type);
  SetRaw(*instance, c.name, c.value);
  Picture input(96, 54, PixelKind::Yuy2);
  input.FillPattern(41);
  const Picture once = Rendered(*instance, input, 20);
  EXPECT_EQ(Rendered(*instance, input, 20).bytes, once.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileValue,
    ::testing::Combine(::testing::Values(HostileCase{"X", kNaN}, HostileCase{"X", kInf}, HostileCase{"X", -kInf},
                                         HostileCase{"Y", 1e300}, HostileCase{"Y", -1e300},
                                         HostileCase{"Size", kNaN}, HostileCase{"Size", kInf},
                                         HostileCase{"Size", 1e12}, HostileCase{"Size", -50},
                                         HostileCase{"Foreground Red", kNaN}, HostileCase{"Foreground Green", 1e300},
                                         HostileCase{"Foreground Blue", -1e300}, HostileCase{"Background Red", 300},
                                         HostileCase{"Foreground Opacity", kInf},
                                         HostileCase{"Background Opacity", -kInf},
                                         HostileCase{"Background Opacity", kNaN},
                                         HostileCase{"Alignment List", 4294967295.0},
                                         HostileCase{"Start Time Year", 4294967295.0},
                                         HostileCase{"Start Time Month", 0}),
                       ::testing::ValuesIn(kClockTypes)));

TEST_F(EffectTest, HostilePixelAspectRatiosRenderLikeSquarePixelsOrWithinBounds) {
  auto instance = MakeInstance();
  Picture input(96, 54, PixelKind::Rgba);
  input.FillPattern(43);
  const Picture square = Rendered(*instance, input, 0);
  for (const double ratio : {0.0, -1.0, kNaN, kInf}) {
    ImageLayout layout;
    layout.pixelAspectRatio = ratio;
    EXPECT_EQ(Rendered(*instance, input, 0, layout).bytes, square.bytes) << ratio;
  }
  for (const double ratio : {1e-300, 1e300}) {
    ImageLayout layout;
    layout.pixelAspectRatio = ratio;
    Rendered(*instance, input, 0, layout);
  }
}

TEST_F(EffectTest, AFaceNameWithoutTerminatorIsReadToItsThirtySecondUnit) {
  auto unterminated = MakeInstance();
  auto terminated = MakeInstance();
  for (auto* instance : {unterminated.get(), terminated.get()}) {
    instance->SetFromText("Clock Type List", "Digital Clock");
    instance->SetFromText("X", "2");
  }
  // 32 units of 'A' and no terminator: a family that does not exist, so the sans-serif one draws.
  ParamValue font = unterminated->Get("PrivateData").ValueAt();
  ASSERT_EQ(font.bytes.size(), 92u);
  for (int i = 0; i < 32; ++i) {
    font.bytes[28 + 2 * i] = 'A';
    font.bytes[29 + 2 * i] = 0;
  }
  ASSERT_TRUE(unterminated->Get("PrivateData").Set(font));
  font.bytes[28 + 2 * 31] = 0;  // the same name, 31 units and a terminator
  ASSERT_TRUE(terminated->Get("PrivateData").Set(font));
  Picture input(300, 60, PixelKind::Rgba);
  input.FillPattern(3);
  EXPECT_EQ(Rendered(*unterminated, input, 5).bytes, Rendered(*terminated, input, 5).bytes);
}

TEST_F(EffectTest, AFontRecordOfTheWrongSizeIsRefusedAndWritesNothing) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{91}, std::size_t{93}}) {
    auto instance = MakeInstance();
    ParamValue v;
    v.bytes.assign(size, 0);
    instance->Get("PrivateData").SetUnchecked(v);
    Picture input(64, 32, PixelKind::Rgba);
    input.FillPattern(1);
    Picture out(64, 32, PixelKind::Rgba);
    out.FillPattern(2);
    const Picture before = out;
    EXPECT_EQ(instance->RenderFrame(input.view, out.view, 0), VOK_E_UNEXPECTED) << size;
    EXPECT_EQ(out.bytes, before.bytes);
  }
}

TEST_F(EffectTest, AStartTimeTextLongerThanItsBufferIsCut) {
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", "LED clock");
  instance->SetFromText("Style List", "Free Format");
  instance->SetFromText("Start Time", std::string(400, '1'));
  auto cut = MakeInstance();
  cut->SetFromText("Clock Type List", "LED clock");
  cut->SetFromText("Style List", "Free Format");
  cut->SetFromText("Start Time", std::string(254, '1'));
  Picture input(2000, 100, PixelKind::Rgba);
  const Picture shown = Rendered(*instance, input, 0);
  EXPECT_EQ(shown.bytes, Rendered(*cut, input, 0).bytes);
  cut->SetFromText("Start Time", std::string(253, '1'));
  EXPECT_NE(shown.bytes, Rendered(*cut, input, 0).bytes);
}

}  // namespace
}  // namespace zel::test
