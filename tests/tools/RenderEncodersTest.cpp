// zelhost render and the video encoders: an intra input coded again with its own codec keeps its
// profile, depth and chroma; --profile chooses by name and a wrong name gets one line listing the
// right ones; every encoder starts without options of the user's (DNxHD/DNxHR included);
// --encoder-opt passes an encoder's own options; -q silences encoders that print on their own.
#include <string>
#include <vector>

#include "RenderRunSupport.h"

namespace {

using zel::testing::ProbeEntries;
using zel::testing::Tool;

class RenderEncodersTest : public zel::testing::RenderRunTest {};

TEST_F(RenderEncodersTest, IntraInputsKeepTheirProfileAndProfilesAreChosenByName) {
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=0.12 -c:v prores_ks -profile:v lt lt.mov");
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=0.12 -c:v prores_ks -profile:v 4444 -pix_fmt yuv444p10le p4444.mov");
  Make("-f lavfi -i testsrc2=s=256x128:r=25:d=0.12 -c:v dnxhd -profile:v dnxhr_sq -pix_fmt yuv422p sq.mov");
  Make("-f lavfi -i testsrc2=s=1920x1080:r=25:d=0.08 -c:v dnxhd -b:v 120M -pix_fmt yuv422p dnxhd120.mov");
  Make("-f lavfi -i testsrc2=s=256x128:r=25:d=0.12 -c:v libx264 -preset ultrafast -pix_fmt yuv420p h264.mp4");
  struct Case {
    const char* input;
    const char* output;
    std::vector<std::string> options;
    const char* profile;  ///< as ffprobe names it
    const char* pixFmt;
  };
  const Case cases[] = {
      {"lt.mov", "lt.mov", {"--codec", "prores_ks"}, "LT", "yuv422p10le"},
      {"lt.mov", "hq.mov", {"--codec", "prores_ks", "--profile", "hq"}, "HQ", "yuv422p10le"},
      // (FFmpeg's ProRes decoder gives 4444 pictures at 12 bits, whatever was coded.)
      {"p4444.mov", "4444.mov", {"--codec", "prores_ks"}, "4444", "yuv444p12le"},
      // A profile of less chroma than the input writes the picture as the profile holds it.
      {"p4444.mov", "4444-lt.mov", {"--codec", "prores_ks", "--profile", "lt"}, "LT", "yuv422p10le"},
      {"sq.mov", "sq.mxf", {}, "DNXHR SQ", "yuv422p"},
      {"dnxhd120.mov", "dnxhd120.mov", {"--codec", "dnxhd"}, "DNXHD", "yuv422p"},
      // Without a profile or a bit rate of the user's, DNxHR by the picture's depth and chroma.
      {"h264.mp4", "hr.mov", {"--codec", "dnxhd"}, "DNXHR HQ", "yuv422p"},
      {"h264.mp4", "hqx.mov", {"--codec", "dnxhd", "--profile", "dnxhr_hqx"}, "DNXHR HQX", "yuv422p10le"},
      // A DNxHR profile into MXF names its encoder.
      {"h264.mp4", "lb.mxf", {"--profile", "dnxhr_lb"}, "DNXHR LB", "yuv422p"},
      {"h264.mp4", "high10.mkv", {"--profile", "high10", "--preset", "ultrafast"}, "High 10", "yuv420p10le"},
      {"h264.mp4", "main10.mp4", {"--codec", "libx265", "--profile", "main10"}, "Main 10", "yuv420p10le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> arguments = {"-i", c.input, "-o", std::string("out-") + c.output};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    RenderQuietly(arguments);
    auto probed = ProbeEntries(Work(std::string("out-") + c.output), "v:0", "stream=profile,pix_fmt,bit_rate");
    EXPECT_EQ(probed["profile"], c.profile);
    EXPECT_EQ(probed["pix_fmt"], c.pixFmt);
    if (std::string(c.input) == "dnxhd120.mov") {
      // DNxHD keeps the input's bit rate (120 Mb/s: whole frames of 606,208 bytes at 25 fps).
      EXPECT_EQ(probed["bit_rate"], ProbeEntries(Work(c.input), "v:0", "stream=bit_rate")["bit_rate"]);
    }
  }
  // An alpha channel stays where the encoder holds one, and is named as not kept where it does not.
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=0.12 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le alpha.mov");
  RenderQuietly({"-i", "alpha.mov", "-o", "out-alpha.mov", "--codec", "prores_ks"});
  EXPECT_EQ(ProbeEntries(Work("out-alpha.mov"), "v:0", "stream=pix_fmt")["pix_fmt"], "yuva444p12le");
  const Outcome flat = Render({"-i", "alpha.mov", "-o", "out-alpha.mp4", "-q"});
  EXPECT_EQ(flat.exitCode, 0) << flat.err;
  EXPECT_NE(flat.err.find("not kept in 'out-alpha.mp4': the alpha channel (libx264 writes none)"), std::string::npos)
      << flat.err;
}

TEST_F(RenderEncodersTest, AWrongProfileOrOptionGetsOneLineBeforeAnyWork) {
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=0.12 -c:v libx264 -preset ultrafast in.mp4");
  struct Case {
    std::vector<std::string> options;
    const char* error;
  };
  const Case cases[] = {
      {{"--codec", "prores_ks", "--profile", "ht"},
       "--profile 'ht': prores_ks takes auto, proxy, lt, standard, hq, 4444, 4444xq"},
      {{"--profile", "ht"}, "--profile 'ht': libx264 takes baseline, main, high, high10, high422, high444"},
      {{"--codec", "libx265", "--profile", "high"}, "libx265 takes main, main10, main12, main422-10"},
      {{"--codec", "libvpx-vp9", "--profile", "1"}, "--profile '1': libvpx-vp9 takes no profile by name"},
      {{"--encoder-opt", "nosuch=1"}, "--encoder-opt 'nosuch=1': libx264 has no option 'nosuch' ('ffmpeg -h encoder=libx264' lists them)"},
      {{"--encoder-opt", "novalue"}, "--encoder-opt 'novalue': expected KEY=VALUE"},
      {{"--codec", "libvpx-vp9", "--preset", "fast"}, "--preset 'fast': libvpx-vp9 has no option 'preset'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::vector<std::string> arguments = {"-i", "in.mp4", "-o", "out.mkv"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome o = Render(arguments);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find(c.error), std::string::npos) << o.err;
    EXPECT_FALSE(std::filesystem::exists(Work("out.mkv")));
  }
  // Sizes an encoder does not take are said before it prints its own complaints.
  const Outcome small = Render({"-i", "in.mp4", "-o", "small.webm", "--codec", "libsvtav1"});
  EXPECT_EQ(small.exitCode, 1);
  EXPECT_EQ(small.err, "zelhost: error: cannot write 'small.webm': libsvtav1 takes pictures of at least 64x64, not "
                       "64x48 (--size scales them)\n");
}

TEST_F(RenderEncodersTest, EncoderOptionsPassThroughAndQuietEncodersPrintNothing) {
  Make("-f lavfi -i testsrc2=s=64x64:r=25:d=0.4 -c:v libx264 -preset ultrafast in.mp4");
  // An option of the encoder's own: a key frame every 2 frames, through x264-params and g.
  for (const auto& option : {"x264-params=keyint=2:min-keyint=1", "g=2"}) {
    SCOPED_TRACE(option);
    const std::string output = std::string("keys-") + (option[0] == 'g' ? "g" : "p") + ".mp4";
    RenderQuietly({"-i", "in.mp4", "-o", output, "--encoder-opt", option, "--preset", "ultrafast"});
    const std::string flags = Tool("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " +
                                   Work(output));
    EXPECT_EQ(std::count(flags.begin(), flags.end(), 'K'), 5) << flags;
  }
  // x265 and SVT-AV1 print on their own (26 and 16 lines): nothing with -q; without it their
  // warnings, not their chatter.
  for (const char* codec : {"libx265", "libsvtav1"}) {
    SCOPED_TRACE(codec);
    RenderQuietly({"-i", "in.mp4", "-o", std::string(codec) + "-q.mkv", "--codec", codec});
    const Outcome o = Render({"-i", "in.mp4", "-o", std::string(codec) + ".mkv", "--codec", codec});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err.find("info]"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("zelhost: wrote "), std::string::npos) << o.err;
  }
  // Their errors still reach the user, with -q too.
  const Outcome bad = Render({"-i", "in.mp4", "-o", "bad.mkv", "--codec", "libx265", "-q", "--encoder-opt",
                              "x265-params=rc-lookahead=1:bframes=5"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("x265 [error]: Lookahead depth must be greater than the max consecutive bframe count"),
            std::string::npos)
      << bad.err;
  EXPECT_NE(bad.err.find("zelhost: error: cannot open encoder libx265 for 'bad.mkv'"), std::string::npos) << bad.err;

  // --help gives each encoder's real default quality.
  const zel::testing::CommandResult help = zel::testing::RunCommand(std::string(ZEL_TEST_ZELHOST) + " render --help");
  for (const char* line : {"libx264     --crf 23 --preset medium", "libx265     --crf 28 --preset medium, x265's own",
                           "libsvtav1   --crf 35, preset 10", "libvpx-vp9  --crf 31"})
    EXPECT_NE(help.output.find(line), std::string::npos) << line;
}

}  // namespace
