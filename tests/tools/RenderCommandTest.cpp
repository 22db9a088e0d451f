// zelhost render, run as a user runs it: the built binary on real files, its output read back
// with ffmpeg (pixels) and ffprobe (streams). Small frames and few of them keep the suite quick.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

using zel::testing::ShellQuoted;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Runs a shell command; returns its exit code (-1 when it did not exit normally).
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Runs a helper program (ffmpeg, ffprobe) and returns its standard output; fails the test when
/// it fails.
std::string Tool(const std::string& command) {
  const zel::testing::CommandResult r = zel::testing::RunCommand(command);
  EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.output;
  return r.output;
}

/// ffprobe of one stream as key=value pairs; frames counted by decoding.
std::map<std::string, std::string> Probe(const fs::path& file, const std::string& stream = "v:0") {
  const std::string out = Tool("ffprobe -v error -count_frames -select_streams " + stream +
                               " -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames,field_order,"
                               "pix_fmt,duration -of default=nw=1 " + ShellQuoted(file.string()));
  return zel::testing::KeyValues(out);
}

/// Pictures of one file, decoded by ffmpeg into `pixelFormat` (rgba, yuv422p) with no scaling.
struct Raw {
  int width = kWidth;
  int height = kHeight;
  std::string bytes;
  std::size_t FrameSize(const std::string& pixelFormat) const {
    return pixelFormat == "rgba" ? std::size_t(width) * height * 4 : std::size_t(width) * height * 2;
  }
};

class RenderCommandTest : public ::testing::Test {
 protected:
  struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
  };

  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "zel-render-inputs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    s_inputs = pattern;
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const std::string ff = "ffmpeg -v error -y ";
    // A flat grey still, so that every changed pixel is the clock's.
    Tool(ff + "-f lavfi -i color=c=0x808080:s=" + size + " -frames:v 1 " + Input("grey.png"));
    // A busy still, so that any change of a pixel outside the clock shows.
    Tool(ff + "-f lavfi -i testsrc2=s=" + size + " -frames:v 1 " + Input("busy.png"));
    // 4:2:2 frames in Y4M, busy, for the path that must not pass through RGB.
    Tool(ff + "-f lavfi -i testsrc2=s=" + size + ":r=25 -frames:v 3 -pix_fmt yuv422p " + Input("busy422.y4m"));
    // Two seconds of video with a sine tone.
    Tool(ff + "-f lavfi -i testsrc2=s=" + size + ":r=25 -f lavfi -i sine=f=440:r=48000 -t 2 -c:v libx264 "
              "-preset ultrafast -pix_fmt yuv420p -c:a aac -shortest " + Input("av.mp4"));
    // Interlaced H.264, top field first.
    Tool(ff + "-f lavfi -i testsrc2=s=" + size + ":r=25 -frames:v 4 -c:v libx264 -preset ultrafast -flags "
              "+ildct+ilme -x264-params tff=1 -pix_fmt yuv420p " + Input("tff.mp4"));
  }
  static void TearDownTestSuite() { fs::remove_all(s_inputs); }

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zel-render-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    fs::create_directory(m_root / "work");
    fs::create_directory(m_root / "capture");
  }
  void TearDown() override { fs::remove_all(m_root); }

  static std::string Input(const std::string& name) { return (s_inputs / name).string(); }
  std::string Work(const std::string& name) const { return (m_root / "work" / name).string(); }

  /// zelhost render with `arguments`, run in the work folder.
  Outcome Render(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + ShellQuoted((m_root / "work").string()) + " && " + ShellQuoted(ZEL_TEST_ZELHOST) + " render";
    for (const std::string& a : arguments) {
      command += ' ';
      command += ShellQuoted(a);
    }
    const fs::path out = m_root / "capture" / "stdout", err = m_root / "capture" / "stderr";
    command += " >";
    command += ShellQuoted(out.string());
    command += " 2>";
    command += ShellQuoted(err.string());
    Outcome o;
    o.exitCode = Shell(command);
    o.out = ReadFile(out);
    o.err = ReadFile(err);
    return o;
  }

  /// Renders and expects success.
  void RenderOk(const std::vector<std::string>& arguments) const {
    std::vector<std::string> all = arguments;
    all.push_back("-q");
    const Outcome o = Render(all);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "") << "--quiet prints nothing";
  }

  Raw Decode(const std::string& file, const std::string& pixelFormat) const {
    const fs::path raw = m_root / "capture" / "frames.raw";
    Tool("ffmpeg -v error -y -i " + ShellQuoted(file) + " -f rawvideo -pix_fmt " + pixelFormat + " " +
         ShellQuoted(raw.string()));
    Raw r;
    r.bytes = ReadFile(raw);
    fs::remove(raw);
    return r;
  }

  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_root / "work")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  static fs::path s_inputs;
  fs::path m_root;
};

fs::path RenderCommandTest::s_inputs;

// --- pixel helpers -------------------------------------------------------------------------------

/// Distance of pixel (x, y) from the frame's centre, where the default analog clock sits.
double FromCentre(double x, double y) { return std::hypot(x + 0.5 - kWidth / 2.0, y + 0.5 - kHeight / 2.0); }

/// Mean column of the pixels of rows first, first + step, ... that differ from `base` (RGBA
/// pictures of one size); -1 when none does.
double ChangedColumn(const std::string& picture, const std::string& base, int first = 0, int step = 1) {
  double sum = 0;
  long count = 0;
  for (int y = first; y < kHeight; y += step)
    for (int x = 0; x < kWidth; ++x) {
      const std::size_t at = (std::size_t(y) * kWidth + x) * 4;
      if (picture.compare(at, 4, base, at, 4) != 0) {
        sum += x;
        ++count;
      }
    }
  return count == 0 ? -1 : sum / count;
}

/// Presentation times of the frames of one stream ("v", "a:0") as ffprobe shows them, in seconds.
std::vector<double> FrameTimes(const std::string& file, const std::string& stream = "v") {
  std::vector<double> times;
  std::istringstream lines(Tool("ffprobe -v error -select_streams " + stream + " -show_entries frame=pts_time -of csv=p=0 " +
                                ShellQuoted(file)));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != ',') times.push_back(std::atof(line.c_str()));
  return times;
}

/// ffprobe's compact listing of what the tests compare: streams with their language, the
/// rotation, the file's tags and the chapters.
std::string Layout(const std::string& file) {
  return Tool("ffprobe -v error -show_entries stream=codec_type,codec_name:stream_tags=language,timecode:"
              "stream_side_data=rotation:format_tags=title,creation_time,location:chapter=start_time,end_time:"
              "chapter_tags=title -of compact=nk=0 " + ShellQuoted(file));
}

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// --- lossless outputs ----------------------------------------------------------------------------

TEST_F(RenderCommandTest, PngKeepsEveryPixelOutsideTheClockAndDrawsInside) {
  // Default analog clock: centred, radius Size / 100 x height / 2 = 60 pixels.
  RenderOk({"-i", Input("busy.png"), "-o", "out.png"});
  const Raw in = Decode(Input("busy.png"), "rgba");
  const Raw out = Decode(Work("out.png"), "rgba");
  ASSERT_EQ(in.bytes.size(), std::size_t(kWidth) * kHeight * 4);
  ASSERT_EQ(out.bytes.size(), in.bytes.size());
  long outside = 0, inside = 0, insideChanged = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const std::size_t at = (std::size_t(y) * kWidth + x) * 4;
      const bool same = in.bytes.compare(at, 4, out.bytes, at, 4) == 0;
      const double r = FromCentre(x, y);
      if (r > 63) {
        ++outside;
        if (!same) ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside the clock changed";
      } else if (r < 57) {
        ++inside;
        insideChanged += same ? 0 : 1;
      }
    }
  EXPECT_GT(outside, 60000);
  EXPECT_GT(insideChanged, inside * 9 / 10) << "the clock face covers its circle";
}

TEST_F(RenderCommandTest, PngAlphaFollowsTheSource) {
  // The effect writes the clock's coverage into the alpha bytes: kept for a source with alpha,
  // dropped (an opaque RGB picture) for one without, such as the test pattern or a video.
  Tool("ffmpeg -v error -y -i '" + Input("busy.png") + "' -pix_fmt rgba '" + Work("busy-rgba.png") + "'");
  RenderOk({"-i", Work("busy-rgba.png"), "-o", "with-alpha.png"});
  RenderOk({"-o", "opaque.png", "--size", "320x240", "--frames", "1"});
  EXPECT_EQ(Probe(Work("with-alpha.png"))["pix_fmt"], "rgba");
  EXPECT_EQ(Probe(Work("opaque.png"))["pix_fmt"], "rgb24");
}

TEST_F(RenderCommandTest, Y4m422NeverPassesThroughRgb) {
  // 4:2:2 in, 4:2:2 processing, 4:2:2 out: every sample outside the clock is the input's, in
  // both packed orders. A trip through RGB would change the busy picture's samples everywhere.
  for (const char* format : {"uyvy", "yuy2"}) {
    SCOPED_TRACE(format);
    const std::string out = Work(std::string("out-") + format + ".y4m");
    RenderOk({"-i", Input("busy422.y4m"), "-o", out, "--format", format});
    EXPECT_EQ(ReadFile(out).rfind("YUV4MPEG2 W320 H240 F25:1 Ip A1:1 C422", 0), 0u) << ReadFile(out).substr(0, 60);
    auto probe = Probe(out);
    EXPECT_EQ(probe["pix_fmt"], "yuv422p");
    EXPECT_EQ(probe["nb_read_frames"], "3");
    const Raw a = Decode(Input("busy422.y4m"), "yuv422p");
    const Raw b = Decode(out, "yuv422p");
    const std::size_t frame = a.FrameSize("yuv422p");
    ASSERT_EQ(a.bytes.size(), 3 * frame);
    ASSERT_EQ(b.bytes.size(), a.bytes.size());
    long changedOutside = 0, inside = 0, insideChanged = 0;
    for (int f = 0; f < 3; ++f) {
      const std::size_t base = f * frame;
      const std::size_t luma = std::size_t(kWidth) * kHeight, chroma = luma / 2;
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const std::size_t at = base + std::size_t(y) * kWidth + x;
          const double r = FromCentre(x, y);
          const bool same = a.bytes[at] == b.bytes[at];
          if (r > 63) changedOutside += same ? 0 : 1;
          if (r < 57) {
            ++inside;
            insideChanged += same ? 0 : 1;
          }
          if (x % 2 == 0 && FromCentre(x, y) > 63 && FromCentre(x + 1, y) > 63) {
            const std::size_t c = base + luma + std::size_t(y) * (kWidth / 2) + x / 2;
            changedOutside += a.bytes[c] == b.bytes[c] ? 0 : 1;                    // Cb
            changedOutside += a.bytes[c + chroma] == b.bytes[c + chroma] ? 0 : 1;  // Cr
          }
        }
    }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(insideChanged, inside * 9 / 10);
  }
}

TEST_F(RenderCommandTest, Y4mOnStandardOutput) {
  const Outcome o = Render({"-o", "-", "--size", "320x240", "--frames", "4", "-q"});
  ASSERT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out.rfind("YUV4MPEG2 W320 H240 F25:1 Ip", 0), 0u);
  // 4:4:4 from RGB: header, then per frame "FRAME\n" and three full planes.
  const std::size_t header = o.out.find('\n') + 1;
  EXPECT_EQ(o.out.size(), header + 4 * (6 + std::size_t(kWidth) * kHeight * 3));
  EXPECT_TRUE(WorkFiles().empty()) << "nothing but standard output is written";
}

// --- video files ---------------------------------------------------------------------------------

TEST_F(RenderCommandTest, H264StreamsSayWhatWasAskedFor) {
  struct Case {
    std::vector<std::string> arguments;
    const char* output;
    const char* width;
    const char* height;
    const char* rate;
    const char* frames;
    const char* fieldOrder;
  };
  const Case cases[] = {
      {{"--size", "320x240", "--frames", "12"}, "a.mp4", "320", "240", "25/1", "12", "progressive"},
      {{"--size", "320x240", "--rate", "30000/1001", "--frames", "7", "--field-order", "tff"}, "b.mp4", "320", "240",
       "30000/1001", "7", "tt"},
      {{"--size", "256x144", "--rate", "50", "--duration", "0.2", "--field-order", "bff"}, "c.mkv", "256", "144", "50/1",
       "10", "bb"},
      {{"--size", "320x240", "--rate", "24", "--frames", "3", "--format", "uyvy"}, "d.mov", "320", "240", "24/1", "3",
       "progressive"},
      // A file keeps its own field order unless told otherwise, and its own rate.
      {{"-i", Input("tff.mp4")}, "e.mp4", "320", "240", "25/1", "4", "tt"},
      {{"-i", Input("tff.mp4"), "--field-order", "progressive", "--size", "160x120"}, "f.mp4", "160", "120", "25/1", "4",
       "progressive"},
      {{"-i", Input("av.mp4"), "--start", "45"}, "g.mp4", "320", "240", "25/1", "5", "progressive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"-o", c.output});
    RenderOk(arguments);
    auto probe = Probe(Work(c.output));
    EXPECT_EQ(probe["codec_name"], "h264");
    EXPECT_EQ(probe["width"], c.width);
    EXPECT_EQ(probe["height"], c.height);
    EXPECT_EQ(probe["r_frame_rate"], c.rate);
    EXPECT_EQ(probe["nb_read_frames"], c.frames);
    EXPECT_EQ(probe["field_order"], c.fieldOrder);
  }
}

TEST_F(RenderCommandTest, AudioSurvivesTheRender) {
  struct Case {
    std::vector<std::string> arguments;
    const char* output;
    bool audio;
    double seconds;
  };
  const Case cases[] = {
      {{}, "whole.mp4", true, 2.0},
      {{"--start", "10", "--frames", "20"}, "part.mkv", true, 0.8},
      {{"--no-audio"}, "silent.mp4", false, 0},
      {{"--no-audio"}, "silent.y4m", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> arguments = {"-i", Input("av.mp4"), "-o", c.output};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    RenderOk(arguments);
    const std::string streams = Tool("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Work(c.output));
    EXPECT_EQ(streams.find("audio") != std::string::npos, c.audio) << streams;
    if (!c.audio) continue;
    auto audio = Probe(Work(c.output), "a:0");
    EXPECT_EQ(audio["codec_name"], "aac");
    // The packets are copied: the length follows the video's to within one audio packet.
    double seconds = 0;
    std::istringstream lines(Tool("ffprobe -v error -select_streams a:0 -show_entries packet=duration_time -of csv=p=0 " +
                                  Work(c.output)));
    for (std::string line; std::getline(lines, line);) seconds += std::atof(line.c_str());
    EXPECT_NEAR(seconds, c.seconds, 0.05);
  }
  // The copied packets are the input's own bytes, in order, up to where the video ends.
  const auto hashes = [](const std::string& file) {
    std::vector<std::string> out;
    std::istringstream lines(Tool("ffmpeg -v error -i " + file + " -map 0:a -c copy -f framemd5 -"));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty() && line[0] != '#') out.push_back(line.substr(line.rfind(',') + 1));
    return out;
  };
  // Y4M holds no audio, and says so even with --quiet.
  const Outcome y4m = Render({"-i", Input("av.mp4"), "-o", "video.y4m", "-q"});
  EXPECT_EQ(y4m.exitCode, 0);
  EXPECT_EQ(y4m.err, "zelhost: warning: not kept in 'video.y4m': every stream but the video (Y4M holds pictures only)\n");
  const std::vector<std::string> original = hashes(Input("av.mp4"));
  const std::vector<std::string> copied = hashes(Work("whole.mp4"));
  ASSERT_GE(copied.size() + 2, original.size());
  ASSERT_LE(copied.size(), original.size());
  EXPECT_TRUE(std::equal(copied.begin(), copied.end(), original.begin()));
}

// --- time: keyframes, parts, fields, threads ----------------------------------------------------

TEST_F(RenderCommandTest, KeyframesMoveTheClockBetweenFrames) {
  // X runs from 20 % at frame 0 to 80 % at frame 4: 64, 112, 160, 208, 256 pixels. The same keys
  // from a project file give the same bytes.
  const std::string grey = Decode(Input("grey.png"), "rgba").bytes;
  const std::vector<std::string> keys = {"--set", "Size=20", "--set", "X@0=20", "--set", "X@4=80"};
  std::vector<std::string> arguments = {"-i", Input("grey.png"), "-o", "set-%d.png", "--frames", "5"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  RenderOk(arguments);
  std::ofstream(Work("keys.json")) << R"({"parameters": {"Size": 20, "X": [{"frame": 0, "value": 20}, {"frame": 4, "value": 80}]}})";
  RenderOk({"-i", Input("grey.png"), "-o", "project-%d.png", "--frames", "5", "--project", "keys.json"});
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const std::string picture = ReadFile(Work("set-" + std::to_string(k + 1) + ".png"));
    EXPECT_EQ(picture, ReadFile(Work("project-" + std::to_string(k + 1) + ".png")));
    const double column = ChangedColumn(Decode(Work("set-" + std::to_string(k + 1) + ".png"), "rgba").bytes, grey);
    EXPECT_NEAR(column, 64 + 48 * k, 2.0);
  }
}

TEST_F(RenderCommandTest, APartRendersAsItDoesInTheWhole) {
  // Frame k renders at time k whatever the first frame of the render, and the thread count
  // changes no byte.
  const std::vector<std::string> look = {"--set", "Clock Type List=Digital Clock", "--set", "Style List=Frame Counter",
                                         "--set", "Size@0=30", "--set", "Size@5=60"};
  auto with = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), look.begin(), look.end());
    return arguments;
  };
  RenderOk(with({"-i", Input("busy.png"), "-o", "one-%d.png", "--frames", "6", "--threads", "1"}));
  RenderOk(with({"-i", Input("busy.png"), "-o", "two-%d.png", "--frames", "6", "--threads", "2"}));
  RenderOk(with({"-i", Input("busy.png"), "-o", "part.png", "--start", "4"}));
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(ReadFile(Work("one-" + std::to_string(k) + ".png")), ReadFile(Work("two-" + std::to_string(k) + ".png"))) << k;
  EXPECT_EQ(ReadFile(Work("part.png")), ReadFile(Work("one-5.png")));
  EXPECT_NE(ReadFile(Work("one-4.png")), ReadFile(Work("one-5.png")));
}

TEST_F(RenderCommandTest, InterlacedFieldsShowTwoTimes) {
  // X runs from 20 % at frame 0 to 80 % at frame 1, so field 1 of frame 0 (time 0) shows the
  // clock at 64 pixels and field 2 (time 0.5) at 160. Top field first: field 1 is the even rows.
  const std::string grey = Decode(Input("grey.png"), "rgba").bytes;
  struct Case {
    const char* order;
    double evenRows;
    double oddRows;
  };
  const Case cases[] = {{"tff", 64, 160}, {"bff", 160, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.order);
    const std::string out = std::string("fields-") + c.order + ".png";
    RenderOk({"-i", Input("grey.png"), "-o", out, "--field-order", c.order, "--set", "Size=20", "--set", "X@0=20", "--set",
              "X@1=80"});
    const std::string picture = Decode(Work(out), "rgba").bytes;
    EXPECT_NEAR(ChangedColumn(picture, grey, 0, 2), c.evenRows, 2.0);
    EXPECT_NEAR(ChangedColumn(picture, grey, 1, 2), c.oddRows, 2.0);
  }
  // With the frame counter that names its field, the two fields also differ in text: field 1
  // shows "000000.1", field 2 "000000.2". Rendered progressive, both rows sets show one clock.
  RenderOk({"-i", Input("grey.png"), "-o", "counter.png", "--field-order", "tff", "--set",
            "Clock Type List=Digital Clock", "--set", "Style List=Frame Counter with Field"});
  RenderOk({"-i", Input("grey.png"), "-o", "counter-p.png", "--set", "Clock Type List=Digital Clock", "--set",
            "Style List=Frame Counter with Field"});
  const std::string interlaced = Decode(Work("counter.png"), "rgba").bytes;
  const std::string progressive = Decode(Work("counter-p.png"), "rgba").bytes;
  EXPECT_NE(interlaced, progressive);
  EXPECT_GT(ChangedColumn(interlaced, grey, 0, 2), 0);
  EXPECT_GT(ChangedColumn(interlaced, grey, 1, 2), 0);
}

TEST_F(RenderCommandTest, FontChangesOnlyTheClock) {
  const std::string grey = Decode(Input("grey.png"), "rgba").bytes;
  RenderOk({"-i", Input("grey.png"), "-o", "plain.png", "--set", "Clock Type List=Digital Clock"});
  // The default record written out by hand changes nothing.
  RenderOk({"-i", Input("grey.png"), "-o", "default.png", "--set", "Clock Type List=Digital Clock", "--font", ",-32"});
  RenderOk({"-i", Input("grey.png"), "-o", "mono.png", "--set", "Clock Type List=Digital Clock", "--font",
            "Liberation Mono,-32,bold"});
  EXPECT_EQ(ReadFile(Work("default.png")), ReadFile(Work("plain.png")));
  EXPECT_NE(Decode(Work("mono.png"), "rgba").bytes, Decode(Work("plain.png"), "rgba").bytes);
  EXPECT_GT(ChangedColumn(Decode(Work("mono.png"), "rgba").bytes, grey), 0);
}

// --- failures ------------------------------------------------------------------------------------

TEST_F(RenderCommandTest, BadInputsFailWithOneLineAndLeaveNothing) {
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    int exitCode;
    const char* message;  ///< the error line holds this
  };
  std::ofstream(Work("existing.mp4")) << "keep me";
  std::ofstream(Work("text.mp4")) << "this is not a video\n";
  std::ofstream(Work("broken.json")) << "{\"parameters\": {\"X\": 10,}}";
  std::ofstream(Work("unknown.json")) << "{\"parameters\": {\"Colour\": 10}}";
  const std::vector<std::string> small = {"--size", "320x240", "--frames", "2"};
  auto with = [&](std::vector<std::string> arguments, bool addSize = true) {
    if (addSize) arguments.insert(arguments.end(), small.begin(), small.end());
    return arguments;
  };
  const Case cases[] = {
      {"missing input", {"-i", "nothere.mp4", "-o", "out.mp4"}, 1, "cannot open 'nothere.mp4': No such file"},
      {"not media", {"-i", "text.mp4", "-o", "out.mp4"}, 1, "cannot read 'text.mp4': not a video"},
      {"unknown parameter", with({"-o", "out.mp4", "--set", "Colour=1"}), 2, "--set 'Colour=1': no parameter named 'Colour'"},
      {"value out of range", with({"-o", "out.mp4", "--set", "Size=101"}), 2, "'Size': 101 is outside its range 0..100"},
      {"unknown list item", with({"-o", "out.mp4", "--set", "Clock Type List=Sundial"}), 2,
       "'Sundial' is not one of its items ('Analog Clock', 'Digital Clock', 'LED clock')"},
      {"malformed --set", with({"-o", "out.mp4", "--set", "Size"}), 2, "--set 'Size': no '='"},
      {"malformed key frame", with({"-o", "out.mp4", "--set", "Size@x=3"}), 2, "the frame 'x' is not a number"},
      {"malformed project file", with({"-o", "out.mp4", "--project", "broken.json"}), 1,
       "project 'broken.json': parse error at line 1, column "},
      {"project with an unknown parameter", with({"-o", "out.mp4", "--project", "unknown.json"}), 1,
       "project 'unknown.json', parameter 'Colour': no parameter named 'Colour'"},
      {"missing project file", with({"-o", "out.mp4", "--project", "none.json"}), 1, "project 'none.json': cannot read it"},
      {"output folder missing", with({"-o", "nowhere/out.mp4"}), 1, "folder 'nowhere' does not exist"},
      {"existing output without -y", with({"-o", "existing.mp4"}), 1, "'existing.mp4' exists already: add -y"},
      {"zero size", {"-o", "out.mp4", "--size", "0x240"}, 2, "--size '0x240': each side must be 1 to 16384"},
      {"malformed size", {"-o", "out.mp4", "--size", "320"}, 2, "--size '320': expected WIDTHxHEIGHT"},
      {"odd width for H.264", {"-o", "out.mp4", "--size", "321x240", "--frames", "2"}, 2,
       "--size '321x240': H.264 in 4:2:0 needs an even width and height"},
      {"odd width for 4:2:2", {"-o", "out.y4m", "--size", "321x240", "--frames", "2", "--format", "yuy2"}, 2,
       "4:2:2 processing (--format yuy2) works on pixel pairs and needs an even width"},
      {"interlaced height for H.264", {"-o", "out.mp4", "--size", "320x242", "--frames", "2", "--field-order", "tff"}, 2,
       "needs a height that is a multiple of 4"},
      {"interlaced 4:2:0 of a height that halves into odd fields",
       {"-o", "out.y4m", "--size", "334x102", "--frames", "1", "--field-order", "tff", "--pix-fmt", "yuv420p"}, 2,
       "cannot be encoded as yuv420p (width must be a multiple of 2, height of 4: each field"},
      {"--frames 0", {"-o", "out.mp4", "--frames", "0"}, 2, "--frames '0': must be at least 1"},
      {"--frames not a number", {"-o", "out.mp4", "--frames", "ten"}, 2, "--frames 'ten': expected a whole number"},
      {"--duration 0", {"-o", "out.mp4", "--duration", "0"}, 2, "--duration '0': expected seconds above 0"},
      {"--frames and --duration", {"-o", "out.mp4", "--frames", "2", "--duration", "1"}, 2, "give one of them"},
      {"--start past the end", {"-i", Input("tff.mp4"), "-o", "out.mp4", "--start", "4"}, 2,
       "has 4 frames (0 to 3)"},
      {"--rate for a video", {"-i", Input("tff.mp4"), "-o", "out.mp4", "--rate", "30"}, 2, "is a video with a rate of its own"},
      {"bad rate", with({"-o", "out.mp4", "--rate", "-5"}), 2, "--rate '-5': expected frames per second"},
      {"bad format", with({"-o", "out.mp4", "--format", "rgb"}), 2, "--format 'rgb': expected rgba, uyvy or yuy2"},
      {"bad field order", with({"-o", "out.mp4", "--field-order", "upper"}), 2, "expected progressive, tff or bff"},
      {"bad threads", with({"-o", "out.mp4", "--threads", "0"}), 2, "--threads '0': expected 1 to 256"},
      {"bad font", with({"-o", "out.mp4", "--font", "Arial,-32,heavy"}), 2, "--font 'Arial,-32,heavy': weight 'heavy'"},
      {"unknown output type", with({"-o", "out.avi"}), 2, "-o 'out.avi': unknown output type"},
      {"many frames into one PNG", with({"-o", "out.png"}), 2, "holds one picture; name it with a %d pattern"},
      {"unknown encoder", with({"-o", "out.mp4", "--codec", "nosuchcodec"}), 2,
       "--codec 'nosuchcodec': FFmpeg has no video encoder of that name"},
      {"no output", with({}), 2, "--output is required"},
      {"unknown option", with({"-o", "out.mp4", "--colour", "red"}), 2, "--colour"},
      {"missing plug-in", with({"/nonexistent/ZEL2Clock.zel", "-o", "out.mp4"}), 1, "/nonexistent/ZEL2Clock.zel"},
  };
  const std::vector<std::string> before = WorkFiles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = Render(c.arguments);
    EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
    EXPECT_EQ(o.err.rfind("zelhost: error: ", 0), 0u) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << "one line: " << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(WorkFiles(), before) << "no output and no temporary file left";
  }
  EXPECT_EQ(ReadFile(Work("existing.mp4")), "keep me");
}

// --- what the file has besides its pictures ------------------------------------------------------

TEST_F(RenderCommandTest, AnOutputThatIsAnInputIsRefusedAndTheInputStaysIntact) {
  const std::string original = ReadFile(Input("av.mp4"));
  fs::copy_file(Input("av.mp4"), Work("clip.mp4"));
  fs::create_symlink("clip.mp4", Work("link.mp4"));
  fs::create_hard_link(Work("clip.mp4"), Work("hard.mp4"));
  std::ofstream(Work("look.json")) << R"({"parameters": {"X": 25}})";
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{"-i", "clip.mp4", "-o", "clip.mp4"}, "-o 'clip.mp4' is the input ('clip.mp4')"},
      {{"-i", "clip.mp4", "-o", "clip.mp4", "-y"}, "-o 'clip.mp4' is the input"},
      {{"-i", "clip.mp4", "-o", "./clip.mp4", "-y"}, "-o './clip.mp4' is the input"},
      {{"-i", Work("clip.mp4"), "-o", "link.mp4", "-y"}, "-o 'link.mp4' is the input"},
      {{"-i", "link.mp4", "-o", "hard.mp4", "-y"}, "-o 'hard.mp4' is the input"},
      {{"-i", "clip.mp4", "-o", "look.json", "-y", "--project", "look.json"}, "unknown output type"},
      {{"-o", "look.mp4", "--project", "look.mp4"}, ""},
  };
  fs::copy_file(Work("look.json"), Work("look.mp4"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[1] + " -> " + c.arguments[3]);
    const Outcome o = Render(c.arguments);
    EXPECT_EQ(o.exitCode, 2) << o.err;
    EXPECT_EQ(Lines(o.err), 1) << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
  }
  EXPECT_TRUE(ReadFile(Work("clip.mp4")) == original) << "the input is untouched";
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"clip.mp4", "hard.mp4", "link.mp4", "look.json", "look.mp4"}));
}

TEST_F(RenderCommandTest, VariableRateKeepsEveryTimestampAndFrameKRendersAtItsTime) {
  // A flat grey picture, losslessly coded, shown at 25 fps for ten frames and then at about
  // 10 fps: frame 12 is shown at 0.6 s, so it renders at time 0.6 x 25 = 15, exactly as frame 15
  // of the grey still does (a still shows frame k at time k).
  Tool("ffmpeg -v error -y -f lavfi -i color=c=0x808080:s=320x240:r=25 -t 2 -vf \"setpts='if(lt(N,10),N*0.04,"
       "0.4+(N-10)*0.1)/TB'\" -fps_mode passthrough -c:v ffv1 -pix_fmt bgr0 " + Work("vfr.mkv"));
  const std::vector<double> input = FrameTimes(Work("vfr.mkv"));
  ASSERT_GT(input.size(), 20u);
  ASSERT_NEAR(input[12], 0.6, 0.001);

  for (const char* output : {"out.mkv", "out.mp4"}) {
    SCOPED_TRACE(output);
    RenderOk({"-i", "vfr.mkv", "-o", output});
    const std::vector<double> times = FrameTimes(Work(output));
    ASSERT_EQ(times.size(), input.size());
    for (std::size_t k = 0; k < times.size(); ++k) EXPECT_NEAR(times[k], input[k], 0.0011) << "frame " << k;
  }

  const std::vector<std::string> look = {"--set", "Clock Type List=Digital Clock", "--set", "Style List=Frame Counter",
                                         "--set", "X@0=20", "--set", "X@20=80"};
  auto with = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), look.begin(), look.end());
    return arguments;
  };
  RenderOk(with({"-i", "vfr.mkv", "-o", "whole-%02d.png"}));
  for (int k : {3, 12, 17}) {
    SCOPED_TRACE(k);
    const std::string part = "part-" + std::to_string(k) + ".png";
    RenderOk(with({"-i", "vfr.mkv", "-o", part, "--start", std::to_string(k)}));
    char whole[32];
    std::snprintf(whole, sizeof whole, "whole-%02d.png", k + 1);
    EXPECT_TRUE(ReadFile(Work(part)) == ReadFile(Work(whole))) << "frame " << k << " of --start differs from the whole";
  }
  RenderOk(with({"-i", Input("grey.png"), "-o", "still-15.png", "--start", "15"}));
  EXPECT_TRUE(ReadFile(Work("part-12.png")) == ReadFile(Work("still-15.png"))) << "frame 12 renders at time 15";
}

TEST_F(RenderCommandTest, AFileThatStartsOnANonKeyframeStaysInSyncWithItsAudio) {
  // Cut without re-encoding half a second into a file whose only keyframe is its first frame:
  // the frames before the cut stay in the file, hidden by an edit list, and the audio starts at
  // the cut. The output shows the same frames at the same times against the audio.
  Tool("ffmpeg -v error -y -ss 0.5 -i " + Input("av.mp4") + " -c copy " + Work("cut.mp4"));
  const std::vector<double> video = FrameTimes(Work("cut.mp4")), audio = FrameTimes(Work("cut.mp4"), "a:0");
  ASSERT_FALSE(video.empty());
  ASSERT_FALSE(audio.empty());
  for (const char* output : {"out.mp4", "out.mkv"}) {
    SCOPED_TRACE(output);
    RenderOk({"-i", "cut.mp4", "-o", output});
    const std::vector<double> outVideo = FrameTimes(Work(output)), outAudio = FrameTimes(Work(output), "a:0");
    ASSERT_EQ(outVideo.size(), video.size());
    ASSERT_FALSE(outAudio.empty());
    // Within a frame: Matroska has no edit list, so the AAC priming packet before the first
    // shown sample shows as 21 ms more audio, as in any copy of the stream into it.
    EXPECT_NEAR(outVideo.front() - outAudio.front(), video.front() - audio.front(), 0.04);
    EXPECT_NEAR(outVideo.back() - outVideo.front(), video.back() - video.front(), 0.001);
  }
  // A part starts its audio with its first frame.
  RenderOk({"-i", "cut.mp4", "-o", "part.mp4", "--start", "10", "--frames", "10"});
  const std::vector<double> partVideo = FrameTimes(Work("part.mp4")), partAudio = FrameTimes(Work("part.mp4"), "a:0");
  ASSERT_EQ(partVideo.size(), 10u);
  ASSERT_FALSE(partAudio.empty());
  EXPECT_NEAR(partVideo.front() - partAudio.front(), 0, 0.025);
}

/// Rotates the first track (the video) of an MP4 by 90 degrees: its header's display matrix.
void RotateFirstTrack(const std::string& file) {
  std::string bytes = ReadFile(file);
  const std::size_t tkhd = bytes.find("tkhd");
  ASSERT_NE(tkhd, std::string::npos);
  // version and flags 4, times 8, track 4, reserved 4, duration 4, reserved 8, layer, group,
  // volume, reserved 2 each: the matrix follows, nine big-endian 32-bit numbers.
  const std::size_t matrix = tkhd + 4 + 4 + 8 + 4 + 4 + 4 + 8 + 8;
  const std::uint32_t values[9] = {0, 0x10000, 0, 0xFFFF0000u, 0, 0, 0, 0, 0x40000000};
  for (int i = 0; i < 9; ++i)
    for (int b = 0; b < 4; ++b) bytes[matrix + 4 * i + b] = static_cast<char>(values[i] >> (24 - 8 * b));
  std::ofstream(file, std::ios::binary) << bytes;
}

TEST_F(RenderCommandTest, StreamsRotationMetadataAndChaptersAreKept) {
  std::ofstream(Work("subs.srt")) << "1\n00:00:00,200 --> 00:00:01,000\nHello\n\n2\n00:00:01,200 --> 00:00:01,800\nWorld\n";
  std::ofstream(Work("meta.txt")) << ";FFMETADATA1\ntitle=Holiday\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                     "title=First\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Second\n";
  Tool("cd " + ShellQuoted(Work("")) + " && ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -f lavfi -i "
       "sine=f=440:r=48000 -f lavfi -i sine=f=880:r=44100 -i subs.srt -i meta.txt -map 0:v -map 1:a -map 2:a -map 3:s "
       "-map_metadata 4 -map_chapters 4 -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -c:s mov_text "
       "-metadata creation_time=2020-01-02T03:04:05Z -metadata location=+48.8577+002.2950/ -metadata:s:a:0 language=fra "
       "-metadata:s:a:1 language=deu -metadata:s:s:0 language=eng -timecode 01:00:00:00 rich.mp4");
  RotateFirstTrack(Work("rich.mp4"));
  const std::string input = Layout(Work("rich.mp4"));
  for (const char* expected : {"rotation=-90", "language=fra", "language=deu", "codec_name=mov_text", "title=Holiday",
                               "creation_time=2020-01-02T03:04:05", "location=+48.8577+002.2950/", "title=Second",
                               "timecode=01:00:00:00"})
    ASSERT_NE(input.find(expected), std::string::npos) << expected << " missing from the input:\n" << input;

  // Into MP4 everything is kept: the same streams, tags, rotation and chapters.
  RenderOk({"-i", "rich.mp4", "-o", "out.mp4"});
  EXPECT_EQ(Layout(Work("out.mp4")), input);
  // A part's time code starts at its first frame: 30 frames at 25 fps on.
  RenderOk({"-i", "rich.mp4", "-o", "part.mp4", "--start", "30", "--frames", "5"});
  EXPECT_NE(Layout(Work("part.mp4")).find("timecode=01:00:01:05"), std::string::npos) << Layout(Work("part.mp4"));

  // Matroska takes no rotation: one warning line names it, even with --quiet. MP4's subtitles
  // become Matroska's own; the rest is kept.
  const Outcome o = Render({"-i", "rich.mp4", "-o", "out.mkv", "-q"});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(Lines(o.err), 1) << o.err;
  EXPECT_EQ(o.err.rfind("zelhost: warning: not kept in 'out.mkv': the rotation of the video", 0), 0u) << o.err;
  const std::string mkv = Layout(Work("out.mkv"));
  EXPECT_NE(mkv.find("codec_name=ass"), std::string::npos) << mkv;
  for (const char* expected : {"language=fra", "language=deu", "title=Holiday", "title=First", "title=Second"})
    EXPECT_NE(mkv.find(expected), std::string::npos) << expected << " missing:\n" << mkv;
}

// A Matroska file's subtitles bring their fonts as attachments: Matroska keeps the font, byte for
// byte, with its file name and type; MP4 takes no font, and its own text subtitles stand for the
// styled ones where they can read them: one warning names what is left out.
TEST_F(RenderCommandTest, SubtitleFontsAttachedToMatroskaAreKept) {
  const std::string font = Tool("fc-match -f '%{file}' 'Liberation Sans:style=Regular'");
  std::ofstream(Work("s.ass")) << "[Script Info]\nScriptType: v4.00+\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
                                  "Style: Default,Liberation Sans,20\n[Events]\nFormat: Layer, Start, End, Style, Text\n"
                                  "Dialogue: 0,0:00:00.20,0:00:00.80,Default,Hello\n";
  Tool("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -i " + ShellQuoted(Work("s.ass")) +
       " -t 1 -map 0 -map 1 -c:v libx264 -preset ultrafast -c:s ass -attach " + ShellQuoted(font) +
       " -metadata:s:t mimetype=application/x-truetype-font " + ShellQuoted(Work("fonts.mkv")));
  RenderOk({"-i", "fonts.mkv", "-o", "fonts-out.mkv", "-q"});
  const std::string kept = Tool("ffprobe -v error -show_entries stream=codec_type,codec_name:stream_tags=filename,mimetype "
                                "-of compact=nk=1 " + ShellQuoted(Work("fonts-out.mkv")));
  EXPECT_NE(kept.find("ass|subtitle"), std::string::npos) << kept;
  EXPECT_NE(kept.find("|application/x-truetype-font"), std::string::npos) << kept;
  fs::create_directories(Work("fonts"));
  Tool("cd " + ShellQuoted(Work("fonts")) + " && ffmpeg -v quiet -dump_attachment:t '' -i ../fonts-out.mkv; true");
  EXPECT_EQ(ReadFile(Work("fonts") + "/" + fs::path(font).filename().string()), ReadFile(font));

  const Outcome mp4 = Render({"-i", "fonts.mkv", "-o", "fonts.mp4", "-q"});
  ASSERT_EQ(mp4.exitCode, 0) << mp4.err;
  EXPECT_EQ(Lines(mp4.err), 1) << mp4.err;
  // (This script's events leave out fields the usual format has, which MP4's text subtitles
  // cannot read: the cue is named too.)
  EXPECT_NE(mp4.err.find("not kept in 'fonts.mp4': stream 2 (attachment, ttf), 1 cue of stream 1 (subtitle, ass) "
                         "(mov_text could not take it)"),
            std::string::npos)
      << mp4.err;
}

TEST_F(RenderCommandTest, AudioTheContainerCannotTakeIsEncodedWithAWarning) {
  Tool("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -f lavfi -i sine=f=440:r=48000 -t 2 -c:v libx264 "
       "-preset ultrafast -pix_fmt yuv420p -c:a pcm_s16le " + Work("pcm.mov"));
  struct Case {
    const char* audio;
    const char* codec;  ///< of the output's audio; "" for none
    const char* warning;
  };
  const Case cases[] = {
      {"auto", "aac", "zelhost: warning: stream 1 (audio, pcm_s16le) encoded as aac: mp4 does not take pcm_s16le\n"},
      {"copy", "", "zelhost: warning: not kept in 'copy.mp4': stream 1 (audio, pcm_s16le)\n"},
      {"encode", "aac", "encoded as aac"},
      {"none", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.audio);
    const std::string output = std::string(c.audio) + ".mp4";
    const Outcome o = Render({"-i", "pcm.mov", "-o", output, "--audio", c.audio});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    if (*c.warning != '\0') {
      EXPECT_NE(o.err.find(c.warning), std::string::npos) << o.err;
    } else {
      EXPECT_EQ(o.err.find("warning"), std::string::npos) << o.err;
    }
    auto audio = Probe(Work(output), "a:0");
    EXPECT_EQ(audio["codec_name"], c.codec);
    if (*c.codec != '\0') {
      EXPECT_NEAR(std::atof(audio["duration"].c_str()), 2.0, 0.03);
    }
  }
  EXPECT_EQ(Render({"-i", "pcm.mov", "-o", "bad.mp4", "--audio", "loud"}).exitCode, 2);

  // The MOV muxer lists Opus among its codecs but refuses it as it writes its header: the render
  // must not fail there, and the sound is encoded as for any codec MOV does not take.
  Tool("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -f lavfi -i sine=f=440:r=48000 -t 2 -c:v libvpx-vp9 "
       "-deadline realtime -c:a libopus " + Work("opus.webm"));
  const Outcome opus = Render({"-i", "opus.webm", "-o", "opus.mov"});
  ASSERT_EQ(opus.exitCode, 0) << opus.err;
  EXPECT_NE(opus.err.find("stream 1 (audio, opus) encoded as aac: mov does not take opus"), std::string::npos)
      << opus.err;
  EXPECT_EQ(Probe(Work("opus.mov"), "a:0")["codec_name"], "aac");
}

TEST_F(RenderCommandTest, ATruncatedFileRendersTheFramesBeforeTheDamage) {
  Tool("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -frames:v 125 -c:v libx264 -preset ultrafast -g 25 "
       "-movflags +faststart " + Work("full.mp4"));
  const std::string full = ReadFile(Work("full.mp4"));
  std::ofstream(Work("cut.mp4"), std::ios::binary) << full.substr(0, full.size() * 6 / 10);
  std::ofstream(Work("stub.mp4"), std::ios::binary) << full.substr(0, 3000);

  const Outcome o = Render({"-i", "cut.mp4", "-o", "out.mp4", "-q"});
  EXPECT_EQ(o.exitCode, 3) << o.err;
  const int frames = std::atoi(Probe(Work("out.mp4"))["nb_read_frames"].c_str());
  EXPECT_GT(frames, 30);
  EXPECT_LT(frames, 125);
  EXPECT_EQ(Lines(o.err), 1) << o.err;
  EXPECT_NE(o.err.find("'cut.mp4' is damaged: reading stopped at frame " + std::to_string(frames)), std::string::npos)
      << o.err;

  const Outcome nothing = Render({"-i", "stub.mp4", "-o", "stub-out.mp4"});
  EXPECT_EQ(nothing.exitCode, 1) << nothing.err;
  EXPECT_EQ(Lines(nothing.err), 1) << nothing.err;
  EXPECT_FALSE(fs::exists(Work("stub-out.mp4")));
}

TEST_F(RenderCommandTest, SmallThingsAUserMeets) {
  // A part that runs past the end says how many frames it wrote.
  Tool("ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=25 -frames:v 125 -c:v libx264 -preset ultrafast " +
       Work("125.mp4"));
  Outcome o = Render({"-i", "125.mp4", "-o", "tail.mp4", "--start", "120", "--frames", "50"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.err.find("wrote 'tail.mp4': 5 frames"), std::string::npos) << o.err;

  // An interlaced picture of odd height where the format has whole chroma rows: fields of 51 and
  // 50 rows.
  o = Render({"-o", "odd.y4m", "--size", "333x101", "--field-order", "tff", "--frames", "2"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  auto odd = Probe(Work("odd.y4m"));
  EXPECT_EQ(odd["height"] + " " + odd["field_order"] + " " + odd["nb_read_frames"], "101 tt 2");

  // A video given where the plug-in goes.
  o = Render({"125.mp4", "-o", "x.mp4"});
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_NE(o.err.find("'125.mp4' is not a plug-in; did you mean -i '125.mp4'?"), std::string::npos) << o.err;

  // A list is named by its list box.
  o = Render({"-o", "x.mp4", "--frames", "1", "--set", "Clock Type List=Sundial"});
  EXPECT_NE(o.err.find("parameter 'Clock Type List': 'Sundial'"), std::string::npos) << o.err;

  const int version = Shell(ShellQuoted(ZEL_TEST_ZELHOST) + " --version >" + ShellQuoted(Work("version.txt")));
  EXPECT_EQ(version, 0);
  EXPECT_EQ(ReadFile(Work("version.txt")).rfind("zelhost ", 0), 0u);
}

TEST_F(RenderCommandTest, InterruptedRenderExits130AndLeavesNothing) {
  const std::string command = "cd " + ShellQuoted(Work("")) + " && exec " + ShellQuoted(ZEL_TEST_ZELHOST) +
                              " render -o long.y4m --size 64x64 --frames 10000000 -q 2>" + ShellQuoted(Work("err.txt"));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Once the temporary output exists the render is running; the handler is installed just after.
  bool started = false;
  for (int i = 0; i < 600 && !started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const auto& entry : fs::directory_iterator(m_root / "work"))
      started = started || entry.path().filename().string().find("long") != std::string::npos;
  }
  ASSERT_TRUE(started);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_NE(ReadFile(Work("err.txt")).find("interrupted"), std::string::npos);
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"err.txt"});
}

TEST_F(RenderCommandTest, ExistingOutputIsReplacedWithY) {
  std::ofstream(Work("out.png")) << "old";
  RenderOk({"-i", Input("grey.png"), "-o", "out.png", "-y"});
  EXPECT_EQ(ReadFile(Work("out.png")).substr(1, 3), "PNG");
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"out.png"});
}

TEST_F(RenderCommandTest, HelpAnswersEveryOptionWithExamples) {
  const Outcome o = Render({"--help"});
  ASSERT_EQ(o.exitCode, 0);
  for (const char* text : {"--input", "--output", "--overwrite", "--size", "--rate", "--start", "--frames", "--duration",
                           "--format", "--field-order", "--set", "--project", "--font", "--threads", "--codec",
                           "--audio", "--quiet", "--timecode", "--datetime", "Time code:", "NAME[@FRAME]=VALUE", "Examples:", "Exit codes:", "3 the output was written but is short"})
    EXPECT_NE(o.out.find(text), std::string::npos) << text;
}

}  // namespace
