// The shown time, the clock text in every timer style, and the derived render values.
#include "time/ClockTime.h"

#include "WinNls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace zel2clock {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Ascii(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The digital clock's text for the inputs, after checking the buffer is terminated in place.
std::u16string Text(const ClockTimeInputs& in) {
  char16_t szLine[kClockTextCapacity];
  std::fill(std::begin(szLine), std::end(szLine), u'\xAAAA');
  FormatClockText(in, ComputeShownTime(in), szLine);
  const std::size_t length =
      static_cast<std::size_t>(std::find(std::begin(szLine), std::end(szLine), u'\0') - szLine);
  EXPECT_LT(length, kClockTextCapacity) << "text not terminated";
  return std::u16string(szLine, std::min(length, kClockTextCapacity - 1));
}

ClockTimeInputs Digital(std::int32_t style, double frames, double rate) {
  ClockTimeInputs in;
  in.clockType = 1;
  in.timerStyle = style;
  in.clockTime = frames;
  in.frameRate = rate;
  in.startDay = 1;
  in.startMonth = 1;
  in.startYear = 2010;
  return in;
}

// ---- the documented examples --------------------------------------------------------------------

struct Example {
  const char* what;
  ClockTimeInputs in;
  const char* text;
};

ClockTimeInputs With(ClockTimeInputs in, void (*edit)(ClockTimeInputs&)) {
  edit(in);
  return in;
}

TEST(ClockTimeTest, DocumentedExamples) {
  static const char kHm[] = "%H:%M";
  static const char kPercent[] = "50%";
  const std::vector<Example> examples = {
      {"defaults, frame 30 at 30 fps", Digital(1, 30, 30), "00:00:01.000"},
      {"defaults, frame 45 at 30 fps", Digital(1, 45, 30), "00:00:01.500"},
      {"time code, start 01:00:00, frame 37 at 25 fps",
       With(Digital(10, 37, 25), [](ClockTimeInputs& i) { i.startHour = 1; }), "01:00:01:12"},
      {"time code, second field",
       With(Digital(10, 37, 25),
            [](ClockTimeInputs& i) {
              i.startHour = 1;
              i.renderedField = 2;
            }),
       "01:00:01.12"},
      {"time code, start frame 20, frame 10",
       With(Digital(10, 10, 25), [](ClockTimeInputs& i) { i.startFrame = 20; }), "00:00:01:05"},
      {"count down from 00:01:00 reaches zero",
       With(Digital(1, 1800, 30),
            [](ClockTimeInputs& i) {
              i.startMinute = 1;
              i.countDown = true;
            }),
       "00:00:00.000"},
      {"count down stays at zero",
       With(Digital(1, 5000, 30),
            [](ClockTimeInputs& i) {
              i.startMinute = 1;
              i.countDown = true;
            }),
       "00:00:00.000"},
      {"count up halts at the stop time",
       With(Digital(1, 300, 30), [](ClockTimeInputs& i) { i.stopSecond = 10; }), "00:00:10.000"},
      {"count up stays at the stop time",
       With(Digital(1, 1000, 30), [](ClockTimeInputs& i) { i.stopSecond = 10; }), "00:00:10.000"},
      {"just before the stop time",
       With(Digital(1, 299, 30), [](ClockTimeInputs& i) { i.stopSecond = 10; }), "00:00:09.966"},
      {"start after stop shows the stop time at once",
       With(Digital(1, 0, 30),
            [](ClockTimeInputs& i) {
              i.startHour = 10;
              i.stopHour = 5;
            }),
       "05:00:00.000"},
      {"hours wrap at midnight",
       With(Digital(4, 30, 30),
            [](ClockTimeInputs& i) {
              i.startHour = 23;
              i.startMinute = 59;
              i.startSecond = 59;
            }),
       "00:00:00"},
      {"the date does not advance at midnight",
       With(Digital(11, 30, 30),
            [](ClockTimeInputs& i) {
              i.startHour = 23;
              i.startMinute = 59;
              i.startSecond = 59;
              i.startDay = 2;
              i.startMonth = 11;
            }),
       "02.11.2010 00:00:00"},
      {"mm:ss counts minutes past the hour", Digital(6, 3723000, 1000), "62:03"},
      {"ss.f counts seconds past the minute", Digital(9, 125300, 1000), "125.3"},
      {"mm", Digital(7, 3720000, 1000), "62"},
      {"frame counter truncates", Digital(14, 123.9, 25), "000123"},
      {"frame counter, field 1",
       With(Digital(15, 123.9, 25), [](ClockTimeInputs& i) { i.renderedField = 1; }),
       "000123.1"},
      {"frame counter, field 2",
       With(Digital(15, 123.9, 25), [](ClockTimeInputs& i) { i.renderedField = 2; }),
       "000123.2"},
      {"frame counter, field 3",
       With(Digital(15, 123.9, 25), [](ClockTimeInputs& i) { i.renderedField = 3; }), "000123"},
      {"frame counter counts from the start frame",
       With(Digital(14, 10, 25), [](ClockTimeInputs& i) { i.startFrame = 5; }), "000015"},
      {"frame counter ignores count down and stop",
       With(Digital(14, 10, 25),
            [](ClockTimeInputs& i) {
              i.countDown = true;
              i.stopSecond = 1;
            }),
       "000010"},
      {"month/day/year",
       With(Digital(12, 5425000, 1000),
            [](ClockTimeInputs& i) {
              i.startDay = 2;
              i.startMonth = 11;
            }),
       "11/02/2010 01:30:25"},
      {"day.month.year",
       With(Digital(11, 5425000, 1000),
            [](ClockTimeInputs& i) {
              i.startDay = 2;
              i.startMonth = 11;
            }),
       "02.11.2010 01:30:25"},
      {"free format",
       With(Digital(13, 5425000, 1000),
            [](ClockTimeInputs& i) {
              i.startTimeText = kHm;
              i.startTimeTextSize = sizeof kHm;
            }),
       "01:30"},
      {"free format, trailing percent shown literally",
       With(Digital(13, 0, 25),
            [](ClockTimeInputs& i) {
              i.startTimeText = kPercent;
              i.startTimeTextSize = sizeof kPercent;
            }),
       "50%"},
      {"hh:mm:ss.ff", Digital(2, 5425678, 1000), "01:30:25.67"},
      {"hh:mm:ss.f", Digital(3, 5425678, 1000), "01:30:25.6"},
      {"hh:mm", Digital(5, 5425678, 1000), "01:30"},
      {"mm:ss.f", Digital(8, 5425678, 1000), "90:25.6"},
      {"start milliseconds count", With(Digital(1, 0, 25), [](ClockTimeInputs& i) {
         i.startMillisecond = 250;
       }), "00:00:00.250"},
      {"LED clock gets the text too",
       With(Digital(1, 30, 30), [](ClockTimeInputs& i) { i.clockType = 2; }), "00:00:01.000"},
      {"analog clock gets no text",
       With(Digital(1, 30, 30), [](ClockTimeInputs& i) { i.clockType = 0; }), ""},
      {"unknown clock type gets no text",
       With(Digital(1, 30, 30), [](ClockTimeInputs& i) { i.clockType = 3; }), ""},
      {"style 0 is not a style", Digital(0, 30, 30), ""},
      {"style 16 is not a style", Digital(16, 30, 30), ""},
  };
  for (const Example& e : examples) EXPECT_EQ(Ascii(Text(e.in)), e.text) << e.what;
}

TEST(ClockTimeTest, ShownTimeFeedsTheAnalogHands) {
  ClockTimeInputs in = Digital(1, 5425678, 1000);
  in.clockType = 0;
  const ShownTime t = ComputeShownTime(in);
  EXPECT_EQ(t.hours, 1);
  EXPECT_EQ(t.minutes, 30);
  EXPECT_EQ(t.seconds, 25);
  EXPECT_EQ(t.milliseconds, 678);
}

// ---- transitions where truncation matters, in every style ---------------------------------------

struct Transition {
  std::int32_t style;
  const char* before;
  const char* after;
};

// 20 fps: frames 1199 -> 1200 are 59.95 s -> 60 s, frames 199 -> 200 are 9.95 s -> 10 s.
void CheckTransitions(const char* what, std::uint32_t startHour, std::uint32_t startMinute,
                      std::uint32_t startSecond, double before, double after,
                      const std::vector<Transition>& table) {
  static const char kFormat[] = "%H:%M:%S";
  ASSERT_EQ(table.size(), 15u) << what;
  for (const Transition& t : table) {
    ClockTimeInputs in = Digital(t.style, before, 20);
    in.startHour = startHour;
    in.startMinute = startMinute;
    in.startSecond = startSecond;
    in.startTimeText = kFormat;
    in.startTimeTextSize = sizeof kFormat;
    EXPECT_EQ(Ascii(Text(in)), t.before) << what << ", style " << t.style << ", before";
    in.clockTime = after;
    EXPECT_EQ(Ascii(Text(in)), t.after) << what << ", style " << t.style << ", after";
  }
}

TEST(ClockTimeTest, MinuteTransitionInEveryStyle) {
  CheckTransitions("59.95 s to 60 s", 0, 0, 0, 1199, 1200,
                   {{1, "00:00:59.950", "00:01:00.000"},
                    {2, "00:00:59.95", "00:01:00.00"},
                    {3, "00:00:59.9", "00:01:00.0"},
                    {4, "00:00:59", "00:01:00"},
                    {5, "00:00", "00:01"},
                    {6, "00:59", "01:00"},
                    {7, "00", "01"},
                    {8, "00:59.9", "01:00.0"},
                    {9, "59.9", "60.0"},
                    {10, "00:00:59:19", "00:01:00:00"},
                    {11, "01.01.2010 00:00:59", "01.01.2010 00:01:00"},
                    {12, "01/01/2010 00:00:59", "01/01/2010 00:01:00"},
                    {13, "00:00:59", "00:01:00"},
                    {14, "001199", "001200"},
                    {15, "001199", "001200"}});
}

TEST(ClockTimeTest, TenSecondTransitionInEveryStyle) {
  CheckTransitions("9.95 s to 10 s", 0, 0, 0, 199, 200,
                   {{1, "00:00:09.950", "00:00:10.000"},
                    {2, "00:00:09.95", "00:00:10.00"},
                    {3, "00:00:09.9", "00:00:10.0"},
                    {4, "00:00:09", "00:00:10"},
                    {5, "00:00", "00:00"},
                    {6, "00:09", "00:10"},
                    {7, "00", "00"},
                    {8, "00:09.9", "00:10.0"},
                    {9, "09.9", "10.0"},
                    {10, "00:00:09:19", "00:00:10:00"},
                    {11, "01.01.2010 00:00:09", "01.01.2010 00:00:10"},
                    {12, "01/01/2010 00:00:09", "01/01/2010 00:00:10"},
                    {13, "00:00:09", "00:00:10"},
                    {14, "000199", "000200"},
                    {15, "000199", "000200"}});
}

TEST(ClockTimeTest, MidnightTransitionInEveryStyle) {
  CheckTransitions("23:59:59.95 to 00:00:00", 23, 59, 59, 19, 20,
                   {{1, "23:59:59.950", "00:00:00.000"},
                    {2, "23:59:59.95", "00:00:00.00"},
                    {3, "23:59:59.9", "00:00:00.0"},
                    {4, "23:59:59", "00:00:00"},
                    {5, "23:59", "00:00"},
                    {6, "1439:59", "00:00"},
                    {7, "1439", "00"},
                    {8, "1439:59.9", "00:00.0"},
                    {9, "86399.9", "00.0"},
                    {10, "23:59:59:19", "00:00:00:00"},
                    {11, "01.01.2010 23:59:59", "01.01.2010 00:00:00"},
                    {12, "01/01/2010 23:59:59", "01/01/2010 00:00:00"},
                    {13, "23:59:59", "00:00:00"},
                    {14, "000019", "000020"},
                    {15, "000019", "000020"}});
}

// ---- speed factor ------------------------------------------------------------------------------

TEST(ClockTimeTest, SpeedFactor) {
  struct Row {
    double t;
    std::int32_t factor;
    bool enabled;
    double expected;
  };
  const Row rows[] = {
      {60, 1, true, 60},     {60, 0, true, 0},       {60, -2, true, 30},
      {60, 3, true, 180},    {60, 500, true, 30000}, {60, -500, true, 0.12},
      {60, 0, false, 60},    {60, -2, false, 60},    {60, kMin, true, 60 / 2147483648.0},
      {60, kMax, true, 60.0 * kMax},
  };
  for (const Row& r : rows)
    EXPECT_DOUBLE_EQ(ScaleClockTime(r.t, r.factor, r.enabled), r.expected)
        << r.t << " x " << r.factor << (r.enabled ? "" : " (disabled)");
}

TEST(ClockTimeTest, SpeedFactorZeroShowsTheStartOnEveryFrame) {
  for (double frame : {0.0, 1.0, 250.0, 1e6}) {
    ClockTimeInputs in = Digital(1, ScaleClockTime(frame, 0, true), 25);
    in.startHour = 12;
    in.startMillisecond = 5;
    EXPECT_EQ(Ascii(Text(in)), "12:00:00.005") << "frame " << frame;
  }
  // Half and triple speed at frame 50, 25 fps (2 s of video).
  EXPECT_EQ(Ascii(Text(Digital(1, ScaleClockTime(50, -2, true), 25))), "00:00:01.000");
  EXPECT_EQ(Ascii(Text(Digital(1, ScaleClockTime(50, 3, true), 25))), "00:00:06.000");
}

// ---- derived render values ---------------------------------------------------------------------

TEST(ClockTimeTest, ArgbWords) {
  struct Row {
    double opacity, r, g, b;
    std::uint32_t expected;
  };
  const Row rows[] = {
      {100, 128, 128, 128, 0xFF808080u},  // foreground defaults
      {100, 50, 50, 50, 0xFF323232u},     // background defaults
      {50, 255, 0, 0, 0x7FFF0000u},       // 127.5 truncates to 127
      {0, 1, 2, 3, 0x00010203u},
      {99.9, 254.99, 0.99, 10.5, 0xFEFE000Au},
      {100, 300, -1, 256, 0xFF2CFF00u},   // each channel modulo 256
      {kNaN, kNaN, kNaN, kNaN, 0x00000000u},
      {kInf, kInf, -kInf, 1e300, 0xFFFF00FFu},  // clamped to 32 bits before the low byte
  };
  for (const Row& r : rows)
    EXPECT_EQ(MakeArgb(r.opacity, r.r, r.g, r.b), r.expected)
        << r.opacity << " " << r.r << " " << r.g << " " << r.b;
}

TEST(ClockTimeTest, PositionAndRadius) {
  struct Row {
    double percent;
    std::uint32_t extent;
    std::int32_t coordinate, radius;
  };
  const Row rows[] = {
      {50, 1920, 960, 480},       {50, 1080, 540, 270},
      {100, 1081, 1081, 540},     {33.333, 1000, 333, 166},
      {0, 1080, 0, 0},            {-10, 100, -10, -5},
      {kNaN, 1080, 0, 0},         {kInf, 1080, kMax, kMax},
      {-kInf, 1080, kMin, kMin},  {1e300, 4096, kMax, kMax},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ClockCoordinate(r.percent, r.extent), r.coordinate) << r.percent << " of " << r.extent;
    EXPECT_EQ(ClockRadius(r.percent, r.extent), r.radius) << r.percent << " of " << r.extent;
  }
}

TEST(ClockTimeTest, TruncateToInt32) {
  const struct {
    double v;
    std::int32_t expected;
  } rows[] = {{0.0, 0},          {-0.9, 0},          {1.9, 1},           {-1.9, -1},
              {2147483647.9, kMax}, {2147483648.0, kMax}, {-2147483648.9, kMin},
              {kNaN, 0},         {kInf, kMax},       {-kInf, kMin}};
  for (const auto& r : rows) EXPECT_EQ(TruncateToInt32(r.v), r.expected) << r.v;
}

// ---- hostile inputs ----------------------------------------------------------------------------

TEST(ClockTimeTest, UnusableRateOrClockTimeGivesNoElapsedTime) {
  struct Row {
    const char* what;
    double t, rate;
  };
  const Row rows[] = {
      {"rate 0", 100, 0},         {"negative rate", 100, -25}, {"NaN rate", 100, kNaN},
      {"infinite rate", 100, kInf}, {"NaN time", kNaN, 25},    {"infinite time", kInf, 25},
      {"minus infinite time", -kInf, 25},
  };
  for (const Row& r : rows) {
    for (std::int32_t style : {1, 10, 14}) {
      ClockTimeInputs in = Digital(style, r.t, r.rate);
      in.startHour = 1;
      EXPECT_EQ(ShownMilliseconds(in), 3600000) << r.what << ", style " << style;
      if (style == 1) {
        EXPECT_EQ(Ascii(Text(in)), "01:00:00.000") << r.what;
      }
      if (style == 10) {
        EXPECT_EQ(Ascii(Text(in)), "01:00:00:00") << r.what;
      }
    }
  }
}

TEST(ClockTimeTest, OutOfRangeTimesClampToThe32BitRange) {
  // 2147483647 ms is 24 days 20:31:23.647.
  struct Row {
    const char* what;
    ClockTimeInputs in;
    std::int32_t shownMs;
    const char* text;
  };
  const Row rows[] = {
      {"elapsed beyond 32 bits", Digital(1, 1e12, 25), kMax, "20:31:23.647"},
      {"elapsed below 32 bits", Digital(1, -1e12, 25), kMin, "-20:-31:-23.-648"},
      {"start plus elapsed overflows",
       With(Digital(1, 2147483000.0 / 40, 25),
            [](ClockTimeInputs& i) {
              i.startHour = 23;
              i.startMinute = 59;
            }),
       kMax, "20:31:23.647"},
      {"count down from 0 with negative elapsed",
       With(Digital(1, -1e12, 25), [](ClockTimeInputs& i) { i.countDown = true; }), kMax,
       "20:31:23.647"},
      {"all start fields 0xFFFFFFFF",
       With(Digital(1, 0, 25),
            [](ClockTimeInputs& i) {
              i.startHour = i.startMinute = i.startSecond = i.startMillisecond = 0xFFFFFFFFu;
            }),
       kMax, "20:31:23.647"},
      {"stop fields 0xFFFFFFFF never stop counting up",
       With(Digital(1, 250, 25),
            [](ClockTimeInputs& i) {
              i.stopHour = i.stopMinute = i.stopSecond = i.stopMillisecond = 0xFFFFFFFFu;
            }),
       10000, "00:00:10.000"},
      {"stop fields 0xFFFFFFFF hold a count down at the clamped stop",
       With(Digital(1, 250, 25),
            [](ClockTimeInputs& i) {
              i.countDown = true;
              i.stopHour = i.stopMinute = i.stopSecond = i.stopMillisecond = 0xFFFFFFFFu;
            }),
       kMax, "20:31:23.647"},
      // The hour, minute and second fields combine in unsigned 32-bit arithmetic:
      // 1194 h = 4298400000 ms wraps past 2^32 to 3432704 ms.
      {"start hour wraps in 32 bits", With(Digital(1, 0, 25), [](ClockTimeInputs& i) {
         i.startHour = 1194;
       }), 3432704, "00:57:12.704"},
      {"frame counter beyond 32 bits", Digital(14, 1e300, 25), kMax, "2147483647"},
      {"frame counter of NaN", Digital(14, kNaN, 25), 0, "000000"},
      {"time code frames of a tiny rate",
       With(Digital(10, 5, 1e-300), [](ClockTimeInputs& i) { i.startHour = 0; }), kMax,
       "20:31:23:00"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ShownMilliseconds(r.in), r.shownMs) << r.what;
    EXPECT_EQ(Ascii(Text(r.in)), r.text) << r.what;
  }
}

TEST(ClockTimeTest, HostileDatesInTheFreeFormat) {
  static const char kYear[] = "%Y-%m-%d %b";
  ClockTimeInputs in = Digital(13, 0, 25);
  in.startTimeText = kYear;
  in.startTimeTextSize = sizeof kYear;
  in.startYear = kMax;
  in.startMonth = kMin;
  in.startDay = kMax;
  EXPECT_EQ(Ascii(Text(in)).substr(0, 11), "2147483647-");
  in.startYear = kMin;
  in.startMonth = 13;
  EXPECT_FALSE(Text(in).empty());
  // The date styles print what they are given.
  ClockTimeInputs dated = Digital(11, 0, 25);
  dated.startDay = kMin;
  dated.startMonth = -1;
  dated.startYear = kMax;
  EXPECT_EQ(Ascii(Text(dated)), "-2147483648.-1.2147483647 00:00:00");
}

// ---- the free format text ----------------------------------------------------------------------

std::u16string FreeFormat(const std::string& bytes, std::size_t size) {
  ClockTimeInputs in = Digital(13, 5425000, 1000);  // 01:30:25
  in.startDay = 2;
  in.startMonth = 11;
  in.startTimeText = bytes.data();
  in.startTimeTextSize = size;
  return Text(in);
}
std::u16string FreeFormat(const std::string& bytes) { return FreeFormat(bytes, bytes.size() + 1); }

TEST(ClockTimeTest, FreeFormatTexts) {
  struct Row {
    const char* what;
    std::string format;
    std::u16string expected;
  };
  const Row rows[] = {
      {"plain directives", "%H:%M:%S", u"01:30:25"},
      {"date of the start fields", "%d.%m.%Y", u"02.11.2010"},
      {"weekday and day of year are fixed", "%a %j", u"Sun 001"},
      {"escaped percent", "%% done", u"% done"},
      {"escaped trailing percent is doubled again", "100%%", u"100%%"},
      {"trailing percent", "50%", u"50%"},
      {"lone percent", "%", u"%"},
      {"unknown directive is kept", "%Q|%H", u"%Q|01"},
      {"empty text", "", u""},
      {"UTF-8 text", "Zeit \xC3\xA4 %H", u"Zeit \u00E4 01"},
      {"four-byte character", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"ill-formed byte", "a\xFF" "b", u"a\uFFFD" "b"},
  };
  for (const Row& r : rows) EXPECT_EQ(FreeFormat(r.format), r.expected) << r.what;
  EXPECT_EQ(FreeFormat(std::string(), 0), u"") << "no text at all";
  ClockTimeInputs none = Digital(13, 0, 25);
  EXPECT_EQ(Text(none), u"") << "null text";
}

TEST(ClockTimeTest, FreeFormatLengthLimits) {
  // 255 bytes without a terminator: the first 254 are used.
  const std::string unterminated(255, 'A');
  EXPECT_EQ(FreeFormat(unterminated, 255), std::u16string(254, u'A'));
  // A stated size shorter than the text limits it as well.
  EXPECT_EQ(FreeFormat("ABCDEF", 3), u"ABC");

  // Room for a doubled percent up to length 253; at 254 the percent becomes a blank.
  EXPECT_EQ(FreeFormat(std::string(252, 'x') + "%"), U16(std::string(252, 'x') + "%"));
  EXPECT_EQ(FreeFormat(std::string(253, 'x') + "%"), U16(std::string(253, 'x') + " "));

  // An expansion longer than 254 bytes is cut at 254, never left undefined.
  std::string many;
  for (int i = 0; i < 127; ++i) many += "%c";
  const std::u16string cut = FreeFormat(many);
  ASSERT_EQ(cut.size(), 254u);
  EXPECT_EQ(Ascii(cut.substr(0, 24)), "Sun Nov  2 01:30:25 2010");

  // The cut never splits a character: byte 253 starts an a-umlaut whose second byte is dropped.
  std::string umlauts = "x%c";
  for (int i = 0; i < 120; ++i) umlauts += "\xC3\xA4";
  const std::u16string u = FreeFormat(umlauts);
  EXPECT_EQ(u.size(), 25u + 114u);
  EXPECT_EQ(u.back(), u'\u00E4');
  std::string even = "xx%c";
  for (int i = 0; i < 120; ++i) even += "\xC3\xA4";
  EXPECT_EQ(FreeFormat(even).size(), 26u + 114u);
}

TEST(ClockTimeTest, FreeFormatConvertsLikeThePlatform) {
  // The expanded text goes through the platform's ANSI-to-wide call: well-formed text as it is,
  // ill-formed bytes exactly as that call replaces them (one U+FFFD per bad sequence there).
  const std::string rows[] = {
      "Az09",         "\xC3\xA4",        "\xE2\x82\xAC",     "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
      "\xF4\x90\x80\x80", "\xE0\x80\x80",  "\xC0\xAF",        "\xED\xA0\x80",     "x\xE2\x82",
      "\xE2\x82" "A",   "\x80" "A",        "a\xFF" "b",        "\xF0\x9F\x98" "z",
  };
  for (const std::string& bytes : rows) {
    char16_t expected[kClockTextCapacity];
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, expected, static_cast<int>(kClockTextCapacity));
    ASSERT_GT(n, 0) << bytes;
    EXPECT_EQ(FreeFormat(bytes), std::u16string(expected, static_cast<std::size_t>(n - 1))) << bytes;
  }
  // A surrogate spelt in UTF-8 is one replacement, not one per byte.
  EXPECT_EQ(FreeFormat("\xED\xA0\x80"), u"\uFFFD");
}

}  // namespace
}  // namespace zel2clock
