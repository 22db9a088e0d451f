// The clock's shown time and text, seen through the real host: every case renders the digital
// clock and compares the bytes with a render of the free-format style whose text is the expected
// clock text written out literally. Equal bytes mean the same text was drawn; a second render
// with one character changed must differ, so the comparison cannot pass by drawing nothing.
#include <cmath>
#include <limits>
#include <optional>

#include "EffectTestHost.h"

namespace zel::test {
namespace {

using host::EffectInstance;
using host::ParamValue;
using host::RenderRequest;

/// One parameter setting: a text as a user would type it, or (text null) a raw number stored as
/// a host with no range checks would deliver it.
struct Setting {
  const char* name;
  const char* text;
  double raw = 0;
};

struct TextCase {
  const char* what;
  double rate;
  std::vector<Setting> settings;
  double time;          ///< render time in frames
  std::int32_t field;   ///< ZELField_Both: a whole frame; 1 or 2: that field in a call of its own
  std::string expected;
  bool speedFactorOff = false;
};

void Apply(EffectInstance& instance, const TextCase& c) {
  instance.SetFromText("Clock Type List", "Digital Clock");
  instance.SetFromText("X", "1");
  instance.SetFromText("Size", "100");
  for (const Setting& s : c.settings) {
    if (s.text != nullptr) {
      instance.SetFromText(s.name, s.text);
    } else {
      ParamValue v;
      v.num = {s.raw, s.raw, s.raw};
      instance.Get(s.name).SetUnchecked(v);
    }
  }
  if (c.speedFactorOff) instance.Get("Time Speed Factor").SetEnabled(false);
}

RenderRequest RequestFor(const TextCase& c) {
  RenderRequest r;
  r.time = c.time;
  r.frameIndex = std::isfinite(c.time) ? static_cast<std::int64_t>(std::floor(c.time)) : 0;
  r.field = c.field;
  if (c.field != ZELField_Both) {
    r.layout.fieldLayout = ZELFieldLayout_UpperFirst;
    r.layout.fieldProcessing = ZELFieldProcessing_Separate;
    r.layout.startingField = ZELField_First;
  }
  return r;
}

Picture Input() {
  Picture p(400, 80, host::PixelKind::Rgba);
  p.FillPattern(7);
  return p;
}

Picture RenderCase(const TextCase& c) {
  auto instance = MakeInstance(c.rate);
  Apply(*instance, c);
  const Picture input = Input();
  Picture out(input);
  EXPECT_EQ(VOK_OK, instance->Render(input.view, out.view, RequestFor(c)));
  return out;
}

/// The same scene with the free-format style showing `literal`.
Picture RenderLiteral(const TextCase& c, const std::string& literal) {
  auto instance = MakeInstance(c.rate);
  Apply(*instance, c);
  instance->SetFromText("Style List", "Free Format");
  instance->SetFromText("Start Time", literal);
  const Picture input = Input();
  Picture out(input);
  EXPECT_EQ(VOK_OK, instance->Render(input.view, out.view, RequestFor(c)));
  return out;
}

void ExpectText(const TextCase& c) {
  SCOPED_TRACE(std::string(c.what) + " -> " + c.expected);
  const Picture shown = RenderCase(c);
  const Picture input = Input();
  ASSERT_NE(shown.bytes, input.bytes) << "nothing was drawn";
  EXPECT_EQ(shown.bytes, RenderLiteral(c, c.expected).bytes);
  std::string other = c.expected;
  other.back() = other.back() == '1' ? '7' : '1';
  EXPECT_NE(shown.bytes, RenderLiteral(c, other).bytes) << "a different text drew the same bytes";
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const TextCase kCases[] = {
    // The shown time under start, stop, count down and the frame rate.
    {"defaults at 30 fps, frame 30", 30, {}, 30, ZELField_Both, "00:00:01.000"},
    {"defaults at 30 fps, frame 45", 30, {}, 45, ZELField_Both, "00:00:01.500"},
    {"time code, start 01:00:00, frame 37", 25, {{"Style List", "10"}, {"Start Time Hour", "1"}}, 37, ZELField_Both,
     "01:00:01:12"},
    {"time code, second field marks the frames with '.'", 25, {{"Style List", "10"}, {"Start Time Hour", "1"}}, 37.5,
     ZELField_Second, "01:00:01.12"},
    {"time code, first field keeps ':'", 25, {{"Style List", "10"}, {"Start Time Hour", "1"}}, 37, ZELField_First,
     "01:00:01:12"},
    {"time code with start frame 20, frame 10", 25, {{"Style List", "TC hh:mm:ss:ff"}, {"Start Time Frame", "20"}}, 10,
     ZELField_Both, "00:00:01:05"},
    {"count down from one minute, one frame before the end", 30, {{"Count Down", "1"}, {"Start Time Minute", "1"}},
     1799, ZELField_Both, "00:00:00.034"},
    {"count down from one minute, frame 1800", 30, {{"Count Down", "1"}, {"Start Time Minute", "1"}}, 1800,
     ZELField_Both, "00:00:00.000"},
    {"count down from one minute, long after", 30, {{"Count Down", "1"}, {"Start Time Minute", "1"}}, 5000,
     ZELField_Both, "00:00:00.000"},
    {"count down halts at the stop time", 30,
     {{"Count Down", "1"}, {"Start Time Minute", "1"}, {"Stop Time Second", "20"}}, 1500, ZELField_Both,
     "00:00:20.000"},
    {"stop at 10 s, just before", 30, {{"Stop Time Second", "10"}}, 299, ZELField_Both, "00:00:09.966"},
    {"stop at 10 s, at it", 30, {{"Stop Time Second", "10"}}, 300, ZELField_Both, "00:00:10.000"},
    {"stop at 10 s, long after", 30, {{"Stop Time Second", "10"}}, 4000, ZELField_Both, "00:00:10.000"},
    {"stop milliseconds count", 30, {{"Stop Time Second", "1"}, {"Stop Time Millsecond", "250"}}, 90, ZELField_Both,
     "00:00:01.250"},
    {"start after stop shows the stop time at once", 30, {{"Start Time Hour", "10"}, {"Stop Time Hour", "5"}}, 0,
     ZELField_Both, "05:00:00.000"},
    {"start milliseconds count", 30, {{"Start Time Millsecond", "999"}}, 0, ZELField_Both, "00:00:00.999"},
    {"23:59:59 plus one second wraps", 30,
     {{"Style List", "hh:mm:ss"}, {"Start Time Hour", "23"}, {"Start Time Minute", "59"}, {"Start Time Second", "59"}},
     30, ZELField_Both, "00:00:00"},
    {"the date does not advance past midnight", 30,
     {{"Style List", "dd.mm.yy hh:mm:ss"},
      {"Start Time Hour", "23"},
      {"Start Time Minute", "59"},
      {"Start Time Second", "59"}},
     30, ZELField_Both, "01.01.2010 00:00:00"},
    // Minutes and seconds that are not wrapped.
    {"mm:ss at 1 h 2 min 3 s", 30,
     {{"Style List", "mm:ss"}, {"Start Time Hour", "1"}, {"Start Time Minute", "2"}, {"Start Time Second", "3"}}, 0,
     ZELField_Both, "62:03"},
    {"ss.f at 2 min 5.3 s", 30,
     {{"Style List", "ss.f"}, {"Start Time Minute", "2"}, {"Start Time Second", "5"}, {"Start Time Millsecond", "300"}},
     0, ZELField_Both, "125.3"},
    {"mm at 1 h 2 min", 30, {{"Style List", "mm"}, {"Start Time Hour", "1"}, {"Start Time Minute", "2"}}, 0,
     ZELField_Both, "62"},
    // Frame counters.
    {"frame counter truncates T = 123.9", 30, {{"Style List", "Frame Counter"}}, 123.9, ZELField_Both, "000123"},
    {"frame counter with field, first field", 30, {{"Style List", "Frame Counter with Field"}}, 123.9, ZELField_First,
     "000123.1"},
    {"frame counter with field, second field", 30, {{"Style List", "Frame Counter with Field"}}, 123.5,
     ZELField_Second, "000123.2"},
    {"frame counter with field, whole frame", 30, {{"Style List", "Frame Counter with Field"}}, 123, ZELField_Both,
     "000123"},
    {"frame counter ignores count down and stop", 30,
     {{"Style List", "14"}, {"Count Down", "1"}, {"Stop Time Second", "1"}}, 500, ZELField_Both, "000500"},
    {"frame counter adds the start frame and the speed factor", 30,
     {{"Style List", "14"}, {"Start Time Frame", "7"}, {"Time Speed Factor", "2"}}, 10, ZELField_Both, "000027"},
    // Dates.
    {"mm/dd/yy", 30,
     {{"Style List", "12"},
      {"Start Time Day", "2"},
      {"Start Time Month", "11"},
      {"Start Time Year", "2010"},
      {"Start Time Hour", "1"},
      {"Start Time Minute", "30"},
      {"Start Time Second", "25"}},
     0, ZELField_Both, "11/02/2010 01:30:25"},
    // A year past 2020, the catalogue's old maximum, which clamped every later date silently.
    {"dd.mm.yy", 30,
     {{"Style List", "11"},
      {"Start Time Day", "2"},
      {"Start Time Month", "11"},
      {"Start Time Year", "2099"},
      {"Start Time Hour", "1"},
      {"Start Time Minute", "30"},
      {"Start Time Second", "25"}},
     0, ZELField_Both, "02.11.2099 01:30:25"},
    // Free format.
    {"free format %H:%M", 30,
     {{"Style List", "Free Format"},
      {"Start Time", "%H:%M"},
      {"Start Time Hour", "1"},
      {"Start Time Minute", "30"},
      {"Start Time Second", "25"}},
     0, ZELField_Both, "01:30"},
    {"free format date directives", 30,
     {{"Style List", "13"}, {"Start Time", "%d/%m/%Y"}, {"Start Time Day", "9"}, {"Start Time Month", "3"}}, 0,
     ZELField_Both, "09/03/2010"},
    {"free format weekday is always Sunday", 30, {{"Style List", "13"}, {"Start Time", "%A"}}, 0, ZELField_Both,
     "Sunday"},
    // Speed factor.
    {"speed factor 0 stops the clock at the start", 30, {{"Time Speed Factor", "0"}}, 90, ZELField_Both,
     "00:00:00.000"},
    {"speed factor -2 runs at half speed", 30, {{"Time Speed Factor", "-2"}}, 90, ZELField_Both, "00:00:01.500"},
    {"speed factor 3 runs at triple speed", 30, {{"Time Speed Factor", "3"}}, 90, ZELField_Both, "00:00:09.000"},
    {"a switched-off speed factor is not applied", 30, {{"Time Speed Factor", "3"}}, 90, ZELField_Both,
     "00:00:03.000", true},
    {"timer style 0 reads as style 1", 30, {{"Style List", nullptr, 0}}, 30, ZELField_Both, "00:00:01.000"},
    // Values no host should deliver: a defined text, never a failed render.
    {"frame rate 0: no elapsed time", 0, {{"Start Time Second", "5"}}, 100, ZELField_Both, "00:00:05.000"},
    {"negative frame rate: no elapsed time", -25, {}, 100, ZELField_Both, "00:00:00.000"},
    {"frame rate NaN: no elapsed time", kNaN, {}, 100, ZELField_Both, "00:00:00.000"},
    {"render time NaN: no elapsed time", 30, {}, kNaN, ZELField_Both, "00:00:00.000"},
    {"render time infinite: no elapsed time", 30, {}, kInf, ZELField_Both, "00:00:00.000"},
    {"elapsed time beyond 32 bits is held at the largest", 30, {}, 1e12, ZELField_Both, "20:31:23.647"},
    {"elapsed time far below 32 bits is held at the smallest", 30, {{"Count Down", "1"}}, 1e12, ZELField_Both,
     "00:00:00.000"},
    {"speed factor of the most negative integer", 30, {{"Time Speed Factor", nullptr, -2147483648.0}}, 90,
     ZELField_Both, "00:00:00.000"},
    {"speed factor beyond its range multiplies without overflow", 30,
     {{"Time Speed Factor", nullptr, 2147483647.0}}, 30, ZELField_Both, "20:31:23.647"},
    {"start hour beyond 32 bits of milliseconds", 30, {{"Start Time Hour", nullptr, 4294967295.0}}, 0, ZELField_Both,
     "20:31:23.647"},
    {"timer style beyond the list leaves the text empty, like no text", 30, {{"Style List", nullptr, 16}}, 0,
     ZELField_Both, ""},
};

class ClockTextThroughHost : public EffectTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ClockTextThroughHost, DrawsTheExpectedText) {
  const TextCase& c = GetParam();
  if (c.expected.empty()) {
    // No text: the same bytes as a free-format style with an empty text (the box of nothing).
    EXPECT_EQ(RenderCase(c).bytes, RenderLiteral(c, "").bytes);
    return;
  }
  ExpectText(c);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClockTextThroughHost, ::testing::ValuesIn(kCases));

// Where truncation matters: each transition in every style, one frame before and at it.
struct Transition {
  const char* what;
  double rate;
  std::vector<Setting> settings;
  double before, at;
  const char* textBefore[15];
  const char* textAt[15];
};

const Transition kTransitions[] = {
    {"59.95 s to 60 s",
     20,
     {},
     1199,
     1200,
     {"00:00:59.950", "00:00:59.95", "00:00:59.9", "00:00:59", "00:00", "00:59", "00", "00:59.9", "59.9",
      "00:00:59:19", "01.01.2010 00:00:59", "01/01/2010 00:00:59", "00:00:59", "001199", "001199"},
     {"00:01:00.000", "00:01:00.00", "00:01:00.0", "00:01:00", "00:01", "01:00", "01", "01:00.0", "60.0",
      "00:01:00:00", "01.01.2010 00:01:00", "01/01/2010 00:01:00", "00:01:00", "001200", "001200"}},
    {"9 to 10",
     20,
     {},
     199,
     200,
     {"00:00:09.950", "00:00:09.95", "00:00:09.9", "00:00:09", "00:00", "00:09", "00", "00:09.9", "09.9",
      "00:00:09:19", "01.01.2010 00:00:09", "01/01/2010 00:00:09", "00:00:09", "000199", "000199"},
     {"00:00:10.000", "00:00:10.00", "00:00:10.0", "00:00:10", "00:00", "00:10", "00", "00:10.0", "10.0",
      "00:00:10:00", "01.01.2010 00:00:10", "01/01/2010 00:00:10", "00:00:10", "000200", "000200"}},
    {"23:59:59 to 00:00:00",
     25,
     {{"Start Time Hour", "23"}, {"Start Time Minute", "59"}, {"Start Time Second", "59"}},
     24,
     25,
     {"23:59:59.960", "23:59:59.96", "23:59:59.9", "23:59:59", "23:59", "1439:59", "1439", "1439:59.9", "86399.9",
      "23:59:59:24", "01.01.2010 23:59:59", "01/01/2010 23:59:59", "23:59:59", "000024", "000024"},
     {"00:00:00.000", "00:00:00.00", "00:00:00.0", "00:00:00", "00:00", "00:00", "00", "00:00.0", "00.0",
      "00:00:00:00", "01.01.2010 00:00:00", "01/01/2010 00:00:00", "00:00:00", "000025", "000025"}},
};

class TransitionsInEveryStyle : public EffectTest,
                                public ::testing::WithParamInterface<std::tuple<std::size_t, int>> {};

TEST_P(TransitionsInEveryStyle, TruncateAndCarry) {
  const auto [index, style] = GetParam();
  const Transition& t = kTransitions[index];
  for (const bool atIt : {false, true}) {
    TextCase c{t.what, t.rate, t.settings, atIt ? t.at : t.before, ZELField_Both,
               atIt ? t.textAt[style - 1] : t.textBefore[style - 1]};
    c.settings.push_back({"Style List", nullptr, static_cast<double>(style)});
    // The free format shows the time with its own directives.
    if (style == 13) c.settings.push_back({"Start Time", "%H:%M:%S"});
    SCOPED_TRACE("style " + std::to_string(style) + (atIt ? ", at the transition" : ", one frame before"));
    ExpectText(c);
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, TransitionsInEveryStyle,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(kTransitions)),
                                            ::testing::Range(1, 16)));

// A host that hands the effect another time than the frame's (a file's time code) maps it through
// the instance's timeline, and the effect's reads of keyed parameters come back to frame times:
// at frame 10 the effect counts 100 frames, but a key at frame 50 is still ahead.
TEST_F(EffectTest, TimelineMapsTheTimeHandedAndTheKeysRead) {
  const TextCase c{"a timeline 90 frames ahead", 30, {}, 10, ZELField_Both, "00:00:03.333"};
  auto instance = MakeInstance(c.rate);
  Apply(*instance, c);
  instance->SetFromText("Start Time Minute", "0", 0.0);
  instance->SetFromText("Start Time Minute", "5", 50.0);
  instance->SetTimeline(std::make_shared<host::EffectTimeline>(
      host::EffectTimeline{[](double t) { return t + 90; }, [](double t) { return t - 90; }}));
  const Picture input = Input();
  Picture out(input);
  ASSERT_EQ(VOK_OK, instance->Render(input.view, out.view, RequestFor(c)));
  EXPECT_EQ(out.bytes, RenderLiteral(c, c.expected).bytes);
  double keyTime = 0;
  ASSERT_EQ(VOK_OK, instance->Get("Start Time Minute").GetKeyTime(1, &keyTime));
  EXPECT_EQ(keyTime, 140);
}

}  // namespace
}  // namespace zel::test
