// The update handler under failing host calls: for every timer style branch, each call of an
// update fails in turn with several codes. What must hold: a failing parameter fetch, entry
// lookup or switch returns that call's code with the entries before it switched and none after; a
// failing read of the style is no failure and runs the branch of the clock styles; no host object
// is left alive.
#include <algorithm>
#include <string_view>

#include "interaction/LayoutSource.h"
#include "SweepSupport.h"
#include "../plugin/InteractionHost.h"

using namespace zel::host;
using zel::test::CallsOf;
using zel::test::ClockPlugin;
using zel::test::kSweepCodes;

namespace {

const bool kTally = zel::test::RegisterSweepTally("update handler");

using Switch = std::pair<VOKUID, bool>;

class UpdateParamsSweepTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    ClockPlugin();
    m_live = Instrumentation::LiveHostObjects();
    m_instance = std::make_unique<EffectInstance>(ClockPlugin());
    m_panel = LayoutSource::Build(*ClockPlugin().Effect(),
                                  [this](const LayoutEntry& e, bool on) { m_switches.push_back({e.Uid(), on}); });
    m_handler = zel::test::MakeComponent<IZELUpdateParams>(ZELKind_UpdateParams, IID_IZELUpdateParams);
    ASSERT_TRUE(m_handler);
  }
  void TearDown() override {
    m_handler.Reset();
    m_panel.Reset();
    m_instance.reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_live);
    InstrumentedTest::TearDown();
  }

  void SetStyle(double style) {
    ParamValue v;
    v.num[0] = style;
    m_instance->Get("Style List").SetUnchecked(v);
  }
  /// One update from a panel with every entry on; the switches it made.
  VOKRESULT Update(std::vector<Switch>& switches) {
    m_panel->ResetAll();
    m_switches.clear();
    VOKPtr<HostEffectContext> context = m_instance->MakeContext();
    auto render = zel::test::RenderContextAt(0);
    const VOKRESULT result = m_handler->Update(context.Get(), context.Get(), render.Get(), m_panel.Get());
    switches = m_switches;
    return result;
  }

  std::int64_t m_live = 0;
  std::unique_ptr<EffectInstance> m_instance;
  std::vector<Switch> m_switches;
  VOKPtr<LayoutSource> m_panel;
  VOKPtr<IZELUpdateParams> m_handler;
};

TEST_F(UpdateParamsSweepTest, EachFailingCallStopsTheSequenceThereWithItsCode) {
  std::uint64_t swept = 0;
  // One style of every branch: clock styles, time code, dates, free format, frame counters.
  for (double style : {1.0, 10.0, 11.0, 13.0, 14.0}) {
    SCOPED_TRACE("style " + std::to_string(style));
    SetStyle(style);
    std::vector<Switch> whole;
    const auto calls = CallsOf([&] { ASSERT_EQ(Update(whole), VOK_OK); });
    ASSERT_FALSE(calls.empty());
    SetStyle(0);
    std::vector<Switch> clockStyles;
    ASSERT_EQ(Update(clockStyles), VOK_OK);
    SetStyle(style);

    for (std::size_t k = 1; k <= calls.size(); ++k) {
      const std::string& op = calls[k - 1];
      // The switches made by the calls before the failing one.
      const auto switchesBefore = static_cast<std::size_t>(
          std::count_if(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(k - 1),
                        [](const std::string& c) { return c.rfind("LayoutEntry.Enable", 0) == 0; }));
      for (VOKRESULT code : kSweepCodes) {
        SCOPED_TRACE("call " + std::to_string(k) + " " + op + ", code " + std::to_string(code));
        Instrumentation::Global().Reset();
        Instrumentation::Global().FailCall(k, code);
        std::vector<Switch> done;
        const VOKRESULT result = Update(done);
        Instrumentation::Global().Reset();
        ++swept;
        if (zel::test::IsReportless(op)) {
          EXPECT_EQ(result, VOK_OK);
          EXPECT_EQ(done, whole);
        } else if (std::string_view(op).substr(0, 32) == "AnimatedParameter.GetValueAtTime") {
          EXPECT_EQ(result, VOK_OK);
          EXPECT_EQ(done, clockStyles);
        } else {
          EXPECT_EQ(result, code);
          ASSERT_LE(switchesBefore, whole.size());
          EXPECT_EQ(done, std::vector<Switch>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(switchesBefore)));
        }
      }
    }
  }
  zel::test::CountSwept(swept);
}

}  // namespace
