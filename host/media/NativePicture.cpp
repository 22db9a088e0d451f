#include "NativePicture.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

#include "Error.h"

namespace zel::media {

using namespace detail;

namespace {

constexpr std::uint64_t kUnkeptFlags = AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                                       AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;

bool hasAlpha(const AVPixFmtDescriptor& d) { return (d.flags & AV_PIX_FMT_FLAG_ALPHA) != 0; }

/// Stores one sample of component `comp` at (x, y) of that component's plane (chroma planes
/// count in chroma samples). Samples of more than 8 bits are 16-bit words, possibly shifted up
/// (p010) or big-endian.
void putSample(AVFrame& f, const AVPixFmtDescriptor& d, int comp, int x, int y, int value) {
  const AVComponentDescriptor& c = d.comp[comp];
  std::uint8_t* p = f.data[c.plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[c.plane] +
                    static_cast<std::ptrdiff_t>(x) * c.step + c.offset;
  if (c.depth <= 8) {
    *p = static_cast<std::uint8_t>(value);
    return;
  }
  const unsigned word = static_cast<unsigned>(value) << c.shift;
  if ((d.flags & AV_PIX_FMT_FLAG_BE) != 0) {
    p[0] = static_cast<std::uint8_t>(word >> 8);
    p[1] = static_cast<std::uint8_t>(word & 0xFF);
  } else {
    p[0] = static_cast<std::uint8_t>(word & 0xFF);
    p[1] = static_cast<std::uint8_t>(word >> 8);
  }
}

/// The working pixel at (x, y) as R', G', B' in 0..255, and its alpha (255 for 4:2:2).
Rgb workingColour(const Frame& frame, int x, int y, int& alpha) {
  const std::uint8_t* row = frame.row(y);
  if (frame.format() == FrameFormat::Rgba) {
    const std::uint8_t* p = row + 4 * x;
    alpha = p[3];
    return Rgb{double(p[0]), double(p[1]), double(p[2])};
  }
  const std::uint8_t* pair = row + 4 * (x / 2);
  alpha = 255;
  const bool second = x % 2 != 0;
  if (frame.format() == FrameFormat::Uyvy) return rgbOfWorkingYuv(pair[second ? 3 : 1], pair[0], pair[2]);
  return rgbOfWorkingYuv(pair[second ? 2 : 0], pair[1], pair[3]);
}

bool sameColour(const Rgb& a, const Rgb& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

/// The conversions of the last colour seen: a clock has few colours, and its long runs of one
/// colour (a face, a box) then cost a comparison a pixel. The results are the conversion's own.
class ColourMemo {
public:
  explicit ColourMemo(const SampleCoding& coding) : m_coding(coding) {}

  /// Luma, or R', G', B' for R'G'B' pictures.
  void samples(const Rgb& colour, int (&out)[3]) {
    if (!m_haveSamples || !sameColour(colour, m_samplesOf)) {
      if (m_coding.model == SampleCoding::Model::Rgb) {
        rgbSamples(m_coding, colour, m_samples[0], m_samples[1], m_samples[2]);
      } else {
        m_samples[0] = lumaSample(m_coding, colour);
      }
      m_samplesOf = colour;
      m_haveSamples = true;
    }
    std::copy(std::begin(m_samples), std::end(m_samples), std::begin(out));
  }

  void chroma(const Rgb& colour, double& cb, double& cr) {
    if (!m_haveChroma || !sameColour(colour, m_chromaOf)) {
      chromaValues(m_coding, colour, m_cb, m_cr);
      m_chromaOf = colour;
      m_haveChroma = true;
    }
    cb = m_cb;
    cr = m_cr;
  }

private:
  const SampleCoding& m_coding;
  bool m_haveSamples = false, m_haveChroma = false;
  Rgb m_samplesOf, m_chromaOf;
  int m_samples[3] = {};
  double m_cb = 0, m_cr = 0;
};

/// Chroma row of luma row y. Interlaced 4:2:0 subsamples each field on its own: chroma row 2k
/// belongs to the top field's lines 4k and 4k + 2, row 2k + 1 to the bottom field's 4k + 1, 4k + 3.
int chromaRowOf(int y, int log2h, bool byField) {
  if (byField && log2h == 1) return ((y >> 2) << 1) | (y & 1);
  return y >> log2h;
}

/// The luma rows that share chroma row cy: `count` rows from `first`, `step` apart.
void lumaRowsOf(int cy, int log2h, bool byField, int& first, int& count, int& step) {
  if (byField && log2h == 1) {
    first = (cy >> 1) * 4 + (cy & 1);
    count = 2;
    step = 2;
    return;
  }
  first = cy << log2h;
  count = 1 << log2h;
  step = 1;
}

}  // namespace

bool keepsNativeSamples(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (d == nullptr || (d->flags & kUnkeptFlags) != 0 || d->nb_components < 1) return false;
  if (std::string_view(d->name).rfind("xyz", 0) == 0) return false;
  if (d->log2_chroma_w > 2 || d->log2_chroma_h > 2) return false;
  for (int i = 0; i < d->nb_components; ++i) {
    const AVComponentDescriptor& c = d->comp[i];
    if (c.depth != d->comp[0].depth) return false;
    const bool byte = c.depth == 8 && c.shift == 0 && c.step >= 1;
    const bool word = c.depth > 8 && c.depth + c.shift <= 16 && c.step >= 2;
    if (!byte && !word) return false;
    // No byte may hold bits of two components (x2rgb10 packs three into one word).
    const int bytes = c.depth > 8 ? 2 : 1;
    for (int j = 0; j < i; ++j) {
      const AVComponentDescriptor& o = d->comp[j];
      if (o.plane == c.plane && c.offset < o.offset + bytes && o.offset < c.offset + bytes) return false;
    }
  }
  return sws_isSupportedInput(format) > 0 && sws_isSupportedOutput(format) > 0;
}

std::optional<PictureColour> nativeColourOf(const AVCodecContext& decoder) {
  if (!keepsNativeSamples(decoder.pix_fmt)) return std::nullopt;
  PictureColour colour;
  colour.format = decoder.pix_fmt;
  bool fullRange = decoder.color_range == AVCOL_RANGE_JPEG;
  normaliseRange(decoder.pix_fmt, fullRange);
  colour.range = fullRange ? AVCOL_RANGE_JPEG : decoder.color_range;
  colour.matrix = decoder.colorspace;
  colour.primaries = decoder.color_primaries;
  colour.transfer = decoder.color_trc;
  return colour;
}

SampleCoding sampleCodingOf(const PictureShape& shape) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(shape.format);
  SampleCoding coding;
  if (d == nullptr) return coding;
  coding.depth = d->comp[0].depth;
  coding.fullRange = shape.fullRange;
  coding.weights = lumaWeightsOf(shape.colorspace);
  if ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0) {
    coding.model = SampleCoding::Model::Rgb;
  } else {
    coding.model = d->nb_components - (hasAlpha(*d) ? 1 : 0) >= 3 ? SampleCoding::Model::Yuv : SampleCoding::Model::Gray;
  }
  return coding;
}

// ---------------------------------------------------------------------------------------------

void WorkingCopyMaker::make(const AVFrame& picture, const PictureShape& shape, Frame& frame) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  if (!keepsNativeSamples(format)) {
    frame.dropNative();
    m_toWorking.toFrame(picture, shape, frame);
    return;
  }
  NativePicture& native = frame.nativeHolder();
  native.valid = false;
  AVFrame& kept = *native.picture;
  av_frame_unref(&kept);
  PictureShape keptShape = shape;
  keptShape.width = frame.width();
  keptShape.height = frame.height();
  if (picture.width == frame.width() && picture.height == frame.height()) {
    if (av_frame_ref(&kept, &picture) < 0) throw std::bad_alloc();
  } else {
    kept.format = format;
    kept.width = frame.width();
    kept.height = frame.height();
    if (av_frame_get_buffer(&kept, 0) < 0) throw std::bad_alloc();
    if (av_frame_copy_props(&kept, &picture) < 0) throw std::bad_alloc();
    m_resize.convert(shape, picture.data, picture.linesize, keptShape, kept.data, kept.linesize);
  }
  native.shape = keptShape;
  native.valid = true;

  m_toWorking.toFrame(kept, keptShape, frame);
}

// ---------------------------------------------------------------------------------------------

void NativeWriteBack::before(Frame& frame) {
  const NativePicture* native = frame.native();
  m_kept = native != nullptr;
  if (!m_kept) return;
  if (isYuv422(frame.format())) {
    // The plug-in's 4:2:2 formula blends full-range values with BT.601 weights: the picture
    // goes there through R'G'B', whatever its own matrix and range, and comes back the same way.
    const int width = frame.width(), height = frame.height();
    m_rgba.allocate(width, height, FrameFormat::Rgba);
    m_toRgba.toFrame(*native->picture, native->shape, m_rgba);
    const PictureShape rgba{width, height, AV_PIX_FMT_RGBA, AVCOL_SPC_UNSPECIFIED, true, native->shape.interlaced};
    const PictureShape working{width, height, toAvPixelFormat(frame.format()), AVCOL_SPC_SMPTE170M, true,
                               native->shape.interlaced};
    const std::uint8_t* planes[4] = {m_rgba.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(m_rgba.stride()), 0, 0, 0};
    std::uint8_t* target[4] = {frame.data(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
    m_toYuv422.convert(rgba, planes, strides, working, target, targetStrides);
  }
  m_pristine.allocate(frame.width(), frame.height(), frame.format());
  const std::size_t bytes = frame.rowBytes();
  for (int y = 0; y < frame.height(); ++y) std::memcpy(m_pristine.row(y), frame.row(y), bytes);
}

void NativeWriteBack::makeWritable(AVFrame& picture) {
  if (av_frame_is_writable(&picture) != 0) return;
  // The decoder still holds this picture as a reference: write into a copy of our own. The copy's
  // memory is kept for the next frame of this slot once the encoder has let go of it, since
  // fresh memory for every frame costs more in page faults than the copy itself.
  AVFrame& own = *m_own;
  const bool reusable = own.buf[0] != nullptr && av_frame_is_writable(&own) != 0 && own.format == picture.format &&
                        own.width == picture.width && own.height == picture.height;
  if (!reusable) {
    av_frame_unref(&own);
    own.format = picture.format;
    own.width = picture.width;
    own.height = picture.height;
    if (av_frame_get_buffer(&own, 0) < 0) throw std::bad_alloc();
  }
  if (av_frame_copy(&own, &picture) < 0 || av_frame_copy_props(&own, &picture) < 0) {
    throw Error("cannot copy a decoded picture");
  }
  av_frame_unref(&picture);
  if (av_frame_ref(&picture, &own) < 0) throw std::bad_alloc();
}

void NativeWriteBack::after(Frame& frame) {
  NativePicture* native = frame.native();
  if (!m_kept || native == nullptr) return;
  m_kept = false;
  const int width = frame.width();
  const int height = frame.height();
  if (m_pristine.width() != width || m_pristine.height() != height || m_pristine.format() != frame.format()) {
    throw Error("internal error: a frame changed size while the effect rendered it");
  }

  // Which pixels changed: compared in 4-byte units, a pixel of RGBA or a pair of 4:2:2 (whose two
  // pixels then both count as changed, since they share their chroma).
  const int unitPixels = frame.format() == FrameFormat::Rgba ? 1 : 2;
  const int units = width / unitPixels;
  m_first.assign(static_cast<std::size_t>(height), 0);
  m_end.assign(static_cast<std::size_t>(height), 0);
  m_changed.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  bool any = false;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* now = frame.row(y);
    const std::uint8_t* was = m_pristine.row(y);
    if (std::memcmp(now, was, frame.rowBytes()) == 0) continue;
    std::uint8_t* mask = m_changed.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    const auto unit = [](const std::uint8_t* row, int u) {
      std::uint32_t value;
      std::memcpy(&value, row + 4 * u, 4);
      return value;
    };
    // The row differs somewhere, so both scans stop inside it.
    int first = 0;
    while (unit(now, first) == unit(was, first)) ++first;
    int last = units - 1;
    while (unit(now, last) == unit(was, last)) --last;
    for (int u = first; u <= last; ++u) {
      const std::uint8_t differs = unit(now, u) != unit(was, u) ? 1 : 0;
      for (int p = 0; p < unitPixels; ++p) mask[u * unitPixels + p] = differs;
    }
    m_first[static_cast<std::size_t>(y)] = first * unitPixels;
    m_end[static_cast<std::size_t>(y)] = (last + 1) * unitPixels;
    any = true;
  }
  if (!any) return;

  AVFrame& picture = *native->picture;
  makeWritable(picture);
  const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  const SampleCoding coding = sampleCodingOf(native->shape);
  const int alphaComponent = hasAlpha(d) && frame.format() == FrameFormat::Rgba ? d.nb_components - 1 : -1;
  const bool byField = native->shape.interlaced;
  ColourMemo memo(coding);

  for (int y = 0; y < height; ++y) {
    const int end = m_end[static_cast<std::size_t>(y)];
    const std::uint8_t* mask = m_changed.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = m_first[static_cast<std::size_t>(y)]; x < end; ++x) {
      if (mask[x] == 0) continue;
      int alpha = 255;
      int samples[3] = {};
      memo.samples(workingColour(frame, x, y, alpha), samples);
      const int count = coding.model == SampleCoding::Model::Rgb ? 3 : 1;
      for (int c = 0; c < count; ++c) putSample(picture, d, c, x, y, samples[c]);
      if (alphaComponent >= 0) putSample(picture, d, alphaComponent, x, y, alphaSample(coding, alpha));
    }
  }
  if (coding.model != SampleCoding::Model::Yuv) return;

  // Chroma: every chroma sample that a changed pixel shares is made again from the working
  // colours of all the pixels it covers.
  const int log2w = d.log2_chroma_w;
  const int log2h = d.log2_chroma_h;
  const int chromaWidth = -((-width) >> log2w);
  const int chromaHeight = -((-height) >> log2h);
  // All zero between calls: every site marked below is cleared again when it is done.
  m_chromaChanged.resize(static_cast<std::size_t>(chromaWidth) * static_cast<std::size_t>(chromaHeight), 0);
  int cxFirst = chromaWidth, cxEnd = 0, cyFirst = chromaHeight, cyEnd = 0;
  for (int y = 0; y < height; ++y) {
    const int end = m_end[static_cast<std::size_t>(y)];
    const std::uint8_t* mask = m_changed.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    const int cy = chromaRowOf(y, log2h, byField);
    for (int x = m_first[static_cast<std::size_t>(y)]; x < end; ++x) {
      if (mask[x] == 0) continue;
      m_chromaChanged[static_cast<std::size_t>(cy) * chromaWidth + (x >> log2w)] = 1;
      cxFirst = std::min(cxFirst, x >> log2w);
      cxEnd = std::max(cxEnd, (x >> log2w) + 1);
      cyFirst = std::min(cyFirst, cy);
      cyEnd = std::max(cyEnd, cy + 1);
    }
  }
  for (int cy = cyFirst; cy < cyEnd; ++cy) {
    int firstRow = 0, rowCount = 0, rowStep = 0;
    lumaRowsOf(cy, log2h, byField, firstRow, rowCount, rowStep);
    for (int cx = cxFirst; cx < cxEnd; ++cx) {
      std::uint8_t& marked = m_chromaChanged[static_cast<std::size_t>(cy) * chromaWidth + cx];
      if (marked == 0) continue;
      marked = 0;
      double cbSum = 0, crSum = 0;
      int n = 0;
      for (int i = 0; i < rowCount; ++i) {
        const int y = firstRow + i * rowStep;
        if (y >= height) break;
        for (int x = cx << log2w; x < std::min(width, (cx + 1) << log2w); ++x) {
          int alpha = 255;
          double cb = 0, cr = 0;
          memo.chroma(workingColour(frame, x, y, alpha), cb, cr);
          cbSum += cb;
          crSum += cr;
          ++n;
        }
      }
      if (n == 0) continue;
      putSample(picture, d, 1, cx, cy, chromaSample(coding, cbSum / n));
      putSample(picture, d, 2, cx, cy, chromaSample(coding, crSum / n));
    }
  }
}

}  // namespace zel::media
