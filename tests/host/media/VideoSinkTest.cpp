#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "MediaTestSupport.h"
#include "media/Error.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"

namespace zel::media {
namespace {

using testing::probe;
using testing::run;
using SinkTest = testing::TempDirTest;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

VideoSource smallPattern(std::int64_t frames, AVRational rate = {25, 1}) {
  SourceOptions options;
  options.size = Size{kWidth, kHeight};
  options.rate = rate;
  options.frameCount = frames;
  return VideoSource::testPattern(options);
}

SinkOptions optionsFor(FrameFormat format, AVRational rate = {25, 1}) {
  SinkOptions options;
  options.width = kWidth;
  options.height = kHeight;
  options.rate = rate;
  options.format = format;
  options.codecOptions = {{"preset", "ultrafast"}};
  return options;
}

/// Reads every frame of `source` in `format` and writes it to `sink`; returns the frames.
std::vector<Frame> copyAll(VideoSource& source, VideoSink& sink, FrameFormat format) {
  std::vector<Frame> frames;
  Frame frame;
  while (source.read(frame, format)) {
    sink.write(frame);
    frames.emplace_back().copyFrom(frame);
  }
  return frames;
}

std::string firstLine(const std::string& bytes) { return bytes.substr(0, bytes.find('\n')); }

TEST_F(SinkTest, Y4mKeeps422FramesExactAndMarksFieldOrder) {
  const struct {
    FrameFormat format;
    FieldOrder order;
    const char* tag;
  } cases[] = {
      {FrameFormat::Uyvy, FieldOrder::Progressive, " Ip "},
      {FrameFormat::Yuy2, FieldOrder::TopFirst, " It "},
      {FrameFormat::Uyvy, FieldOrder::BottomFirst, " Ib "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(toString(c.format)) + " " + std::string(toString(c.order)));
    const std::string name = std::string(toString(c.format)) + std::string(toString(c.order)) + ".y4m";
    VideoSource pattern = smallPattern(5, {30000, 1001});
    SinkOptions options = optionsFor(c.format, {30000, 1001});
    options.fieldOrder = c.order;
    VideoSink sink(path(name), options);
    const std::vector<Frame> written = copyAll(pattern, sink, c.format);
    sink.commit();

    const std::string header = firstLine(readBytes(name));
    EXPECT_NE(header.find(" C422"), std::string::npos) << header;
    EXPECT_NE(header.find(c.tag), std::string::npos) << header;
    EXPECT_NE(header.find(" F30000:1001"), std::string::npos) << header;

    VideoSource back = VideoSource::open(path(name));
    EXPECT_EQ(back.info().fieldOrder, c.order);
    EXPECT_EQ(back.info().width, kWidth);
    Frame frame;
    for (const Frame& expected : written) {
      ASSERT_TRUE(back.read(frame, c.format));
      EXPECT_TRUE(frame.samePixels(expected)) << "frame " << expected.index();
      EXPECT_EQ(frame.fieldOrder(), c.order);
    }
    EXPECT_FALSE(back.read(frame, c.format));
  }
}

TEST_F(SinkTest, Y4mFromRgbaIs444AndCloseToTheOriginal) {
  VideoSource pattern = smallPattern(2);
  VideoSink sink(path("rgb.y4m"), optionsFor(FrameFormat::Rgba));
  const std::vector<Frame> written = copyAll(pattern, sink, FrameFormat::Rgba);
  sink.commit();
  EXPECT_NE(firstLine(readBytes("rgb.y4m")).find(" C444"), std::string::npos);
  VideoSource back = VideoSource::open(path("rgb.y4m"));
  Frame frame;
  for (const Frame& expected : written) {
    ASSERT_TRUE(back.read(frame, FrameFormat::Rgba));
    // 8-bit video-range Y'CbCr cannot hold every RGB triple: a few levels of rounding remain.
    EXPECT_LE(testing::maxDifference(frame, expected), 3);
  }
}

TEST_F(SinkTest, PngHoldsRgbaExactlyAlphaIncluded) {
  Frame frame;
  frame.allocate(kWidth, kHeight, FrameFormat::Rgba);
  testing::fillRamp(frame, 3);
  VideoSink sink(path("one.png"), optionsFor(FrameFormat::Rgba));
  EXPECT_EQ(sink.maxFrames(), 1);
  sink.write(frame);
  try {
    sink.write(frame);
    ADD_FAILURE() << "a second picture went into one PNG";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("%d pattern"), std::string::npos) << e.what();
  }
  sink.commit();
  EXPECT_EQ(probe(path("one.png"))["pix_fmt"], "rgba");
  VideoSource back = VideoSource::open(path("one.png"));
  Frame read;
  ASSERT_TRUE(back.read(read, FrameFormat::Rgba));
  EXPECT_TRUE(read.samePixels(frame));
}

TEST_F(SinkTest, PngWithoutAlphaKeepsTheColoursExactly) {
  Frame frame;
  frame.allocate(kWidth, kHeight, FrameFormat::Rgba);
  testing::fillRamp(frame, 5);
  SinkOptions options = optionsFor(FrameFormat::Rgba);
  options.keepAlpha = false;
  VideoSink sink(path("opaque.png"), options);
  sink.write(frame);
  sink.commit();
  EXPECT_EQ(probe(path("opaque.png"))["pix_fmt"], "rgb24");
  VideoSource back = VideoSource::open(path("opaque.png"));
  EXPECT_FALSE(back.info().hasAlpha);
  Frame read;
  ASSERT_TRUE(back.read(read, FrameFormat::Rgba));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* want = frame.row(y) + 4 * x;
      const std::uint8_t* got = read.row(y) + 4 * x;
      ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2] && got[3] == 255)
          << "pixel (" << x << ", " << y << ")";
    }
  VideoSink withAlpha(path("rgba.png"), optionsFor(FrameFormat::Rgba));
  withAlpha.write(frame);
  withAlpha.commit();
  EXPECT_TRUE(VideoSource::open(path("rgba.png")).info().hasAlpha);
}

TEST_F(SinkTest, PngSequenceNumbersEveryFrame) {
  VideoSource pattern = smallPattern(3);
  VideoSink sink(path("seq-%02d.png"), optionsFor(FrameFormat::Rgba));
  EXPECT_EQ(sink.maxFrames(), -1);
  const std::vector<Frame> written = copyAll(pattern, sink, FrameFormat::Rgba);
  for (const std::string& name : files()) EXPECT_EQ(name[0], '.') << "before commit: " << name;
  sink.commit();
  EXPECT_EQ(files(), (std::vector<std::string>{"seq-01.png", "seq-02.png", "seq-03.png"}));
  VideoSource back = VideoSource::open(path("seq-%02d.png"));
  Frame frame;
  for (const Frame& expected : written) {
    ASSERT_TRUE(back.read(frame, FrameFormat::Rgba));
    EXPECT_TRUE(frame.samePixels(expected));
  }
}

TEST_F(SinkTest, H264HasTheFramesSizeRateAndFieldOrderAsked) {
  const struct {
    const char* name;
    FieldOrder order;
    bool chroma422;
    const char* probedOrder;
    const char* probedFormat;
  } cases[] = {
      {"p.mp4", FieldOrder::Progressive, false, "progressive", "yuv420p"},
      {"t.mkv", FieldOrder::TopFirst, false, "tt", "yuv420p"},
      {"b.mov", FieldOrder::BottomFirst, true, "bb", "yuv422p"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const AVRational rate{30000, 1001};
    VideoSource pattern = smallPattern(8, rate);
    SinkOptions options = optionsFor(FrameFormat::Uyvy, rate);
    options.fieldOrder = c.order;
    options.chroma422 = c.chroma422;
    VideoSink sink(path(c.name), options);
    copyAll(pattern, sink, FrameFormat::Uyvy);
    EXPECT_EQ(sink.framesWritten(), 8);
    sink.commit();

    auto probed = probe(path(c.name));
    EXPECT_EQ(probed["codec_name"], "h264");
    EXPECT_EQ(probed["width"], "64");
    EXPECT_EQ(probed["height"], "48");
    EXPECT_EQ(probed["r_frame_rate"], "30000/1001");
    EXPECT_EQ(probed["nb_read_frames"], "8");
    EXPECT_EQ(probed["field_order"], c.probedOrder);
    EXPECT_EQ(probed["pix_fmt"], c.probedFormat);

    VideoSource back = VideoSource::open(path(c.name));
    EXPECT_EQ(back.info().fieldOrder, c.order);
    EXPECT_EQ(back.info().rate.num, 30000);
    EXPECT_EQ(back.info().rate.den, 1001);
    int count = 0;
    Frame frame;
    while (back.read(frame, FrameFormat::Uyvy)) ++count;
    EXPECT_EQ(count, 8);
  }
}

TEST_F(SinkTest, InterlacedChromaIsSubsampledOneFieldAtATime) {
  // Top-field lines carry Cb 60, bottom-field lines Cb 200. Through lossless 4:2:0 and back, an
  // interlaced frame keeps each field's colour; a progressive one averages the two.
  Frame frame;
  frame.allocate(kWidth, kHeight, FrameFormat::Uyvy);
  for (int y = 0; y < kHeight; ++y) {
    for (int pair = 0; pair < kWidth / 2; ++pair) {
      std::uint8_t* p = frame.row(y) + 4 * pair;
      p[0] = y % 2 == 0 ? 60 : 200;
      p[1] = p[3] = 120;
      p[2] = 128;
    }
  }
  const struct {
    FieldOrder order;
    int topCb;
    int bottomCb;
    int tolerance;
  } cases[] = {
      {FieldOrder::TopFirst, 60, 200, 1},
      {FieldOrder::BottomFirst, 60, 200, 1},
      {FieldOrder::Progressive, 130, 130, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(toString(c.order)));
    const std::string name = std::string(toString(c.order)) + ".mkv";
    SinkOptions options = optionsFor(FrameFormat::Uyvy);
    options.codec = "ffv1";
    options.codecOptions.clear();
    options.fieldOrder = c.order;
    VideoSink sink(path(name), options);
    sink.write(frame);
    sink.commit();
    EXPECT_EQ(probe(path(name))["pix_fmt"], "yuv420p");

    VideoSource back = VideoSource::open(path(name));
    Frame read;
    ASSERT_TRUE(back.read(read, FrameFormat::Uyvy));
    for (int y = 2; y < kHeight - 2; ++y) {  // edges may be resampled from one side only
      const int expected = y % 2 == 0 ? c.topCb : c.bottomCb;
      EXPECT_NEAR(read.row(y)[4 * 5], expected, c.tolerance) << "row " << y;
    }
  }
}

class AudioTest : public SinkTest {
protected:
  void SetUp() override {
    SinkTest::SetUp();
    // One second of 25 fps video with a tone beside it.
    run("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 "
        "-t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac '" + path("in.mp4") + "'");
  }

  /// From the start of the first audio packet to the end of the last (containers differ in
  /// where, or whether, they store a stream duration).
  double audioSeconds(const std::string& name) {
    std::istringstream lines(run("ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time "
                                 "-of csv=p=0 '" + path(name) + "'"));
    double first = -1, end = 0, pts = 0, duration = 0;
    std::string line;
    while (std::getline(lines, line)) {
      if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) != 2) continue;
      if (first < 0) first = pts;
      end = std::max(end, pts + duration);
    }
    return end - first;
  }
};

TEST_F(AudioTest, AudioStreamsAreCopiedBesideTheVideo) {
  for (const char* name : {"out.mp4", "out.mkv"}) {
    SCOPED_TRACE(name);
    VideoSource source = VideoSource::open(path("in.mp4"));
    ASSERT_TRUE(source.info().hasAudio);
    SinkOptions options = optionsFor(FrameFormat::Rgba);
    options.copyFrom = CopyFrom::of(source);
    ASSERT_TRUE(options.copyFrom.has_value());
    VideoSink sink(path(name), options);
    copyAll(source, sink, FrameFormat::Rgba);
    sink.commit();
    EXPECT_TRUE(sink.warnings().empty());
    EXPECT_TRUE(sink.lost().empty());
    auto audio = probe(path(name), "a:0");
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["sample_rate"], "48000");
    EXPECT_NEAR(audioSeconds(name), 1.0, 0.05);
    EXPECT_EQ(probe(path(name))["nb_read_frames"], "25");
  }
}

TEST_F(AudioTest, AudioFollowsTheChosenFrames) {
  VideoSource source = VideoSource::open(path("in.mp4"));
  source.seek(10);
  SinkOptions options = optionsFor(FrameFormat::Rgba);
  options.copyFrom = CopyFrom::of(source, 10);
  options.copyFrom->frameLimit = 10;
  VideoSink sink(path("cut.mkv"), options);
  Frame frame;
  for (int i = 0; i < 10 && source.read(frame, FrameFormat::Rgba); ++i) sink.write(frame);
  sink.commit();
  // 10 frames at 25 fps; audio packets are cut whole (about 21 ms each).
  EXPECT_NEAR(audioSeconds("cut.mkv"), 0.4, 0.05);
}

TEST_F(AudioTest, ContainersWithoutAudioSayWhatWasLeftOut) {
  VideoSource source = VideoSource::open(path("in.mp4"));
  SinkOptions options = optionsFor(FrameFormat::Uyvy);
  options.copyFrom = CopyFrom::of(source);
  VideoSink sink(path("out.y4m"), options);
  copyAll(source, sink, FrameFormat::Uyvy);
  sink.commit();
  ASSERT_EQ(sink.lost().size(), 1u);
  EXPECT_NE(sink.lost()[0].find("Y4M holds pictures only"), std::string::npos) << sink.lost()[0];
  EXPECT_FALSE(VideoSource::open(path("out.y4m")).info().hasAudio);
}

TEST_F(SinkTest, NothingIsLeftBehindWithoutCommit) {
  const char* names[] = {"a.mp4", "a.y4m", "a.png", "a-%d.png"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    VideoSource pattern = smallPattern(2);
    {
      VideoSink sink(path(name), optionsFor(FrameFormat::Uyvy));
      Frame frame;
      ASSERT_TRUE(pattern.read(frame, FrameFormat::Uyvy));
      sink.write(frame);
      EXPECT_FALSE(files().empty()) << "the sink writes beside the target";
      Frame wrong;
      wrong.allocate(kWidth, kHeight, FrameFormat::Rgba);
      EXPECT_THROW(sink.write(wrong), Error);
    }
    EXPECT_TRUE(files().empty()) << files().front();
  }
}

TEST_F(SinkTest, ExistingOutputIsReplacedOnlyWhenAllowed) {
  for (const char* name : {"old.mkv", "old.png", "old-%d.png", "old.y4m"}) {
    SCOPED_TRACE(name);
    char first[64];
    std::snprintf(first, sizeof first, name, 1);
    writeText(first, "precious");
    VideoSource pattern = smallPattern(1);
    Frame frame;
    ASSERT_TRUE(pattern.read(frame, FrameFormat::Rgba));

    SinkOptions options = optionsFor(FrameFormat::Rgba);
    try {
      VideoSink sink(path(name), options);
      sink.write(frame);
      sink.commit();
      ADD_FAILURE() << "replaced without overwrite";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("exists already"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(first), "precious");

    options.overwrite = true;
    VideoSink sink(path(name), options);
    sink.write(frame);
    EXPECT_EQ(readBytes(first), "precious") << "replaced only on commit";
    sink.commit();
    EXPECT_NE(readBytes(first), "precious");
    std::filesystem::remove(path(first));
    EXPECT_TRUE(files().empty());
  }
}

TEST_F(SinkTest, UnusableOutputsFailAtOpenAndLeaveNothing) {
  struct Case {
    std::string name;
    SinkOptions options;
    std::string expected;
  };
  auto with = [](auto change) {
    SinkOptions options = optionsFor(FrameFormat::Rgba);
    change(options);
    return options;
  };
  const Case cases[] = {
      {"out.avi", optionsFor(FrameFormat::Rgba), "unknown output type"},
      {"out", optionsFor(FrameFormat::Rgba), "unknown output type"},
      {"no/such/folder/out.mp4", optionsFor(FrameFormat::Rgba), "No such file or directory"},
      {"odd.mp4", with([](SinkOptions& o) { o.width = 65; }), "cannot be encoded as yuv420p"},
      {"odd.mkv", with([](SinkOptions& o) { o.height = 47; }), "cannot be encoded as yuv420p"},
      {"odd.y4m", with([](SinkOptions& o) { o.width = 65; o.format = FrameFormat::Uyvy; }), "even width"},
      {"zero.png", with([](SinkOptions& o) { o.width = 0; }), "not usable"},
      {"rate.mp4", with([](SinkOptions& o) { o.rate = {0, 1}; }), "not positive"},
      {"codec.mp4", with([](SinkOptions& o) { o.codec = "nosuchcodec"; }), "no video encoder named 'nosuchcodec'"},
      {"raw.mp4", with([](SinkOptions& o) { o.codec = "rawvideo"; }), "does not take rawvideo"},
      {"opt.mp4", with([](SinkOptions& o) { o.codecOptions["nosuchoption"] = "1"; }), "no option 'nosuchoption'"},
      {"two-%d-%d.png", optionsFor(FrameFormat::Rgba), "exactly one %d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      VideoSink sink(path(c.name), c.options);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(path(c.name)), std::string::npos) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
    EXPECT_TRUE(files().empty()) << files().front();
  }
}

TEST_F(SinkTest, DashWritesY4mToStandardOutput) {
  VideoSource pattern = smallPattern(3);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int file = ::open(path("stdout.y4m").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  dup2(file, STDOUT_FILENO);
  ::close(file);
  std::vector<Frame> written;
  {
    VideoSink sink("-", optionsFor(FrameFormat::Yuy2));
    written = copyAll(pattern, sink, FrameFormat::Yuy2);
    sink.commit();
  }
  dup2(saved, STDOUT_FILENO);
  ::close(saved);

  VideoSource back = VideoSource::open(path("stdout.y4m"));
  Frame frame;
  for (const Frame& expected : written) {
    ASSERT_TRUE(back.read(frame, FrameFormat::Yuy2));
    EXPECT_TRUE(frame.samePixels(expected));
  }
  EXPECT_FALSE(back.read(frame, FrameFormat::Yuy2));
}

}  // namespace
}  // namespace zel::media
