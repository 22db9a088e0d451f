// zelhost render into the containers of the web, of broadcast and of animated pictures: WebM (VP9
// or AV1 with Opus), MXF OP1a (MPEG-2 4:2:2 or DNxHR with PCM tracks and the time code) and GIF
// (a palette made for the clip). Every output is decoded whole by ffmpeg and its streams read by
// ffprobe.
#include <sstream>
#include <string>
#include <vector>

#include "RenderRunSupport.h"

namespace {

using zel::testing::ProbeEntries;
using zel::testing::RunCommand;
using zel::testing::ShellQuoted;
using zel::testing::StreamSpan;
using zel::testing::Tool;

class RenderContainersTest : public zel::testing::RenderRunTest {
 protected:
  /// The streams of a file, one line each: "video vp9", "audio opus 48000 2" (rate, channels).
  std::string Streams(const std::string& file) const {
    std::istringstream lines(Tool("ffprobe -v error -show_entries stream=codec_type,codec_name,sample_rate,channels "
                                  "-of csv=p=0 " + ShellQuoted(Work(file))));
    std::string out;
    for (std::string line; std::getline(lines, line);) {
      std::string fields[4];
      std::istringstream parts(line);
      for (std::string& f : fields) std::getline(parts, f, ',');
      if (fields[1].empty()) continue;  // a stream's side data (MPEG-2's buffer sizes)
      out += fields[1] + " " + fields[0] + (fields[1] == "audio" ? " " + fields[2] + " " + fields[3] : "") + "\n";
    }
    return out;
  }
};

TEST_F(RenderContainersTest, WebmMxfAndGifHoldTheirStreamsTimeCodeAndTracksAndDecodeWhole) {
  // A camera file: H.264 with AAC at 44.1 kHz, a subtitle and a time code.
  std::ofstream(Work("s.srt")) << "1\n00:00:00,200 --> 00:00:00,800\nHi\n";
  Make("-f lavfi -i testsrc2=s=64x64:r=25:d=1 -f lavfi -i sine=r=44100:d=1 -i s.srt -map 0 -map 1 -map 2 -c:v libx264 "
       "-preset ultrafast -pix_fmt yuv420p -c:a aac -c:s mov_text -timecode 01:00:00:00 camera.mp4");
  // For the web: VP9 with Opus.
  Make("-f lavfi -i testsrc2=s=64x64:r=25:d=1 -f lavfi -i sine=r=48000:d=1 -c:v libvpx-vp9 -deadline realtime "
       "-c:a libopus web.webm");
  // Broadcast: interlaced MPEG-2 4:2:2, four mono 24-bit tracks, a time code.
  Make("-f lavfi -i testsrc2=s=128x96:r=25:d=1 -f lavfi -i sine=f=440:r=48000:d=1 -f lavfi -i sine=f=660:r=48000:d=1 "
       "-f lavfi -i sine=f=880:r=48000:d=1 -f lavfi -i sine=f=990:r=48000:d=1 -map 0 -map 1 -map 2 -map 3 -map 4 "
       "-c:v mpeg2video -pix_fmt yuv422p -flags +ildct+ilme -top 1 -b:v 5M -c:a pcm_s24le -timecode 10:00:00:00 "
       "broadcast.mxf");
  // An edit: DNxHR SQ with a stereo 16-bit track.
  Make("-f lavfi -i testsrc2=s=256x128:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -ac 2 -c:v dnxhd -profile:v dnxhr_sq "
       "-pix_fmt yuv422p -c:a pcm_s16le edit.mxf");
  struct Case {
    const char* input;
    const char* output;
    std::vector<std::string> options;
    const char* streams;   ///< Streams() of the output
    const char* said;      ///< in what zelhost says with -q (what is not kept), or ""
    int frames;
    const char* timeCode;  ///< of the output, or "" when none is asked
  };
  const Case cases[] = {
      // The subtitles become WebM's own text subtitles.
      {"camera.mp4", "camera.webm", {}, "video vp9\naudio opus 48000 1\nsubtitle webvtt\n", "", 25, ""},
      {"web.webm", "web.webm", {}, "video vp9\naudio opus 48000 1\n", "", 25, ""},
      {"camera.mp4", "av1.webm", {"--codec", "libsvtav1"}, "video av1\naudio opus 48000 1\nsubtitle webvtt\n", "", 25,
       ""},
      {"broadcast.mxf", "broadcast.mxf", {},
       "video mpeg2video\naudio pcm_s24le 48000 1\naudio pcm_s24le 48000 1\naudio pcm_s24le 48000 1\naudio pcm_s24le "
       "48000 1\n",
       "", 25, "10:00:00:00"},
      {"broadcast.mxf", "part.mxf", {"--start", "5", "--frames", "10"},
       "video mpeg2video\naudio pcm_s24le 48000 1\naudio pcm_s24le 48000 1\naudio pcm_s24le 48000 1\naudio pcm_s24le "
       "48000 1\n",
       "", 10, "10:00:00:05"},
      {"edit.mxf", "edit.mxf", {}, "video dnxhd\naudio pcm_s16le 48000 2\n", "", 10, ""},
      {"camera.mp4", "camera.mxf", {}, "video mpeg2video\naudio pcm_s24le 48000 1\n",
       "not kept in 'out-camera.mxf': stream 2 (subtitle, mov_text)", 25, "01:00:00:00"},
      {"camera.mp4", "camera.gif", {}, "video gif\n", "not kept in 'out-camera.gif': stream 1 (audio, aac), stream 2", 25, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const std::string output = std::string("out-") + c.output;
    std::vector<std::string> arguments = {"-i", c.input, "-o", output, "-q"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome o = Render(arguments);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    if (*c.said == '\0') {
      EXPECT_EQ(o.err, "");
    } else {
      EXPECT_NE(o.err.find(c.said), std::string::npos) << o.err;
    }
    EXPECT_EQ(Streams(output), c.streams);
    // Decoded whole, every stream, without one error (subtitles decoded to ASS: the null muxer
    // names no subtitle encoder).
    const zel::testing::CommandResult decoded =
        RunCommand("ffmpeg -nostdin -v error -i " + ShellQuoted(Work(output)) + " -map 0 -c:s ass -f null -");
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.output, "");
    EXPECT_EQ(zel::testing::KeyValues(Tool("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                           "stream=nb_read_frames -of default=nw=1 " +
                                           ShellQuoted(Work(output))))["nb_read_frames"],
              std::to_string(c.frames));
    if (*c.timeCode != '\0') {
      EXPECT_EQ(ProbeEntries(Work(output), "v:0", "format_tags=timecode")["TAG:timecode"], c.timeCode);
    }
  }
  // MXF keeps the input's picture: interlaced 4:2:2 stays so, DNxHR keeps its profile.
  EXPECT_EQ(ProbeEntries(Work("out-broadcast.mxf"), "v:0", "stream=field_order,pix_fmt")["field_order"], "tt");
  EXPECT_EQ(ProbeEntries(Work("out-camera.mxf"), "v:0", "stream=pix_fmt,profile")["profile"], "4:2:2");
  EXPECT_EQ(ProbeEntries(Work("out-edit.mxf"), "v:0", "stream=profile")["profile"], "DNXHR SQ");
  // Sound at its whole length; a part's tracks as long as its frames.
  EXPECT_NEAR(StreamSpan(Work("out-broadcast.mxf"), "a:3").length(), 1.0, 0.03);
  EXPECT_NEAR(StreamSpan(Work("out-part.mxf"), "a:0").length(), 0.4, 0.03);
}

TEST_F(RenderContainersTest, GifHasAPaletteMadeForTheClipAndKeepsItsTiming) {
  Make("-f lavfi -i testsrc2=s=64x48:r=30000/1001:d=0.5 -c:v libx264 -preset ultrafast -pix_fmt yuv420p ntsc.mp4");
  RenderQuietly({"-i", "ntsc.mp4", "-o", "clip.gif"});
  // The pictures are those FFmpeg's palettegen and paletteuse make of the same rendered frames.
  RenderQuietly({"-i", "ntsc.mp4", "-o", "clip.y4m"});
  Make("-i clip.y4m -vf 'split[a][b];[a]palettegen[p];[b][p]paletteuse' reference.gif");
  const auto pictures = [&](const std::string& file) {
    return Tool("ffmpeg -nostdin -v error -i " + ShellQuoted(Work(file)) + " -f framemd5 - | grep -v '^#' | cut -d, -f6");
  };
  const std::string ours = pictures("clip.gif");
  EXPECT_EQ(ours, pictures("reference.gif"));
  EXPECT_EQ(std::count(ours.begin(), ours.end(), '\n'), 15);
  // 29.97 frames a second in GIF's hundredths: 3, 4, 3, 3, 4, ... as the frames' own times fall.
  const std::string times = Tool("ffprobe -v error -show_entries packet=pts -of csv=p=0 " + ShellQuoted(Work("clip.gif")));
  EXPECT_EQ(times.substr(0, 18), "0\n3\n7\n10\n13\n17\n20\n") << times;
}

}  // namespace
