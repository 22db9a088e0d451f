#include "media/NativePicture.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "media/Error.h"

namespace zel::media {

using namespace detail;

namespace {

constexpr std::uint64_t kUnkeptFlags = AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                                       AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;

bool hasAlpha(const AVPixFmtDescriptor& d) { return (d.flags & AV_PIX_FMT_FLAG_ALPHA) != 0; }

/// Where the samples of one component lie in a picture (chroma planes count in chroma samples).
/// Samples of more than 8 bits are 16-bit words, possibly shifted up (p010) or big-endian.
class SampleWriter {
public:
  SampleWriter(AVFrame& f, const AVPixFmtDescriptor& d, int comp)
      : m_data(f.data[d.comp[comp].plane] + d.comp[comp].offset),
        m_stride(f.linesize[d.comp[comp].plane]),
        m_step(d.comp[comp].step),
        m_shift(d.comp[comp].shift),
        m_wide(d.comp[comp].depth > 8),
        m_bigEndian((d.flags & AV_PIX_FMT_FLAG_BE) != 0) {}

  bool narrow() const { return !m_wide; }
  int step() const { return m_step; }

  /// Row y, for putIn: a row's samples are written without working out its address each time.
  std::uint8_t* rowOf(int y) const { return m_data + static_cast<std::ptrdiff_t>(y) * m_stride; }
  void putIn(std::uint8_t* row, int x, int value) const {
    std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * m_step;
    if (!m_wide) {
      *p = static_cast<std::uint8_t>(value);
      return;
    }
    const unsigned word = static_cast<unsigned>(value) << m_shift;
    p[m_bigEndian ? 0 : 1] = static_cast<std::uint8_t>(word >> 8);
    p[m_bigEndian ? 1 : 0] = static_cast<std::uint8_t>(word & 0xFF);
  }

private:
  std::uint8_t* m_data;
  std::ptrdiff_t m_stride;
  int m_step, m_shift;
  bool m_wide, m_bigEndian;
};

/// Working pixel x of a row of `format` as the bytes that decide its colour: R, G, B, A of RGBA,
/// or the pixel's own Y' with the Cb and Cr of its pair (alpha is 255 there).
std::uint32_t workingKey(FrameFormat format, const std::uint8_t* row, int x) {
  if (format == FrameFormat::Rgba) {
    std::uint32_t value;
    std::memcpy(&value, row + 4 * x, 4);
    return value;
  }
  const std::uint8_t* pair = row + 4 * (x / 2);
  const bool second = x % 2 != 0;
  if (format == FrameFormat::Uyvy) return pair[second ? 3 : 1] | pair[0] << 8 | pair[2] << 16;
  return pair[second ? 2 : 0] | pair[1] << 8 | pair[3] << 16;
}

/// The 4-byte unit u of a working row: a pixel of RGBA, a pair of 4:2:2.
std::uint32_t unitOf(const std::uint8_t* row, int u) {
  std::uint32_t value;
  std::memcpy(&value, row + 4 * u, 4);
  return value;
}

/// The colour of a working key as R', G', B' in 0..255, and its alpha.
Rgb colourOfKey(FrameFormat format, std::uint32_t key, int& alpha) {
  if (format == FrameFormat::Rgba) {
    std::uint8_t p[4];
    std::memcpy(p, &key, 4);
    alpha = p[3];
    return Rgb{double(p[0]), double(p[1]), double(p[2])};
  }
  alpha = 255;
  return rgbOfWorkingYuv(static_cast<int>(key & 0xFF), static_cast<int>(key >> 8 & 0xFF), static_cast<int>(key >> 16 & 0xFF));
}


/// Rows [band.first, band.end) of a 4:2:2 frame of video-range samples taken to full range.
void toFullRange(Frame& frame, RowBand band) {
  static const auto tables = [] {
    std::array<std::array<std::uint8_t, 256>, 2> t{};
    for (int v = 0; v < 256; ++v) {
      t[0][v] = static_cast<std::uint8_t>(fullRangeLuma(v));
      t[1][v] = static_cast<std::uint8_t>(fullRangeChroma(v));
    }
    return t;
  }();
  // Which table each byte of a pair takes: luma at bytes 1 and 3 of UYVY, 0 and 2 of YUY2.
  const int lumaFirst = frame.format() == FrameFormat::Uyvy ? 1 : 0;
  const std::uint8_t* byByte[4];
  for (int i = 0; i < 4; ++i) byByte[i] = tables[(i - lumaFirst) % 2 == 0 ? 0 : 1].data();
  const std::size_t bytes = frame.rowBytes();
  const std::uint8_t *t0 = byByte[0], *t1 = byByte[1], *t2 = byByte[2], *t3 = byByte[3];
  for (int y = band.first; y < band.end; ++y) {
    std::uint8_t* row = frame.row(y);
    // A pair read and written whole: byte stores into the row could alias the tables.
    for (std::size_t i = 0; i < bytes; i += 4) {
      std::uint32_t pair;
      std::memcpy(&pair, row + i, 4);
      pair = static_cast<std::uint32_t>(t0[pair & 0xFF]) | static_cast<std::uint32_t>(t1[pair >> 8 & 0xFF]) << 8 |
             static_cast<std::uint32_t>(t2[pair >> 16 & 0xFF]) << 16 | static_cast<std::uint32_t>(t3[pair >> 24]) << 24;
      std::memcpy(row + i, &pair, 4);
    }
  }
}

/// Sixteen 8-bit video-range luma samples at full range: fullRangeLuma in 16-bit lanes (the
/// division by 438 as a multiply-high by 19153 and a shift by 7, exact for every numerator here).
__m128i FullRangeLuma16(__m128i y) {
  const __m128i v = _mm_subs_epu8(y, _mm_set1_epi8(16));
  const __m128i zero = _mm_setzero_si128();
  const auto half = [&](__m128i w) {
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(w, _mm_set1_epi16(72)), _mm_set1_epi16(219));
    return _mm_add_epi16(w, _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(19153)), 7));
  };
  return _mm_packus_epi16(half(_mm_unpacklo_epi8(v, zero)), half(_mm_unpackhi_epi8(v, zero)));
}

/// Sixteen 8-bit video-range chroma samples at full range: fullRangeChroma in 16-bit lanes (the
/// division by 224 as a multiply-high by 2341 and a shift by 3).
__m128i FullRangeChroma16(__m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const auto half = [&](__m128i w) {
    const __m128i d = _mm_sub_epi16(w, _mm_set1_epi16(128));
    const __m128i negative = _mm_cmplt_epi16(d, zero);
    const __m128i a = _mm_sub_epi16(_mm_xor_si128(d, negative), negative);  // |d|
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(a, _mm_set1_epi16(31)), _mm_set1_epi16(112));
    const __m128i scaled = _mm_add_epi16(a, _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(2341)), 3));
    return _mm_add_epi16(_mm_set1_epi16(128), _mm_sub_epi16(_mm_xor_si128(scaled, negative), negative));
  };
  return _mm_packus_epi16(half(_mm_unpacklo_epi8(c, zero)), half(_mm_unpackhi_epi8(c, zero)));
}

/// Rows [band.first, band.end) of planar 8-bit 4:2:2 `picture` packed into the 4:2:2 frame, taken
/// to full range when `videoRange`: the repacking and the range in one pass, the same bytes as
/// repacking with swscale and then toFullRange.
void packFullRange422(const AVFrame& picture, bool videoRange, Frame& frame, RowBand band) {
  const bool uyvy = frame.format() == FrameFormat::Uyvy;
  const int pairs = frame.width() / 2;
  for (int y = band.first; y < band.end; ++y) {
    const std::uint8_t* luma = picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.linesize[0];
    const std::uint8_t* cb = picture.data[1] + static_cast<std::ptrdiff_t>(y) * picture.linesize[1];
    const std::uint8_t* cr = picture.data[2] + static_cast<std::ptrdiff_t>(y) * picture.linesize[2];
    std::uint8_t* out = frame.row(y);
    int p = 0;
    for (; p + 16 <= pairs; p += 16) {
      __m128i y0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + 2 * p));
      __m128i y1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + 2 * p + 16));
      __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + p));
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + p));
      if (videoRange) {
        y0 = FullRangeLuma16(y0);
        y1 = FullRangeLuma16(y1);
        u = FullRangeChroma16(u);
        v = FullRangeChroma16(v);
      }
      // Cb Cr interleaved, then with the luma: C Y C Y (UYVY) or Y C Y C (YUY2).
      const __m128i chromaLo = _mm_unpacklo_epi8(u, v), chromaHi = _mm_unpackhi_epi8(u, v);
      const auto store = [&](int at, __m128i chroma, __m128i lumas) {
        const __m128i lo = uyvy ? _mm_unpacklo_epi8(chroma, lumas) : _mm_unpacklo_epi8(lumas, chroma);
        const __m128i hi = uyvy ? _mm_unpackhi_epi8(chroma, lumas) : _mm_unpackhi_epi8(lumas, chroma);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 16), hi);
      };
      store(4 * p, chromaLo, y0);
      store(4 * p + 32, chromaHi, y1);
    }
    for (; p < pairs; ++p) {
      const int l0 = videoRange ? fullRangeLuma(luma[2 * p]) : luma[2 * p];
      const int l1 = videoRange ? fullRangeLuma(luma[2 * p + 1]) : luma[2 * p + 1];
      const int u = videoRange ? fullRangeChroma(cb[p]) : cb[p];
      const int v = videoRange ? fullRangeChroma(cr[p]) : cr[p];
      std::uint8_t* q = out + 4 * p;
      q[uyvy ? 1 : 0] = static_cast<std::uint8_t>(l0);
      q[uyvy ? 3 : 2] = static_cast<std::uint8_t>(l1);
      q[uyvy ? 0 : 1] = static_cast<std::uint8_t>(u);
      q[uyvy ? 2 : 3] = static_cast<std::uint8_t>(v);
    }
  }
}

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
  const AVColorRange range = tagOf(decoder.color_range, AVCOL_RANGE_NB, AVCOL_RANGE_UNSPECIFIED);
  bool fullRange = range == AVCOL_RANGE_JPEG;
  normaliseRange(decoder.pix_fmt, fullRange);
  colour.range = fullRange ? AVCOL_RANGE_JPEG : range;
  colour.matrix = tagOf(decoder.colorspace, AVCOL_SPC_NB, AVCOL_SPC_UNSPECIFIED);
  colour.primaries = tagOf(decoder.color_primaries, AVCOL_PRI_NB, AVCOL_PRI_UNSPECIFIED);
  colour.transfer = tagOf(decoder.color_trc, AVCOL_TRC_NB, AVCOL_TRC_UNSPECIFIED);
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
  frame.setPixelsOwed(false);
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

  if (m_defer) {
    frame.setPixelsOwed(true);
    return;
  }
  m_toWorking.toFrame(kept, keptShape, frame);
}

namespace detail {

/// The conversions of the working pixels met so far, by their working bytes: a clock has few
/// colours (a face, a box, the shades of its edges), so most pixels cost a look-up, in this frame
/// and the next ones of the same slot. Each entry holds exactly what the plain conversion gives
/// for its pixel, made on first use.
class ConversionCache {
public:
  struct Entry {
    std::uint64_t tag = 0;  ///< the key with bit 32 set; 0 for an empty entry
    bool haveSamples = false, haveChroma = false;
    int samples[3] = {};  ///< luma, or R', G', B' for R'G'B' pictures
    int alpha = 0;        ///< the alpha sample, when the picture has alpha
    double cb = 0, cr = 0;
  };

  /// Makes the cache answer for pictures of `coding`, worked on in `format`; what it remembers
  /// is kept from frame to frame while these stay the same. A 4:2:2 working picture whose
  /// matrix the coding shares maps its samples one for one (range and depth only).
  void use(const SampleCoding& coding, FrameFormat format, bool withAlpha) {
    if (!m_entries.empty() && coding == m_coding && format == m_format && withAlpha == m_withAlpha) return;
    m_coding = coding;
    m_format = format;
    m_withAlpha = withAlpha;
    m_direct = isYuv422(format) && sharesWorkingMatrix(coding);
    if (m_direct) {
      for (int v = 0; v < 256; ++v) {
        m_lumaOf[v] = lumaSampleOfWorking(coding, v);
        m_chromaOf[v] = chromaSample(coding, chromaValueOfWorking(coding, v));
      }
    }
    m_entries.assign(kEntries, Entry{});
  }

  /// True when the samples map one for one; then these give the sample of each working value.
  bool direct() const { return m_direct; }
  int lumaOf(int y) const { return m_lumaOf[y]; }
  int chromaOf(int c) const { return m_chromaOf[c]; }

  const Entry& samples(std::uint32_t key) {
    Entry& e = entry(key);
    if (!e.haveSamples && m_direct) {
      e.samples[0] = lumaSampleOfWorking(m_coding, static_cast<int>(key & 0xFF));
      e.haveSamples = true;
    }
    if (!e.haveSamples) {
      int alpha = 255;
      const Rgb colour = colourOfKey(m_format, key, alpha);
      if (m_coding.model == SampleCoding::Model::Rgb) {
        rgbSamples(m_coding, colour, e.samples[0], e.samples[1], e.samples[2]);
      } else {
        e.samples[0] = lumaSample(m_coding, colour);
      }
      if (m_withAlpha) e.alpha = alphaSample(m_coding, alpha);
      e.haveSamples = true;
    }
    return e;
  }

  const Entry& chroma(std::uint32_t key) {
    Entry& e = entry(key);
    if (!e.haveChroma && m_direct) {
      e.cb = chromaValueOfWorking(m_coding, static_cast<int>(key >> 8 & 0xFF));
      e.cr = chromaValueOfWorking(m_coding, static_cast<int>(key >> 16 & 0xFF));
      e.haveChroma = true;
    }
    if (!e.haveChroma) {
      int alpha = 255;
      chromaValues(m_coding, colourOfKey(m_format, key, alpha), e.cb, e.cr);
      e.haveChroma = true;
    }
    return e;
  }

private:
  static constexpr int kBits = 12;
  static constexpr std::size_t kEntries = std::size_t{1} << kBits;

  /// The entry of `key`, emptied first when it held another key (direct-mapped).
  Entry& entry(std::uint32_t key) {
    const std::uint64_t tag = std::uint64_t{key} | std::uint64_t{1} << 32;
    Entry& e = m_entries[(key * 2654435761u) >> (32 - kBits)];
    if (e.tag != tag) e = Entry{tag};
    return e;
  }

  SampleCoding m_coding;
  FrameFormat m_format = FrameFormat::Rgba;
  bool m_withAlpha = false;
  bool m_direct = false;
  std::array<int, 256> m_lumaOf{}, m_chromaOf{};
  std::vector<Entry> m_entries;
};

}  // namespace detail

// ---------------------------------------------------------------------------------------------

NativeWriteBack::NativeWriteBack() : m_cache(std::make_unique<detail::ConversionCache>()) {}
NativeWriteBack::~NativeWriteBack() = default;
NativeWriteBack::NativeWriteBack(NativeWriteBack&&) noexcept = default;
NativeWriteBack& NativeWriteBack::operator=(NativeWriteBack&&) noexcept = default;

void NativeWriteBack::before(Frame& frame, std::optional<RowBand> changeable) {
  const NativePicture* native = frame.native();
  m_kept = native != nullptr;
  if (!m_kept) return;
  const int width = frame.width(), height = frame.height();
  m_band = RowBand{0, height};
  if (changeable) m_band = RowBand{std::clamp(changeable->first, 0, height), std::clamp(changeable->end, 0, height)};

  // The rows whose pixels are made here: every row, except for a frame whose pixels are owed and
  // whose changeable rows are known. Those get the changeable rows with a margin, in whole runs of
  // 16 rows and at least 128 of them, so that each is converted as in the whole picture (a filter
  // reaches a few rows around, a field of 4:2:0 shares a chroma row over four, and swscale
  // shortens its filters for pictures of a few rows) and every pixel that shares a chroma sample
  // with a changed one is there for the write-back.
  constexpr int kMargin = 32, kRun = 16, kMinRows = 128;
  const bool owed = frame.pixelsOwed();
  RowBand made{0, height};
  const bool fieldsOfOddHeight = native->shape.interlaced && height % 2 != 0;
  if (owed && changeable && !fieldsOfOddHeight) {
    made = m_band.first >= m_band.end
               ? RowBand{0, 0}
               : RowBand{std::max(0, (m_band.first - kMargin) / kRun * kRun),
                         std::min(height, (m_band.end + kMargin + kRun - 1) / kRun * kRun)};
    if (made.first < made.end && made.end - made.first < kMinRows) {
      made.end = std::min(height, made.first + kMinRows);
      made.first = std::max(0, (made.end - kMinRows) / kRun * kRun);
    }
  }
  const bool direct = isYuv422(frame.format()) && sharesWorkingMatrix(sampleCodingOf(native->shape));
  if (made.first < made.end && direct) {
    // The plug-in's 4:2:2 formula blends full-range values with BT.601 weights. A picture of that
    // matrix is repacked (its own range, 8 bits) and then taken to full range: planar 8-bit 4:2:2
    // in one pass of its own, others with one swscale pass and a table (rows already made are
    // that repacking, WorkingCopyMaker's).
    if (native->shape.format == AV_PIX_FMT_YUV422P) {
      packFullRange422(*native->picture, !native->shape.fullRange, frame, made);
    } else {
      if (owed) m_toWorking.toFrameRows(*native->picture, native->shape, frame, made.first, made.end);
      if (!native->shape.fullRange) toFullRange(frame, made);
    }
  } else if (made.first < made.end && isYuv422(frame.format())) {
    // Any other matrix goes there through R'G'B', and comes back the same way.
    const int rows = made.end - made.first;
    m_rgba.allocate(width, height, FrameFormat::Rgba);
    m_toRgba.toFrameRows(*native->picture, native->shape, m_rgba, made.first, made.end);
    const PictureShape rgba{width, rows, AV_PIX_FMT_RGBA, AVCOL_SPC_UNSPECIFIED, true, native->shape.interlaced};
    const PictureShape working{width, rows, toAvPixelFormat(frame.format()), AVCOL_SPC_SMPTE170M, true,
                               native->shape.interlaced};
    const std::uint8_t* planes[4] = {m_rgba.row(made.first), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(m_rgba.stride()), 0, 0, 0};
    std::uint8_t* target[4] = {frame.row(made.first), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
    m_toYuv422.convert(rgba, planes, strides, working, target, targetStrides);
  } else if (made.first < made.end && owed) {
    m_toWorking.toFrameRows(*native->picture, native->shape, frame, made.first, made.end);
  }
  // Rows outside `made` stay owed; nothing reads them, since the native picture is written.
  if (made.first == 0 && made.end == height) frame.setPixelsOwed(false);

  m_pristine.allocate(width, height, frame.format());
  const std::size_t bytes = frame.rowBytes();
  for (int y = m_band.first; y < m_band.end; ++y) std::memcpy(m_pristine.row(y), frame.row(y), bytes);
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
  // The changed units as runs of neighbours in a row, found in one pass: whole blocks of 16 units
  // that are unchanged are skipped with memcmp on the way to the first and from the last change.
  m_runs.clear();
  constexpr int kBlock = 16;
  for (int y = m_band.first; y < m_band.end; ++y) {
    const std::uint8_t* now = frame.row(y);
    const std::uint8_t* was = m_pristine.row(y);
    if (std::memcmp(now, was, frame.rowBytes()) == 0) continue;
    int first = 0;
    while (first + kBlock <= units && std::memcmp(now + 4 * first, was + 4 * first, 4 * kBlock) == 0) first += kBlock;
    int end = units;
    while (end - kBlock >= first && std::memcmp(now + 4 * (end - kBlock), was + 4 * (end - kBlock), 4 * kBlock) == 0)
      end -= kBlock;
    for (int u = first; u < end;) {
      if (unitOf(now, u) == unitOf(was, u)) {
        ++u;
        continue;
      }
      const int start = u;
      while (u < end && unitOf(now, u) != unitOf(was, u)) ++u;
      m_runs.push_back(ChangedRun{y, start * unitPixels, u * unitPixels});
    }
  }
  if (m_runs.empty()) return;
  const FrameFormat format = frame.format();

  AVFrame& picture = *native->picture;
  makeWritable(picture);
  const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  const SampleCoding coding = sampleCodingOf(native->shape);
  const int alphaComponent = hasAlpha(d) && frame.format() == FrameFormat::Rgba ? d.nb_components - 1 : -1;
  const bool byField = native->shape.interlaced;
  detail::ConversionCache& cache = *m_cache;
  cache.use(coding, frame.format(), alphaComponent >= 0);
  const int count = coding.model == SampleCoding::Model::Rgb ? 3 : 1;
  const SampleWriter writers[3] = {SampleWriter(picture, d, 0), SampleWriter(picture, d, count > 1 ? 1 : 0),
                                   SampleWriter(picture, d, count > 2 ? 2 : 0)};
  const bool withAlpha = alphaComponent >= 0;
  const SampleWriter alphaWriter(picture, d, withAlpha ? alphaComponent : 0);

  const detail::ConversionCache::Entry* last = nullptr;
  std::uint32_t lastKey = 0;
  // The common cases in loops of their own: a luma sample of one byte from an RGBA working pixel,
  // and the luma of a 4:2:2 working pixel mapped one for one.
  const bool plainLuma = format == FrameFormat::Rgba && count == 1 && !withAlpha && writers[0].narrow();
  const int lumaByte = format == FrameFormat::Uyvy ? 1 : 0;
  for (const ChangedRun& run : m_runs) {
    const std::uint8_t* now = frame.row(run.y);
    if (cache.direct()) {
      std::uint8_t* const out = writers[0].rowOf(run.y);
      // A run covers whole pairs; luma bytes are 2 apart.
      for (int x = run.first; x < run.end; ++x) writers[0].putIn(out, x, cache.lumaOf(now[2 * x + lumaByte]));
      continue;
    }
    if (plainLuma) {
      std::uint8_t* const out = writers[0].rowOf(run.y);
      const int step = writers[0].step();
      for (int x = run.first; x < run.end; ++x) {
        const std::uint32_t key = unitOf(now, x);
        if (last == nullptr || key != lastKey) {
          last = &cache.samples(key);
          lastKey = key;
        }
        out[static_cast<std::ptrdiff_t>(x) * step] = static_cast<std::uint8_t>(last->samples[0]);
      }
      continue;
    }
    std::uint8_t* const rows[3] = {writers[0].rowOf(run.y), writers[1].rowOf(run.y), writers[2].rowOf(run.y)};
    std::uint8_t* const alphaRow = alphaWriter.rowOf(run.y);
    for (int x = run.first; x < run.end; ++x) {
      // Runs of one colour (a face, a box) skip even the look-up.
      const std::uint32_t key = workingKey(format, now, x);
      if (last == nullptr || key != lastKey) {
        last = &cache.samples(key);
        lastKey = key;
      }
      const detail::ConversionCache::Entry& e = *last;
      for (int c = 0; c < count; ++c) writers[c].putIn(rows[c], x, e.samples[c]);
      if (withAlpha) alphaWriter.putIn(alphaRow, x, e.alpha);
    }
  }
  if (coding.model != SampleCoding::Model::Yuv) return;

  // Chroma: every chroma sample that a changed pixel shares is made again from the working
  // colours of all the pixels it covers. A 4:2:2 picture of the working matrix takes each
  // pair's own chroma.
  const int log2w = d.log2_chroma_w;
  const int log2h = d.log2_chroma_h;
  if (cache.direct() && log2w == 1 && log2h == 0) {
    const SampleWriter cbWriter(picture, d, 1), crWriter(picture, d, 2);
    const int cbByte = format == FrameFormat::Uyvy ? 0 : 1;
    for (const ChangedRun& run : m_runs) {
      const std::uint8_t* now = frame.row(run.y);
      std::uint8_t* const cbRow = cbWriter.rowOf(run.y);
      std::uint8_t* const crRow = crWriter.rowOf(run.y);
      for (int p = run.first / 2; p < run.end / 2; ++p) {
        cbWriter.putIn(cbRow, p, cache.chromaOf(now[4 * p + cbByte]));
        crWriter.putIn(crRow, p, cache.chromaOf(now[4 * p + cbByte + 2]));
      }
    }
    return;
  }
  const int chromaWidth = -((-width) >> log2w);
  const int chromaHeight = -((-height) >> log2h);
  // All zero between calls: every site marked below is cleared again when it is done.
  m_chromaChanged.resize(static_cast<std::size_t>(chromaWidth) * static_cast<std::size_t>(chromaHeight), 0);
  int cxFirst = chromaWidth, cxEnd = 0, cyFirst = chromaHeight, cyEnd = 0;
  for (const ChangedRun& run : m_runs) {
    const int cy = chromaRowOf(run.y, log2h, byField);
    std::uint8_t* marks = m_chromaChanged.data() + static_cast<std::size_t>(cy) * chromaWidth;
    const int cxRunFirst = run.first >> log2w, cxRunEnd = ((run.end - 1) >> log2w) + 1;
    std::memset(marks + cxRunFirst, 1, static_cast<std::size_t>(cxRunEnd - cxRunFirst));
    cxFirst = std::min(cxFirst, cxRunFirst);
    cxEnd = std::max(cxEnd, cxRunEnd);
    cyFirst = std::min(cyFirst, cy);
    cyEnd = std::max(cyEnd, cy + 1);
  }
  const SampleWriter cbWriter(picture, d, 1), crWriter(picture, d, 2);
  bool haveSite = false;
  std::uint32_t lastSiteKey = 0;
  int lastSiteCount = 0, siteCb = 0, siteCr = 0;
  const detail::ConversionCache::Entry* chromaOf = nullptr;
  std::uint32_t chromaKey = 0;
  for (int cy = cyFirst; cy < cyEnd; ++cy) {
    int firstRow = 0, rowCount = 0, rowStep = 0;
    lumaRowsOf(cy, log2h, byField, firstRow, rowCount, rowStep);
    std::uint8_t* const cbRow = cbWriter.rowOf(cy);
    std::uint8_t* const crRow = crWriter.rowOf(cy);
    for (int cx = cxFirst; cx < cxEnd; ++cx) {
      std::uint8_t& marked = m_chromaChanged[static_cast<std::size_t>(cy) * chromaWidth + cx];
      if (marked == 0) continue;
      marked = 0;
      // The working colours of the site's pixels (at most 4 x 4).
      std::uint32_t keys[16];
      int n = 0;
      bool uniform = true;
      for (int i = 0; i < rowCount; ++i) {
        const int y = firstRow + i * rowStep;
        if (y >= height) break;
        const std::uint8_t* row = frame.row(y);
        for (int x = cx << log2w; x < std::min(width, (cx + 1) << log2w); ++x) {
          keys[n] = workingKey(format, row, x);
          uniform = uniform && keys[n] == keys[0];
          ++n;
        }
      }
      if (n == 0) continue;
      // A site of one colour gives what the last such site of as many pixels gave: the sums
      // are the same additions in the same order.
      if (!uniform || !haveSite || keys[0] != lastSiteKey || n != lastSiteCount) {
        double cbSum = 0, crSum = 0;
        for (int i = 0; i < n; ++i) {
          if (chromaOf == nullptr || keys[i] != chromaKey) {
            chromaOf = &cache.chroma(keys[i]);
            chromaKey = keys[i];
          }
          cbSum += chromaOf->cb;
          crSum += chromaOf->cr;
        }
        const std::uint32_t siteKey = keys[0];
        siteCb = chromaSample(coding, cbSum / n);
        siteCr = chromaSample(coding, crSum / n);
        haveSite = uniform;
        lastSiteKey = siteKey;
        lastSiteCount = n;
      }
      cbWriter.putIn(cbRow, cx, siteCb);
      crWriter.putIn(crRow, cx, siteCr);
    }
  }
}

}  // namespace zel::media
