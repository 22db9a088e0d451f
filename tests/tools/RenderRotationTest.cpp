// zelhost render on clips shown turned (a phone clip's display matrix): the clock comes out
// upright, where the parameters put it in the picture as shown, as on the same clip turned upright
// beforehand; every other sample is the decoded input's in a lossless output, and the display
// matrix is kept. Inputs are made by ffmpeg; ffmpeg's own turning on decode is the judge.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;

using zel::testing::ShellQuoted;

constexpr int kWidth = 320;  ///< coded size of every input
constexpr int kHeight = 240;
constexpr int kTurns[] = {90, 180, 270};

/// A digital clock off the centre (top left of the picture as shown), so that a clock drawn on
/// the picture as coded, or at a size of the wrong shape, lands elsewhere.
const std::vector<std::string> kClock = {"--set", "Clock Type List=Digital Clock", "--set", "X=25",
                                         "--set", "Y=20",                          "--set", "Size=30"};
/// Lossless H.264 in MP4: a container that keeps the display matrix.
const std::vector<std::string> kLossless = {"--crf", "0", "--preset", "ultrafast"};

std::string Shell(const std::string& command, bool* ok = nullptr) {
  const zel::testing::CommandResult r = zel::testing::RunCommand(command);
  if (ok != nullptr) {
    *ok = r.exitCode == 0;
  } else {
    EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.output;
  }
  return r.output;
}

/// 8-bit 4:2:0 samples of the first frame of a file, as ffmpeg shows it (turned upright unless
/// `coded`).
struct Picture {
  int width = 0, height = 0;
  std::string bytes;  ///< Y plane, then Cb, then Cr

  bool Valid() const { return bytes.size() == std::size_t(width) * height * 3 / 2 && width > 0; }
  /// Plane p's sample at (x, y), with x and y in that plane's own units.
  int At(int p, int x, int y) const {
    const std::size_t luma = std::size_t(width) * height;
    const std::size_t start = p == 0 ? 0 : luma + (p - 1) * luma / 4;
    const int w = p == 0 ? width : width / 2;
    return static_cast<unsigned char>(bytes[start + std::size_t(y) * w + x]);
  }
};

/// A rectangle of luma pixels, [x0, x1) x [y0, y1).
struct Box {
  int x0 = 1 << 20, y0 = 1 << 20, x1 = 0, y1 = 0;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  void Add(int x, int y) {
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
  }
  bool Holds(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

class RenderRotationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "zel-rotation-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    s_root = pattern;
  }
  static void TearDownTestSuite() { fs::remove_all(s_root); }

  /// Makes an input the first time a test asks for it (each test runs in a process of its own):
  /// plain.mp4, a busy picture (a misplaced clock changes samples that must not change) coded
  /// losslessly; turnedN.mp4, the same tagged as shown turned (rotate=N); uprightN.mp4, that
  /// turned upright by ffmpeg; tilted.mp4, tagged with 45 degrees. Other names are outputs.
  static void Make(const std::string& name) {
    if (fs::exists(Path(name))) return;
    const std::string copy = " -c copy -metadata:s:v:0 rotate=";
    if (name == "plain.mp4") {
      Shell("ffmpeg -v error -y -f lavfi -i testsrc2=s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
            ":r=25 -frames:v 2 -pix_fmt yuv420p -c:v libx264 -qp 0 -preset ultrafast " + Q(name));
    } else if (name == "tilted.mp4") {
      Make("plain.mp4");
      Shell("ffmpeg -v error -y -i " + Q("plain.mp4") + copy + "45 " + Q(name));
    }
    for (int turn : kTurns) {
      if (name == Name("turned", turn)) {
        Make("plain.mp4");
        Shell("ffmpeg -v error -y -i " + Q("plain.mp4") + copy + std::to_string(turn) + " " + Q(name));
      } else if (name == Name("upright", turn)) {
        Make(Name("turned", turn));
        Shell("ffmpeg -v error -y -i " + Q(Name("turned", turn)) + " -c:v libx264 -qp 0 -preset ultrafast " + Q(name));
      }
    }
  }

  static std::string Path(const std::string& name) { return (s_root / name).string(); }
  static std::string Q(const std::string& name) { return ShellQuoted(Path(name)); }
  static std::string Name(const std::string& stem, int turn, const std::string& ext = ".mp4") {
    return stem + std::to_string(turn) + ext;
  }

  /// zelhost render -i input -o output with more arguments; returns what it printed.
  static std::string Render(const std::string& input, const std::string& output, std::vector<std::string> more,
                            bool* ok = nullptr) {
    Make(input);
    std::string command = ShellQuoted(ZEL_TEST_ZELHOST) + " render -y -i " + Q(input) + " -o " + Q(output) + " --frames 1";
    more.insert(more.end(), kLossless.begin(), kLossless.end());
    for (const std::string& a : more) {
      command += ' ';
      command += ShellQuoted(a);
    }
    return Shell(command, ok);
  }

  static Picture Decode(const std::string& name, bool coded = false) {
    Make(name);
    const std::string raw = Path(name + ".yuv");
    Shell(std::string("ffmpeg -v error -y") + (coded ? " -noautorotate" : "") + " -i " + Q(name) +
        " -frames:v 1 -f rawvideo -pix_fmt yuv420p " + ShellQuoted(raw));
    auto probe = zel::testing::KeyValues(Shell("ffprobe -v error -select_streams v:0 -show_entries "
                                             "stream=width,height:stream_side_data=rotation -of default=nw=1 " + Q(name)));
    std::ifstream in(raw, std::ios::binary);
    Picture p{std::atoi(probe["width"].c_str()), std::atoi(probe["height"].c_str()),
              {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
    fs::remove(raw);
    // ffprobe gives the coded size; a quarter turn shows it the other way round.
    if (!coded && std::abs(std::atoi(probe["rotation"].c_str())) % 180 == 90) std::swap(p.width, p.height);
    return p;
  }

  /// The display matrix's rotation as ffprobe reports it; empty when the file has none.
  static std::string Rotation(const std::string& name) {
    Make(name);
    return zel::testing::KeyValues(Shell("ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation "
                                       "-of default=nw=1 " + Q(name)))["rotation"];
  }

  /// Judges `rendered` against `input`, both as shown: where the reference render changed its
  /// input (the clock, grown by a chroma block) the two renders agree; everywhere else, on every
  /// plane, the rendered picture is the input's.
  static void ExpectClockAsOnReference(const Picture& input, const Picture& rendered, const Picture& referenceInput,
                                       const Picture& reference) {
    ASSERT_TRUE(input.Valid() && rendered.Valid() && referenceInput.Valid() && reference.Valid());
    ASSERT_EQ(rendered.width, reference.width);
    ASSERT_EQ(rendered.height, reference.height);
    ASSERT_EQ(input.bytes.size(), rendered.bytes.size());
    Box clock;
    for (int y = 0; y < reference.height; ++y)
      for (int x = 0; x < reference.width; ++x)
        if (reference.At(0, x, y) != referenceInput.At(0, x, y)) clock.Add(x, y);
    ASSERT_FALSE(clock.Empty()) << "the reference render drew no clock";
    clock = Box{clock.x0 - 2, clock.y0 - 2, clock.x1 + 2, clock.y1 + 2};
    int outside = 0, differing = 0, worst = 0;
    for (int p = 0; p < 3; ++p) {
      const int shift = p == 0 ? 0 : 1;
      for (int y = 0; y < rendered.height >> shift; ++y) {
        for (int x = 0; x < rendered.width >> shift; ++x) {
          if (clock.Holds(x << shift, y << shift)) {
            const int d = std::abs(rendered.At(p, x, y) - reference.At(p, x, y));
            differing += d != 0;
            worst = std::max(worst, d);
          } else {
            outside += rendered.At(p, x, y) != input.At(p, x, y);
          }
        }
      }
    }
    EXPECT_EQ(outside, 0) << "samples changed outside the clock at " << clock.x0 << "," << clock.y0 << " - "
                          << clock.x1 << "," << clock.y1;
    // The same pixels turned: the same clock, up to the rounding of chroma shared across the turn.
    EXPECT_LE(worst, 1) << differing << " samples of the clock differ from the upright render's";
  }

  static fs::path s_root;
};

fs::path RenderRotationTest::s_root;

// 90, 180 and 270 degrees, through RGBA, and through 4:2:2 where the turn keeps pixel pairs: the
// output, turned upright, shows the clock of the upright clip, and keeps the display matrix.
TEST_F(RenderRotationTest, ClockIsUprightWhereTheParametersPutItOnThePictureAsShown) {
  struct Case {
    int turn;
    const char* format;
  };
  for (const Case c : {Case{90, "rgba"}, Case{180, "rgba"}, Case{270, "rgba"}, Case{180, "uyvy"}, Case{180, "yuy2"}}) {
    SCOPED_TRACE(std::to_string(c.turn) + " degrees through " + c.format);
    const std::string out = Name(std::string("out-") + c.format + "-", c.turn);
    const std::string reference = Name(std::string("ref-") + c.format + "-", c.turn);
    std::vector<std::string> args = kClock;
    args.insert(args.end(), {"--format", c.format});
    const std::string said = Render(Name("turned", c.turn), out, args);
    EXPECT_EQ(said.find("warning"), std::string::npos) << said;
    Render(Name("upright", c.turn), reference, args);

    EXPECT_EQ(Rotation(out), Rotation(Name("turned", c.turn)));
    EXPECT_FALSE(Rotation(out).empty());
    const Picture coded = Decode(out, true);
    EXPECT_EQ(coded.width, kWidth);
    EXPECT_EQ(coded.height, kHeight);
    ExpectClockAsOnReference(Decode(Name("turned", c.turn)), Decode(out), Decode(Name("upright", c.turn)),
                             Decode(reference));
  }
}

// Where the picture cannot be turned exactly (4:2:2 a quarter turn, a tilt that is no quarter
// turn): one warning line, and the clock drawn on the picture as coded, as on the clip without its
// matrix; the pixels outside it and the matrix are still kept.
TEST_F(RenderRotationTest, PicturesThatCannotBeTurnedExactlyAreDrawnOnAsCodedWithAWarning) {
  struct Case {
    const char* input;
    const char* format;
    const char* warning;
  };
  const Case cases[] = {
      {"turned90.mp4", "uyvy", "shown turned 90 degrees counterclockwise, which --format uyvy cannot follow exactly"},
      {"turned90.mp4", "yuy2", "shown turned 90 degrees counterclockwise, which --format yuy2 cannot follow exactly"},
      {"tilted.mp4", "rgba", "shown turned 45 degrees counterclockwise: the clock is drawn on the picture as coded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " through " + c.format);
    std::vector<std::string> args = kClock;
    args.insert(args.end(), {"--format", c.format});
    const std::string out = std::string("coded-") + c.format + "-" + c.input;
    const std::string reference = std::string("plain-") + c.format + ".mp4";
    const std::string said = Render(c.input, out, args);
    EXPECT_NE(said.find(std::string("warning: the input is ") + c.warning), std::string::npos) << said;
    Render("plain.mp4", reference, args);
    EXPECT_EQ(Rotation(out), Rotation(c.input));
    ExpectClockAsOnReference(Decode(c.input, true), Decode(out, true), Decode("plain.mp4"), Decode(reference));
  }
}

// An interlaced clip shown upside down: its top field is shown at the bottom, so the clock of the
// turned clip is the clock of the upright clip rendered bottom field first.
TEST_F(RenderRotationTest, UpsideDownInterlacedClipSwapsTheFieldOrderThePlugInSees) {
  std::vector<std::string> args = kClock;
  args.insert(args.end(), {"--set", "Style List=Frame Counter with Field"});
  std::vector<std::string> turnedArgs = args, uprightArgs = args;
  turnedArgs.insert(turnedArgs.end(), {"--field-order", "tff"});
  uprightArgs.insert(uprightArgs.end(), {"--field-order", "bff"});
  Render(Name("turned", 180), "fields-turned.mp4", turnedArgs);
  Render(Name("upright", 180), "fields-upright.mp4", uprightArgs);
  ExpectClockAsOnReference(Decode(Name("turned", 180)), Decode("fields-turned.mp4"), Decode(Name("upright", 180)),
                           Decode("fields-upright.mp4"));
}

// MKV, Y4M and PNG have no place for the display matrix: they show the picture as coded, so the
// clock is drawn upright on that, exactly as on the clip without its matrix, and a warning line
// names the rotation that is not kept. --size is then the size of the picture as coded.
TEST_F(RenderRotationTest, OutputsWithoutTheMatrixAreDrawnOnAsCoded) {
  for (const char* ext : {".mkv", ".y4m", ".png"}) {
    SCOPED_TRACE(ext);
    const std::string out = std::string("as-coded") + ext, reference = std::string("plain-as-coded") + ext;
    std::vector<std::string> args = kClock;
    if (std::string(ext) == ".mkv") args.insert(args.end(), {"--size", "160x120"});
    const std::string said = Render(Name("turned", 90), out, args);
    EXPECT_NE(said.find("warning: not kept in"), std::string::npos) << said;
    EXPECT_NE(said.find("the rotation of the video"), std::string::npos) << said;
    EXPECT_EQ(said.find("clockwise"), std::string::npos) << said;
    Render("plain.mp4", reference, args);
    const Picture rendered = Decode(out), expected = Decode(reference);
    ASSERT_TRUE(rendered.Valid());
    EXPECT_EQ(rendered.width, std::string(ext) == ".mkv" ? 160 : kWidth);
    EXPECT_TRUE(rendered.bytes == expected.bytes) << "the clock is not where it is on the clip as coded";
  }
}

// --size is the size shown: a clip shown turned a quarter is scaled to it turned back, and shown at
// the size asked for.
TEST_F(RenderRotationTest, SizeIsTheSizeAsShown) {
  Render(Name("turned", 90), "sized.mp4", {"--size", "120x160"});
  const Picture shown = Decode("sized.mp4");
  EXPECT_EQ(shown.width, 120);
  EXPECT_EQ(shown.height, 160);
  const Picture coded = Decode("sized.mp4", true);
  EXPECT_EQ(coded.width, 160);
  EXPECT_EQ(coded.height, 120);
}

// The preview shows a clip shown turned upright, with the clock and its overlay on the upright
// picture: its snapshot is the snapshot of the clip turned upright beforehand, up to the rounding
// of chroma that was upsampled across the other axis.
TEST_F(RenderRotationTest, PreviewShowsTheClipUprightWithTheClockOnIt) {
  for (int turn : {90, 180}) {
    SCOPED_TRACE(turn);
    std::string pixels[2];
    for (int upright = 0; upright < 2; ++upright) {
      const std::string png = Path("snapshot.png"), raw = Path("snapshot.rgb");
      Make(Name(upright ? "upright" : "turned", turn));
      std::string command = ShellQuoted(ZEL_TEST_ZELHOST) + " preview -i " + Q(Name(upright ? "upright" : "turned", turn)) +
                            " --snapshot " + ShellQuoted(png) + " --viewer 320 320 -t 0";
      for (const std::string& a : kClock) {
        command += ' ';
        command += ShellQuoted(a);
      }
      Shell(command);
      Shell("ffmpeg -v error -y -i " + ShellQuoted(png) + " -f rawvideo -pix_fmt rgb24 " + ShellQuoted(raw));
      std::ifstream in(raw, std::ios::binary);
      pixels[upright].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      fs::remove(png);
      fs::remove(raw);
    }
    ASSERT_EQ(pixels[0].size(), std::size_t{320} * 320 * 3);
    ASSERT_EQ(pixels[0].size(), pixels[1].size());
    int far = 0;
    for (std::size_t i = 0; i < pixels[0].size(); ++i)
      far += std::abs(static_cast<unsigned char>(pixels[0][i]) - static_cast<unsigned char>(pixels[1][i])) > 8;
    EXPECT_LT(far, 320 * 320 * 3 / 1000) << "the snapshots differ in " << far << " samples";
  }
}

}  // namespace
