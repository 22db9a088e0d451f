// The frei0r module driven in this process through its f0r_* entry points, against the same plug-in
// rendered through the host library directly (EffectInstance, as zelhost renders). Runs in the
// sanitizer build too: this process loads the instrumented module itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "render/EffectInstance.h"
#include "parameters/FlatParameters.h"
#include "settings/FontOption.h"
#include "Frei0rModule.h"
#include "loading/PluginModule.h"
#include "render/StreamClock.h"

namespace {

using zel::host::FrameRate;
using zel::host::StreamClock;
using zel::host::TimeUnit;
using zel::test::Frei0rModule;

Frei0rModule& Module() {
  static Frei0rModule module(ZEL_TEST_FREI0R_MODULE);
  return module;
}

/// An opaque gradient with some texture, so that the clock has something to blend over.
std::vector<std::uint32_t> Picture(unsigned width, unsigned height) {
  std::vector<std::uint32_t> frame(std::size_t{width} * height);
  auto* bytes = reinterpret_cast<std::uint8_t*>(frame.data());
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      std::uint8_t* p = bytes + (std::size_t{y} * width + x) * 4;
      p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1u, width - 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1u, height - 1));
      p[2] = static_cast<std::uint8_t>((x ^ y) & 0xff);
      p[3] = 255;
    }
  return frame;
}

/// One frei0r instance, destroyed at the end of the scope.
struct Instance {
  Instance(unsigned width, unsigned height) : width(width), height(height), handle(Module().construct(width, height)) {}
  ~Instance() {
    if (handle != nullptr) Module().destruct(handle);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void SetText(const std::string& name, const char* text) {
    const int i = Module().IndexOf(name);
    ASSERT_GE(i, 0) << name;
    Module().setParam(handle, &text, i);
  }
  void SetNumber(const std::string& name, double value) {
    const int i = Module().IndexOf(name);
    ASSERT_GE(i, 0) << name;
    Module().setParam(handle, &value, i);
  }
  double Number(const std::string& name) {
    double value = -1;
    Module().getParam(handle, &value, Module().IndexOf(name));
    return value;
  }
  std::string Text(const std::string& name) {
    const char* value = nullptr;
    Module().getParam(handle, &value, Module().IndexOf(name));
    return value ? value : "(null)";
  }
  std::vector<std::uint32_t> Render(double time, const std::vector<std::uint32_t>& in) {
    std::vector<std::uint32_t> out(in.size());
    Module().update(handle, time, in.data(), out.data());
    return out;
  }

  unsigned width, height;
  f0r_instance_t handle;
};

/// The reference: the plug-in rendered through the host library as zelhost renders frame k.
class Reference {
 public:
  Reference() : m_plugin(ZEL_TEST_PLUGIN), m_instance(m_plugin) {}
  void Set(const std::string& name, const std::string& value) { m_instance.SetFromText(name, value); }
  void SetFont(const std::string& text) {
    zel::host::ParamValue v;
    v.bytes = zel::host::MakeFontRecord(zel::host::ParseFontSpec(text));
    ASSERT_TRUE(m_instance.Get("PrivateData").Set(v));
  }
  std::vector<std::uint32_t> Render(std::int64_t k, double rate, const std::vector<std::uint32_t>& in, unsigned width,
                                    unsigned height) {
    zel::host::SequenceInfo sequence;
    sequence.frameRate = rate;
    m_instance.SetSequence(sequence);
    std::vector<std::uint32_t> frame = in;
    const zel::host::FrameView view{reinterpret_cast<std::uint8_t*>(frame.data()), width, height, std::size_t{width} * 4,
                                    zel::host::PixelKind::Rgba};
    EXPECT_EQ(m_instance.RenderFrame(view, view, k), VOK_OK);
    return frame;
  }

 private:
  zel::host::Plugin m_plugin;
  zel::host::EffectInstance m_instance;
};

class Frei0rModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Module().init(), 1); }
  void TearDown() override { Module().deinit(); }
};

// --- What clients see ---------------------------------------------------------------------------

TEST_F(Frei0rModuleTest, InfoAndParameterKinds) {
  f0r_plugin_info_t info{};
  Module().pluginInfo(&info);
  EXPECT_STREQ(info.name, "zel2clock");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);

  struct Row {
    const char* name;
    int type;
  };
  const Row rows[] = {
      {"Alignment List", F0R_PARAM_STRING},      {"Foreground RGB Color", F0R_PARAM_COLOR},
      {"Foreground Opacity", F0R_PARAM_DOUBLE},  {"Background RGB Color", F0R_PARAM_COLOR},
      {"the List value", F0R_PARAM_STRING},      {"X", F0R_PARAM_DOUBLE},
      {"Time Speed Factor", F0R_PARAM_DOUBLE},   {"Start Time Year", F0R_PARAM_DOUBLE},
      {"Count Down", F0R_PARAM_BOOL},            {"Style List", F0R_PARAM_STRING},
      {"Start Time", F0R_PARAM_STRING},          {"Position", F0R_PARAM_POSITION},
      {"Font", F0R_PARAM_STRING},                {"Frame Rate", F0R_PARAM_STRING},
      {"Time Unit", F0R_PARAM_STRING},
  };
  for (const Row& row : rows) {
    const int i = Module().IndexOf(row.name);
    ASSERT_GE(i, 0) << row.name;
    f0r_param_info_t p{};
    Module().paramInfo(&p, i);
    EXPECT_EQ(p.type, row.type) << row.name;
    EXPECT_NE(std::string(p.explanation), "") << row.name;
  }
  // The channels are reached through the colours; the font record only as "Font".
  for (const char* hidden : {"Foreground Red", "Background Blue", "PrivateData"}) EXPECT_EQ(Module().IndexOf(hidden), -1) << hidden;
  EXPECT_EQ(info.num_params, 31);
}

TEST_F(Frei0rModuleTest, NumbersAreClampedAndNormalisedOverTheRange) {
  Instance clock(64, 48);
  ASSERT_NE(clock.handle, nullptr);
  struct Row {
    const char* name;
    double set;
    double expected;
  };
  const Row rows[] = {
      {"X", 0.3, 0.3},                       {"X", 2.0, 1.0},
      {"X", -1.0, 0.0},                      {"X", std::nan(""), 0.0},
      {"Start Time Hour", 5.0 / 23, 5.0 / 23},  // an integer survives the round trip
      {"Start Time Hour", 0.51 / 23, 1.0 / 23},  // and is rounded to the nearest
      {"Time Speed Factor", 1, 1},           {"Count Down", 0.7, 1},
      {"Count Down", 0.2, 0},                {"Count Down", std::nan(""), 0},
  };
  for (const Row& row : rows) {
    clock.SetNumber(row.name, row.set);
    EXPECT_NEAR(clock.Number(row.name), row.expected, 1e-12) << row.name << " = " << row.set;
  }
  const f0r_param_position_t where{0.25, 0.75};
  Module().setParam(clock.handle, const_cast<f0r_param_position_t*>(&where), Module().IndexOf("Position"));
  EXPECT_DOUBLE_EQ(clock.Number("X"), 0.25);
  EXPECT_DOUBLE_EQ(clock.Number("Y"), 0.75);
  const f0r_param_color_t red{1.0f, 0.0f, 2.0f};
  Module().setParam(clock.handle, const_cast<f0r_param_color_t*>(&red), Module().IndexOf("Foreground RGB Color"));
  f0r_param_color_t got{};
  Module().getParam(clock.handle, &got, Module().IndexOf("Foreground RGB Color"));
  EXPECT_FLOAT_EQ(got.r, 1.0f);
  EXPECT_FLOAT_EQ(got.g, 0.0f);
  EXPECT_FLOAT_EQ(got.b, 1.0f);
}

TEST_F(Frei0rModuleTest, TextsTheParameterCannotTakeKeepTheValueAndAreReportedOnce) {
  Instance clock(64, 48);
  struct Row {
    const char* name;
    const char* good;
    const char* bad;
    const char* message;
  };
  const Row rows[] = {
      {"Style List", "TC hh:mm:ss:ff", "no such style", "zel2clock: parameter 'Style List': 'no such style' is not one of"},
      {"the List value", "2", "Sundial", "'Sundial' is not one of its items"},
      {"Font", "Liberation Serif,-40,bold", "Liberation Serif,-40,heavyish", "keeping 'Liberation Serif,-40,bold'"},
      {"Frame Rate", "30000/1001", "fast", "'fast' is not auto nor a rate"},
      {"Time Unit", "ms", "minutes", "'minutes' is not auto, seconds or milliseconds"},
      {"Alpha", "input", "opaque", "zel2clock: parameter 'Alpha': 'opaque' is not coverage or input; keeping input"},
  };
  for (const Row& row : rows) {
    clock.SetText(row.name, row.good);
    testing::internal::CaptureStderr();
    clock.SetText(row.name, row.bad);
    clock.SetText(row.name, row.bad);  // MLT sets every value before every frame: said once
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(clock.Text(row.name), row.good) << row.name;
    EXPECT_NE(said.find(row.message), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

TEST_F(Frei0rModuleTest, TheKdenliveDescriptionNamesEveryParameterWithTheModulesDefaults) {
  std::ifstream file(ZEL_TEST_KDENLIVE_XML);
  std::stringstream text;
  text << file.rdbuf();
  const std::string xml = text.str();
  ASSERT_FALSE(xml.empty()) << ZEL_TEST_KDENLIVE_XML;

  // Every default of the description, turned back into frei0r's value, set on one instance; the
  // other keeps the module's own defaults. Both must render alike, at 0 and after a second.
  const unsigned w = 96, h = 72;
  Instance described(w, h), plain(w, h);
  std::set<std::string> named;
  // Each <parameter ...> tag and its name="value" attributes (the file uses double quotes only).
  for (std::size_t tag = xml.find("<parameter "); tag != std::string::npos; tag = xml.find("<parameter ", tag + 1)) {
    const std::string attributes = xml.substr(tag, xml.find('>', tag) - tag);
    std::map<std::string, std::string> a;
    for (std::size_t eq = attributes.find("=\""); eq != std::string::npos; eq = attributes.find("=\"", eq + 2)) {
      const std::size_t key = attributes.rfind(' ', eq) + 1, end = attributes.find('"', eq + 2);
      a[attributes.substr(key, eq - key)] = attributes.substr(eq + 2, end - eq - 2);
      eq = end - 1;
    }
    const std::string& name = a["name"];
    SCOPED_TRACE(name);
    const int index = Module().IndexOf(name);
    ASSERT_GE(index, 0);
    named.insert(name);
    const std::string& type = a["type"];
    f0r_param_info_t info{};
    Module().paramInfo(&info, index);
    // Kdenlive's defaults are the values it stores: frei0r's, also for a number offered as a list.
    if (type == "animated" || type == "constant" || (type == "list" && info.type == F0R_PARAM_DOUBLE)) {
      const double value = std::stod(a["default"]);
      EXPECT_NEAR(value, plain.Number(name), 1e-6);
      described.SetNumber(name, value);
    } else if (type == "fixed") {
      // Not a default: a value the editor always sets.
      described.SetText(name, a["default"].c_str());
      plain.SetText(name, a["default"].c_str());
    } else if (type == "bool") {
      described.SetNumber(name, std::stod(a["default"]));
    } else if (type == "color") {
      const unsigned rgb = static_cast<unsigned>(std::stoul(a["default"].substr(1), nullptr, 16));
      const f0r_param_color_t colour{(rgb >> 16 & 255) / 255.0f, (rgb >> 8 & 255) / 255.0f, (rgb & 255) / 255.0f};
      Module().setParam(described.handle, const_cast<f0r_param_color_t*>(&colour), index);
    } else {
      described.SetText(name, a["default"].c_str());
      EXPECT_EQ(described.Text(name), a["default"]);
    }
  }
  for (const char* timeStamp : {"0", "1"}) {
    const auto in = Picture(w, h);
    EXPECT_EQ(described.Render(std::stod(timeStamp), in), plain.Render(std::stod(timeStamp), in)) << "time " << timeStamp;
  }
  f0r_plugin_info_t info{};
  Module().pluginInfo(&info);
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t p{};
    Module().paramInfo(&p, i);
    // "Position" is X and Y again, which Kdenlive shows one by one.
    if (std::string(p.name) != "Position") {
      EXPECT_EQ(named.count(p.name), 1u) << p.name << " is missing";
    }
  }
}

TEST_F(Frei0rModuleTest, AlphaInputKeepsTheFramesAlphaAndTheClocksColours) {
  const unsigned w = 96, h = 72;
  auto in = Picture(w, h);
  for (std::size_t i = 0; i < in.size(); ++i) reinterpret_cast<std::uint8_t*>(in.data())[i * 4 + 3] = static_cast<std::uint8_t>(i * 7);
  Instance coverage(w, h), input(w, h);
  for (Instance* clock : {&coverage, &input}) {
    clock->SetText("the List value", "Digital Clock");
    clock->SetNumber("Background Opacity", 0.6);
  }
  input.SetText("Alpha", "input");
  const auto drawn = coverage.Render(0, in);
  auto inPlace = in;
  Module().update(input.handle, 0, inPlace.data(), inPlace.data());
  for (const auto& kept : {input.Render(0, in), inPlace}) {
    std::size_t changed = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
      const auto* k = reinterpret_cast<const std::uint8_t*>(&kept[i]);
      const auto* d = reinterpret_cast<const std::uint8_t*>(&drawn[i]);
      const auto* source = reinterpret_cast<const std::uint8_t*>(&in[i]);
      ASSERT_EQ(k[3], source[3]) << "pixel " << i;
      ASSERT_TRUE(k[0] == d[0] && k[1] == d[1] && k[2] == d[2]) << "pixel " << i;
      changed += d[3] != source[3];
    }
    EXPECT_GT(changed, 0u);  // the coverage render did write alpha, so the test tells them apart
  }
}

// --- Pixels and time ----------------------------------------------------------------------------

/// The three clocks with the settings of the end-to-end comparison, each through frei0r and
/// through the host library: frame k of a stream at `rate`, handed over in seconds or milliseconds.
struct ClockCase {
  const char* name;
  const char* type;
  const char* style;
};
const ClockCase kClocks[] = {{"Analog", "Analog Clock", "hh:mm:ss"},
                             {"Digital", "Digital Clock", "TC hh:mm:ss:ff"},
                             {"Led", "LED clock", "Frame Counter"}};

TEST_F(Frei0rModuleTest, FrameKRendersAsTheHostLibraryRendersFrameK) {
  const unsigned w = 96, h = 72;
  const auto in = Picture(w, h);
  for (const ClockCase& c : kClocks)
    for (const FrameRate rate : {FrameRate{25, 1}, FrameRate{30000, 1001}, FrameRate{50, 1}})
      for (const bool milliseconds : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + " at " + rate.Text() + (milliseconds ? " fps, ms" : " fps, s"));
        Instance clock(w, h);
        Reference reference;
        clock.SetText("the List value", c.type);
        clock.SetText("Style List", c.style);
        clock.SetNumber("Size", 0.9);
        reference.Set("Clock Type List", c.type);
        reference.Set("Style List", c.style);
        reference.Set("Size", "90");
        for (std::int64_t k = 0; k < 3; ++k) {
          // As the clients pass it: FFmpeg milliseconds as a double, GStreamer's nanoseconds cut.
          const double seconds = static_cast<double>(k) * rate.den / rate.num;
          const double time = milliseconds ? seconds * 1000 : std::floor(seconds * 1e9) / 1e9;
          EXPECT_EQ(clock.Render(time, in), reference.Render(k, rate.Value(), in, w, h)) << "frame " << k;
        }
      }
}

TEST_F(Frei0rModuleTest, AValueSetBetweenTwoFramesShowsInTheNextAndInPlaceGivesTheSameBytes) {
  const unsigned w = 80, h = 60;
  const auto in = Picture(w, h);
  Instance clock(w, h);
  Reference reference;
  for (const double x : {0.3, 0.7}) {
    clock.SetNumber("X", x);
    reference.Set("X", std::to_string(x * 100));
    EXPECT_EQ(clock.Render(0, in), reference.Render(0, 25, in, w, h)) << "X = " << x;
  }
  auto frame = in;
  Module().update(clock.handle, 0, frame.data(), frame.data());
  EXPECT_EQ(frame, clock.Render(0, in));
}

TEST_F(Frei0rModuleTest, FrameSizesRenderOrAreRefusedWithOneLine) {
  struct Row {
    unsigned w, h;
    bool made;
  };
  const Row rows[] = {{0, 0, false}, {0, 8, false}, {16385, 1, false}, {1, 1, true}, {7, 5, true}, {16384, 2, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.w) + "x" + std::to_string(row.h));
    testing::internal::CaptureStderr();
    Instance clock(row.w, row.h);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(clock.handle != nullptr, row.made) << said;
    if (!row.made) {
      EXPECT_NE(said.find("each side must be 1 to 16384"), std::string::npos) << said;
      continue;
    }
    const auto in = Picture(row.w, row.h);
    Reference reference;
    EXPECT_EQ(clock.Render(0, in), reference.Render(0, 25, in, row.w, row.h));
  }
}

TEST_F(Frei0rModuleTest, SeveralInstancesOnSeveralThreadsGiveTheBytesOfOne) {
  const unsigned w = 64, h = 48;
  const auto in = Picture(w, h);
  std::vector<std::uint32_t> alone;
  {
    Instance clock(w, h);
    clock.SetText("the List value", "Digital Clock");
    for (int k = 0; k < 4; ++k) alone = clock.Render(k * 0.04, in);
  }
  constexpr int kThreads = 4;
  std::vector<std::vector<std::uint32_t>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      Instance clock(w, h);
      clock.SetText("the List value", "Digital Clock");
      for (int k = 0; k < 4; ++k) results[t] = clock.Render(k * 0.04, in);
    });
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, alone);
}

// --- Loading and unloading ----------------------------------------------------------------------

TEST(Frei0rModuleLoading, AMissingOrBrokenPluginFailsInitAndConstructWithOneLine) {
  const auto broken = std::filesystem::temp_directory_path() / ("zel2clock-broken-" + std::to_string(::getpid()) + ".zel");
  std::ofstream(broken) << "not a shared library";
  for (const std::string& path : {std::string("/nonexistent/ZEL2Clock.zel"), broken.string()}) {
    SCOPED_TRACE(path);
    ::setenv("ZEL2CLOCK_PLUGIN", path.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Module().init(), 0);
    EXPECT_EQ(Module().construct(64, 48), nullptr);
    f0r_plugin_info_t info{};
    Module().pluginInfo(&info);
    EXPECT_EQ(info.num_params, 0);
    Module().deinit();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("zel2clock: cannot load the clock plug-in"), std::string::npos) << said;
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  ::unsetenv("ZEL2CLOCK_PLUGIN");
  std::filesystem::remove(broken);
  EXPECT_EQ(Module().init(), 1);
  Module().deinit();
}

TEST(Frei0rModuleLoading, InitAndDeinitPairUpAndTheLastDeinitLeavesNothingAlive) {
  // FFmpeg calls f0r_init and f0r_deinit once per filter: two filters in one graph.
  ASSERT_EQ(Module().init(), 1);
  ASSERT_EQ(Module().init(), 1);
  {
    Instance first(32, 24), second(32, 24);
    ASSERT_NE(first.handle, nullptr);
    const auto in = Picture(32, 24);
    first.Render(0, in);
    Module().deinit();  // one filter gone; the other keeps rendering
    EXPECT_EQ(second.Render(0, in), first.Render(0, in));
  }
  EXPECT_GT(Module().liveHostObjects(), 0);
  Module().deinit();
  EXPECT_EQ(Module().liveHostObjects(), 0);
}

// --- The time rule --------------------------------------------------------------------------------

TEST(StreamClock, UnitAndRateFollowTheSteps) {
  struct Row {
    const char* what;
    std::vector<double> times;
    std::optional<FrameRate> rate;
    TimeUnit unit;
    std::vector<double> frames;
    FrameRate lastRate;
  };
  const Row rows[] = {
      {"FFmpeg, 25 fps", {0, 40, 80, 120}, {}, TimeUnit::Auto, {0, 1, 2, 3}, {25, 1}},
      {"FFmpeg, NTSC", {0, 33.366666666666667, 66.733333333333334}, {}, TimeUnit::Auto, {0, 1, 2}, {30000, 1001}},
      {"MLT, 50 fps", {0, 0.02, 0.04, 0.06, 0.06}, {}, TimeUnit::Auto, {0, 1, 2, 3, 3}, {50, 1}},
      {"GStreamer, NTSC in cut nanoseconds", {0, 0.033366666, 0.066733333, 0.100100000}, {}, TimeUnit::Auto, {0, 1, 2, 3}, {30000, 1001}},
      {"a seek back, then on", {0.4, 0.2, 0.24}, {}, TimeUnit::Auto, {10, 1, 6}, {25, 1}},
      {"a set rate wins from the first frame", {0.1001}, FrameRate{30000, 1001}, TimeUnit::Auto, {3}, {30000, 1001}},
      {"a set unit", {1000}, FrameRate{25, 1}, TimeUnit::Milliseconds, {25}, {25, 1}},
      {"between frames, at a set rate", {0, 0.04, 0.06}, FrameRate{25, 1}, TimeUnit::Seconds, {0, 1, 1.5}, {25, 1}},
      {"not a number", {std::nan("")}, {}, TimeUnit::Auto, {0}, {25, 1}},
      {"past the last whole frame", {1e300, -1e300}, FrameRate{25, 1}, TimeUnit::Seconds, {0x1p53, -0x1p53}, {25, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    StreamClock clock;
    clock.SetRate(row.rate);
    clock.SetUnit(row.unit);
    StreamClock::Tick tick;
    for (std::size_t i = 0; i < row.times.size(); ++i) {
      tick = clock.Advance(row.times[i]);
      EXPECT_DOUBLE_EQ(tick.frame, row.frames[i]) << "time " << row.times[i];
    }
    EXPECT_EQ(tick.rate, row.lastRate) << tick.rate.Text();
  }
}

TEST(StreamClock, RatesAreReadAndSnapped) {
  struct Row {
    const char* text;
    std::optional<FrameRate> rate;
  };
  const Row rows[] = {{"25", FrameRate{25, 1}},           {"29.97", FrameRate{30000, 1001}},
                      {"30000/1001", FrameRate{30000, 1001}}, {"60/2", FrameRate{30, 1}},
                      {"12.5", FrameRate{25, 2}},         {"23.976", FrameRate{24000, 1001}},
                      {"0", std::nullopt},                {"-25", std::nullopt},
                      {"25/0", std::nullopt},             {"1001", std::nullopt},
                      {"nan", std::nullopt},              {"fast", std::nullopt}};
  for (const Row& row : rows) EXPECT_EQ(zel::host::ParseFrameRate(row.text), row.rate) << row.text;
}

}  // namespace
