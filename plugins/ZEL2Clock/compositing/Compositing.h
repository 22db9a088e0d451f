// Blending the drawn clock (the off-screen bitmap) into the host's output image.
//
// The bitmap holds straight (not premultiplied) B, G, R, A bytes, rows of width * 4 bytes; its
// alpha is the drawn coverage, 0 where nothing was drawn. Host rows arrive one at a time, so the
// API works per row, with a frame loop on top that also skips what was never drawn.
//
// Arithmetic, exactly (all divisions truncate):
// - RGB with alpha: for a = bitmap alpha, each colour c = (in * (255 - a)) / 255 + (s * a) / 255
//   and the output alpha is a; where a == 0 the input pixel is copied, alpha included.
// - Y'CbCr 4:2:2, per pixel pair: when pixel 0 is transparent the pair is copied. Otherwise the
//   first luma, Cb and Cr come from pixel 0 (weights in 256ths, chroma clamped to 0..255) and the
//   second luma from pixel 1 (weights 0.299, 0.587, 0.114), each mixed as
//   trunc(V * alpha / 255 + (in * (255 - alpha)) / 255) in double precision.
//
// Every row function accepts in == out (in place) and gives the same bytes as with separate rows.
// Only the four component bytes of each pixel (pair) are written; other bytes of the host's pixel
// stay as they were. The ...Reference functions are the formula as written, kept as the yardstick
// that the fast versions are tested against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zel2clock {

/// Byte offsets of the host's RGBA components within a pixel, and the bytes from one pixel to the
/// next.
struct RgbaLayout {
  std::uint32_t offR = 0, offG = 1, offB = 2, offA = 3;
  std::uint32_t pixelStep = 4;
};

/// Byte offsets of the host's 4:2:2 components within a pixel pair, and the bytes from one pair to
/// the next.
struct Yuv422Layout {
  std::uint32_t offY0 = 0, offY1 = 2, offCb = 1, offCr = 3;
  std::uint32_t pairStep = 4;
};

inline constexpr RgbaLayout kLayoutRGBA{0, 1, 2, 3, 4};
inline constexpr RgbaLayout kLayoutBGRA{2, 1, 0, 3, 4};
inline constexpr Yuv422Layout kLayoutUYVY{1, 3, 0, 2, 4};
inline constexpr Yuv422Layout kLayoutYUY2{0, 2, 1, 3, 4};

/// One row of `width` pixels: bitmapRow is width * 4 bytes, in and out `width` pixels of the
/// layout. in == out is allowed.
void CompositeRowRGBA(const std::uint8_t* bitmapRow, const std::uint8_t* in, std::uint8_t* out,
                      std::uint32_t width, const RgbaLayout& layout);
void CompositeRowRGBAReference(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                               std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout);

/// One row of `width` pixels in pairs: in and out hold (width + 1) / 2 pairs. An odd width's last
/// pair reads only its first bitmap pixel and takes the missing second one as transparent (its
/// second luma is copied from the input). in == out is allowed.
void CompositeRowYuv422(const std::uint8_t* bitmapRow, const std::uint8_t* in, std::uint8_t* out,
                        std::uint32_t width, const Yuv422Layout& layout);
void CompositeRowYuv422Reference(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                                 std::uint8_t* out, std::uint32_t width,
                                 const Yuv422Layout& layout);

struct DrawnRect;

/// The pixel pairs of a backdrop (see CompositeFrame) that need no blending, found once for one
/// packed 4:2:2 layout. A pair whose two pixels are opaque comes out the same over any picture (at
/// alpha 255 the input's share of every byte vanishes): it is composited here once and a frame
/// copies it, two bytes a pixel instead of four read and a formula. A pair whose first pixel is
/// transparent is the input's pair. Only the pairs between those runs (the face's edge) blend.
struct OpaquePairs {
  Yuv422Layout layout;
  std::uint32_t pairsPerRow = 0;
  std::vector<std::uint8_t> pairs;     ///< pairsPerRow x 4 bytes a backdrop row, in `layout`
  /// Runs of pairs, row after row, three numbers each: first pair, end pair, and 1 for opaque
  /// pairs (copied from `pairs`) or 0 for pairs of the input.
  std::vector<std::uint32_t> runs;
  std::vector<std::uint32_t> rowRuns;  ///< where each row's runs start in `runs`; one more at the end
};

/// The rectangle of the bitmap that may hold drawn pixels, [left, right) x [top, bottom) in bitmap
/// pixels (the platform's RECT convention). Outside it every bitmap byte is 0.
struct DrawnRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

/// A frame to composite: the bitmap and which output rows to process. Output row r reads bitmap
/// row r, so that a field shows the clock where the whole frame would.
struct CompositeFrame {
  const std::uint8_t* bitmap = nullptr;  ///< width * height * 4 bytes; null: nothing is written
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t firstRow = 0;  ///< 0 or 1
  std::uint32_t rowStep = 1;   ///< 1, or 2 for one field
  /// Where the bitmap may be non-zero; null means the whole bitmap. Rows and columns outside it
  /// are copied from the input (left alone in place) without reading the bitmap.
  const DrawnRect* drawn = nullptr;
  /// A drawing kept from before that stands for the bitmap wherever `drawn` does not reach (the
  /// bitmap is zero there): rows of (backdropRect.right - backdropRect.left) * 4 bytes for bitmap
  /// rows [backdropRect.top, backdropRect.bottom), its columns from backdropRect.left. Null: none.
  /// With 4:2:2 every column edge of `drawn` and of `backdropRect` must be even (or the width),
  /// so that no pixel pair takes its two pixels from two sources.
  const std::uint8_t* backdrop = nullptr;
  DrawnRect backdropRect;
  /// 4:2:2 only: the backdrop's opaque pairs made for the layout composited with (MakeOpaquePairs).
  const OpaquePairs* opaquePairs = nullptr;
};

/// The opaque pairs of a backdrop of `rect` (rows of (rect.right - rect.left) * 4 bytes, the
/// left column even) for `layout`; empty (no pairs per row) for a layout that is not four packed
/// bytes.
OpaquePairs MakeOpaquePairs(const std::uint8_t* backdrop, const DrawnRect& rect, const Yuv422Layout& layout);

namespace detail {

/// The span of pixels of one processed row that must be blended: [begin, end), empty when the row
/// has nothing drawn. Columns outside it are copied.
struct RowSpan {
  std::uint32_t begin = 0, end = 0;
};

/// Columns of bitmap row `row` that may hold drawn pixels.
RowSpan DrawnSpan(const CompositeFrame& f, std::uint32_t row);

/// A stretch [begin, end) of a row and where its bitmap pixels come from: `source` points at
/// pixel `begin`'s four bytes; null where the row is transparent.
struct RowPiece {
  std::uint32_t begin = 0, end = 0;
  const std::uint8_t* source = nullptr;
  bool kept = false;  ///< the source is the backdrop
};

/// A backdrop piece of bitmap row `row` in 4:2:2: the opaque pairs copied, the rest blended.
void CompositeKeptYuv422(const CompositeFrame& f, std::uint32_t row, const RowPiece& piece, const std::uint8_t* in,
                         std::uint8_t* out, const Yuv422Layout& layout);

/// The pieces of bitmap row `row` of a frame with a backdrop, in order, covering [0, width):
/// the bitmap inside `drawn`, the backdrop elsewhere inside its rectangle, nothing else. Returns
/// how many (at most 5).
int RowPieces(const CompositeFrame& f, std::uint32_t row, RowPiece (&pieces)[5]);

/// Copies pixels [begin, end) of a row from in to out (nothing when in == out).
void CopyPixelsRGBA(const std::uint8_t* in, std::uint8_t* out, std::uint32_t begin,
                    std::uint32_t end, const RgbaLayout& layout);
/// Copies pairs [begin, end) of a row from in to out (nothing when in == out).
void CopyPairsYuv422(const std::uint8_t* in, std::uint8_t* out, std::uint32_t begin,
                     std::uint32_t end, const Yuv422Layout& layout);

/// The fast row paths by instruction set, exposed so tests can hold each one to the reference
/// whatever the machine would pick. The AVX2 ones may only be called when HasAvx2().
bool HasAvx2();
void CompositeRowRGBA_SSE2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                           std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout);
void CompositeRowRGBA_AVX2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                           std::uint8_t* out, std::uint32_t width, const RgbaLayout& layout);
void CompositeRowYuv422_SSE2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                             std::uint8_t* out, std::uint32_t width, const Yuv422Layout& layout);
void CompositeRowYuv422_AVX2(const std::uint8_t* bitmapRow, const std::uint8_t* in,
                             std::uint8_t* out, std::uint32_t width, const Yuv422Layout& layout);

/// The integer forms the fast 4:2:2 path uses, exposed for the exhaustive tests.
/// First luma, Cb and Cr of a colour, each times 256 (Cb, Cr offset and clamped to 0..65280).
std::uint32_t FirstLuma256(std::uint32_t r, std::uint32_t g, std::uint32_t b);
std::uint32_t Cb256(std::uint32_t r, std::uint32_t g, std::uint32_t b);
std::uint32_t Cr256(std::uint32_t r, std::uint32_t g, std::uint32_t b);
/// trunc(v256 / 256 * a / 255 + (in * (255 - a)) / 255) for a value in 256ths.
std::uint8_t Mix256(std::uint32_t v256, std::uint32_t a, std::uint32_t in);
/// The second luma of a pair mixed over `in` by its own alpha a (1..255).
std::uint8_t MixSecondLuma(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a,
                           std::uint32_t in);

}  // namespace detail

/// The host's rows of a frame: in[k] and out[k] are the input and output addresses of the k-th
/// processed row, output row firstRow + k * rowStep (they may be equal). Rows beyond either span
/// are not processed.
struct FrameRows {
  std::span<const std::uint8_t* const> in;
  std::span<std::uint8_t* const> out;
};

/// Composites the processed rows of a frame.
inline void CompositeFrameRGBA(const CompositeFrame& f, const RgbaLayout& layout, const FrameRows& rows) {
  if (f.bitmap == nullptr || f.rowStep == 0) return;
  const std::size_t stride = std::size_t{f.width} * 4;
  const std::size_t count = std::min(rows.in.size(), rows.out.size());
  std::uint32_t r = f.firstRow;
  for (std::size_t k = 0; k < count && r < f.height; ++k, r += f.rowStep) {
    const std::uint8_t* in = rows.in[k];
    std::uint8_t* out = rows.out[k];
    if (f.backdrop != nullptr) {
      detail::RowPiece pieces[5];
      const int n = detail::RowPieces(f, r, pieces);
      const std::size_t step = layout.pixelStep;
      for (int i = 0; i < n; ++i) {
        const detail::RowPiece& p = pieces[i];
        if (p.source == nullptr)
          detail::CopyPixelsRGBA(in, out, p.begin, p.end, layout);
        else
          CompositeRowRGBA(p.source, in + p.begin * step, out + p.begin * step, p.end - p.begin, layout);
      }
      continue;
    }
    const detail::RowSpan span = detail::DrawnSpan(f, r);
    if (span.begin >= span.end) {
      detail::CopyPixelsRGBA(in, out, 0, f.width, layout);
      continue;
    }
    const std::size_t step = layout.pixelStep;
    detail::CopyPixelsRGBA(in, out, 0, span.begin, layout);
    CompositeRowRGBA(f.bitmap + r * stride + std::size_t{span.begin} * 4,
                     in + span.begin * step, out + span.begin * step, span.end - span.begin,
                     layout);
    detail::CopyPixelsRGBA(in, out, span.end, f.width, layout);
  }
}

/// The same for 4:2:2: pairs whose first pixel lies outside the drawn rectangle are copied.
inline void CompositeFrameYuv422(const CompositeFrame& f, const Yuv422Layout& layout, const FrameRows& rows) {
  if (f.bitmap == nullptr || f.rowStep == 0) return;
  const std::size_t stride = std::size_t{f.width} * 4;
  const std::uint32_t pairs = (f.width + 1) / 2;
  const std::size_t count = std::min(rows.in.size(), rows.out.size());
  std::uint32_t r = f.firstRow;
  for (std::size_t k = 0; k < count && r < f.height; ++k, r += f.rowStep) {
    const std::uint8_t* in = rows.in[k];
    std::uint8_t* out = rows.out[k];
    if (f.backdrop != nullptr) {
      // Every piece starts on a pair; one that ends on the odd width's last pixel ends a pair.
      detail::RowPiece pieces[5];
      const int n = detail::RowPieces(f, r, pieces);
      const std::size_t step = layout.pairStep;
      for (int i = 0; i < n; ++i) {
        const detail::RowPiece& p = pieces[i];
        if (p.source == nullptr)
          detail::CopyPairsYuv422(in, out, p.begin / 2, (p.end + 1) / 2, layout);
        else if (p.kept && f.opaquePairs != nullptr && f.opaquePairs->pairsPerRow != 0)
          detail::CompositeKeptYuv422(f, r, p, in, out, layout);
        else
          CompositeRowYuv422(p.source, in + p.begin / 2 * step, out + p.begin / 2 * step, p.end - p.begin, layout);
      }
      continue;
    }
    const detail::RowSpan span = detail::DrawnSpan(f, r);
    // Pair p starts at pixel 2p; only pairs whose first pixel may be drawn are blended.
    const std::uint32_t firstPair = (span.begin + 1) / 2;
    const std::uint32_t endPair = (span.end + 1) / 2;
    if (firstPair >= endPair) {
      detail::CopyPairsYuv422(in, out, 0, pairs, layout);
      continue;
    }
    const std::size_t step = layout.pairStep;
    detail::CopyPairsYuv422(in, out, 0, firstPair, layout);
    const std::uint32_t x0 = firstPair * 2;
    const std::uint32_t pixels = std::min(endPair * 2, f.width) - x0;
    CompositeRowYuv422(f.bitmap + r * stride + std::size_t{x0} * 4, in + firstPair * step,
                       out + firstPair * step, pixels, layout);
    detail::CopyPairsYuv422(in, out, endPair, pairs, layout);
  }
}

}  // namespace zel2clock
