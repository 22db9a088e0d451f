// The overlay under failing host calls: each call of a draw, a press, a drag and a release fails
// in turn with several codes, on a fresh overlay (whose first refresh fetches the parameter faces)
// and on one that has them. What must hold: a draw draws all or nothing, a press or drag whose
// refresh fails returns 0 and writes nothing, a refused write ends the drag with 0 and keeps
// every later value, a release makes no host call, and no host object is left alive.
#include <algorithm>
#include <string_view>

#include "interaction/EditSession.h"
#include "SweepSupport.h"
#include "../plugin/InteractionHost.h"

using namespace zel::host;
using zel::test::CallsOf;
using zel::test::ClockPlugin;
using zel::test::kSweepCodes;

namespace {

const bool kTally = zel::test::RegisterSweepTally("overlay");

constexpr int kViewerWidth = 320;
constexpr int kViewerHeight = 180;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

class OverlaySweepTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    SequenceInfo sequence;
    m_session = std::make_unique<EditSession>(ClockPlugin(), sequence);
    m_viewer = &m_session->OpenViewer(kViewerWidth, kViewerHeight);
    m_viewer->SetToleranceScale(600);
    Set("X", 50);
    Set("Y", 50);
    Set("Size", 50);
  }
  void TearDown() override {
    m_session.reset();
    InstrumentedTest::TearDown();
  }

  void Set(const char* name, double v) {
    ParamValue p;
    p.num[0] = v;
    ASSERT_TRUE(m_session->Instance().Get(name).Set(p));
  }
  double Value(const char* name) { return m_session->Instance().Get(name).ValueAt().num[0]; }

  /// An overlay of its own attached to the viewer: fresh (no faces fetched) or warmed by one draw.
  VOKPtr<IZELGraphicOverlay> MakeOverlay(bool warm) {
    VOKPtr<IZELGraphicOverlay> overlay =
        zel::test::MakeComponent<IZELGraphicOverlay>(ZELKind_Overlay, IID_IZELGraphicOverlay);
    EXPECT_EQ(overlay->Attach(m_viewer), VOK_OK);
    if (warm) overlay->Draw(0);
    return overlay;
  }
  std::vector<std::uint8_t> Pixels() const {
    const auto& s = m_viewer->Surface();
    return {s.Bits(), s.Bits() + s.Stride() * static_cast<std::size_t>(s.Height())};
  }

  /// Runs `action` once cleanly to learn its calls, then with each call failing in turn with each
  /// code; `check` sees the failing operation, the code and the action's result.
  void Sweep(const std::function<void(IZELGraphicOverlay&)>& prepare,
             const std::function<std::int32_t(IZELGraphicOverlay&)>& action,
             const std::function<void(const std::string& op, VOKRESULT code, std::int32_t result)>& check,
             bool warm) {
    std::vector<std::string> calls;
    {
      auto overlay = MakeOverlay(warm);
      prepare(*overlay.Get());
      calls = CallsOf([&] { action(*overlay.Get()); });
      overlay->Detach();
    }
    ASSERT_FALSE(calls.empty());
    const std::int64_t live = Instrumentation::LiveHostObjects();
    std::uint64_t swept = 0;
    for (std::size_t k = 1; k <= calls.size(); ++k) {
      for (VOKRESULT code : kSweepCodes) {
        SCOPED_TRACE("call " + std::to_string(k) + " " + calls[k - 1] + ", code " + std::to_string(code));
        Set("X", 50);
        Set("Y", 50);
        Set("Size", 50);
        auto overlay = MakeOverlay(warm);
        prepare(*overlay.Get());
        Instrumentation::Global().Reset();
        Instrumentation::Global().FailCall(k, code);
        const std::int32_t result = action(*overlay.Get());
        Instrumentation::Global().Reset();
        check(calls[k - 1], code, result);
        overlay->Detach();
        overlay.Reset();
        EXPECT_EQ(Instrumentation::LiveHostObjects(), live);
        ++swept;
      }
    }
    zel::test::CountSwept(swept);
  }

  std::unique_ptr<EditSession> m_session;
  OverlayContext* m_viewer = nullptr;
};

/// Calls that a refresh raises: the contexts, the parameter faces and their reads.
bool IsRefreshCall(const std::string& op) {
  return op == "OverlayContext.GetEffectContext" || op == "OverlayContext.GetFrameContext" ||
         op == "OverlayContext.GetRenderContext" || StartsWith(op, "EffectContext.GetParameter") || StartsWith(op, "AnimatedParameter.GetValueAtTime") ||
         StartsWith(op, "QueryInterface");
}

TEST_F(OverlaySweepTest, DrawDrawsAllOrNothing) {
  for (bool warm : {false, true}) {
    SCOPED_TRACE(warm ? "warm" : "fresh");
    m_viewer->Surface().Fill(0x40, 0x40, 0x40, 0xFF);
    const auto blank = Pixels();
    {
      auto overlay = MakeOverlay(warm);
      m_viewer->Surface().Fill(0x40, 0x40, 0x40, 0xFF);
      overlay->Draw(1);
      overlay->Detach();
    }
    const auto drawn = Pixels();
    ASSERT_NE(drawn, blank);
    int nothing = 0;
    Sweep([&](IZELGraphicOverlay&) { m_viewer->Surface().Fill(0x40, 0x40, 0x40, 0xFF); },
          [&](IZELGraphicOverlay& o) {
            o.Draw(1);
            return 0;
          },
          [&](const std::string& op, VOKRESULT, std::int32_t) {
            const auto now = Pixels();
            if (IsRefreshCall(op)) {
              EXPECT_EQ(now, blank);
              ++nothing;
            } else {
              EXPECT_EQ(now, drawn);
            }
          },
          warm);
    EXPECT_GT(nothing, 0);
  }
}

TEST_F(OverlaySweepTest, FailedPressReturnsZeroAndWritesNothing) {
  for (bool warm : {false, true}) {
    SCOPED_TRACE(warm ? "warm" : "fresh");
    Sweep([](IZELGraphicOverlay&) {}, [](IZELGraphicOverlay& o) { return o.PointerDown(0.5, 0.5, 1); },
          [&](const std::string& op, VOKRESULT, std::int32_t result) {
            EXPECT_EQ(result, IsRefreshCall(op) ? 0 : 1);
            EXPECT_EQ(Value("X"), 50);
            EXPECT_EQ(Value("Y"), 50);
            EXPECT_EQ(Value("Size"), 50);
          },
          warm);
  }
}

TEST_F(OverlaySweepTest, FailedMoveDragKeepsWhatWasNotWritten) {
  // A press at the centre starts a move; the drag writes X, then Y.
  Sweep([](IZELGraphicOverlay& o) { ASSERT_EQ(o.PointerDown(0.5, 0.5, 1), 1); },
        [](IZELGraphicOverlay& o) { return o.PointerDrag(0.25, 0.75, 1); },
        [&](const std::string& op, VOKRESULT, std::int32_t result) {
          const bool refused = StartsWith(op, "AnimatedParameter.SetValueAtTime");
          EXPECT_EQ(result, IsRefreshCall(op) || refused ? 0 : 1);
          if (result == 1) {
            EXPECT_EQ(Value("X"), 25);
            EXPECT_EQ(Value("Y"), 75);
          } else {
            // Written in order: a refused Y keeps the X already written, anything earlier both.
            EXPECT_EQ(Value("X"), op == "AnimatedParameter.SetValueAtTime Y" ? 25 : 50);
            EXPECT_EQ(Value("Y"), 50);
          }
          EXPECT_EQ(Value("Size"), 50);
        },
        true);
}

TEST_F(OverlaySweepTest, FailedSizeDragKeepsTheSize) {
  // A press on the outline (half the frame high: 0.25 below the centre) starts a size drag.
  Sweep([](IZELGraphicOverlay& o) { ASSERT_EQ(o.PointerDown(0.5, 0.75, 1), 1); },
        [](IZELGraphicOverlay& o) { return o.PointerDrag(0.5, 0.9, 1); },
        [&](const std::string& op, VOKRESULT, std::int32_t result) {
          const bool refused = StartsWith(op, "AnimatedParameter.SetValueAtTime");
          EXPECT_EQ(result, IsRefreshCall(op) || refused ? 0 : 1);
          if (result == 0) EXPECT_EQ(Value("Size"), 50);
          else EXPECT_NEAR(Value("Size"), 80, 1e-9);
          EXPECT_EQ(Value("X"), 50);
          EXPECT_EQ(Value("Y"), 50);
        },
        true);
}

TEST_F(OverlaySweepTest, ReleaseMakesNoHostCall) {
  auto overlay = MakeOverlay(true);
  ASSERT_EQ(overlay->PointerDown(0.5, 0.5, 1), 1);
  EXPECT_TRUE(CallsOf([&] { EXPECT_EQ(overlay->PointerUp(0.2, 0.2, 1), 1); }).empty());
  overlay->Detach();
}

}  // namespace
