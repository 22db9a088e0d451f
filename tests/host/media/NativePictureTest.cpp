// The decoded picture kept beside the plug-in's working frame: the sample arithmetic, which
// formats are kept, and the write-back that touches exactly the samples of changed pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media/NativePicture.h"
#include "media/SampleCoding.h"

namespace zel::media {
namespace {

using detail::PictureShape;

constexpr int kW = 16;
constexpr int kH = 8;

SampleCoding yuv(int depth, bool fullRange, LumaWeights weights) {
  SampleCoding c;
  c.model = SampleCoding::Model::Yuv;
  c.depth = depth;
  c.fullRange = fullRange;
  c.weights = weights;
  return c;
}

TEST(SampleCodingTest, ColoursLandOnTheLevelsOfTheirMatrixRangeAndDepth) {
  const LumaWeights bt601 = lumaWeightsOf(AVCOL_SPC_SMPTE170M);
  const LumaWeights bt709 = lumaWeightsOf(AVCOL_SPC_BT709);
  struct Case {
    const char* name;
    SampleCoding coding;
    Rgb colour;
    int y, cb, cr;
  } cases[] = {
      {"white, 8-bit video range", yuv(8, false, bt709), {255, 255, 255}, 235, 128, 128},
      {"black, 8-bit video range", yuv(8, false, bt709), {0, 0, 0}, 16, 128, 128},
      {"white, 10-bit video range", yuv(10, false, bt709), {255, 255, 255}, 940, 512, 512},
      {"black, 10-bit video range", yuv(10, false, bt709), {0, 0, 0}, 64, 512, 512},
      {"white, 8-bit full range", yuv(8, true, bt601), {255, 255, 255}, 255, 128, 128},
      {"black, 8-bit full range", yuv(8, true, bt601), {0, 0, 0}, 0, 128, 128},
      {"red, BT.601 video range", yuv(8, false, bt601), {255, 0, 0}, 81, 90, 240},
      {"red, BT.709 video range", yuv(8, false, bt709), {255, 0, 0}, 63, 102, 240},
      {"blue, BT.709 video range", yuv(8, false, bt709), {0, 0, 255}, 32, 240, 118},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double cb = 0, cr = 0;
    chromaValues(c.coding, c.colour, cb, cr);
    EXPECT_EQ(lumaSample(c.coding, c.colour), c.y);
    EXPECT_EQ(chromaSample(c.coding, cb), c.cb);
    EXPECT_EQ(chromaSample(c.coding, cr), c.cr);
  }
  // Unknown matrices are BT.601, as the scaler takes them.
  EXPECT_EQ(lumaWeightsOf(AVCOL_SPC_UNSPECIFIED).kr, bt601.kr);

  SampleCoding rgb10;
  rgb10.model = SampleCoding::Model::Rgb;
  rgb10.depth = 10;
  int r = 0, g = 0, b = 0;
  rgbSamples(rgb10, {255, 128, 0}, r, g, b);
  EXPECT_EQ(r, 1023);
  EXPECT_EQ(g, 514);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(alphaSample(rgb10, 255), 1023);

  // The plug-in's 4:2:2 working values are full range: its white and black are RGB's.
  const Rgb white = rgbOfWorkingYuv(255, 128, 128);
  const Rgb black = rgbOfWorkingYuv(0, 128, 128);
  EXPECT_DOUBLE_EQ(white.r + white.g + white.b, 3 * 255.0);
  EXPECT_DOUBLE_EQ(black.r + black.g + black.b, 0.0);
}

TEST(SampleCodingTest, FormatsWithByteAlignedSamplesAreKept) {
  const std::pair<AVPixelFormat, bool> cases[] = {
      {AV_PIX_FMT_YUV420P, true},      {AV_PIX_FMT_YUVJ420P, true},  {AV_PIX_FMT_YUV422P10LE, true},
      {AV_PIX_FMT_YUV444P12LE, true},  {AV_PIX_FMT_YUVA420P, true},  {AV_PIX_FMT_NV12, true},
      {AV_PIX_FMT_P010LE, true},       {AV_PIX_FMT_RGB24, true},     {AV_PIX_FMT_RGBA, true},
      {AV_PIX_FMT_GBRP10LE, true},     {AV_PIX_FMT_RGB48BE, true},   {AV_PIX_FMT_GRAY8, true},
      {AV_PIX_FMT_YUYV422, true},      {AV_PIX_FMT_PAL8, false},     {AV_PIX_FMT_MONOWHITE, false},
      {AV_PIX_FMT_RGB565LE, false},    {AV_PIX_FMT_GRAYF32LE, false}, {AV_PIX_FMT_X2RGB10LE, false},
  };
  for (const auto& [format, kept] : cases) EXPECT_EQ(keepsNativeSamples(format), kept) << av_get_pix_fmt_name(format);
}

// ---------------------------------------------------------------------------------------------

/// A busy kW x kH picture in `format` (planar Y'CbCr), video range, BT.709.
detail::AvFramePtr busyPicture(AVPixelFormat format) {
  detail::AvFramePtr picture = detail::makeAvFrame();
  picture->format = format;
  picture->width = kW;
  picture->height = kH;
  EXPECT_EQ(av_frame_get_buffer(picture.get(), 0), 0);
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  const int bytes = d->comp[0].depth > 8 ? 2 : 1;
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane == 0 ? kW : kW >> d->log2_chroma_w;
    const int h = plane == 0 ? kH : kH >> d->log2_chroma_h;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int value = (plane == 0 ? 40 + 9 * x + 13 * y : 60 + 5 * x - 3 * y + 20 * plane) << (bytes == 2 ? 2 : 0);
        std::uint8_t* p = picture->data[plane] + y * picture->linesize[plane] + x * bytes;
        p[0] = static_cast<std::uint8_t>(value & 0xFF);
        if (bytes == 2) p[1] = static_cast<std::uint8_t>(value >> 8);
      }
    }
  }
  picture->colorspace = AVCOL_SPC_BT709;
  picture->color_range = AVCOL_RANGE_MPEG;
  return picture;
}

/// Every sample of one plane, as integers.
std::vector<int> planeSamples(const AVFrame& picture, int plane) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  const int bytes = d->comp[0].depth > 8 ? 2 : 1;
  const int w = plane == 0 ? picture.width : picture.width >> d->log2_chroma_w;
  const int h = plane == 0 ? picture.height : picture.height >> d->log2_chroma_h;
  std::vector<int> samples;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = picture.data[plane] + y * picture.linesize[plane] + x * bytes;
      samples.push_back(bytes == 2 ? p[0] | p[1] << 8 : p[0]);
    }
  }
  return samples;
}

PictureShape shapeOf(AVPixelFormat format, bool interlaced) {
  return PictureShape{kW, kH, format, AVCOL_SPC_BT709, false, interlaced};
}

// A clock pixel changed in the working frame changes its own luma and the chroma sample it shares,
// and nothing else: on 4:2:0 progressive and field by field, 4:2:2, 8 and 10 bits, through RGBA
// and through the plug-in's 4:2:2 picture.
TEST(NativeWriteBackTest, OnlyTheSamplesOfChangedPixelsAreWritten) {
  struct Case {
    const char* name;
    AVPixelFormat format;
    bool interlaced;
    FrameFormat working;
    int x, y;                 ///< the pixel made white
    int chromaX, chromaY;     ///< the chroma sample it shares
    int white;
  } cases[] = {
      {"4:2:0 progressive, RGBA", AV_PIX_FMT_YUV420P, false, FrameFormat::Rgba, 5, 2, 2, 1, 235},
      {"4:2:0 interlaced, RGBA", AV_PIX_FMT_YUV420P, true, FrameFormat::Rgba, 5, 2, 2, 0, 235},
      {"4:2:0 interlaced, bottom field", AV_PIX_FMT_YUV420P, true, FrameFormat::Rgba, 5, 7, 2, 3, 235},
      {"4:2:2 10-bit, RGBA", AV_PIX_FMT_YUV422P10LE, false, FrameFormat::Rgba, 9, 6, 4, 6, 940},
      {"4:2:2 10-bit, UYVY", AV_PIX_FMT_YUV422P10LE, false, FrameFormat::Uyvy, 8, 3, 4, 3, 940},
      {"4:2:0, YUY2", AV_PIX_FMT_YUV420P, false, FrameFormat::Yuy2, 2, 5, 1, 2, 235},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const detail::AvFramePtr decoded = busyPicture(c.format);
    const std::vector<int> lumaBefore = planeSamples(*decoded, 0);
    const std::vector<int> cbBefore = planeSamples(*decoded, 1);

    WorkingCopyMaker maker;
    NativeWriteBack writeBack;
    Frame frame;
    frame.allocate(kW, kH, c.working);
    maker.make(*decoded, shapeOf(c.format, c.interlaced), frame);
    ASSERT_NE(frame.native(), nullptr);

    writeBack.before(frame);
    if (c.working == FrameFormat::Rgba) {
      std::memset(frame.row(c.y) + 4 * c.x, 255, 4);
    } else {
      // The whole pair white, in the plug-in's full-range values: both pixels change.
      std::uint8_t* pair = frame.row(c.y) + 4 * (c.x / 2);
      const bool uyvy = c.working == FrameFormat::Uyvy;
      pair[uyvy ? 1 : 0] = pair[uyvy ? 3 : 2] = 255;
      pair[uyvy ? 0 : 1] = pair[uyvy ? 2 : 3] = 128;
    }
    writeBack.after(frame);

    const AVFrame& written = *frame.native()->picture;
    const std::vector<int> luma = planeSamples(written, 0);
    const std::vector<int> cb = planeSamples(written, 1);
    const int pairStart = c.working == FrameFormat::Rgba ? c.x : c.x & ~1;
    const int pairEnd = c.working == FrameFormat::Rgba ? c.x + 1 : pairStart + 2;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const bool changed = y == c.y && x >= pairStart && x < pairEnd;
        EXPECT_EQ(luma[y * kW + x], changed ? c.white : lumaBefore[y * kW + x]) << "luma " << x << "," << y;
      }
    }
    const int chromaWidth = kW >> av_pix_fmt_desc_get(c.format)->log2_chroma_w;
    for (std::size_t i = 0; i < cb.size(); ++i) {
      const bool shared = static_cast<int>(i) == c.chromaY * chromaWidth + c.chromaX;
      if (shared) {
        EXPECT_NE(cb[i], cbBefore[i]) << "the shared chroma sample was not made again";
      } else {
        EXPECT_EQ(cb[i], cbBefore[i]) << "chroma sample " << i % chromaWidth << "," << i / chromaWidth;
      }
    }
    // The decoder's own picture is never written.
    EXPECT_EQ(planeSamples(*decoded, 0), lumaBefore);
  }
}

// The rows the plug-in said it can change are all that is kept and compared: a change inside them
// comes back exactly as with the whole frame compared, a row outside them is taken as it was.
TEST(NativeWriteBackTest, OnlyTheChangeableRowsAreKeptAndCompared) {
  const detail::AvFramePtr decoded = busyPicture(AV_PIX_FMT_YUV420P);
  const auto render = [&](std::optional<RowBand> band) {
    WorkingCopyMaker maker;
    NativeWriteBack writeBack;
    Frame frame;
    frame.allocate(kW, kH, FrameFormat::Rgba);
    maker.make(*decoded, shapeOf(AV_PIX_FMT_YUV420P, false), frame);
    writeBack.before(frame, band);
    std::memset(frame.row(3) + 4 * 5, 255, 8);  // two pixels inside the band
    std::memset(frame.row(6) + 4 * 9, 255, 4);  // one below it
    writeBack.after(frame);
    const AVFrame& written = *frame.native()->picture;
    return std::vector<std::vector<int>>{planeSamples(written, 0), planeSamples(written, 1), planeSamples(written, 2)};
  };
  const auto whole = render(std::nullopt);
  const auto banded = render(RowBand{2, 5});
  const std::vector<int> lumaBefore = planeSamples(*decoded, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int i = y * kW + x;
      EXPECT_EQ(banded[0][i], y == 6 ? lumaBefore[i] : whole[0][i]) << "luma " << x << "," << y;
    }
  EXPECT_NE(whole[0][6 * kW + 9], lumaBefore[6 * kW + 9]);
  // Chroma row 1 (luma rows 2 and 3) as with the whole frame; row 3 (luma 6 and 7) untouched.
  const std::vector<int> cbBefore = planeSamples(*decoded, 1);
  for (int x = 0; x < kW / 2; ++x) {
    EXPECT_EQ(banded[1][1 * kW / 2 + x], whole[1][1 * kW / 2 + x]) << x;
    EXPECT_EQ(banded[1][3 * kW / 2 + x], cbBefore[3 * kW / 2 + x]) << x;
  }
}

// A frame whose pixels are owed gets them made only around the changeable rows, and there they
// are the bytes of the whole picture's conversion: at the top, in the middle and at the bottom,
// progressive and field by field, through RGBA and through the plug-in's 4:2:2 picture.
TEST(NativeWriteBackTest, RowsMadeAroundTheChangeableOnesAreThoseOfTheWholePicture) {
  const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE,
                                   AV_PIX_FMT_NV12,    AV_PIX_FMT_P010LE,     AV_PIX_FMT_YUV444P,
                                   AV_PIX_FMT_YUVA420P, AV_PIX_FMT_GBRP,      AV_PIX_FMT_GRAY10LE,
                                   AV_PIX_FMT_YUV410P, AV_PIX_FMT_YUV411P,    AV_PIX_FMT_YUV440P};
  const RowBand bands[] = {{0, 3}, {131, 145}, {137, 138}, {266, 272}};
  constexpr int kWide = 64, kTall = 272;
  for (const AVPixelFormat format : formats) {
    detail::AvFramePtr decoded = detail::makeAvFrame();
    decoded->format = format;
    decoded->width = kWide;
    decoded->height = kTall;
    ASSERT_EQ(av_frame_get_buffer(decoded.get(), 0), 0);
    std::uint32_t seed = 777;
    for (int plane = 0; plane < 4 && decoded->buf[plane] != nullptr; ++plane)
      for (std::size_t i = 0; i < decoded->buf[plane]->size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        decoded->buf[plane]->data[i] = static_cast<std::uint8_t>(seed >> 24);
      }
    for (const bool interlaced : {false, true}) {
      // The plug-in's own matrix reaches 4:2:2 by another way than BT.709 does.
      for (const auto& [working, matrix] : {std::pair{FrameFormat::Rgba, AVCOL_SPC_BT709},
                                           std::pair{FrameFormat::Uyvy, AVCOL_SPC_BT709},
                                           std::pair{FrameFormat::Yuy2, AVCOL_SPC_BT709},
                                           std::pair{FrameFormat::Uyvy, AVCOL_SPC_SMPTE170M}}) {
        std::string trace(av_get_pix_fmt_name(format));
        trace.append(interlaced ? ", interlaced, " : ", ").append(toString(working)).append(", ");
        SCOPED_TRACE(trace.append(av_color_space_name(matrix)));
        PictureShape shape{kWide, kTall, format, matrix, false, interlaced};
        WorkingCopyMaker wholeMaker;
        NativeWriteBack wholeWriteBack;
        Frame whole;
        whole.allocate(kWide, kTall, working);
        wholeMaker.make(*decoded, shape, whole);
        wholeWriteBack.before(whole);
        ASSERT_FALSE(whole.pixelsOwed());

        WorkingCopyMaker maker;
        maker.deferPixels(true);
        NativeWriteBack writeBack;
        for (const RowBand band : bands) {
          Frame owed;
          owed.allocate(kWide, kTall, working);
          std::memset(owed.data(), 0x5A, owed.stride() * kTall);
          maker.make(*decoded, shape, owed);
          ASSERT_TRUE(owed.pixelsOwed());
          writeBack.before(owed, band);
          // The changeable rows and the four around them whose pixels share chroma with theirs.
          for (int y = std::max(0, band.first - 4); y < std::min(kTall, band.end + 4); ++y)
            ASSERT_EQ(std::memcmp(owed.row(y), whole.row(y), whole.rowBytes()), 0) << "row " << y << " of band "
                                                                                   << band.first << "-" << band.end;
          // Far from the band nothing was made.
          const int far = band.first < kTall / 2 ? kTall - 1 : 0;
          EXPECT_EQ(owed.row(far)[0], 0x5A);
          writeBack.after(owed);
        }
      }
    }
  }
}

// The plug-in's 4:2:2 picture is full range whatever the input's range and matrix: video-range
// black and white become 0 and 255; a frame the plug-in leaves alone leaves its native picture
// alone.
TEST(NativeWriteBackTest, FourTwoTwoWorkingPictureIsFullRange) {
  detail::AvFramePtr decoded = busyPicture(AV_PIX_FMT_YUV422P);
  for (int x = 0; x < kW; ++x) {
    decoded->data[0][x] = x < kW / 2 ? 16 : 235;
  }
  for (int plane = 1; plane < 3; ++plane) std::memset(decoded->data[plane], 128, kW / 2);
  const std::vector<int> lumaBefore = planeSamples(*decoded, 0);

  for (const AVColorSpace matrix : {AVCOL_SPC_BT709, AVCOL_SPC_SMPTE170M}) {
    SCOPED_TRACE(av_color_space_name(matrix));
    WorkingCopyMaker maker;
    NativeWriteBack writeBack;
    Frame frame;
    frame.allocate(kW, kH, FrameFormat::Uyvy);
    maker.make(*decoded, PictureShape{kW, kH, AV_PIX_FMT_YUV422P, matrix, false, false}, frame);
    writeBack.before(frame);
    // UYVY: the luma of pixel x is byte 2x + 1, its pair's Cb byte 4 (x / 2).
    EXPECT_EQ(frame.row(0)[1], 0);
    EXPECT_EQ(frame.row(0)[2 * (kW / 2 - 1) + 1], 0);
    EXPECT_EQ(frame.row(0)[2 * (kW / 2) + 1], 255);
    EXPECT_EQ(frame.row(0)[0], 128);
    writeBack.after(frame);
    EXPECT_EQ(planeSamples(*frame.native()->picture, 0), lumaBefore);
  }
}

// ---------------------------------------------------------------------------------------------

/// One sample of component `comp` at (x, y) of its plane, whatever the layout.
int sampleAt(const AVFrame& picture, int comp, int x, int y) {
  std::uint32_t value = 0;
  av_read_image_line2(&value, const_cast<const std::uint8_t**>(picture.data), picture.linesize,
                      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format)), x, y, comp, 1, 0, 4);
  return static_cast<int>(value);
}

/// The working pixel's colour, as the plain arithmetic reads it.
Rgb workingRgb(const Frame& frame, int x, int y, int& alpha) {
  const std::uint8_t* row = frame.row(y);
  alpha = 255;
  if (frame.format() == FrameFormat::Rgba) {
    alpha = row[4 * x + 3];
    return Rgb{double(row[4 * x]), double(row[4 * x + 1]), double(row[4 * x + 2])};
  }
  const std::uint8_t* pair = row + 4 * (x / 2);
  const bool uyvy = frame.format() == FrameFormat::Uyvy;
  const int luma = uyvy ? pair[x % 2 != 0 ? 3 : 1] : pair[x % 2 != 0 ? 2 : 0];
  return rgbOfWorkingYuv(luma, uyvy ? pair[0] : pair[1], uyvy ? pair[2] : pair[3]);
}

// Every sample the write-back stores is the one the plain conversion gives for its pixel: luma or
// R'G'B' and alpha per changed pixel, chroma as the rounded mean of the site's pixels. The clock
// is played by a few colours in runs and a few thousand scattered colours (more than the
// write-back remembers at once), over 8- and 10-bit, planar and packed, with and without alpha,
// one format after another through the same write-back.
TEST(NativeWriteBackTest, WrittenSamplesAreThePlainConversionOfEachPixel) {
  struct Case {
    AVPixelFormat format;
    FrameFormat working;
    AVColorSpace matrix;
    bool fullRange;
  } cases[] = {
      {AV_PIX_FMT_YUV420P, FrameFormat::Rgba, AVCOL_SPC_BT709, false},
      {AV_PIX_FMT_YUV420P, FrameFormat::Uyvy, AVCOL_SPC_BT709, false},
      {AV_PIX_FMT_YUV422P10LE, FrameFormat::Rgba, AVCOL_SPC_BT2020_NCL, false},
      {AV_PIX_FMT_YUV422P10LE, FrameFormat::Yuy2, AVCOL_SPC_BT709, false},
      {AV_PIX_FMT_YUVA420P, FrameFormat::Rgba, AVCOL_SPC_SMPTE170M, false},
      {AV_PIX_FMT_YUV444P, FrameFormat::Rgba, AVCOL_SPC_BT709, true},
      {AV_PIX_FMT_NV12, FrameFormat::Rgba, AVCOL_SPC_BT709, false},
      {AV_PIX_FMT_P010LE, FrameFormat::Uyvy, AVCOL_SPC_BT709, false},
      {AV_PIX_FMT_GBRP, FrameFormat::Rgba, AVCOL_SPC_UNSPECIFIED, true},
      {AV_PIX_FMT_RGBA64BE, FrameFormat::Rgba, AVCOL_SPC_UNSPECIFIED, true},
      {AV_PIX_FMT_GRAY10LE, FrameFormat::Rgba, AVCOL_SPC_UNSPECIFIED, true},
  };
  constexpr int kWide = 96, kTall = 64;
  // One slot for every case: what the write-back remembers of one picture's coding must not
  // answer for the next.
  NativeWriteBack writeBack;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(av_get_pix_fmt_name(c.format)) + " through " + std::string(toString(c.working)));
    detail::AvFramePtr decoded = detail::makeAvFrame();
    decoded->format = c.format;
    decoded->width = kWide;
    decoded->height = kTall;
    ASSERT_EQ(av_frame_get_buffer(decoded.get(), 0), 0);
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    for (int plane = 0; plane < 4 && decoded->buf[plane] != nullptr; ++plane) {
      for (std::size_t i = 0; i < decoded->buf[plane]->size; ++i) decoded->buf[plane]->data[i] = static_cast<std::uint8_t>(next());
    }
    const PictureShape shape{kWide, kTall, c.format, c.matrix, c.fullRange, false};
    const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(c.format);
    const SampleCoding coding = sampleCodingOf(shape);
    const int colourSamples = coding.model == SampleCoding::Model::Rgb ? 3 : 1;
    const bool alpha = (d.flags & AV_PIX_FMT_FLAG_ALPHA) != 0 && c.working == FrameFormat::Rgba;

    WorkingCopyMaker maker;
    Frame frame;
    frame.allocate(kWide, kTall, c.working);
    maker.make(*decoded, shape, frame);
    ASSERT_NE(frame.native(), nullptr);
    writeBack.before(frame);
    Frame pristine;
    pristine.copyFrom(frame);
    // Runs of a few colours in the top half, scattered single colours in the bottom half.
    const std::uint32_t palette[] = {0xFF323232u, 0xFF808080u, 0x80FFFFFFu, 0xFF000000u, 0x40102030u};
    const int unitBytes = 4;
    const int units = static_cast<int>(frame.rowBytes()) / unitBytes;
    for (int y = 0; y < kTall; ++y) {
      for (int u = 0; u < units; ++u) {
        std::uint32_t value;
        if (y < kTall / 2) {
          if (u < 3 || u > units - 4) continue;
          value = palette[(u / 7 + y / 5) % std::size(palette)];
        } else {
          if (next() % 3 == 0) continue;
          value = next() | 0x01000000u;
        }
        std::memcpy(frame.row(y) + unitBytes * u, &value, unitBytes);
      }
    }
    writeBack.after(frame);

    const AVFrame& written = *frame.native()->picture;
    const int unitPixels = c.working == FrameFormat::Rgba ? 1 : 2;
    const auto changed = [&](int x, int y) {
      const std::size_t at = static_cast<std::size_t>(x / unitPixels) * unitBytes;
      return std::memcmp(frame.row(y) + at, pristine.row(y) + at, unitBytes) != 0;
    };
    int mismatches = 0;
    for (int y = 0; y < kTall; ++y) {
      for (int x = 0; x < kWide; ++x) {
        int a = 255;
        const Rgb colour = workingRgb(frame, x, y, a);
        int expected[4] = {};
        if (coding.model == SampleCoding::Model::Rgb) {
          rgbSamples(coding, colour, expected[0], expected[1], expected[2]);
        } else {
          expected[0] = lumaSample(coding, colour);
        }
        for (int comp = 0; comp < colourSamples; ++comp) {
          const int want = changed(x, y) ? expected[comp] : sampleAt(*decoded, comp, x, y);
          mismatches += sampleAt(written, comp, x, y) != want;
        }
        if (alpha) {
          const int want = changed(x, y) ? alphaSample(coding, a) : sampleAt(*decoded, d.nb_components - 1, x, y);
          mismatches += sampleAt(written, d.nb_components - 1, x, y) != want;
        }
      }
    }
    if (coding.model == SampleCoding::Model::Yuv) {
      const int sw = 1 << d.log2_chroma_w, sh = 1 << d.log2_chroma_h;
      for (int cy = 0; cy < kTall / sh; ++cy) {
        for (int cx = 0; cx < kWide / sw; ++cx) {
          bool any = false;
          double cbSum = 0, crSum = 0;
          for (int y = cy * sh; y < (cy + 1) * sh; ++y) {
            for (int x = cx * sw; x < (cx + 1) * sw; ++x) {
              any = any || changed(x, y);
              int a = 255;
              double cb = 0, cr = 0;
              chromaValues(coding, workingRgb(frame, x, y, a), cb, cr);
              cbSum += cb;
              crSum += cr;
            }
          }
          const int n = sw * sh;
          mismatches += sampleAt(written, 1, cx, cy) != (any ? chromaSample(coding, cbSum / n) : sampleAt(*decoded, 1, cx, cy));
          mismatches += sampleAt(written, 2, cx, cy) != (any ? chromaSample(coding, crSum / n) : sampleAt(*decoded, 2, cx, cy));
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// The plug-in's 4:2:2 picture made from 8-bit 4:2:2 of its matrix holds every sample value taken
// to full range as fullRangeLuma and fullRangeChroma say (or as it is at full range), whichever
// of its loops packs it: each value at each place of a pair, in rows whose pairs do not fill the
// wide loop.
TEST(NativeWriteBackTest, EveryVideoRangeSampleReachesTheWorkingPictureAtFullRange) {
  constexpr int kWide = 2 * (256 + 7), kTall = 2;
  detail::AvFramePtr decoded = detail::makeAvFrame();
  decoded->format = AV_PIX_FMT_YUV422P;
  decoded->width = kWide;
  decoded->height = kTall;
  ASSERT_EQ(av_frame_get_buffer(decoded.get(), 0), 0);
  for (int y = 0; y < kTall; ++y)
    for (int x = 0; x < kWide; ++x) {
      decoded->data[0][y * decoded->linesize[0] + x] = static_cast<std::uint8_t>(x / 2 + y * (x % 2 == 0 ? 0 : 128));
      if (x < kWide / 2) {
        decoded->data[1][y * decoded->linesize[1] + x] = static_cast<std::uint8_t>(x + 3 * y);
        decoded->data[2][y * decoded->linesize[2] + x] = static_cast<std::uint8_t>(255 - x);
      }
    }
  for (const bool fullRange : {false, true})
    for (const FrameFormat working : {FrameFormat::Uyvy, FrameFormat::Yuy2}) {
      SCOPED_TRACE(std::string(fullRange ? "full range, " : "video range, ") + std::string(toString(working)));
      WorkingCopyMaker maker;
      maker.deferPixels(true);
      NativeWriteBack writeBack;
      Frame frame;
      frame.allocate(kWide, kTall, working);
      maker.make(*decoded, PictureShape{kWide, kTall, AV_PIX_FMT_YUV422P, AVCOL_SPC_SMPTE170M, fullRange, false}, frame);
      writeBack.before(frame, RowBand{0, kTall});
      const bool uyvy = working == FrameFormat::Uyvy;
      const auto luma = [&](int v) { return fullRange ? v : fullRangeLuma(v); };
      const auto chroma = [&](int v) { return fullRange ? v : fullRangeChroma(v); };
      int mismatches = 0;
      for (int y = 0; y < kTall; ++y)
        for (int p = 0; p < kWide / 2; ++p) {
          const std::uint8_t* pair = frame.row(y) + 4 * p;
          const std::uint8_t* plane0 = decoded->data[0] + y * decoded->linesize[0];
          mismatches += pair[uyvy ? 1 : 0] != luma(plane0[2 * p]);
          mismatches += pair[uyvy ? 3 : 2] != luma(plane0[2 * p + 1]);
          mismatches += pair[uyvy ? 0 : 1] != chroma(decoded->data[1][y * decoded->linesize[1] + p]);
          mismatches += pair[uyvy ? 2 : 3] != chroma(decoded->data[2][y * decoded->linesize[2] + p]);
        }
      EXPECT_EQ(mismatches, 0);
      writeBack.after(frame);
    }
  // The ends of video range are the ends of full range; no value lies outside it.
  EXPECT_EQ(fullRangeLuma(16), 0);
  EXPECT_EQ(fullRangeLuma(235), 255);
  EXPECT_EQ(fullRangeChroma(16), 0);
  EXPECT_EQ(fullRangeChroma(128), 128);
  EXPECT_EQ(fullRangeChroma(240), 255);
}

// A picture of the matrix the plug-in's 4:2:2 formula uses takes the plug-in's samples one for
// one, changed in range and depth only: every working value of luma and chroma, 8 and 10 bits,
// full and video range, progressive and field by field; 4:2:0 takes the mean of a site's two
// pairs. Pairs left alone keep their decoded samples.
TEST(NativeWriteBackTest, TheWorkingMatrixTakesThePlugInsSamplesOneForOne) {
  struct Case {
    AVPixelFormat format;
    bool fullRange;
    bool interlaced;
    FrameFormat working;
  } cases[] = {
      {AV_PIX_FMT_YUV422P, true, false, FrameFormat::Uyvy},     {AV_PIX_FMT_YUV422P, false, true, FrameFormat::Uyvy},
      {AV_PIX_FMT_YUV422P, false, false, FrameFormat::Yuy2},    {AV_PIX_FMT_YUV422P10LE, true, true, FrameFormat::Yuy2},
      {AV_PIX_FMT_YUV422P10LE, false, false, FrameFormat::Uyvy}, {AV_PIX_FMT_YUV420P, true, false, FrameFormat::Uyvy},
      {AV_PIX_FMT_YUV420P10LE, false, true, FrameFormat::Uyvy},
  };
  constexpr int kWide = 256, kTall = 8;
  NativeWriteBack writeBack;
  for (const Case& c : cases) {
    std::string trace(av_get_pix_fmt_name(c.format));
    trace.append(c.fullRange ? ", full range" : ", video range").append(c.interlaced ? ", by field, " : ", ");
    SCOPED_TRACE(trace.append(toString(c.working)));
    const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(c.format);
    detail::AvFramePtr decoded = detail::makeAvFrame();
    decoded->format = c.format;
    decoded->width = kWide;
    decoded->height = kTall;
    ASSERT_EQ(av_frame_get_buffer(decoded.get(), 0), 0);
    for (int plane = 0; plane < 4 && decoded->buf[plane] != nullptr; ++plane)
      for (std::size_t i = 0; i < decoded->buf[plane]->size; ++i)
        decoded->buf[plane]->data[i] = static_cast<std::uint8_t>(i * 37 % 200 + (d.comp[0].depth > 8 ? 0 : 20)) &
                                       (d.comp[0].depth > 8 && i % 2 != 0 ? 0x03 : 0xFF);
    const PictureShape shape{kWide, kTall, c.format, AVCOL_SPC_SMPTE170M, c.fullRange, c.interlaced};

    WorkingCopyMaker maker;
    Frame frame;
    frame.allocate(kWide, kTall, c.working);
    maker.make(*decoded, shape, frame);
    writeBack.before(frame);
    // Rows 2 and 3 (one chroma site row of 4:2:0, both fields) and row 6: pair p holds luma p and
    // 255 - p, Cb p, Cr 255 - p, every value; pairs from 120 to 135 are left alone in row 6.
    const bool uyvy = c.working == FrameFormat::Uyvy;
    const auto changedPair = [](int y, int p) { return y == 2 || y == 3 || (y == 6 && (p < 120 || p >= 136)); };
    for (int y = 0; y < kTall; ++y)
      for (int p = 0; p < kWide / 2; ++p) {
        if (!changedPair(y, p)) continue;
        const int v = 2 * p + (y == 3 ? 1 : 0);
        std::uint8_t* pair = frame.row(y) + 4 * p;
        pair[uyvy ? 1 : 0] = static_cast<std::uint8_t>(v);
        pair[uyvy ? 3 : 2] = static_cast<std::uint8_t>(255 - v);
        pair[uyvy ? 0 : 1] = static_cast<std::uint8_t>(v);
        pair[uyvy ? 2 : 3] = static_cast<std::uint8_t>(255 - v);
      }
    writeBack.after(frame);

    // The plug-in's full-range 8-bit values at the picture's range and depth.
    const int depth = d.comp[0].depth, top = (1 << depth) - 1, scale = 1 << (depth - 8);
    const auto luma = [&](int v) {
      return static_cast<int>(std::lround(c.fullRange ? v * top / 255.0 : (16 + 219 * v / 255.0) * scale));
    };
    const auto chroma = [&](double v) {
      return c.fullRange ? (1 << (depth - 1)) + (v - 128) * top / 255.0 : (128 + 224 * (v - 128) / 255.0) * scale;
    };
    const AVFrame& written = *frame.native()->picture;
    int mismatches = 0;
    for (int y = 0; y < kTall; ++y)
      for (int x = 0; x < kWide; ++x) {
        const int v = 2 * (x / 2) + (y == 3 ? 1 : 0);
        const int want = !changedPair(y, x / 2) ? sampleAt(*decoded, 0, x, y) : luma(x % 2 == 0 ? v : 255 - v);
        mismatches += sampleAt(written, 0, x, y) != want;
      }
    for (int cy = 0; cy < kTall >> d.log2_chroma_h; ++cy)
      for (int cx = 0; cx < kWide / 2; ++cx) {
        // Progressive 4:2:0 site rows take luma rows 2k and 2k + 1; by field 4k + i and 4k + i + 2.
        const int y0 = d.log2_chroma_h == 0 ? cy : c.interlaced ? cy / 2 * 4 + cy % 2 : 2 * cy;
        const int y1 = d.log2_chroma_h == 0 ? cy : c.interlaced ? y0 + 2 : y0 + 1;
        const bool changed = changedPair(y0, cx) || changedPair(y1, cx);
        // Unchanged rows of a site read back as their full-range working values.
        double cbSum = 0, crSum = 0;
        for (const int y : {y0, y1}) {
          const std::uint8_t* pair = frame.row(y) + 4 * cx;
          cbSum += chroma(pair[uyvy ? 0 : 1]);
          crSum += chroma(pair[uyvy ? 2 : 3]);
        }
        // Full-range chroma 0 lies below the range at 10 bits (512 - 513.5): it is clamped.
        const auto sample = [&](double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, top); };
        const int wantCb = changed ? sample(cbSum / 2) : sampleAt(*decoded, 1, cx, cy);
        const int wantCr = changed ? sample(crSum / 2) : sampleAt(*decoded, 2, cx, cy);
        mismatches += sampleAt(written, 1, cx, cy) != wantCb;
        mismatches += sampleAt(written, 2, cx, cy) != wantCr;
      }
    EXPECT_EQ(mismatches, 0);
  }
}

// A picture already in the working format is copied, not converted: exactly, and when it is
// interlaced, without touching a byte past either picture (both pictures end exactly where their
// last line does, with a guard behind them).
TEST(ScalerTest, SameFormatIsCopiedExactlyAndStaysInsideThePictures) {
  for (const AVPixelFormat format : {AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUYV422, AV_PIX_FMT_RGBA}) {
    for (const bool interlaced : {false, true}) {
      SCOPED_TRACE(std::string(av_get_pix_fmt_name(format)) + (interlaced ? " interlaced" : " progressive"));
      const int stride = kW * (format == AV_PIX_FMT_RGBA ? 4 : 2);
      constexpr int kGuard = 64;
      std::vector<std::uint8_t> from(stride * kH + kGuard, 0xA5), to(stride * kH + kGuard, 0x5A);
      for (int i = 0; i < stride * kH; ++i) from[i] = static_cast<std::uint8_t>(i * 7 + 3);
      const std::uint8_t* fromPlanes[4] = {from.data(), nullptr, nullptr, nullptr};
      std::uint8_t* toPlanes[4] = {to.data(), nullptr, nullptr, nullptr};
      const int strides[4] = {stride, 0, 0, 0};
      detail::Scaler scaler;
      scaler.convert(shapeOf(format, interlaced), fromPlanes, strides, shapeOf(format, interlaced), toPlanes, strides);
      EXPECT_TRUE(std::equal(from.begin(), from.begin() + stride * kH, to.begin()));
      EXPECT_EQ(std::count(to.begin() + stride * kH, to.end(), 0x5A), kGuard) << "written past the picture";
    }
  }
}

}  // namespace
}  // namespace zel::media
