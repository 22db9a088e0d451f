// zelhost render and what an output keeps of its input beside the rendered pictures: every
// stream at its whole length, HDR light metadata and colour tags, the tags players look for.
// ffprobe judges every file.
#include <string>
#include <string_view>
#include <vector>

#include "RenderRunSupport.h"

namespace {

using zel::testing::ProbeEntries;
using zel::testing::ShellQuoted;
using zel::testing::StreamSpan;
using zel::testing::Tool;

class RenderStreamsTest : public zel::testing::RenderRunTest {};

TEST_F(RenderStreamsTest, EveryStreamKeepsItsWholeLengthUnlessCut) {
  // 2 s of video; 5 s of sound; a subtitle shown from 3 s to 4 s, after the last frame.
  std::ofstream(Work("late.srt")) << "1\n00:00:00,500 --> 00:00:01,000\nEarly\n\n2\n00:00:03,000 --> 00:00:04,000\nLate\n";
  const std::string sources = "-f lavfi -i testsrc2=s=64x48:r=25:d=2 -f lavfi -i sine=f=440:r=48000:d=5 -i late.srt "
                              "-map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p ";
  Make(sources + "-c:a aac -c:s mov_text long.mp4");
  Make(sources + "-c:a libopus -c:s srt long.mkv");
  Make(sources + "-c:a pcm_s16le -c:s mov_text long.mov");
  struct Case {
    const char* input;
    const char* output;
    std::vector<std::string> options;
    double sound;      ///< seconds of sound
    double subtitles;  ///< output seconds where the last subtitle shown starts
    const char* note;  ///< in what zelhost says; "" for nothing
    int frames;        ///< of video
  };
  const Case cases[] = {
      {"long.mp4", "whole.mp4", {}, 5.0, 3.0, "", 50},
      {"long.mkv", "whole.mkv", {}, 5.0, 3.0, "", 50},
      {"long.mov", "whole.mov", {}, 5.0, 3.0, "", 50},
      // Sound the container does not take is encoded, at its whole length too.
      {"long.mov", "encoded.mp4", {}, 5.0, 3.0, "encoded as aac", 50},
      {"long.mp4", "encoded.mkv", {"--audio", "encode"}, 5.0, 0, "encoded as", 50},
      // Text subtitles the container does not take become its own text subtitles.
      {"long.mkv", "converted.mp4", {}, 5.0, 3.0, "stream 2 (subtitle, subrip) converted to mov_text", 50},
      {"long.mkv", "converted.webm", {}, 5.0, 3.0, "stream 2 (subtitle, subrip) converted to webvtt", 50},
      // A tail of the input keeps everything after its first frame.
      {"long.mkv", "tail.mkv", {"--start", "25"}, 4.0, 2.0, "", 25},
      // --shortest cuts every stream where the video ends, and says how much went.
      // (MP4's subtitle track holds a blank from 1 s to the late cue: it starts before the end.)
      {"long.mp4", "short.mp4", {"--shortest"}, 2.0, 1.0,
       "cut where the video ends (--shortest): 3.00 s of stream 1 (audio, aac), 2.00 s of stream 2 (subtitle, "
       "mov_text)", 50},
      // MXF holds sound only beside the video's frames: what runs on is named as lost.
      {"long.mov", "whole.mxf", {}, 2.0, 0,
       "3.00 s of stream 1 (audio, pcm_s16le) after the last frame (MXF holds sound only beside the video)", 50},
      // A part (a chunk of a longer render) ends with its last frame, so that parts join up.
      {"long.mp4", "part.mkv", {"--start", "10", "--frames", "20"}, 0.8, 0, "", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> arguments = {"-i", c.input, "-o", c.output};
    // x264's quickest (the MPEG-2 of MXF and the VP9 of WebM have no presets).
    const std::string_view output = c.output;
    if (!output.ends_with(".mxf") && !output.ends_with(".webm")) {
      arguments.insert(arguments.end(), {"--preset", "ultrafast"});
    }
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome o = Render(arguments);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    if (*c.note != '\0') {
      EXPECT_NE(o.err.find(c.note), std::string::npos) << o.err;
    }
    // Sound is copied or encoded in whole packets, and a part starts on the packet that primes
    // the decoder: within two packets (21 ms of AAC, 20 of Opus).
    EXPECT_NEAR(StreamSpan(Work(c.output), "a:0").length(), c.sound, 0.05);
    if (c.subtitles > 0) {
      // (Matroska's Opus starts 13.5 ms early, its pre-skip: every stream moves by that lead.)
      EXPECT_NEAR(StreamSpan(Work(c.output), "s:0").lastStart, c.subtitles, 0.02);
    }
    // The video is what it was: the frames rendered, none added to match the sound.
    EXPECT_EQ(Tool("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                   "-of default=nw=1:nk=1 " + Work(c.output)),
              std::to_string(c.frames) + "\n");
  }
}

/// What ffprobe reads of the first video stream: its colour tags, codec tag and stream side data,
/// then the side data of its first picture.
std::string HdrView(const std::string& file) {
  return Tool("ffprobe -v error -select_streams v:0 -show_entries stream=color_transfer,color_primaries,color_space,"
              "codec_tag_string:stream_side_data=side_data_type,max_content,max_luminance -of default=nw=1 " + file) +
         "--- first picture\n" +
         Tool("ffprobe -v error -select_streams v:0 -read_intervals %+#1 -show_entries frame_side_data=side_data_type,"
              "max_content -of default=nw=1 " + file);
}

TEST_F(RenderStreamsTest, HdrMetadataAndColourTagsReachEveryOutputThatHoldsThem) {
  // HDR10 as x265 writes it through ffmpeg: the metadata in the pictures' SEI only, not in the
  // container. 64x64, the smallest SVT-AV1 takes.
  Make("-f lavfi -i testsrc2=s=64x64:r=25:d=0.12 -pix_fmt yuv420p10le -c:v libx265 -x265-params 'log-level=error:"
       "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400' "
       "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc hdr10.mkv");
  const std::string input = HdrView(Work("hdr10.mkv"));
  ASSERT_NE(input.find("max_content=1000"), std::string::npos) << input;
  ASSERT_EQ(input.find("max_content=1000"), input.rfind("max_content=1000")) << "in the pictures only:\n" << input;
  struct Case {
    const char* input;
    const char* output;
    const char* codec;
    bool inStream;   ///< the container holds it (MP4, MOV, Matroska, WebM)
    bool inPicture;  ///< the encoder writes it into the pictures (x265, SVT-AV1; 5.1's ffprobe cannot read x264's)
  };
  const Case cases[] = {
      {"hdr10.mkv", "x265.mp4", "libx265", true, true},
      {"hdr10.mkv", "x265.mov", "libx265", true, true},
      {"hdr10.mkv", "x265.mkv", "libx265", true, true},
      {"hdr10.mkv", "x264.mp4", "libx264", true, false},
      {"hdr10.mkv", "svt.webm", "libsvtav1", true, true},
      {"hdr10.mkv", "prores.mov", "prores_ks", true, false},
      // From the container alone (ProRes has no place for it in its pictures) into the pictures.
      {"prores.mov", "again.mkv", "libx265", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    RenderQuietly({"-i", c.input, "-o", c.output, "--codec", c.codec});
    const std::string view = HdrView(Work(c.output));
    const std::string stream = view.substr(0, view.find("---")), picture = view.substr(view.find("---"));
    for (const char* tag : {"color_transfer=smpte2084", "color_primaries=bt2020", "color_space=bt2020nc"})
      EXPECT_NE(stream.find(tag), std::string::npos) << tag << "\n" << view;
    EXPECT_EQ(stream.find("max_luminance=10000000/10000") != std::string::npos ||
                  stream.find("max_luminance=1000/1") != std::string::npos,
              c.inStream)
        << view;
    EXPECT_EQ(stream.find("max_content=1000") != std::string::npos, c.inStream) << view;
    EXPECT_EQ(picture.find("side_data_type=Mastering display metadata") != std::string::npos, c.inPicture) << view;
    EXPECT_EQ(picture.find("max_content=1000") != std::string::npos, c.inPicture) << view;
    // HEVC in MP4 and MOV is hvc1, which Apple's players take (FFmpeg's default is hev1).
    if (std::string(c.codec) == "libx265" && std::string(c.output).find(".mkv") == std::string::npos) {
      EXPECT_NE(stream.find("codec_tag_string=hvc1"), std::string::npos) << view;
    }
  }
  // Where neither the container nor the encoder's stream has a place for it, one line says so.
  // (MXF keeps the colour tags; Y4M has none but the range.)
  for (const auto& [output, why] :
       {std::pair{"out.y4m", "(Y4M holds pictures only), the colour tags (bt2020 primaries, smpte2084 transfer: Y4M "
                             "has no place for them)"},
        std::pair{"out.mxf", "(mxf has no place for it, nor has mpeg2video's stream)"}}) {
    const Outcome o = Render({"-i", "hdr10.mkv", "-o", output, "-q"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, std::string("zelhost: warning: not kept in '") + output + "': the HDR10 metadata " + why + "\n");
  }
}

TEST_F(RenderStreamsTest, AStreamTitleBecomesTheTrackNameInMp4) {
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=0.4 -f lavfi -i sine=d=0.4 -map 0 -map 1 -c:v libx264 -preset ultrafast "
       "-c:a aac -metadata:s:a:0 title=Commentary titled.mkv");
  RenderQuietly({"-i", "titled.mkv", "-o", "titled.mp4", "--preset", "ultrafast"});
  EXPECT_EQ(ProbeEntries(Work("titled.mp4"), "a:0", "stream_tags=handler_name")["TAG:handler_name"], "Commentary");
}

TEST_F(RenderStreamsTest, ACoverPictureStaysInMp4AndIsNamedWhereItCannot) {
  Make("-f lavfi -i testsrc2=s=64x48:r=25:d=1 -f lavfi -i color=red:s=32x32:d=0.04 -map 0 -map 1 -c:v:0 libx264 "
       "-preset ultrafast -c:v:1 mjpeg -disposition:v:1 attached_pic cover.mp4");
  const auto picture = [&](const std::string& file) {
    return Tool("ffmpeg -v error -i " + ShellQuoted(Work(file)) + " -map 0:v:1 -f framemd5 - | grep -v '^#'");
  };
  // A part too: the picture is the file's, not a frame's.
  for (const char* output : {"cover-out.mp4", "cover-part.mp4"}) {
    SCOPED_TRACE(output);
    std::vector<std::string> arguments = {"-i", "cover.mp4", "-o", output, "--preset", "ultrafast"};
    if (std::string(output) == "cover-part.mp4") arguments.insert(arguments.end(), {"--start", "5", "--frames", "10"});
    RenderQuietly(arguments);
    EXPECT_EQ(ProbeEntries(Work(output), "v:1", "stream_disposition=attached_pic")["DISPOSITION:attached_pic"], "1");
    EXPECT_EQ(picture(output), picture("cover.mp4"));
  }
  const Outcome mkv = Render({"-i", "cover.mp4", "-o", "cover.mkv", "--preset", "ultrafast", "-q"});
  ASSERT_EQ(mkv.exitCode, 0) << mkv.err;
  EXPECT_EQ(mkv.err, "zelhost: warning: not kept in 'cover.mkv': stream 1 (cover picture, mjpeg)\n");
}

}  // namespace
