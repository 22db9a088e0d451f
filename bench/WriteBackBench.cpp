// The host's write-back of a clock into a decoded 1080p picture: the rows around the clock made
// for the plug-in, kept, compared after the drawing, and the changed pixels converted back into
// the picture's own format (through R'G'B', or one for one for 4:2:2 of the plug-in's matrix). The "clock" is a box of one colour with anti-aliased strokes through
// it, the size of the digital clock at its defaults (814 x 164 pixels at the frame's centre).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "media/NativePicture.h"

namespace {

using namespace zel::media;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kLeft = 553, kTop = 458, kRight = 1367, kBottom = 622;

detail::AvFramePtr DecodedPicture(AVPixelFormat format) {
  detail::AvFramePtr picture = detail::makeAvFrame();
  picture->format = format;
  picture->width = kWidth;
  picture->height = kHeight;
  if (av_frame_get_buffer(picture.get(), 0) < 0) throw std::bad_alloc();
  std::uint32_t seed = 99;
  for (int plane = 0; plane < 4 && picture->buf[plane] != nullptr; ++plane)
    for (std::size_t i = 0; i < picture->buf[plane]->size; ++i) {
      seed = seed * 1664525u + 1013904223u;
      picture->buf[plane]->data[i] = static_cast<std::uint8_t>(64 + (seed >> 25));
    }
  return picture;
}

/// Draws the box and its strokes into the working frame, as the plug-in would.
void DrawClock(Frame& frame, int shade) {
  for (int y = kTop; y < kBottom; ++y) {
    std::uint8_t* row = frame.row(y);
    for (int x = kLeft; x < kRight; ++x) {
      const int stroke = (x / 7 + y / 5 + shade) % 9;
      const std::uint8_t level = stroke < 2 ? static_cast<std::uint8_t>(128 + 40 * stroke) : 50;
      if (frame.format() == FrameFormat::Rgba) {
        std::uint8_t* p = row + 4 * x;
        p[0] = p[1] = p[2] = level;
        p[3] = 255;
      } else {
        row[2 * x + (frame.format() == FrameFormat::Uyvy ? 1 : 0)] = level;
      }
    }
  }
}

void BM_WriteBack(benchmark::State& state, AVPixelFormat format, FrameFormat working, AVColorSpace matrix) {
  const detail::AvFramePtr decoded = DecodedPicture(format);
  const detail::PictureShape shape{kWidth, kHeight, format, matrix, false, false};
  WorkingCopyMaker maker;
  maker.deferPixels(true);
  NativeWriteBack writeBack;
  Frame frame;
  int shade = 0;
  for (auto _ : state) {
    frame.allocate(kWidth, kHeight, working);
    maker.make(*decoded, shape, frame);
    writeBack.before(frame, RowBand{kTop, kBottom});
    DrawClock(frame, shade++);
    writeBack.after(frame);
    benchmark::DoNotOptimize(frame.native()->picture->data[0]);
  }
}

BENCHMARK_CAPTURE(BM_WriteBack, yuv420p_rgba, AV_PIX_FMT_YUV420P, FrameFormat::Rgba, AVCOL_SPC_BT709)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, yuv422p10_rgba, AV_PIX_FMT_YUV422P10LE, FrameFormat::Rgba, AVCOL_SPC_BT709)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, yuv420p_uyvy, AV_PIX_FMT_YUV420P, FrameFormat::Uyvy, AVCOL_SPC_BT709)
    ->Unit(benchmark::kMillisecond);
// The plug-in's own matrix (an untagged Y4M): its 4:2:2 samples go one for one, no R'G'B'.
BENCHMARK_CAPTURE(BM_WriteBack, yuv422p_bt601_uyvy, AV_PIX_FMT_YUV422P, FrameFormat::Uyvy, AVCOL_SPC_SMPTE170M)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteBack, yuv422p_bt601_rgba, AV_PIX_FMT_YUV422P, FrameFormat::Rgba, AVCOL_SPC_SMPTE170M)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
