// The frei0r module in the real clients: ffmpeg's frei0r filter, melt's frei0r filter and
// GStreamer's frei0r element, on small clips (320x240, a few frames), against `zelhost render` of
// the same input. Pictures are compared as raw RGBA bytes (lossless on both sides).
//
// In the sanitizer build the module carries AddressSanitizer, whose runtime must be the first
// library of the process; ffmpeg, melt and gst-launch-1.0 are not built with it and cannot load
// the module, so these tests are skipped there (Frei0rModuleTest covers the module in process).
#include <gtest/gtest.h>

#include "CommandSupport.h"
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Frei0rModule.h"

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif


std::string Quoted(const std::string& text) { return zel::testing::ShellQuoted(text); }

struct Result {
  int exitCode = -1;
  std::string output;  ///< standard output and error
};

// melt runs without -quiet or -silent: with either, melt 7.12 sometimes exits at once with an
// empty output and status 0, or waits for ever (about once in six to thirty runs on a loaded
// machine, seen only with a filter whose first frame is slow to start, as this one loads fonts);
// without them, 40 runs in a row were right. Its progress lines cost nothing here.

/// Runs `command` through the shell with the module's folder as FREI0R_PATH, no input, and a
/// generous bound so that a client that hangs fails the test instead of stopping the run.
Result Shell(const std::string& command) {
  const std::string full = "export FREI0R_PATH=" + Quoted(fs::path(ZEL_TEST_FREI0R_MODULE).parent_path().string()) +
                           "; timeout -k 10 240 sh -c " + Quoted(command) + " </dev/null 2>&1";
  Result result;
  FILE* pipe = ::popen(full.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr int kWidth = 320, kHeight = 240;
constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * 4;

/// Frame k of a raw RGBA file of kWidth x kHeight frames.
std::string FrameOf(const std::string& raw, std::size_t k, std::size_t frameBytes = kFrameBytes) {
  return raw.size() >= (k + 1) * frameBytes ? raw.substr(k * frameBytes, frameBytes) : std::string();
}

class Frei0rClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kSanitized) {
      GTEST_SKIP() << "the module is built with AddressSanitizer here; ffmpeg, melt and gst-launch-1.0 are not, "
                      "and cannot load it (the ASan runtime must come first in the process). Frei0rModuleTest "
                      "drives the module in process in this build.";
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() / ("zel2clock-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    if (!HasFailure() && !m_dir.empty()) fs::remove_all(m_dir);
  }

  fs::path Path(const std::string& name) const { return m_dir / name; }

  /// Raw RGBA bytes of a picture or picture sequence, through ffmpeg.
  std::string Raw(const std::string& pictures) {
    const Result r = Shell("ffmpeg -v error -y -i " + Quoted(Path(pictures).string()) + " -f rawvideo -pix_fmt rgba " +
                         Quoted(Path(pictures + ".rgba").string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return Bytes(Path(pictures + ".rgba"));
  }

  /// `zelhost render` of the picture sequence `in` at `rate`, as raw RGBA.
  std::string Zelhost(const std::string& in, const std::string& rate, const std::vector<std::string>& sets,
                      const std::string& font, const std::string& out) {
    std::string command = Quoted(ZEL_TEST_ZELHOST) + " render -q -y -i " + Quoted(Path(in).string()) + " --rate " + rate +
                          " -o " + Quoted(Path(out).string());
    for (const auto& set : sets) command += " --set " + Quoted(set);
    if (!font.empty()) command += " --font " + Quoted(font);
    const Result r = Shell(command);
    EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.output;
    return Raw(out);
  }

  /// Every frame of `actual` equals the frame of `expected`, for `frames` frames.
  void ExpectSameFrames(const std::string& actual, const std::string& expected, std::size_t frames, const char* what) {
    ASSERT_GE(actual.size(), frames * kFrameBytes) << what;
    ASSERT_GE(expected.size(), frames * kFrameBytes) << what;
    for (std::size_t k = 0; k < frames; ++k) {
      EXPECT_TRUE(FrameOf(actual, k) == FrameOf(expected, k)) << what << ": frame " << k << " differs";
      if (k > 0) {
        EXPECT_FALSE(FrameOf(actual, k) == FrameOf(actual, k - 1)) << what << ": the clock stands still at " << k;
      }
    }
  }

  fs::path m_dir;
};

// --- ffmpeg -vf frei0r ----------------------------------------------------------------------------

/// `text` with a backslash before each of `specials` and before each backslash.
std::string Escaped(const std::string& text, const std::string& specials) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || specials.find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

/// ffmpeg's frei0r filter takes values by position, "|"-separated, each in the parameter's type:
/// this builds the whole list from the module's defaults and the values given by name, escaped for
/// the three readers it passes (the list, the filter's options, the filter graph).
std::string FilterParams(std::map<std::string, std::string> values) {
  // ffmpeg sets every value up to the last one given, "Position" after "X" and "Y": it must carry them.
  if (values.count("Position") == 0 && (values.count("X") != 0 || values.count("Y") != 0))
    values["Position"] = (values.count("X") ? values["X"] : "0.5") + "/" + (values.count("Y") ? values["Y"] : "0.5");
  static zel::test::Frei0rModule module(ZEL_TEST_FREI0R_MODULE);
  EXPECT_EQ(module.init(), 1);
  f0r_plugin_info_t info{};
  module.pluginInfo(&info);
  f0r_instance_t instance = module.construct(8, 8);
  std::string params;
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t p{};
    module.paramInfo(&p, i);
    std::string text;
    if (const auto it = values.find(p.name); it != values.end()) {
      text = it->second;
    } else {
      char number[96];
      switch (p.type) {
        case F0R_PARAM_BOOL: {
          double v = 0;
          module.getParam(instance, &v, i);
          text = v >= 0.5 ? "y" : "n";
          break;
        }
        case F0R_PARAM_DOUBLE: {
          double v = 0;
          module.getParam(instance, &v, i);
          std::snprintf(number, sizeof number, "%.17g", v);
          text = number;
          break;
        }
        case F0R_PARAM_COLOR: {
          f0r_param_color_t c{};
          module.getParam(instance, &c, i);
          std::snprintf(number, sizeof number, "%.9g/%.9g/%.9g", c.r, c.g, c.b);
          text = number;
          break;
        }
        case F0R_PARAM_POSITION: {
          f0r_param_position_t v{};
          module.getParam(instance, &v, i);
          std::snprintf(number, sizeof number, "%.17g/%.17g", v.x, v.y);
          text = number;
          break;
        }
        default: {
          const char* v = nullptr;
          module.getParam(instance, &v, i);
          text = v ? v : "";
        }
      }
    }
    params += Escaped(text, "|'") + (i + 1 < info.num_params ? "|" : "");
  }
  module.destruct(instance);
  module.deinit();
  return Escaped(Escaped(params, ":'"), "[],;'");
}

struct ClockCase {
  const char* name;
  std::map<std::string, std::string> frei0r;  ///< values through the filter
  std::vector<std::string> sets;             ///< the same values for zelhost --set
  const char* font;
};

const ClockCase kClocks[] = {
    {"analog",
     {{"the List value", "Analog Clock"}, {"Foreground RGB Color", "0x00ff80"}, {"Position", "0.3/0.4"}, {"Size", "0.6"}},
     {"Clock Type List=Analog Clock", "Foreground RGB Color=0,255,128", "X=30", "Y=40", "Size=60"},
     ""},
    {"digital",
     {{"the List value", "Digital Clock"}, {"Style List", "10"}, {"Alignment List", "Center"},
      {"Background RGB Color", "0x202060"}, {"Font", "Liberation Serif,-40,bold"}, {"Y", "0.7"}},
     {"Clock Type List=Digital Clock", "Style List=TC hh:mm:ss:ff", "Alignment List=Center",
      "Background RGB Color=32,32,96", "Y=70"},
     "Liberation Serif,-40,bold"},
    {"led",
     {{"the List value", "LED clock"}, {"Style List", "Frame Counter"}, {"Foreground RGB Color", "red"}, {"X", "0.65"}},
     {"Clock Type List=LED clock", "Style List=Frame Counter", "Foreground RGB Color=255,0,0", "X=65"},
     ""},
};

TEST_F(Frei0rClientsTest, FfmpegFrameKIsZelhostFrameK) {
  constexpr int kFrames = 3;
  for (const char* rate : {"25", "30000/1001", "50"}) {
    const std::string in = std::string("in-") + (rate[0] == '3' ? "ntsc" : rate) + "-%03d.png";
    const Result made = Shell("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=" + std::string(rate) + " -frames:v " +
                            std::to_string(kFrames) + " -pix_fmt rgba " + Quoted(Path(in).string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    for (const ClockCase& c : kClocks) {
      const std::string what = std::string(c.name) + " at " + rate + " fps";
      const std::string out = "ff-" + std::string(c.name) + ".rgba";
      const Result r = Shell("ffmpeg -v error -y -framerate " + std::string(rate) + " -i " + Quoted(Path(in).string()) +
                           " -vf " + Quoted("frei0r=zel2clock:" + FilterParams(c.frei0r)) + " -f rawvideo -pix_fmt rgba " +
                           Quoted(Path(out).string()));
      ASSERT_EQ(r.exitCode, 0) << what << "\n" << r.output;
      EXPECT_EQ(r.output, "") << what;
      const std::string expected = Zelhost(in, rate, c.sets, c.font, "z-" + std::string(c.name) + "-%03d.png");
      ExpectSameFrames(Bytes(Path(out)), expected, kFrames, what.c_str());
    }
  }
}

TEST_F(Frei0rClientsTest, FfmpegTwoFiltersInOneGraphGiveTwoRunsOneAfterTheOther) {
  // FFmpeg calls f0r_init and f0r_deinit for each filter: two instances share one plug-in.
  const std::string one = "frei0r=zel2clock:" + FilterParams({{"the List value", "Digital Clock"}, {"Y", "0.25"}});
  const std::string two = "frei0r=zel2clock:" + FilterParams({{"X", "0.75"}, {"Size", "0.3"}});
  ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -frames:v 2 -pix_fmt rgba " +
                  Quoted(Path("in-%03d.png").string())).exitCode, 0);
  const std::string input = " -framerate 25 -i " + Quoted(Path("in-%03d.png").string());
  Result r = Shell("ffmpeg -v error -y" + input + " -vf " + Quoted(one + "," + two) + " -f rawvideo -pix_fmt rgba " +
                   Quoted(Path("both.rgba").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = Shell("ffmpeg -v error -y" + input + " -vf " + Quoted(one) + " -pix_fmt rgba " + Quoted(Path("first-%03d.png").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = Shell("ffmpeg -v error -y -framerate 25 -i " + Quoted(Path("first-%03d.png").string()) + " -vf " + Quoted(two) +
            " -f rawvideo -pix_fmt rgba " + Quoted(Path("second.rgba").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string both = Bytes(Path("both.rgba"));
  EXPECT_EQ(both.size(), 2u * 160 * 120 * 4);
  EXPECT_TRUE(both == Bytes(Path("second.rgba")));
}

// --- melt -------------------------------------------------------------------------------------------

/// An MLT profile of kWidth x kHeight at `num`/`den` frames per second.
/// Runs a melt command that writes `output`. Under load melt now and then ends at once, exit code
/// 0 and nothing written, before its consumer has started (seen with a project without any
/// filter as well, so this module has no part in it): such a run is made again, twice at most.
Result Melt(const std::string& command, const fs::path& output) {
  Result r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    fs::remove(output);
    r = Shell(command);
    std::error_code ec;
    if (r.exitCode != 0 || fs::file_size(output, ec) > 0) break;
  }
  return r;
}

void WriteProfile(const fs::path& path, int num, int den) {
  std::ofstream(path) << "description=test\nframe_rate_num=" << num << "\nframe_rate_den=" << den << "\nwidth=" << kWidth
                      << "\nheight=" << kHeight
                      << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=4\n"
                         "display_aspect_den=3\ncolorspace=601\n";
}

TEST_F(Frei0rClientsTest, MeltFrameKShowsFrameKsTime) {
  constexpr int kFrames = 4;
  const struct {
    int num, den;
    const char* rate;
  } rates[] = {{25, 1, "25"}, {30000, 1001, "30000/1001"}, {50, 1, "50"}};
  for (const auto& rate : rates) {
    SCOPED_TRACE(rate.rate);
    WriteProfile(Path("profile"), rate.num, rate.den);
    const std::string melt = "melt -profile " + Quoted(Path("profile").string()) + " color:#336699 out=" +
                             std::to_string(kFrames - 1);
    const std::string consumer = " -consumer avformat:";
    // real_time=0: every frame rendered in turn on one thread, none dropped, whatever the load.
    const std::string raw = " f=rawvideo pix_fmt=rgba real_time=0";
    // The clip without the filter is zelhost's input, so that both sides start from the same pixels.
    Result r = Melt(melt + consumer + Quoted(Path("plain.rgba").string()) + raw, Path("plain.rgba"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Shell("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s 320x240 -framerate " + std::string(rate.rate) + " -i " +
            Quoted(Path("plain.rgba").string()) + " -frames:v " + std::to_string(kFrames) + " " + Quoted(Path("plain-%03d.png").string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Melt(melt + " -filter frei0r.zel2clock 'the List value=Digital Clock' 'Style List=hh:mm:ss.ff'" + consumer +
                 Quoted(Path("clock.rgba").string()) + raw,
             Path("clock.rgba"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string expected =
        Zelhost("plain-%03d.png", rate.rate, {"Clock Type List=Digital Clock", "Style List=hh:mm:ss.ff"}, "", "zmelt-%03d.png");
    ExpectSameFrames(Bytes(Path("clock.rgba")), expected, kFrames, "melt");
  }
}

/// Horizontal centre of the pixels that differ from `background` in frame `k` of `raw`.
double ClockCentreX(const std::string& raw, std::size_t k, int width, int height, const std::string& background) {
  const std::string frame = FrameOf(raw, k, std::size_t(width) * height * 4);
  const std::string plain = FrameOf(background, k, std::size_t(width) * height * 4);
  double sum = 0;
  std::size_t count = 0;
  for (std::size_t i = 0; i + 3 < frame.size() && i + 3 < plain.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (std::abs(static_cast<unsigned char>(frame[i + c]) - static_cast<unsigned char>(plain[i + c])) > 24) {
        sum += static_cast<double>((i / 4) % width);
        ++count;
        break;
      }
  return count ? sum / count : -1;
}

TEST_F(Frei0rClientsTest, MeltOpensTheExampleAndTheKeyframedXMovesTheClock) {
  const std::string example = ZEL_TEST_EXAMPLE_MLT;
  const std::string consumer = " -consumer avformat:" + Quoted(Path("example.rgba").string()) +
                               " f=rawvideo pix_fmt=rgba width=320 height=180 real_time=0";
  Result r = Melt("melt " + Quoted(example) + consumer, Path("example.rgba"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string said = r.output;
  const std::string raw = Bytes(Path("example.rgba"));
  const std::size_t frameBytes = 320u * 180 * 4;
  ASSERT_GE(raw.size() / frameBytes, 75u) << "melt said:\n" << said;
  // The same project without its filter, for the background.
  std::string text = Bytes(example);
  const std::size_t begin = text.find("<filter"), end = text.find("</filter>");
  ASSERT_NE(begin, std::string::npos);
  text.erase(begin, end + 9 - begin);
  std::ofstream(Path("plain.mlt")) << text;
  r = Melt("melt " + Quoted(Path("plain.mlt").string()) + " -consumer avformat:" + Quoted(Path("plain.rgba").string()) +
               " f=rawvideo pix_fmt=rgba width=320 height=180 real_time=0",
           Path("plain.rgba"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string plain = Bytes(Path("plain.rgba"));
  const double first = ClockCentreX(raw, 0, 320, 180, plain), last = ClockCentreX(raw, 74, 320, 180, plain);
  const double middle = ClockCentreX(raw, 37, 320, 180, plain);
  // "X" goes from 25 % to 75 % of 320 pixels, 80 pixels each half (the text starts at X).
  ASSERT_GT(first, 0) << "no clock in frame 0; melt said:\n" << said;
  EXPECT_NEAR(middle - first, 80, 8);
  EXPECT_NEAR(last - middle, 80, 8);
}

// --- gst-launch-1.0 -------------------------------------------------------------------------------

TEST_F(Frei0rClientsTest, GstreamerFrameKIsZelhostFrameK) {
  constexpr int kFrames = 3;
  // A registry of the test's own, so that GStreamer scans FREI0R_PATH afresh.
  const std::string gst = "GST_REGISTRY=" + Quoted(Path("registry.bin").string()) + " gst-launch-1.0 -q videotestsrc num-buffers=" +
                          std::to_string(kFrames) + " pattern=smpte ! video/x-raw,format=RGBA,width=320,height=240,framerate=";
  for (const char* rate : {"25/1", "30000/1001", "50/1"}) {
    SCOPED_TRACE(rate);
    const std::string sink = " ! pngenc ! multifilesink location=";
    Result r = Shell(gst + rate + sink + Quoted(Path("plain-%03d.png").string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Shell(gst + rate + " ! frei0r-filter-zel2clock the-list-value='LED clock' style-list='Frame Counter'" + sink +
            Quoted(Path("clock-%03d.png").string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string expected =
        Zelhost("plain-%03d.png", rate, {"Clock Type List=LED clock", "Style List=Frame Counter"}, "", "zgst-%03d.png");
    ExpectSameFrames(Raw("clock-%03d.png"), expected, kFrames, "gst-launch-1.0");
  }
}

TEST_F(Frei0rClientsTest, GstreamerOddFrameSizeIsZelhosts) {
  // GStreamer packs RGBA rows (ffmpeg's filter pads them, so there the width must be a multiple of 16).
  const std::string gst = "GST_REGISTRY=" + Quoted(Path("registry.bin").string()) +
                          " gst-launch-1.0 -q videotestsrc num-buffers=2 ! video/x-raw,format=RGBA,width=161,height=121,"
                          "framerate=25/1";
  const std::string sink = " ! pngenc ! multifilesink location=";
  Result r = Shell(gst + sink + Quoted(Path("plain-%03d.png").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = Shell(gst + " ! frei0r-filter-zel2clock the-list-value='Digital Clock'" + sink + Quoted(Path("clock-%03d.png").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string expected = Zelhost("plain-%03d.png", "25", {"Clock Type List=Digital Clock"}, "", "z-%03d.png");
  EXPECT_EQ(expected.size(), 2u * 161 * 121 * 4);
  EXPECT_TRUE(Raw("clock-%03d.png") == expected);
}

TEST_F(Frei0rClientsTest, InstalledIntoAFolderOfItsOwnItRunsFromThere) {
  const fs::path build = fs::path(ZEL_TEST_FREI0R_MODULE).parent_path().parent_path().parent_path();
  Result r = Shell(Quoted(ZEL_TEST_INSTALL) + " --no-kdenlive --build " + Quoted(build.string()) + " --dir " +
                   Quoted(Path("lib").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const char* file : {"zel2clock.so", "ZEL2Clock.zel", "libzelplatform.so"}) EXPECT_TRUE(fs::exists(Path("lib") / file)) << file;
  const std::string ffmpeg = "ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120 -frames:v 1 -f rawvideo -pix_fmt rgba ";
  r = Shell(ffmpeg + Quoted(Path("plain.rgba").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = Shell("FREI0R_PATH=" + Quoted(Path("lib").string()) + " " + ffmpeg + "-vf frei0r=zel2clock " + Quoted(Path("clock.rgba").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Bytes(Path("clock.rgba")).size(), Bytes(Path("plain.rgba")).size());
  EXPECT_FALSE(Bytes(Path("clock.rgba")) == Bytes(Path("plain.rgba")));
}

// --- Bad input ------------------------------------------------------------------------------------

TEST_F(Frei0rClientsTest, AMissingPluginIsOneLineInEachClientAndNoCrash) {
  const std::string missing = "ZEL2CLOCK_PLUGIN=/nonexistent/ZEL2Clock.zel ";
  const std::string line = "zel2clock: cannot load the clock plug-in: cannot load plug-in '/nonexistent/ZEL2Clock.zel'";
  // ffmpeg refuses the filter and stops with an error.
  Result r = Shell(missing + "ffmpeg -v error -f lavfi -i testsrc2=s=64x48 -frames:v 2 -vf frei0r=zel2clock -f null -");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  // melt renders the clip without the clock.
  r = Shell(missing + "melt color:red out=1 -filter frei0r.zel2clock -consumer avformat:" +
          Quoted(Path("melt.rgba").string()) + " f=rawvideo pix_fmt=rgba width=64 height=48 real_time=0");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  // GStreamer does not list the element.
  r = Shell(missing + "GST_REGISTRY=" + Quoted(Path("registry.bin").string()) +
          " gst-launch-1.0 -q videotestsrc num-buffers=1 ! video/x-raw,format=RGBA ! frei0r-filter-zel2clock ! fakesink");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("no element \"frei0r-filter-zel2clock\""), std::string::npos) << r.output;
}

TEST_F(Frei0rClientsTest, AnUnknownListNameOrFontIsSaidOnceAndTheFramesStillRender) {
  const Result r = Melt("melt color:red out=4 -filter frei0r.zel2clock 'Style List=hh:mm:ss.ffff' "
                        "'Font=Liberation Sans,-32,heavyish' -consumer avformat:" +
                            Quoted(Path("melt.rgba").string()) + " f=rawvideo pix_fmt=rgba width=64 height=48 real_time=0",
                        Path("melt.rgba"));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* said : {"zel2clock: parameter 'Style List': 'hh:mm:ss.ffff' is not one of its items",
                           "zel2clock: parameter 'Font': 'Liberation Sans,-32,heavyish'"}) {
    const std::size_t at = r.output.find(said);
    EXPECT_NE(at, std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(said, at + 1), std::string::npos) << "said more than once:\n" << r.output;
  }
  EXPECT_GE(Bytes(Path("melt.rgba")).size(), 5u * 64 * 48 * 4);
}

}  // namespace
