// The update handler switches the panel's time-entry controls by the timer style. Driven through
// the real host: the handler is made by the loaded plug-in's class factory, reads "Style List"
// from a host effect instance and switches entries of the host's panel, which records every switch.
#include <cstdint>
#include <string>
#include <vector>

#include "InteractionHost.h"

using namespace zel::host;
using namespace zel2clock;
using zel::test::ClockPlugin;

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);

struct Switch {
  VOKUID uid;
  bool on;
  bool operator==(const Switch& o) const { return uid == o.uid && on == o.on; }
};
using Sequence = std::vector<Switch>;

// The switch calls each branch must make, in this order.
const Sequence kClockStyles = {
    {kLayoutControlStopHour, true},         {kLayoutControlStopMinute, true},   {kLayoutControlStopSecond, true},
    {kLayoutControlStopMillisecond, true},  {kLayoutControlStartMillisecond, true},
    {kLayoutControlStartFrame, false},      {kLayoutControlStopFrame, false},   {kLayoutControlStartDay, false},
    {kLayoutControlStartMonth, false},      {kLayoutControlStartYear, false},   {kLayoutTextStartTime, false}};
const Sequence kTimeCode = {
    {kLayoutControlStartMillisecond, false}, {kLayoutControlStartFrame, true},   {kLayoutControlStopFrame, false},
    {kLayoutControlStopHour, false},         {kLayoutControlStopMinute, false},  {kLayoutControlStopSecond, false},
    {kLayoutControlStopMillisecond, false},  {kLayoutControlStartDay, false},    {kLayoutControlStartMonth, false},
    {kLayoutControlStartYear, false},        {kLayoutTextStartTime, false}};
const Sequence kDates = {
    {kLayoutControlStartMillisecond, false}, {kLayoutControlStartFrame, false},  {kLayoutControlStopFrame, false},
    {kLayoutControlStartDay, true},          {kLayoutControlStartMonth, true},   {kLayoutControlStartYear, true},
    {kLayoutControlStopHour, true},          {kLayoutControlStopMinute, true},   {kLayoutControlStopSecond, true},
    {kLayoutControlStopMillisecond, true},   {kLayoutTextStartTime, false}};
const Sequence kFreeFormat = {
    {kLayoutControlStartMillisecond, false}, {kLayoutControlStartFrame, false},  {kLayoutControlStopHour, true},
    {kLayoutControlStopMinute, true},        {kLayoutControlStopSecond, true},   {kLayoutControlStopMillisecond, true},
    {kLayoutControlStopFrame, false},        {kLayoutControlStartDay, true},     {kLayoutControlStartMonth, true},
    {kLayoutControlStartYear, true},         {kLayoutTextStartTime, true}};
const Sequence kFrameCounters = {
    {kLayoutControlStartMillisecond, false}, {kLayoutControlStartFrame, true},   {kLayoutControlStopHour, false},
    {kLayoutControlStopMinute, false},       {kLayoutControlStopSecond, false},  {kLayoutControlStopMillisecond, false},
    {kLayoutControlStopFrame, false},        {kLayoutControlStartDay, false},    {kLayoutControlStartMonth, false},
    {kLayoutControlStartYear, false},        {kLayoutTextStartTime, false}};
const Sequence kNothing = {};

/// The eleven entries the handler may switch.
const VOKUID kSwitched[] = {kLayoutControlStartMillisecond, kLayoutControlStartFrame, kLayoutControlStartDay,
                            kLayoutControlStartMonth,       kLayoutControlStartYear,  kLayoutControlStopHour,
                            kLayoutControlStopMinute,       kLayoutControlStopSecond, kLayoutControlStopMillisecond,
                            kLayoutControlStopFrame,        kLayoutTextStartTime};

struct StyleCase {
  std::uint32_t style;
  const Sequence* expected;
};
const StyleCase kStyleCases[] = {
    {0, &kClockStyles},   {1, &kClockStyles},   {2, &kClockStyles},    {3, &kClockStyles},   {4, &kClockStyles},
    {5, &kClockStyles},   {6, &kClockStyles},   {7, &kClockStyles},    {8, &kClockStyles},   {9, &kClockStyles},
    {10, &kTimeCode},     {11, &kDates},        {12, &kDates},         {13, &kFreeFormat},   {14, &kFrameCounters},
    {15, &kFrameCounters}, {16, &kNothing},     {1000, &kNothing},     {0x80000000u, &kNothing},
    {0xFFFFFFFFu, &kNothing}};

class UpdateParamsTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    ClockPlugin();  // loaded once for the run; its definitions are not ours to count
    m_baseline = Instrumentation::LiveHostObjects();
    m_instance = std::make_unique<EffectInstance>(ClockPlugin());
    m_panel = LayoutSource::Build(*ClockPlugin().Effect(),
                                  [this](const LayoutEntry& e, bool on) { m_calls.push_back({e.Uid(), on}); });
    m_handler = zel::test::MakeComponent<IZELUpdateParams>(ZELKind_UpdateParams, IID_IZELUpdateParams);
    ASSERT_TRUE(m_handler);
  }
  void TearDown() override {
    m_handler.Reset();
    m_panel.Reset();
    m_instance.reset();
    // Every context, parameter face and panel entry the handler touched was released again.
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_baseline);
    InstrumentedTest::TearDown();
  }

  /// Stores `style` as the timer style, exactly (a host may deliver any 32-bit value).
  void SetStyle(std::uint32_t style, std::optional<double> keyTime = std::nullopt) {
    ParamValue v;
    v.num[0] = style;
    m_instance->Get("Style List").SetUnchecked(v, keyTime);
  }

  VOKRESULT Update(double time = 0) {
    VOKPtr<HostEffectContext> context = m_instance->MakeContext();
    auto render = zel::test::RenderContextAt(time);
    return m_handler->Update(context.Get(), context.Get(), render.Get(), m_panel.Get());
  }

  bool On(const VOKUID& uid) const { return m_panel->Find(uid)->On(); }

  std::int64_t m_baseline = 0;
  std::unique_ptr<EffectInstance> m_instance;
  std::vector<Switch> m_calls;
  VOKPtr<LayoutSource> m_panel;
  VOKPtr<IZELUpdateParams> m_handler;
};

TEST_F(UpdateParamsTest, EachStyleSwitchesItsEntriesInOrder) {
  for (const StyleCase& c : kStyleCases) {
    SCOPED_TRACE("style " + std::to_string(c.style));
    m_panel->ResetAll();
    m_calls.clear();
    SetStyle(c.style);
    ASSERT_EQ(Update(), VOK_OK);
    EXPECT_EQ(m_calls, *c.expected);
    // The final state of the eleven: what the branch asked for, or untouched (on) without one.
    for (const VOKUID& uid : kSwitched) {
      bool expected = true;
      for (const Switch& s : *c.expected)
        if (s.uid == uid) expected = s.on;
      EXPECT_EQ(On(uid), expected) << m_panel->Find(uid)->Label();
    }
    // Nothing else in the panel is touched.
    for (const VOKPtr<LayoutEntry>& e : m_panel->Entries()) {
      bool listed = false;
      for (const VOKUID& uid : kSwitched) listed = listed || e->Uid() == uid;
      if (!listed) {
        EXPECT_TRUE(e->On()) << e->Label();
      }
    }
  }
}

TEST_F(UpdateParamsTest, EveryLookupComesRightBeforeItsSwitch) {
  SetStyle(10);
  Instrumentation::Global().StartLog();
  ASSERT_EQ(Update(), VOK_OK);
  std::vector<std::string> panelCalls;
  for (const std::string& line : Instrumentation::Global().TakeLog())
    if (line.rfind("Layout", 0) == 0) panelCalls.push_back(line);
  const std::vector<std::string> expected = {
      "LayoutSource.GetLayoutEntry Start Time Millsecond", "LayoutEntry.Enable Start Time Millsecond 0",
      "LayoutSource.GetLayoutEntry Start Time Frame",      "LayoutEntry.Enable Start Time Frame 1",
      "LayoutSource.GetLayoutEntry Stop Time Frame",       "LayoutEntry.Enable Stop Time Frame 0",
      "LayoutSource.GetLayoutEntry Stop Time Hour",        "LayoutEntry.Enable Stop Time Hour 0",
      "LayoutSource.GetLayoutEntry Stop Time Minute",      "LayoutEntry.Enable Stop Time Minute 0",
      "LayoutSource.GetLayoutEntry Stop Time Second",      "LayoutEntry.Enable Stop Time Second 0",
      "LayoutSource.GetLayoutEntry Stop Time Millsecond",  "LayoutEntry.Enable Stop Time Millsecond 0",
      "LayoutSource.GetLayoutEntry Start Time Day",        "LayoutEntry.Enable Start Time Day 0",
      "LayoutSource.GetLayoutEntry Start Time Month",      "LayoutEntry.Enable Start Time Month 0",
      "LayoutSource.GetLayoutEntry Start Time Year",       "LayoutEntry.Enable Start Time Year 0",
      "LayoutSource.GetLayoutEntry Start Time",            "LayoutEntry.Enable Start Time 0"};
  EXPECT_EQ(panelCalls, expected);
}

TEST_F(UpdateParamsTest, StyleIsReadAtTheRenderTime) {
  // Integers hold the key at or before the time: style 4 until frame 10, then "Free Format".
  SetStyle(4, 0.0);
  SetStyle(13, 10.0);
  struct {
    double time;
    bool textFieldOn;
  } const cases[] = {{0.0, false}, {9.99, false}, {10.0, true}, {250.0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    ASSERT_EQ(Update(c.time), VOK_OK);
    EXPECT_EQ(On(kLayoutTextStartTime), c.textFieldOn);
    EXPECT_EQ(On(kLayoutControlStartMillisecond), !c.textFieldOn);
  }
}

TEST_F(UpdateParamsTest, NullHostObjectIsRefusedBeforeAnyCall) {
  VOKPtr<HostEffectContext> context = m_instance->MakeContext();
  auto render = zel::test::RenderContextAt(0);
  IZELEffectContext* c = context.Get();
  IVOKUnknown* changed = context.Get();
  IZELRenderContext* r = render.Get();
  IZELLayoutSource* l = m_panel.Get();
  struct {
    const char* name;
    IZELEffectContext* context;
    IVOKUnknown* changed;
    IZELRenderContext* render;
    IZELLayoutSource* layout;
  } const cases[] = {{"effect context", nullptr, changed, r, l},
                     {"change record", c, nullptr, r, l},
                     {"render context", c, changed, nullptr, l},
                     {"layout source", c, changed, r, nullptr},
                     {"all", nullptr, nullptr, nullptr, nullptr}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Instrumentation::Global().StartLog();
    EXPECT_EQ(m_handler->Update(k.context, k.changed, k.render, k.layout), VOK_E_POINTER);
    EXPECT_TRUE(Instrumentation::Global().TakeLog().empty());
    EXPECT_TRUE(m_calls.empty());
  }
}

TEST_F(UpdateParamsTest, HostFailureMidSequenceStopsThereWithItsCode) {
  struct FaultCase {
    const char* operation;
    std::uint32_t nth;
    VOKRESULT result;
    std::size_t switchesDone;  ///< of the "Free Format" sequence
  };
  const FaultCase cases[] = {
      {"EffectContext.GetParameter", 1, kHostCode, 0},
      {"LayoutSource.GetLayoutEntry", 1, kHostCode, 0},
      {"LayoutSource.GetLayoutEntry", 4, kHostCode, 3},
      {"LayoutSource.GetLayoutEntry", 11, VOK_E_INVALIDARG, 10},
      {"LayoutEntry.Enable", 1, kHostCode, 0},
      {"LayoutEntry.Enable", 6, VOK_E_UNEXPECTED, 5},
      {"LayoutEntry.Enable", 11, kHostCode, 10},
      // The style read is not checked: a failing read leaves 0, the branch of the clock styles.
      {"AnimatedParameter.GetValueAtTime", 1, VOK_OK, 11},
  };
  for (const FaultCase& f : cases) {
    SCOPED_TRACE(std::string(f.operation) + " #" + std::to_string(f.nth));
    m_panel->ResetAll();
    m_calls.clear();
    SetStyle(13);
    Instrumentation::Global().FailOperation(f.operation, f.result == VOK_OK ? kHostCode : f.result, f.nth);
    EXPECT_EQ(Update(), f.result);
    Instrumentation::Global().Reset();
    const Sequence& branch = f.result == VOK_OK ? kClockStyles : kFreeFormat;
    EXPECT_EQ(m_calls, Sequence(branch.begin(), branch.begin() + static_cast<std::ptrdiff_t>(f.switchesDone)));
  }
}

TEST_F(UpdateParamsTest, EditingHostRunsTheHandlerAfterEveryChange) {
  EditSession session(ClockPlugin());
  LayoutSource& panel = session.Panel();
  // The session ran the handler once at the start: the default style is the first item (1).
  EXPECT_TRUE(panel.Find(kLayoutControlStartMillisecond)->On());
  EXPECT_FALSE(panel.Find(kLayoutTextStartTime)->On());

  struct {
    const char* item;
    bool textField, startFrame, stopHour;
  } const steps[] = {{"Free Format", true, false, true},
                     {"TC hh:mm:ss:ff", false, true, false},
                     {"dd.mm.yy hh:mm:ss", false, false, true},
                     {"Frame Counter with Field", false, true, false},
                     {"mm:ss", false, false, true}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.item);
    // Addressed by the list box's name and the item's name, as a user of the panel would.
    ASSERT_EQ(session.SetFromText("Timer Style", s.item), VOK_OK);
    EXPECT_EQ(panel.Find(kLayoutTextStartTime)->On(), s.textField);
    EXPECT_EQ(panel.Find(kLayoutControlStartFrame)->On(), s.startFrame);
    EXPECT_EQ(panel.Find(kLayoutControlStopHour)->On(), s.stopHour);
    EXPECT_FALSE(panel.Find(kLayoutControlStopFrame)->On());
  }
  // A change of another parameter runs the handler too, and a failing handler is reported.
  Instrumentation::Global().FailOperation("LayoutEntry.Enable", kHostCode);
  EXPECT_EQ(session.SetNumber("Size", 40), kHostCode);
  EXPECT_EQ(session.LastUpdateResult(), kHostCode);
}

}  // namespace
