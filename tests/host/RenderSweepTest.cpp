// The render operation under failing host calls, in every clock and every pixel kind, each call
// failing in turn with several codes. What must hold: the render returns the injected code (or,
// for the console it must find, the unexpected-error code) and leaves the output untouched, or it
// succeeds; a call that has no result code changes nothing; no host object is left alive; and the
// module can unload afterwards.
#include <gtest/gtest.h>

#include "render/EffectInstance.h"
#include "SweepSupport.h"

namespace zel::host {
namespace {

using zel::test::CallsOf;
using zel::test::kSweepCodes;

const bool kTally = zel::test::RegisterSweepTally("render");

Plugin& ClockPlugin() {
  static Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

struct Picture {
  std::vector<std::uint8_t> bytes;
  FrameView view;
  Picture(std::uint32_t w, std::uint32_t h, PixelKind kind, std::uint32_t seed) {
    const std::size_t stride = RowBytesOf(kind, w) + 8;
    bytes.resize(stride * h);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 2654435761u + seed) >> 13);
    view = FrameView{bytes.data(), w, h, stride, kind};
  }
  Picture(const Picture& o) : bytes(o.bytes), view(o.view) { view.data = bytes.data(); }
  Picture& operator=(const Picture&) = delete;
};

TEST(RenderSweepTest, EveryCallOfEveryClockAndKindFailsInTurnWithEachCode) {
  std::uint64_t swept = 0;
  for (const char* type : {"Analog Clock", "Digital Clock", "LED clock"}) {
    for (PixelKind kind : {PixelKind::Rgba, PixelKind::Bgra, PixelKind::Uyvy, PixelKind::Yuy2}) {
      SCOPED_TRACE(std::string(type) + ", kind " + std::to_string(static_cast<int>(kind)));
      EffectInstance instance(ClockPlugin());
      instance.SetFromText("Clock Type List", type);
      instance.SetFromText("Style List", "Free Format");
      instance.SetFromText("Start Time", "%H:%M:%S");
      instance.SetFromText("Size", "90");
      const Picture input(40, 12, kind, 1), sentinel(40, 12, kind, 2);
      Picture baseline(sentinel);
      const auto calls = CallsOf([&] { ASSERT_EQ(instance.RenderFrame(input.view, baseline.view, 40), VOK_OK); });
      ASSERT_GT(calls.size(), 50u);
      const std::int64_t live = Instrumentation::LiveHostObjects();
      for (std::size_t k = 1; k <= calls.size(); ++k) {
        for (VOKRESULT code : kSweepCodes) {
          SCOPED_TRACE("call " + std::to_string(k) + " " + calls[k - 1] + ", code " + std::to_string(code));
          Picture out(sentinel);
          Instrumentation::Global().Reset();
          Instrumentation::Global().FailCall(k, code);
          const VOKRESULT result = instance.RenderFrame(input.view, out.view, 40);
          Instrumentation::Global().Reset();
          ++swept;
          EXPECT_EQ(Instrumentation::LiveHostObjects(), live);
          if (zel::test::IsReportless(calls[k - 1]) || calls[k - 1].rfind("Image.", 0) == 0 ||
              calls[k - 1].rfind("PixelFormat.", 0) == 0) {
            if (calls[k - 1] != "Image.GetPixelFormat") {
              EXPECT_EQ(result, VOK_OK);
              EXPECT_EQ(out.bytes, baseline.bytes);
              continue;
            }
          }
          if (result == VOK_OK) continue;  // an unchecked value read: the render goes on
          if (calls[k - 1] == "QueryInterface HostUnknown") EXPECT_EQ(result, VOK_E_UNEXPECTED);
          else EXPECT_EQ(result, code);
          EXPECT_EQ(out.bytes, sentinel.bytes) << "a failed render wrote into the output";
        }
      }
    }
  }
  zel::test::CountSwept(swept);
  EXPECT_EQ(ClockPlugin().Module().CanUnloadNow(ClockPlugin().Host().Unknown()), VOK_OK);
}

}  // namespace
}  // namespace zel::host
