// zelhost render --timecode and --datetime on files made with ffmpeg, the digits read back from
// the rendered clock: each frame checked is compared byte for byte with a render of the same
// input frame by the "Free Format" style showing the expected text literally, so equal bytes mean
// the same text was drawn. The expected labels are counted here, one frame at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;
using zel::testing::ShellQuoted;

/// A label counted on by one frame as SMPTE counting does, drops included.
struct Label {
  int fps;
  bool drop;
  int h, m, s, f;

  void Advance() {
    if (++f < fps) return;
    f = 0;
    if (++s < 60) return;
    s = 0;
    if (++m == 60) m = 0, h = (h + 1) % 24;
    if (drop && m % 10 != 0) f = fps / 15;
  }
  std::string Text(char separator = ':') const {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", h, m, s, separator, f);
    return text;
  }
};

class TimeCodeRender : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zel-timecode-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

  zel::testing::CommandResult Zelhost(const std::string& arguments) const {
    return zel::testing::RunCommand(std::string(ZEL_TEST_ZELHOST) + " render " + arguments);
  }

  /// A grey clip of `frames` frames with ffmpeg's -timecode (and any other output options).
  std::string Clip(const std::string& name, const std::string& rate, int frames, const std::string& options) const {
    const std::string path = Path(name);
    const auto r = zel::testing::RunCommand("ffmpeg -v error -y -f lavfi -i color=gray:s=160x90:r=" + rate +
                                            " -frames:v " + std::to_string(frames) + " " + options + " " +
                                            ShellQuoted(path));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return path;
  }

  /// The frames of a render into Y4M: one string of bytes each.
  std::vector<std::string> Render(const std::string& input, const std::string& arguments) const {
    const std::string out = Path("out.y4m");
    const auto r = Zelhost("-q -y -i " + ShellQuoted(input) + " -o " + ShellQuoted(out) + " " + kClock + arguments);
    EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.output;
    std::ifstream in(out, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The clips are 4:2:0, which Y4M keeps: each frame is "FRAME\n" and 1.5 bytes a pixel.
    const std::size_t w = bytes.find(" W"), h = bytes.find(" H");
    if (w == std::string::npos || h == std::string::npos) return {};
    const std::size_t size = std::stoul(bytes.substr(w + 2)) * std::stoul(bytes.substr(h + 2)) * 3 / 2;
    std::vector<std::string> frames;
    for (std::size_t at = bytes.find('\n') + 1; bytes.compare(at, 5, "FRAME") == 0;) {
      at = bytes.find('\n', at) + 1;
      frames.push_back(bytes.substr(at, size));
      at += size;
    }
    return frames;
  }

  /// Frame k of `input` with the clock showing `text`, literally.
  std::string Literal(const std::string& input, std::int64_t k, const std::string& text) const {
    const auto frames = Render(input, "--start " + std::to_string(k) + " --frames 1 --set \"Style List=Free Format\" " +
                                          "--set " + ShellQuoted("Start Time=" + text));
    return frames.empty() ? std::string() : frames[0];
  }

  static constexpr const char* kClock = "--set \"Clock Type List=Digital Clock\" --set Size=100 --set X=2 ";
  fs::path m_dir;
};

// Each rate, non-drop and drop-frame, in each container, around the boundary that matters: a new
// second and minute, the labels drop-frame skips and the tenth minute it does not, midnight.
TEST_F(TimeCodeRender, EachRateShowsTheFilesLabels) {
  const struct {
    const char* what;
    const char* rate;
    int fps;
    bool drop;
    const char* file;
    const char* codec;
    Label start;
    int frames;
    const char* style;
  } cases[] = {
      {"23.976 into a new minute", "24000/1001", 24, false, "a.mov", "-c:v ffv1", {24, false, 1, 0, 59, 22}, 3, "10"},
      {"24 past midnight", "24", 24, false, "b.mp4", "-c:v libx264 -preset ultrafast", {24, false, 23, 59, 59, 23}, 2, "10"},
      {"25", "25", 25, false, "c.mxf", "-c:v mpeg2video", {25, false, 10, 0, 0, 24}, 2, "10"},
      {"29.97 non-drop", "30000/1001", 30, false, "d.mkv", "-c:v ffv1", {30, false, 0, 0, 59, 29}, 2, "10"},
      {"29.97 drop-frame skips ;00 and ;01", "30000/1001", 30, true, "e.mov", "-c:v ffv1", {30, true, 0, 0, 59, 28}, 4, "10"},
      {"29.97 drop-frame keeps the tenth minute", "30000/1001", 30, true, "f.mp4", "-c:v libx264 -preset ultrafast",
       {30, true, 0, 9, 59, 29}, 2, "10"},
      {"30", "30", 30, false, "g.mkv", "-c:v ffv1", {30, false, 0, 0, 0, 29}, 2, "10"},
      {"50", "50", 50, false, "h.mov", "-c:v ffv1", {50, false, 0, 0, 0, 49}, 2, "10"},
      {"59.94 non-drop", "60000/1001", 60, false, "i.mxf", "-c:v mpeg2video", {60, false, 0, 0, 59, 59}, 2, "10"},
      {"59.94 drop-frame skips ;00 to ;03", "60000/1001", 60, true, "j.mkv", "-c:v ffv1", {60, true, 0, 0, 59, 59}, 2, "10"},
      {"60", "60", 60, false, "k.mp4", "-c:v libx264 -preset ultrafast", {60, false, 12, 34, 56, 59}, 2, "10"},
      // The frame counter shows the label as a count at the nominal rate; it skips where the labels do.
      {"frame counter over a drop", "30000/1001", 30, true, "l.mov", "-c:v ffv1", {30, true, 0, 0, 59, 29}, 2, "14"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string clip = Clip(c.file, c.rate, c.frames, std::string(c.codec) + " -timecode '" + c.start.Text(c.drop ? ';' : ':') + "'");
    const auto frames = Render(clip, std::string("--timecode source --set \"Style List=") + c.style + "\"");
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(c.frames));
    Label label = c.start;
    for (int k = 0; k < c.frames; ++k, label.Advance()) {
      std::string text = label.Text();
      if (std::string(c.style) == "14") {
        char count[16];
        std::snprintf(count, sizeof count, "%06d", ((label.h * 60 + label.m) * 60 + label.s) * label.fps + label.f);
        text = count;
      }
      SCOPED_TRACE("frame " + std::to_string(k) + ": " + text);
      EXPECT_EQ(frames[k], Literal(clip, k, text));
      if (k > 0) {
        EXPECT_NE(frames[k], frames[k - 1]) << "two labels drew the same clock";
      }
    }
  }
}

// A part of the render shows what the whole does at the same frame; a label typed by hand or a
// project's counts as one read from the file; a speed factor counts from the start label, as
// --help says.
TEST_F(TimeCodeRender, PartsHandTypedLabelsAndSpeedFactor) {
  const std::string clip = Clip("df.mov", "30000/1001", 4, "-c:v ffv1 -timecode '00:00:59;28'");
  const auto whole = Render(clip, "--timecode source --set \"Style List=10\"");
  ASSERT_EQ(whole.size(), 4u);
  const auto part = Render(clip, "--timecode source --set \"Style List=10\" --start 2 --frames 1");
  ASSERT_EQ(part.size(), 1u);
  EXPECT_EQ(part[0], whole[2]);
  EXPECT_EQ(Render(clip, "--timecode '00:00:59;28' --set \"Style List=10\""), whole);
  // A project file says it as the command line does.
  std::ofstream(Path("look.json")) << R"({"parameters": {"Style List": 10}, "timecode": "source"})";
  EXPECT_EQ(Render(clip, "--project " + ShellQuoted(Path("look.json"))), whole);

  const std::string plain = Clip("25.mkv", "25", 26, "-c:v ffv1");
  const auto fast = Render(plain, "--timecode 01:00:00:00 --set \"Style List=10\" --set \"Time Speed Factor=2\" "
                                  "--start 25 --frames 1");
  ASSERT_EQ(fast.size(), 1u);
  EXPECT_EQ(fast[0], Literal(plain, 25, "01:00:02:00"));
}

// A phone's clip made today: the date style shows its recording date and time, in the local time
// the phone wrote, and turns to the next day on the first frame past midnight.
TEST_F(TimeCodeRender, PhoneClipShowsItsRecordingDay) {
  const std::string clip = Clip("phone.mov", "30", 62,
                                "-c:v libx264 -preset ultrafast -movflags use_metadata_tags "
                                "-metadata com.apple.quicktime.creationdate=2026-03-14T23:59:58+0100 "
                                "-metadata creation_time=2026-03-14T10:00:00Z");
  const auto frames = Render(clip, "--datetime source --set \"Style List=dd.mm.yy hh:mm:ss\" --start 59 --frames 2");
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], Literal(clip, 59, "14.03.2026 23:59:59"));
  EXPECT_EQ(frames[1], Literal(clip, 60, "15.03.2026 00:00:00"));
  // And what the summary says of it.
  const auto r = Zelhost("-y -i " + ShellQuoted(clip) + " -o " + ShellQuoted(Path("day.png")) +
                         " --datetime source --set \"Style List=11\" --set \"Start Time=%H\"");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("clock from date and time 2026-03-14 23:59:58.000 (com.apple.quicktime.creationdate"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("note: the \"Start Time\" text is shown only by the \"Free Format\" style"), std::string::npos)
      << r.output;
}

// The preview shows the same clock (its snapshot is the viewer's pixels), and refuses a file
// without a time code as render does.
TEST_F(TimeCodeRender, PreviewShowsTheSameClock) {
  const std::string clip = Clip("df.mov", "30000/1001", 4, "-c:v ffv1 -timecode '00:00:59;28'");
  const auto preview = [&](const std::string& input, const std::string& arguments, const std::string& png) {
    return zel::testing::RunCommand(std::string(ZEL_TEST_ZELHOST) + " preview -i " + ShellQuoted(input) + " " + kClock +
                                    " -t 2 --viewer 320 180 --snapshot " + ShellQuoted(Path(png)) + " " + arguments);
  };
  ASSERT_EQ(preview(clip, "--timecode source --set \"Style List=10\"", "tc.png").exitCode, 0);
  ASSERT_EQ(preview(clip, "--set \"Style List=Free Format\" --set \"Start Time=00:01:00:02\"", "literal.png").exitCode, 0);
  const auto bytes = [&](const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  EXPECT_EQ(bytes("tc.png"), bytes("literal.png"));
  const auto bad = preview(Clip("bare.mkv", "25", 2, "-c:v ffv1"), "--timecode source", "bad.png");
  EXPECT_EQ(bad.exitCode, 2) << bad.output;
  EXPECT_NE(bad.output.find("zelhost: error: --timecode 'source': "), std::string::npos) << bad.output;
  EXPECT_FALSE(fs::exists(Path("bad.png")));
}

// Bad input is one line that says what and where, exit code 2, and nothing written.
TEST_F(TimeCodeRender, BadInputIsOneLineAndNothingWritten) {
  const std::string bare = Clip("bare.mkv", "25", 2, "-c:v ffv1");
  const struct {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"--timecode source", "--timecode 'source': '%' has no time code"},
      {"--timecode 25:00:00:00", "--timecode '25:00:00:00': hour 25: hours run 00 to 23"},
      {"--timecode 00:00:00:30", "--timecode '00:00:00:30': frame 30 at 25 fps: frames run 00 to 24"},
      {"--timecode '00:00:00;00'", "--timecode '00:00:00;00': drop-frame (';' before the frames) at 25 fps"},
      {"--datetime source", "--datetime 'source': '%' does not say when it was recorded"},
      {"--datetime 2026-02-30T10:00:00", "--datetime '2026-02-30T10:00:00': 2026-02-30 is not a date"},
      {"--datetime 2100-01-01T10:00:00", "--datetime '2100-01-01T10:00:00': parameter 'Start Time Year'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const std::string out = Path("bad.mp4");
    const auto r = Zelhost("-i " + ShellQuoted(bare) + " -o " + ShellQuoted(out) + " " + c.arguments);
    EXPECT_EQ(r.exitCode, 2);
    std::string message = c.message;
    if (const std::size_t at = message.find('%'); at != std::string::npos) message.replace(at, 1, bare);
    EXPECT_EQ(r.output.rfind("zelhost: error: ", 0), 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace
