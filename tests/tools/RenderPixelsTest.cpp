// zelhost render and the input's own pixels: the pixel format, depth and colour tags of the input
// are kept, the pixels the clock does not touch come out bit-identical in a lossless output, and
// the clock's own pixels land at the right levels. Inputs are made by ffmpeg; outputs are judged
// by ffmpeg and ffprobe.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 3;
/// A white digital clock on a black box: its pixels reach both ends of the video range.
const std::vector<std::string> kBlackAndWhite = {"--set", "Clock Type List=Digital Clock",
                                                 "--set", "Foreground RGB Color=255,255,255",
                                                 "--set", "Background RGB Color=0,0,0"};

using zel::testing::ShellQuoted;

/// Runs a command and returns its standard output and error; `ok` says whether it exited 0.
std::string Command(const std::string& command, bool* ok = nullptr) {
  const zel::testing::CommandResult r = zel::testing::RunCommand(command);
  const bool success = r.exitCode == 0;
  if (ok != nullptr) {
    *ok = success;
  } else {
    EXPECT_TRUE(success) << command << "\n" << r.output;
  }
  return r.output;
}

std::map<std::string, std::string> Probe(const std::string& file) {
  const std::string out = Command("ffprobe -v error -select_streams v:0 -show_entries "
                              "stream=pix_fmt,color_range,color_space,color_primaries,color_transfer -of default=nw=1 " +
                              ShellQuoted(file));
  return zel::testing::KeyValues(out);
}

/// The layout of a planar Y'CbCr format, enough to walk its raw frames.
struct Planar {
  std::string name;
  int log2w = 1, log2h = 1;
  int bytes = 1;  ///< per sample (little-endian words above 8 bits)
};

const Planar kYuv420p{"yuv420p", 1, 1, 1};
const Planar kYuv422p10{"yuv422p10le", 1, 0, 2};

/// Samples of a file's frames, decoded by ffmpeg into `format` without scaling.
struct Samples {
  Planar format;
  std::vector<int> values;  ///< frame after frame, plane after plane, row after row

  int PlaneWidth(int plane) const { return plane == 0 ? kWidth : kWidth >> format.log2w; }
  int PlaneHeight(int plane) const { return plane == 0 ? kHeight : kHeight >> format.log2h; }
  std::size_t FrameSize() const {
    return std::size_t(PlaneWidth(0)) * PlaneHeight(0) + 2 * std::size_t(PlaneWidth(1)) * PlaneHeight(1);
  }
  int Frames() const { return static_cast<int>(values.size() / FrameSize()); }
  int At(int frame, int plane, int x, int y) const {
    std::size_t i = std::size_t(frame) * FrameSize();
    for (int p = 0; p < plane; ++p) i += std::size_t(PlaneWidth(p)) * PlaneHeight(p);
    return values[i + std::size_t(y) * PlaneWidth(plane) + x];
  }
};

/// A rectangle in luma pixels, [x0, x1) x [y0, y1).
struct Box {
  int x0 = kWidth, y0 = kHeight, x1 = 0, y1 = 0;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  void Add(int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x + 1);
    y1 = std::max(y1, y + 1);
  }
  bool Holds(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

class RenderPixelsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "zel-pixels-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    s_root = pattern;
    const std::string size = "s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + ":r=25";
    const std::string tags = " -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv ";
    const std::string frames = " -frames:v " + std::to_string(kFrames);
    const std::string ff = "ffmpeg -v error -y -f lavfi -i ";
    // Busy pictures, so that a changed sample anywhere shows; flat grey ones, so that every
    // changed sample is the clock's. 8-bit 4:2:0 H.264 (lossless) and 10-bit 4:2:2 FFV1.
    for (const auto& [name, source] : {std::pair{"busy", "testsrc2="}, std::pair{"grey", "color=c=0x808080:"}}) {
      Command(ff + source + size + frames + " -pix_fmt yuv420p -c:v libx264 -qp 0 -preset ultrafast" + tags +
          ShellQuoted(Path(std::string(name) + "420.mp4")));
      Command(ff + source + size + frames + " -pix_fmt yuv422p10le -c:v ffv1" + tags +
          ShellQuoted(Path(std::string(name) + "422p10.mkv")));
    }
  }
  static void TearDownTestSuite() { fs::remove_all(s_root); }
  // A failure while making the inputs fails every test rather than skipping it.
  void SetUp() override { ASSERT_TRUE(fs::exists(Path("grey422p10.mkv"))) << "the inputs could not be made"; }

  static std::string Path(const std::string& name) { return (s_root / name).string(); }

  /// zelhost render -i input -o output with more arguments; expects success.
  static void Render(const std::string& input, const std::string& output, const std::vector<std::string>& more) {
    std::string command = ShellQuoted(ZEL_TEST_ZELHOST) + " render -q -y -i " + ShellQuoted(Path(input)) + " -o " +
                          ShellQuoted(Path(output));
    for (const std::string& a : more) {
      command += ' ';
      command += ShellQuoted(a);
    }
    Command(command);
  }

  static Samples Decode(const std::string& name, const Planar& format) {
    const std::string raw = Path(name + ".raw");
    Command("ffmpeg -v error -y -i " + ShellQuoted(Path(name)) + " -f rawvideo -pix_fmt " + format.name + " " +
        ShellQuoted(raw));
    std::ifstream in(raw, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(raw);
    Samples s{format, {}};
    for (std::size_t i = 0; i + format.bytes <= bytes.size(); i += format.bytes) {
      const auto lo = static_cast<unsigned char>(bytes[i]);
      s.values.push_back(format.bytes == 1 ? lo : lo | static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return s;
  }

  /// Where the clock may have touched anything: the luma samples that differ between `a` and
  /// `b`, over all frames, grown by a chroma block on each side (a chroma sample is shared).
  static Box Footprint(const Samples& a, const Samples& b) {
    Box box;
    for (int f = 0; f < std::min(a.Frames(), b.Frames()); ++f) {
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          if (a.At(f, 0, x, y) != b.At(f, 0, x, y)) box.Add(x, y);
        }
      }
    }
    if (box.Empty()) return box;
    const int grow = 4;
    return Box{std::max(0, box.x0 - grow), std::max(0, box.y0 - grow), std::min(kWidth, box.x1 + grow),
               std::min(kHeight, box.y1 + grow)};
  }

  static fs::path s_root;
};

fs::path RenderPixelsTest::s_root;

// Every sample outside the clock is the decoded input's, at the input's depth and chroma layout,
// whether the plug-in works in RGBA or in 4:2:2; inside, the clock was drawn.
TEST_F(RenderPixelsTest, LosslessOutputKeepsEverySampleOutsideTheClock) {
  struct Case {
    const char* input;
    const char* grey;
    const Planar* format;
    const char* processing;
  };
  const Case cases[] = {
      {"busy420.mp4", "grey420.mp4", &kYuv420p, "rgba"},
      {"busy420.mp4", "grey420.mp4", &kYuv420p, "uyvy"},
      {"busy422p10.mkv", "grey422p10.mkv", &kYuv422p10, "rgba"},
      {"busy422p10.mkv", "grey422p10.mkv", &kYuv422p10, "yuy2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " through " + c.processing);
    const std::string out = std::string("kept-") + c.processing + "-" + c.input + ".mkv";
    const std::string greyOut = std::string("grey-") + c.processing + "-" + c.input + ".mkv";
    Render(c.input, out, {"--codec", "ffv1", "--format", c.processing});
    Render(c.grey, greyOut, {"--codec", "ffv1", "--format", c.processing});

    const auto probe = Probe(Path(out));
    EXPECT_EQ(probe.at("pix_fmt"), c.format->name);
    EXPECT_EQ(probe.at("color_space"), "bt709");
    EXPECT_EQ(probe.at("color_primaries"), "bt709");
    EXPECT_EQ(probe.at("color_transfer"), "bt709");
    EXPECT_EQ(probe.at("color_range"), "tv");

    const Box clock = Footprint(Decode(c.grey, *c.format), Decode(greyOut, *c.format));
    ASSERT_FALSE(clock.Empty()) << "the clock left no mark on grey";
    ASSERT_LT((clock.x1 - clock.x0) * (clock.y1 - clock.y0), kWidth * kHeight / 2) << "the clock covers too much to judge";
    const Samples in = Decode(c.input, *c.format);
    const Samples rendered = Decode(out, *c.format);
    ASSERT_EQ(in.Frames(), kFrames);
    ASSERT_EQ(rendered.Frames(), kFrames);
    int outside = 0, inside = 0;
    for (int f = 0; f < kFrames; ++f) {
      for (int plane = 0; plane < 3; ++plane) {
        const int sx = plane == 0 ? 0 : c.format->log2w, sy = plane == 0 ? 0 : c.format->log2h;
        for (int y = 0; y < in.PlaneHeight(plane); ++y) {
          for (int x = 0; x < in.PlaneWidth(plane); ++x) {
            if (in.At(f, plane, x, y) == rendered.At(f, plane, x, y)) continue;
            ++(clock.Holds(x << sx, y << sy) ? inside : outside);
          }
        }
      }
    }
    EXPECT_EQ(outside, 0) << "samples changed outside the clock's box " << clock.x0 << "," << clock.y0 << " - "
                          << clock.x1 << "," << clock.y1;
    EXPECT_GT(inside, 100) << "the clock was not drawn";
  }
}

// Black and white clock pixels are converted with the input's range: Y 16 and 235 in 8 bits,
// 64 and 940 in 10, through RGBA and through the 4:2:2 formula alike.
TEST_F(RenderPixelsTest, BlackAndWhiteClockReachesTheEndsOfVideoRange) {
  struct Case {
    const char* input;
    const Planar* format;
    const char* processing;
    int black, white;
  };
  const Case cases[] = {
      {"grey420.mp4", &kYuv420p, "rgba", 16, 235},
      {"grey420.mp4", &kYuv420p, "uyvy", 16, 235},
      {"grey422p10.mkv", &kYuv422p10, "rgba", 64, 940},
      {"grey422p10.mkv", &kYuv422p10, "uyvy", 64, 940},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " through " + c.processing);
    const std::string out = std::string("bw-") + c.processing + "-" + c.input + ".mkv";
    std::vector<std::string> args = kBlackAndWhite;
    args.insert(args.end(), {"--codec", "ffv1", "--format", c.processing, "--frames", "1"});
    Render(c.input, out, args);
    const Samples s = Decode(out, *c.format);
    int lowest = 1 << 16, highest = -1;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        lowest = std::min(lowest, s.At(0, 0, x, y));
        highest = std::max(highest, s.At(0, 0, x, y));
      }
    }
    EXPECT_EQ(lowest, c.black);
    EXPECT_EQ(highest, c.white);
  }
}

// The encoder keeps the input's format and tags where it takes them, takes the format asked
// for, and names the one it writes instead.
TEST_F(RenderPixelsTest, EncoderKeepsTheInputsFormatOrSaysWhatItWrites) {
  struct Case {
    const char* input;
    const char* output;
    std::vector<std::string> args;
    const char* pixFmt;
  };
  const Case cases[] = {
      {"busy420.mp4", "x264-420.mp4", {"--preset", "ultrafast"}, "yuv420p"},
      {"busy422p10.mkv", "x264-422p10.mp4", {"--preset", "ultrafast", "--crf", "20"}, "yuv422p10le"},
      {"busy422p10.mkv", "prores.mov", {"--codec", "prores_ks"}, "yuv422p10le"},
      {"busy420.mp4", "asked.mkv", {"--pix-fmt", "yuv444p", "--preset", "ultrafast"}, "yuv444p"},
      {"busy420.mp4", "rate.mp4", {"--bitrate", "300k", "--preset", "ultrafast"}, "yuv420p"},
      {"busy420.mp4", "kept.y4m", {}, "yuv420p"},
      {"busy422p10.mkv", "kept10.y4m", {}, "yuv422p10le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    Render(c.input, c.output, c.args);
    const auto probe = Probe(Path(c.output));
    EXPECT_EQ(probe.at("pix_fmt"), c.pixFmt);
    if (std::string(c.output).find(".y4m") == std::string::npos) {
      EXPECT_EQ(probe.at("color_space"), "bt709");
    }
  }

  // An encoder that cannot take the input's format: the nearest one, and one line saying so.
  bool ok = false;
  const std::string said = Command(ShellQuoted(ZEL_TEST_ZELHOST) + " render -y -i " + ShellQuoted(Path("busy422p10.mkv")) +
                               " -o " + ShellQuoted(Path("mjpeg.mkv")) + " --codec mjpeg", &ok);
  EXPECT_TRUE(ok) << said;
  EXPECT_NE(said.find("warning: mjpeg does not take the input's pixel format yuv422p10le; writing yuvj422p"),
            std::string::npos) << said;

  for (const auto& [args, message] : {std::pair{std::string("--pix-fmt nosuch"), "no pixel format named 'nosuch'"},
                                      std::pair{std::string("--pix-fmt rgb24"), "does not take pixel format rgb24"},
                                      std::pair{std::string("--crf 20 --bitrate 1M"), "give one of them"},
                                      std::pair{std::string("--crf high"), "expected a number"}}) {
    const std::string err = Command(ShellQuoted(ZEL_TEST_ZELHOST) + " render -y -i " + ShellQuoted(Path("busy420.mp4")) +
                                    " -o " + ShellQuoted(Path("bad.mp4")) + " " + args, &ok);
    EXPECT_FALSE(ok) << args;
    EXPECT_NE(err.find(message), std::string::npos) << args << ": " << err;
    EXPECT_FALSE(fs::exists(Path("bad.mp4")));
  }
}

// 10-bit H.264 at the size and rate of an intra-only camera format (here 1280x720 4:2:2 at 25 fps)
// goes into MOV under the ordinary tag, so that a decoder reads the stream's own parameter sets:
// the file decodes without a single error, its PCM sound and time code alongside.
TEST_F(RenderPixelsTest, TenBitH264InMovDecodesAtCameraSizes) {
  const std::string input = Path("camera.mov");
  Command("ffmpeg -v error -y -f lavfi -i testsrc2=s=1280x720:r=25 -f lavfi -i sine=r=48000 -frames:v 2 -t 0.08 "
          "-c:v prores_ks -pix_fmt yuv422p10le -c:a pcm_s24le -timecode 10:00:00:00 " + ShellQuoted(input));
  Render("camera.mov", "camera-out.mov", {"--preset", "ultrafast"});
  const std::string out = Path("camera-out.mov");
  const std::string streams = Command("ffprobe -v error -show_entries stream=codec_name,codec_tag_string,pix_fmt "
                                      "-of compact=nk=1 " + ShellQuoted(out));
  EXPECT_NE(streams.find("h264|avc1|yuv422p10le"), std::string::npos) << streams;
  EXPECT_NE(streams.find("pcm_s24le|in24"), std::string::npos) << streams;
  EXPECT_NE(streams.find("tmcd"), std::string::npos) << streams;
  bool ok = false;
  const std::string decoded = Command("ffmpeg -v error -i " + ShellQuoted(out) + " -map 0:v -map 0:a -f null -", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(decoded, "") << "the output does not decode cleanly";
}

}  // namespace
