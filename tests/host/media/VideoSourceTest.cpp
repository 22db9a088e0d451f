#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "MediaTestSupport.h"
#include "media/Error.h"
#include "media/VideoSource.h"

namespace zel::media {
namespace {

using testing::run;
using SourceTest = testing::TempDirTest;

std::string rateText(AVRational r) { return std::to_string(r.num) + "/" + std::to_string(r.den); }

// --- the test pattern ------------------------------------------------------------------------

TEST(TestPattern, DefaultsToTenSecondsOfFullHdAt25) {
  VideoSource source = VideoSource::testPattern();
  const SourceInfo& info = source.info();
  EXPECT_EQ(info.kind, SourceKind::TestPattern);
  EXPECT_EQ(info.width, 1920);
  EXPECT_EQ(info.height, 1080);
  EXPECT_EQ(rateText(info.rate), "25/1");
  EXPECT_EQ(info.frameCount, 250);
  EXPECT_TRUE(info.frameCountExact);
  EXPECT_EQ(info.fieldOrder, FieldOrder::Progressive);
  EXPECT_FALSE(info.hasAudio);
  EXPECT_FALSE(info.nativeYuv);

  Frame frame;
  ASSERT_TRUE(source.read(frame, FrameFormat::Rgba));
  EXPECT_EQ(frame.index(), 0);
  // Top left is the 75 % white bar, top right the blue one.
  const std::uint8_t* top = frame.row(0);
  EXPECT_EQ(std::vector<int>(top, top + 4), (std::vector<int>{191, 191, 191, 255}));
  const std::uint8_t* right = top + 4 * 1919;
  EXPECT_EQ(std::vector<int>(right, right + 4), (std::vector<int>{0, 0, 191, 255}));
}

TEST(TestPattern, MovesBelowTheBarsAndNowhereElse) {
  SourceOptions options;
  options.size = Size{160, 90};
  VideoSource source = VideoSource::testPattern(options);
  Frame first, later;
  ASSERT_TRUE(source.read(first, FrameFormat::Rgba));
  source.seek(12);
  ASSERT_TRUE(source.read(later, FrameFormat::Rgba));
  EXPECT_EQ(later.index(), 12);
  // Rows 0-53 hold the bars, 54-62 the ramp, 63-89 the box and the number on a dark band.
  std::vector<bool> changed(90);
  for (int y = 0; y < 90; ++y) changed[y] = !std::equal(first.row(y), first.row(y) + first.rowBytes(), later.row(y));
  for (int y = 0; y < 54; ++y) EXPECT_FALSE(changed[y]) << "bar row " << y;
  for (int y = 54; y < 63; ++y) EXPECT_TRUE(changed[y]) << "ramp row " << y;
  EXPECT_GT(std::count(changed.begin() + 63, changed.end(), true), 15) << "box and number rows";
  for (int y = 0; y < 90; ++y) {
    for (int x = 0; x < 160; ++x) ASSERT_EQ(later.row(y)[4 * x + 3], 255) << x << "," << y;
  }
}

TEST(TestPattern, SeekGivesTheSameFrameAsReadingOnAndStopsAtTheCount) {
  SourceOptions options;
  options.size = Size{64, 48};
  options.rate = AVRational{30000, 1001};
  options.frameCount = 9;
  VideoSource source = VideoSource::testPattern(options);
  std::vector<Frame> frames(9);
  for (Frame& frame : frames) ASSERT_TRUE(source.read(frame, FrameFormat::Uyvy));
  Frame extra;
  EXPECT_FALSE(source.read(extra, FrameFormat::Uyvy));
  EXPECT_TRUE(extra.empty());
  for (const std::int64_t k : {5, 0, 8, 3}) {
    source.seek(k);
    EXPECT_EQ(source.position(), k);
    Frame again;
    ASSERT_TRUE(source.read(again, FrameFormat::Uyvy));
    EXPECT_EQ(again.index(), k);
    EXPECT_TRUE(again.samePixels(frames[k])) << k;
  }
  source.seek(9);
  EXPECT_FALSE(source.read(extra, FrameFormat::Uyvy));
}

TEST(TestPattern, RefusesUnusableOptions) {
  struct Case {
    const char* name;
    SourceOptions options;
  };
  std::vector<Case> cases(5);
  cases[0] = {"zero size", {}};
  cases[0].options.size = Size{0, 0};
  cases[1] = {"huge size", {}};
  cases[1].options.size = Size{Frame::kMaxSide + 2, 2};
  cases[2] = {"zero rate", {}};
  cases[2].options.rate = AVRational{0, 1};
  cases[3] = {"negative rate", {}};
  cases[3].options.rate = AVRational{-25, 1};
  cases[4] = {"no frames", {}};
  cases[4].options.frameCount = 0;
  for (const Case& c : cases) EXPECT_THROW(VideoSource::testPattern(c.options), Error) << c.name;
}

TEST(TestPattern, OddWidthWorksInRgbaButNotIn422) {
  SourceOptions options;
  options.size = Size{63, 48};
  VideoSource source = VideoSource::testPattern(options);
  Frame frame;
  EXPECT_TRUE(source.read(frame, FrameFormat::Rgba));
  try {
    source.read(frame, FrameFormat::Yuy2);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("width 63 is odd"), std::string::npos) << e.what();
  }
}

// --- files -----------------------------------------------------------------------------------

/// Packs the planes of frame `index` of a yuv422p Y4M file (as FFmpeg wrote it) into UYVY or
/// YUY2 bytes by hand, independently of the library.
std::vector<std::uint8_t> packY4m422(const std::string& bytes, int width, int height, int index, FrameFormat format) {
  std::size_t pos = bytes.find('\n') + 1;
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 2;
  for (int i = 0; i <= index; ++i) {
    pos = bytes.find('\n', pos) + 1;  // "FRAME\n"
    if (i < index) pos += frameBytes;
  }
  const auto* y = reinterpret_cast<const std::uint8_t*>(bytes.data() + pos);
  const std::uint8_t* cb = y + width * height;
  const std::uint8_t* cr = cb + width / 2 * height;
  std::vector<std::uint8_t> packed;
  for (int row = 0; row < height; ++row) {
    for (int pair = 0; pair < width / 2; ++pair) {
      const std::uint8_t y0 = y[row * width + 2 * pair], y1 = y[row * width + 2 * pair + 1];
      const std::uint8_t u = cb[row * width / 2 + pair], v = cr[row * width / 2 + pair];
      if (format == FrameFormat::Uyvy) {
        packed.insert(packed.end(), {u, y0, v, y1});
      } else {
        packed.insert(packed.end(), {y0, u, y1, v});
      }
    }
  }
  return packed;
}

TEST_F(SourceTest, Yuv422InputReadsAs422WithoutTouchingASample) {
  // testsrc2 has saturated colours: any trip through RGB would change some bytes.
  run("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames 3 -pix_fmt yuv422p '" + path("in.y4m") + "'");
  const std::string bytes = readBytes("in.y4m");
  for (const FrameFormat format : {FrameFormat::Uyvy, FrameFormat::Yuy2}) {
    SCOPED_TRACE(std::string(toString(format)));
    VideoSource source = VideoSource::open(path("in.y4m"));
    EXPECT_TRUE(source.info().nativeYuv);
    EXPECT_EQ(source.info().pixelFormat, "yuv422p");
    Frame frame;
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(source.read(frame, format));
      const std::vector<std::uint8_t> expected = packY4m422(bytes, 64, 48, i, format);
      std::vector<std::uint8_t> actual;
      for (int y = 0; y < 48; ++y) actual.insert(actual.end(), frame.row(y), frame.row(y) + frame.rowBytes());
      EXPECT_EQ(actual, expected) << "frame " << i;
    }
    EXPECT_FALSE(source.read(frame, format));
  }
}

TEST_F(SourceTest, Y4mFrameLinesMayCarryParametersAndACutLastFrameIsLeftOut) {
  // 4x2 yuv422p: 8 luma and 2 x 4 chroma bytes a frame, each frame numbered in its bytes.
  std::string bytes = "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C422\n";
  const char* frameLines[] = {"FRAME\n", "FRAME Ip XNOTE=two\n", "FRAME\n"};
  for (int i = 0; i < 3; ++i) {
    bytes += frameLines[i];
    for (int j = 0; j < 16; ++j) bytes += static_cast<char>(16 * i + j);
  }
  const std::string complete = bytes;
  bytes += "FRAME\n" + std::string(5, '\x7f');  // the writer stopped in the middle of frame 3
  { std::ofstream(path("cut.y4m"), std::ios::binary) << bytes; }

  VideoSource source = VideoSource::open(path("cut.y4m"));
  Frame frame;
  const auto check = [&](int index) {
    ASSERT_TRUE(source.read(frame, FrameFormat::Uyvy)) << "frame " << index;
    EXPECT_EQ(frame.index(), index);
    std::vector<std::uint8_t> actual;
    for (int y = 0; y < 2; ++y) actual.insert(actual.end(), frame.row(y), frame.row(y) + frame.rowBytes());
    EXPECT_EQ(actual, packY4m422(complete, 4, 2, index, FrameFormat::Uyvy)) << "frame " << index;
  };
  for (int i = 0; i < 3; ++i) check(i);
  EXPECT_FALSE(source.read(frame, FrameFormat::Uyvy));
  source.seek(1);  // back, past a frame line with parameters
  check(1);
  check(2);
  source.seek(9);
  EXPECT_FALSE(source.read(frame, FrameFormat::Uyvy));

  // A frame that does not start with its FRAME line is damage, not the end of the stream: the
  // frames before it are read, then the source says where reading stopped.
  std::string broken = complete;
  broken.replace(broken.find("FRAME Ip"), 5, "FRAMX");
  { std::ofstream(path("broken.y4m"), std::ios::binary) << broken; }
  VideoSource brokenSource = VideoSource::open(path("broken.y4m"));
  EXPECT_TRUE(brokenSource.read(frame, FrameFormat::Uyvy));
  EXPECT_EQ(brokenSource.damage(), "");
  EXPECT_FALSE(brokenSource.read(frame, FrameFormat::Uyvy));
  EXPECT_NE(brokenSource.damage().find("reading stopped at frame 1"), std::string::npos) << brokenSource.damage();
}

TEST_F(SourceTest, VideoFileReportsItsStreamAndSeeksToAnyFrame) {
  const struct {
    const char* name;
    const char* encoding;
    bool countExact;  // Matroska stores no frame count: it is estimated from the duration
  } cases[] = {
      {"intra.mp4", "-preset ultrafast -g 5", true},
      {"bframes.mkv", "-preset medium -bf 3 -g 6", false},  // decode order differs from display order
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    run("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=30000/1001 -frames 12 -c:v libx264 " +
        std::string(c.encoding) + " -pix_fmt yuv420p '" + path(c.name) + "'");
    VideoSource source = VideoSource::open(path(c.name));
    const SourceInfo& info = source.info();
    EXPECT_EQ(info.kind, SourceKind::Video);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(rateText(info.rate), "30000/1001");
    EXPECT_EQ(info.frameCount, 12);
    EXPECT_EQ(info.frameCountExact, c.countExact);
    EXPECT_TRUE(info.nativeYuv);
    EXPECT_EQ(info.codec, "h264");
    EXPECT_FALSE(info.hasAudio);

    std::vector<Frame> frames(12);
    for (int i = 0; i < 12; ++i) {
      ASSERT_TRUE(source.read(frames[i], FrameFormat::Rgba));
      EXPECT_EQ(frames[i].index(), i);
    }
    Frame frame;
    EXPECT_FALSE(source.read(frame, FrameFormat::Rgba));
    for (const std::int64_t k : {7, 2, 11, 0, 6, 1}) {  // between key frames, backwards, the last
      source.seek(k);
      EXPECT_EQ(source.position(), k);
      ASSERT_TRUE(source.read(frame, FrameFormat::Rgba)) << k;
      EXPECT_EQ(frame.index(), k);
      EXPECT_TRUE(frame.samePixels(frames[k])) << k;
    }
    source.seek(12);
    EXPECT_FALSE(source.read(frame, FrameFormat::Rgba));
  }
}

TEST_F(SourceTest, StillImageRepeatsForTheFramesAsked) {
  run("ffmpeg -v error -f lavfi -i testsrc=size=40x30 -frames 1 -pix_fmt rgba '" + path("still.png") + "'");
  {
    VideoSource source = VideoSource::open(path("still.png"));
    EXPECT_EQ(source.info().kind, SourceKind::Still);
    EXPECT_EQ(source.info().frameCount, 250);
    EXPECT_EQ(rateText(source.info().rate), "25/1");
    EXPECT_FALSE(source.info().nativeYuv);
  }
  SourceOptions options;
  options.rate = AVRational{50, 1};
  options.frameCount = 3;
  VideoSource source = VideoSource::open(path("still.png"), options);
  EXPECT_EQ(rateText(source.info().rate), "50/1");
  Frame first, frame;
  ASSERT_TRUE(source.read(first, FrameFormat::Rgba));
  for (int i = 1; i < 3; ++i) {
    ASSERT_TRUE(source.read(frame, i == 1 ? FrameFormat::Uyvy : FrameFormat::Rgba));
    EXPECT_EQ(frame.index(), i);
  }
  EXPECT_TRUE(frame.samePixels(first));
  EXPECT_FALSE(source.read(frame, FrameFormat::Rgba));

  options.size = Size{80, 60};
  VideoSource scaled = VideoSource::open(path("still.png"), options);
  ASSERT_TRUE(scaled.read(frame, FrameFormat::Rgba));
  EXPECT_EQ(frame.width(), 80);
  EXPECT_EQ(frame.height(), 60);
}

TEST_F(SourceTest, ImageSequenceFollowsItsPattern) {
  run("ffmpeg -v error -f lavfi -i testsrc=size=40x30:rate=25 -frames 4 -start_number 1 '" + path("f%03d.png") + "'");
  EXPECT_EQ(files(), (std::vector<std::string>{"f001.png", "f002.png", "f003.png", "f004.png"}));
  SourceOptions options;
  options.rate = AVRational{24000, 1001};
  VideoSource source = VideoSource::open(path("f%03d.png"), options);
  EXPECT_EQ(source.info().kind, SourceKind::Sequence);
  EXPECT_EQ(rateText(source.info().rate), "24000/1001");
  EXPECT_EQ(source.info().frameCount, 4);

  VideoSource single = VideoSource::open(path("f003.png"));
  Frame third;
  ASSERT_TRUE(single.read(third, FrameFormat::Rgba));

  Frame frame;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(source.read(frame, FrameFormat::Rgba));
    EXPECT_EQ(frame.index(), i);
    if (i == 2) {
      EXPECT_TRUE(frame.samePixels(third));
    }
  }
  EXPECT_FALSE(source.read(frame, FrameFormat::Rgba));
}

TEST_F(SourceTest, FilesThatCannotBeReadSayWhatAndWhere) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += std::to_string(i) + "\n";
  writeText("notes.txt", text);  // FFmpeg would play this as ANSI art
  std::string noise(100000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 2654435761u >> 13);
  writeText("noise.mp4", noise);
  writeText("empty.mkv", "");
  run("ffmpeg -v error -f lavfi -i sine=duration=0.2 '" + path("tone.wav") + "'");
  run("ffmpeg -v error -f lavfi -i testsrc=size=40x30:rate=25 -frames 2 -start_number 1 '" + path("g%d.png") + "'");

  const struct {
    std::string name;
    std::string expected;
  } cases[] = {
      {"missing.mp4", "No such file or directory"},
      {"notes.txt", "not a video or image file"},
      {"noise.mp4", "not a video or image file"},
      {"empty.mkv", "not a video or image file"},
      {"tone.wav", "has no video stream"},
      {"h%04d.png", "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      VideoSource::open(path(c.name));
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("'" + path(c.name) + "'"), std::string::npos) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    }
  }
}

TEST_F(SourceTest, FramesCarryTheirTimestampsAndASeekLandsOnTheKthShownFrame) {
  // B-frames (stored out of the order shown) and a variable rate: 25 fps for ten frames, then
  // 10 fps. Frame k is the k-th picture shown, at its own timestamp, however it is reached.
  run("ffmpeg -v error -f lavfi -i testsrc2=s=64x48:r=25 -t 2 -vf \"setpts='if(lt(N,10),N*0.04,0.4+(N-10)*0.1)/TB'\" "
      "-fps_mode passthrough -c:v libx264 -preset ultrafast -bf 2 -tune film '" + path("vfr.mp4") + "'");
  VideoSource source = VideoSource::open(path("vfr.mp4"));
  const SourceInfo& info = source.info();
  std::vector<std::int64_t> stamps;
  std::vector<std::vector<std::uint8_t>> pictures;
  Frame frame;
  while (source.read(frame, FrameFormat::Rgba)) {
    EXPECT_EQ(frame.index(), static_cast<std::int64_t>(stamps.size()));
    stamps.push_back(frame.timestamp());
    pictures.emplace_back(frame.row(0), frame.row(0) + frame.rowBytes() * 8);
    const double seconds = static_cast<double>(frame.timestamp() - info.firstTimestamp) * av_q2d(info.timeBase);
    EXPECT_NEAR(frame.time(), seconds * av_q2d(info.rate), 1e-6) << "render time = timestamp x rate";
  }
  EXPECT_EQ(source.damage(), "");
  ASSERT_GT(stamps.size(), 20u);
  EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()));
  EXPECT_NEAR(static_cast<double>(stamps[12] - stamps[0]) * av_q2d(info.timeBase), 0.6, 0.001);
  for (std::int64_t k : {17, 3, 12, 0, 11}) {
    SCOPED_TRACE(k);
    source.seek(k);
    ASSERT_TRUE(source.read(frame, FrameFormat::Rgba));
    EXPECT_EQ(frame.index(), k);
    EXPECT_EQ(frame.timestamp(), stamps[static_cast<std::size_t>(k)]);
    EXPECT_TRUE(std::equal(frame.row(0), frame.row(0) + frame.rowBytes() * 8, pictures[static_cast<std::size_t>(k)].begin()));
  }
  source.seek(static_cast<std::int64_t>(stamps.size()));
  EXPECT_FALSE(source.read(frame, FrameFormat::Rgba));
}

TEST_F(SourceTest, FramesAnEditListHidesAreNeitherCountedNorRead) {
  run("ffmpeg -v error -f lavfi -i testsrc2=s=64x48:r=25 -t 2 -c:v libx264 -preset ultrafast -g 100 '" + path("a.mp4") + "'");
  run("ffmpeg -v error -ss 0.5 -i '" + path("a.mp4") + "' -c copy '" + path("cut.mp4") + "'");
  // ffprobe shows the frames the edit list keeps; the index holds those before it as well.
  const std::int64_t shown = std::stoll(testing::probe(path("cut.mp4"))["nb_read_frames"]);
  ASSERT_LT(shown, 50);
  VideoSource source = VideoSource::open(path("cut.mp4"));
  EXPECT_EQ(source.info().frameCount, shown);
  Frame frame;
  std::int64_t read = 0;
  while (source.read(frame, FrameFormat::Rgba)) ++read;
  EXPECT_EQ(read, shown);
}

TEST_F(SourceTest, AMatroskaFileCutBetweenClustersSaysWhereReadingStopped) {
  // One cluster a second; the file keeps its first two and its header still declares 6 s.
  run("ffmpeg -v error -f lavfi -i testsrc2=s=64x48:r=25 -t 6 -c:v libx264 -preset ultrafast -g 25 '" +
      path("whole.mkv") + "'");
  std::string bytes;
  {
    std::ifstream in(path("whole.mkv"), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string cluster = "\x1f\x43\xb6\x75";
  std::size_t third = bytes.find(cluster);
  for (int i = 0; i < 2 && third != std::string::npos; ++i) third = bytes.find(cluster, third + 1);
  ASSERT_NE(third, std::string::npos);
  { std::ofstream(path("cut.mkv"), std::ios::binary) << bytes.substr(0, third); }

  const auto readAll = [](const std::string& file, std::int64_t& count) {
    VideoSource source = VideoSource::open(file);
    Frame frame;
    count = 0;
    while (source.read(frame, FrameFormat::Rgba)) ++count;
    return source.damage();
  };
  std::int64_t count = 0;
  EXPECT_EQ(readAll(path("whole.mkv"), count), "");
  EXPECT_EQ(count, 150);
  const std::string damage = readAll(path("cut.mkv"), count);
  EXPECT_EQ(count, 50);
  EXPECT_NE(damage.find("reading stopped at frame 50 (the file ends 4.00 s before"), std::string::npos) << damage;
}

TEST(SequencePattern, Recognition) {
  const std::pair<const char*, bool> cases[] = {
      {"frames/%04d.png", true}, {"%d.png", true},      {"a%3d.png", true},  {"100%%.png", false},
      {"100%%%d.png", true},     {"x.png", false},      {"%s.png", false},   {"50%.png", false},
      {"%", false},              {"%04x.png", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(isSequencePattern(text), expected) << text;
}

}  // namespace
}  // namespace zel::media
