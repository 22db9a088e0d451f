#include "media/Orientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "media/Error.h"

namespace zel::media {

namespace {

/// The four turns without mirroring, by quarter turns clockwise.
constexpr Orientation kTurns[4] = {
    {false, false, false},  // as coded
    {true, false, true},    // 90: the coded left column becomes the top row
    {false, true, true},    // 180
    {true, true, false},    // 270: the coded left column becomes the bottom row
};

/// Pictures are walked in square tiles so that a transpose reads and writes whole cache lines.
constexpr int kTile = 64;

#if defined(__SSE2__)
/// Reverses the order of the four pixels in a vector.
inline __m128i reversed(__m128i v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }

/// Rows become columns in a block of 4x4 pixels.
inline void transpose4(__m128i r[4]) {
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpacklo_epi32(r[2], r[3]);
  const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
  r[0] = _mm_unpacklo_epi64(t0, t1);
  r[1] = _mm_unpackhi_epi64(t0, t1);
  r[2] = _mm_unpacklo_epi64(t2, t3);
  r[3] = _mm_unpackhi_epi64(t2, t3);
}
#endif

/// Moves every RGBA pixel between the shown picture and a coded picture that holds it
/// transposed (shown x walks coded rows, shown y walks coded columns): into the shown picture
/// when kToShown, else back into the coded one. Blocks of 4x4 pixels move as four vectors.
template <bool kToShown, typename ShownPtr, typename CodedPtr>
void transposeRgba(ShownPtr shown, std::ptrdiff_t shownStride, int width, int height, CodedPtr coded,
                   std::ptrdiff_t codedStride, int codedWidth, int codedHeight, Orientation o) {
  // Where shown (x, y) lies in the coded picture, as a byte offset: a start and a step per x and y.
  const std::ptrdiff_t xStep = o.flipY ? -codedStride : codedStride;
  const std::ptrdiff_t yStep = o.flipX ? -4 : 4;
  const std::ptrdiff_t origin = (o.flipX ? std::ptrdiff_t{codedWidth - 1} * 4 : 0) +
                                (o.flipY ? std::ptrdiff_t{codedHeight - 1} * codedStride : 0);
  const auto shownAt = [&](int x, int y) { return shown + y * shownStride + std::ptrdiff_t{x} * 4; };
  const auto codedAt = [&](int x, int y) { return coded + origin + y * yStep + x * xStep; };
  const auto move = [&](int x, int y) {
    if constexpr (kToShown) {
      std::memcpy(shownAt(x, y), codedAt(x, y), 4);
    } else {
      std::memcpy(codedAt(x, y), shownAt(x, y), 4);
    }
  };
  const auto moveBlock = [&](int x, int y) {
#if defined(__SSE2__)
    // The shown pixels of column x + i, rows y..y+3, lie side by side in one coded row (right to
    // left when the coded columns are taken mirrored).
    const std::ptrdiff_t back = yStep > 0 ? 0 : 12;
    __m128i r[4];
    if constexpr (kToShown) {
      for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codedAt(x + i, y) - back));
        r[i] = yStep > 0 ? v : reversed(v);
      }
      transpose4(r);
      for (int j = 0; j < 4; ++j) _mm_storeu_si128(reinterpret_cast<__m128i*>(shownAt(x, y + j)), r[j]);
    } else {
      for (int j = 0; j < 4; ++j) r[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shownAt(x, y + j)));
      transpose4(r);
      for (int i = 0; i < 4; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(codedAt(x + i, y) - back), yStep > 0 ? r[i] : reversed(r[i]));
    }
#else
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) move(x + i, y + j);
#endif
  };
  for (int ty = 0; ty < height; ty += kTile) {
    const int yEnd = std::min(height, ty + kTile);
    for (int tx = 0; tx < width; tx += kTile) {
      const int xEnd = std::min(width, tx + kTile);
      int y = ty;
      for (; y + 4 <= yEnd; y += 4) {
        int x = tx;
        for (; x + 4 <= xEnd; x += 4) moveBlock(x, y);
        for (; x < xEnd; ++x)
          for (int j = 0; j < 4; ++j) move(x, y + j);
      }
      for (; y < yEnd; ++y)
        for (int x = tx; x < xEnd; ++x) move(x, y);
    }
  }
}

/// Mirrors one row of 4:2:2 pixel pairs left to right: the pairs in reverse order, and the two
/// luma samples of each pair swapped; the chroma the pair shares stays with it.
void mirrorPairs(const std::uint8_t* from, std::uint8_t* to, int width, FrameFormat format) {
  const int y0 = format == FrameFormat::Uyvy ? 1 : 0;
  const int pairs = width / 2;
  for (int i = 0; i < pairs; ++i) {
    const std::uint8_t* p = from + std::ptrdiff_t{pairs - 1 - i} * 4;
    std::uint8_t* q = to + std::ptrdiff_t{i} * 4;
    std::uint8_t pair[4];
    std::memcpy(pair, p, 4);
    std::swap(pair[y0], pair[y0 + 2]);
    std::memcpy(q, pair, 4);
  }
}

/// Turns a frame without a transpose: rows in reverse order, each row as it is or mirrored
/// (4:2:2 by pixel pairs). The same operation undoes itself, so it serves both directions.
void flipRows(const Frame& from, Frame& to, Orientation o) {
  const int h = from.height();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = from.row(o.flipY ? h - 1 - y : y);
    if (!o.flipX) {
      std::memcpy(to.row(y), src, from.rowBytes());
    } else if (isYuv422(from.format())) {
      mirrorPairs(src, to.row(y), from.width(), from.format());
    } else {
      const int w = from.width();
      std::uint8_t* dst = to.row(y);
      for (int x = 0; x < w; ++x) std::memcpy(dst + std::ptrdiff_t{x} * 4, src + std::ptrdiff_t{w - 1 - x} * 4, 4);
    }
  }
}

void requireTurnable(const Frame& frame, Orientation o) {
  if (!canTurn(frame.format(), o))
    throw Error("a " + std::string(toString(frame.format())) + " picture cannot be turned by a quarter turn");
}

}  // namespace

std::optional<Orientation> Orientation::fromDisplayMatrix(const std::int32_t matrix[9]) {
  // The angle clockwise, as FFmpeg reads it to turn a picture upright, in [0, 360).
  const double counterclockwise = av_display_rotation_get(matrix);
  if (std::isnan(counterclockwise)) return Orientation{};
  double theta = -std::round(counterclockwise);
  theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
  const double quarters = std::round(theta / 90);
  if (std::fabs(theta - 90 * quarters) > 1) return std::nullopt;
  // A mirrored matrix shows itself in the sign of one entry; which entry depends on the turn.
  switch (static_cast<int>(quarters) % 4) {
    case 1:
      return matrix[3] > 0 ? Orientation{true, false, false} : kTurns[1];
    case 2:
      return Orientation{false, matrix[0] < 0, matrix[4] < 0};
    case 3:
      return matrix[3] < 0 ? Orientation{true, true, true} : kTurns[3];
    default:
      return Orientation{false, false, matrix[4] < 0};
  }
}

Orientation Orientation::clockwise(int degrees) { return kTurns[((degrees / 90) % 4 + 4) % 4]; }

int Orientation::rotation() const {
  // Mirroring the coded picture left to right first flips its columns once more.
  Orientation turn = *this;
  if (mirrored()) turn.flipX = !turn.flipX;
  for (int q = 0; q < 4; ++q)
    if (kTurns[q] == turn) return q * 90;
  return 0;
}

bool canTurn(FrameFormat format, Orientation orientation) { return !isYuv422(format) || !orientation.transpose; }

void turnToShown(const Frame& coded, Frame& shown, Orientation o) {
  requireTurnable(coded, o);
  const int w = o.shownWidth(coded.width(), coded.height());
  const int h = o.shownHeight(coded.width(), coded.height());
  shown.allocate(w, h, coded.format());
  if (!o.transpose) return flipRows(coded, shown, o);
  transposeRgba<true>(shown.data(), shown.stride(), w, h, coded.data(), coded.stride(), coded.width(), coded.height(),
                      o);
}

void turnToCoded(const Frame& shown, Frame& coded, Orientation o) {
  requireTurnable(coded, o);
  if (coded.format() != shown.format() || shown.width() != o.shownWidth(coded.width(), coded.height()) ||
      shown.height() != o.shownHeight(coded.width(), coded.height()))
    throw Error("a turned picture does not fit the frame it came from");
  if (!o.transpose) return flipRows(shown, coded, o);
  transposeRgba<false>(shown.data(), shown.stride(), shown.width(), shown.height(), coded.data(), coded.stride(),
                       coded.width(), coded.height(), o);
}

}  // namespace zel::media
