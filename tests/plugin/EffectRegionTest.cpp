// The effect's region of definition through the real host: the rectangle it answers for a time
// must hold every pixel a render at that time changes, since a host that trusts it keeps the
// rest of the frame as it was. Swept over the clock types, positions at and over the frame's
// edges, sizes, pixel shapes, times whose text is wider or narrower, fields and 4:2:2 pairs.
#include <algorithm>

#include "EffectTestHost.h"

namespace zel::test {
namespace {

using host::FrameRegion;
using host::ImageLayout;
using host::Instrumentation;
using host::InterlaceOrder;
using host::PixelKind;

/// The smallest rectangle holding every pixel whose bytes differ between two pictures of one
/// kind; a 4:2:2 pair that differs counts both its pixels. Empty when none differ.
FrameRegion ChangedBox(const Picture& a, const Picture& b) {
  FrameRegion box{1 << 30, 1 << 30, -1, -1};
  const bool pairs = host::IsYuv422(a.view.kind);
  const std::uint32_t units = pairs ? (a.view.width + 1) / 2 : a.view.width;
  for (std::uint32_t y = 0; y < a.view.height; ++y)
    for (std::uint32_t u = 0; u < units; ++u) {
      if (std::equal(a.Row(y) + 4 * u, a.Row(y) + 4 * u + 4, b.Row(y) + 4 * u)) continue;
      const int x = static_cast<int>(pairs ? 2 * u : u);
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, std::min<int>(x + (pairs ? 2 : 1), static_cast<int>(a.view.width)));
      box.top = std::min(box.top, static_cast<int>(y));
      box.bottom = std::max(box.bottom, static_cast<int>(y) + 1);
    }
  return box.right < 0 ? FrameRegion{} : box;
}

/// `region` widened to whole 4:2:2 pairs when the picture is in pairs: a pair is written whole.
FrameRegion InPairs(FrameRegion region, PixelKind kind) {
  if (host::IsYuv422(kind) && !region.Empty()) {
    region.left &= ~1;
    region.right += region.right & 1;
  }
  return region;
}

bool Holds(const FrameRegion& outer, const FrameRegion& inner) {
  return inner.Empty() || (outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
                           outer.bottom >= inner.bottom);
}

std::string Text(const FrameRegion& r) {
  std::string text("[");
  text.append(std::to_string(r.left)).append(", ").append(std::to_string(r.right)).append(") x [");
  return text.append(std::to_string(r.top)).append(", ").append(std::to_string(r.bottom)).append(")");
}

struct Setting {
  const char* name;
  const char* value;
};

struct Case {
  const char* what;
  std::vector<Setting> settings;
  double pixelAspectRatio = 1.0;
};

// Each case with each clock type: the region of a render must hold what the render changed.
TEST_F(EffectTest, TheRegionHoldsEveryPixelARenderChanges) {
  const std::vector<Case> cases = {
      {"defaults", {}},
      {"left edge, large", {{"X", "0"}, {"Size", "100"}}},
      {"past the bottom right corner", {{"X", "100"}, {"Y", "100"}, {"Size", "60"}}},
      {"top edge, small, half opaque", {{"Y", "0"}, {"Size", "5"}, {"Foreground Opacity", "50"}}},
      {"no background", {{"Background Opacity", "0"}}},
      {"right aligned", {{"Alignment List", "0"}, {"X", "90"}}},
      {"centred, wide pixels", {{"Alignment List", "Center"}}, 2.0},
      {"narrow pixels", {{"Size", "40"}}, 0.5},
      {"running at triple speed", {{"Time Speed Factor", "3"}}},
  };
  const double times[] = {0, 12.5, 1799, 107999.5};
  int renders = 0, drawing = 0;
  for (const char* type : {"Analog Clock", "Digital Clock", "LED clock"}) {
    for (const Case& c : cases) {
      auto instance = MakeInstance(25);
      instance->SetFromText("Clock Type List", type);
      for (const Setting& s : c.settings) instance->SetFromText(s.name, s.value);
      ImageLayout layout;
      layout.pixelAspectRatio = c.pixelAspectRatio;
      for (const PixelKind kind : {PixelKind::Rgba, PixelKind::Uyvy}) {
        Picture input(161, 90, kind);
        input.FillPattern(7);
        for (const double time : times) {
          for (const bool interlaced : {false, true}) {
            std::string trace(type);
            trace.append(", ").append(c.what).append(kind == PixelKind::Rgba ? ", RGBA" : ", UYVY");
            trace.append(", time ").append(std::to_string(time)).append(interlaced ? ", interlaced" : "");
            SCOPED_TRACE(trace);
            const auto region = instance->RegionAt(input.view.width, input.view.height, time, interlaced, layout);
            ASSERT_TRUE(region.has_value());
            Picture out(input);
            ASSERT_EQ(VOK_OK, interlaced ? instance->RenderInterlacedAt(out.view, out.view, 3, time,
                                                                        InterlaceOrder::UpperFirst, layout)
                                         : instance->RenderFrameAt(out.view, out.view, 3, time, layout));
            const FrameRegion changed = ChangedBox(input, out);
            ++renders;
            if (!changed.Empty()) ++drawing;
            EXPECT_TRUE(Holds(InPairs(*region, kind), changed))
                << "region " << Text(*region) << " against the changes " << Text(changed);
            // A region is worth asking for only when it is smaller than the frame.
            if (std::string(c.what) == "defaults") {
              EXPECT_LT((region->right - region->left) * (region->bottom - region->top), 161 * 90 / 2);
            }
          }
        }
      }
    }
  }
  // Some cases put the clock off the frame or make it invisible; most must draw, or the sweep
  // tests little.
  EXPECT_GT(drawing, renders * 3 / 4);
}

TEST_F(EffectTest, AClockTypeThatDrawsNothingHasAnEmptyRegion) {
  auto instance = MakeInstance();
  host::ParamValue type;
  type.num = {7.0, 7.0, 7.0};
  instance->Get("the List value").SetUnchecked(type);
  const auto region = instance->RegionAt(120, 80, 5, false);
  ASSERT_TRUE(region.has_value());
  EXPECT_TRUE(region->Empty());
}

// Whichever host call fails, the operation answers VOK_OK, and the record is either left
// unanswered (the host then keeps the whole frame) or still holds what the render changes.
TEST_F(EffectTest, AFailingHostCallLeavesTheRegionUnansweredOrRight) {
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", "Digital Clock");
  Instrumentation& instrumentation = Instrumentation::Global();
  instrumentation.StartCounting();
  ASSERT_TRUE(instance->RegionAt(200, 100, 40, false).has_value());
  const std::uint64_t calls = instrumentation.CallCount();
  ASSERT_GT(calls, 20u);

  Picture input(200, 100, PixelKind::Rgba);
  input.FillPattern(9);
  Picture out(input);
  ASSERT_EQ(VOK_OK, instance->RenderFrameAt(out.view, out.view, 40, 40));
  const FrameRegion changed = ChangedBox(input, out);
  int unanswered = 0;
  for (std::uint64_t k = 1; k <= calls; ++k) {
    SCOPED_TRACE("host call " + std::to_string(k) + " fails");
    instrumentation.Reset();
    instrumentation.FailCall(k, VOK_E_UNEXPECTED);
    host::RenderRequest request;
    request.time = 40;
    const auto region = instance->RegionOf(200, 100, request);
    instrumentation.Reset();
    if (!region) {
      ++unanswered;
      continue;
    }
    EXPECT_TRUE(Holds(*region, changed)) << Text(*region);
  }
  // The parameter objects and the font record are checked: their failures leave it unanswered.
  EXPECT_GT(unanswered, 0);
  instrumentation.FailOperation("EffectContext.GetParameter", VOK_E_UNEXPECTED);
  host::RenderRequest request;
  request.time = 40;
  EXPECT_FALSE(instance->RegionOf(200, 100, request).has_value());
}

TEST_F(EffectTest, ANullRecordOrContextIsAnsweredWithOk) {
  auto instance = MakeInstance();
  auto context = instance->MakeContext();
  ZELRegion region{};
  EXPECT_EQ(VOK_OK, instance->Effect()->GetRegionOfDefinition(context.Get(), nullptr, &region));
  EXPECT_EQ(region.known, 0);
  EXPECT_EQ(VOK_OK, instance->Effect()->GetRegionOfDefinition(nullptr, nullptr, &region));
  EXPECT_EQ(region.known, 0);
}

}  // namespace
}  // namespace zel::test
