// Planar and packed 4:2:2 repacking: the Scaler's own loops against swscale's unscaled conversion
// between the same formats, byte for byte, over random samples, many widths and padded rows.
#include "media/detail/FFmpeg.h"
#include "media/detail/Repack422.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zel::media::detail {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Planes with rows `strides` apart and room after the last row: swscale's vector loops may
// store past the end of a row, as FFmpeg's own buffers allow.
struct Picture {
  int strides[4] = {};
  int rowBytes[3] = {};
  int height = 0;
  Bytes planes[3];

  std::uint8_t* plane(int i) { return planes[i].empty() ? nullptr : planes[i].data(); }
  // The bytes of the picture itself, row after row, without the padding.
  Bytes visible(int i) const {
    Bytes v;
    for (int r = 0; r < height; ++r) {
      const auto* row = planes[i].data() + static_cast<std::size_t>(strides[i]) * r;
      v.insert(v.end(), row, row + rowBytes[i]);
    }
    return v;
  }
};

// A picture of `format` with rows padded by `pad` bytes, filled from `rng`.
Picture makePicture(AVPixelFormat format, int width, int height, int pad, std::mt19937& rng) {
  Picture p;
  p.height = height;
  const int planes = format == AV_PIX_FMT_YUV422P ? 3 : 1;
  if (format == AV_PIX_FMT_YUV422P) {
    p.rowBytes[0] = width;
    p.rowBytes[1] = p.rowBytes[2] = width / 2;
  } else {
    p.rowBytes[0] = width * 2;
  }
  for (int i = 0; i < planes; ++i) {
    p.strides[i] = p.rowBytes[i] + pad;
    p.planes[i].resize(static_cast<std::size_t>(p.strides[i]) * height + 256);
    for (auto& b : p.planes[i]) b = static_cast<std::uint8_t>(rng());
  }
  return p;
}

// What swscale itself makes of `source` at the same size, with the flags the Scaler uses for a
// repack between Y'CbCr formats.
void swscaleConvert(AVPixelFormat from, AVPixelFormat to, int width, int height, Picture& source, Picture& target) {
  SwsPtr context(sws_getContext(width, height, from, width, height, to, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
  ASSERT_TRUE(context);
  const std::uint8_t* in[4] = {source.plane(0), source.plane(1), source.plane(2), nullptr};
  std::uint8_t* out[4] = {target.plane(0), target.plane(1), target.plane(2), nullptr};
  sws_scale(context.get(), in, source.strides, 0, height, out, target.strides);
}

void scalerConvert(AVPixelFormat from, AVPixelFormat to, int width, int height, bool interlaced, Picture& source,
                   Picture& target) {
  PictureShape a{width, height, from, AVCOL_SPC_BT709, false, interlaced};
  PictureShape b{width, height, to, AVCOL_SPC_BT709, false, interlaced};
  const std::uint8_t* in[4] = {source.plane(0), source.plane(1), source.plane(2), nullptr};
  std::uint8_t* out[4] = {target.plane(0), target.plane(1), target.plane(2), nullptr};
  Scaler scaler;
  scaler.convert(a, in, source.strides, b, out, target.strides);
}

TEST(Repack422Test, SameBytesAsSwscaleBothWaysAndOrders) {
  std::mt19937 rng(29);
  const AVPixelFormat packed[] = {AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUYV422};
  const int widths[] = {2, 4, 14, 16, 18, 30, 32, 34, 62, 64, 66, 100, 720, 1920};
  for (AVPixelFormat p : packed)
    for (int width : widths)
      for (int pad : {0, 3, 32})
        for (bool interlaced : {false, true}) {
          const int height = 6;
          const std::string what = std::string(av_get_pix_fmt_name(p)) + ", width " + std::to_string(width) +
                                   ", pad " + std::to_string(pad) + (interlaced ? ", interlaced" : "");
          // Planar to packed.
          Picture planar = makePicture(AV_PIX_FMT_YUV422P, width, height, pad, rng);
          Picture expected = makePicture(p, width, height, pad, rng);
          Picture actual = expected;
          swscaleConvert(AV_PIX_FMT_YUV422P, p, width, height, planar, expected);
          scalerConvert(AV_PIX_FMT_YUV422P, p, width, height, interlaced, planar, actual);
          ASSERT_EQ(actual.visible(0), expected.visible(0)) << what << ", to packed";

          // Packed to planar.
          Picture packedPicture = makePicture(p, width, height, pad, rng);
          Picture expectedPlanar = makePicture(AV_PIX_FMT_YUV422P, width, height, pad, rng);
          Picture actualPlanar = expectedPlanar;
          swscaleConvert(p, AV_PIX_FMT_YUV422P, width, height, packedPicture, expectedPlanar);
          scalerConvert(p, AV_PIX_FMT_YUV422P, width, height, interlaced, packedPicture, actualPlanar);
          for (int i = 0; i < 3; ++i)
            ASSERT_EQ(actualPlanar.visible(i), expectedPlanar.visible(i)) << what << ", to planar, plane " << i;
        }
}

TEST(Repack422Test, RowFunctionsRoundTrip) {
  std::mt19937 rng(31);
  for (PackedOrder order : {PackedOrder::Uyvy, PackedOrder::Yuy2})
    for (int width = 2; width <= 130; width += 2) {
      Bytes y(width), cb(width / 2), cr(width / 2), packed(width * 2);
      for (auto* v : {&y, &cb, &cr})
        for (auto& b : *v) b = static_cast<std::uint8_t>(rng());
      packRow422(y.data(), cb.data(), cr.data(), packed.data(), width, order);
      for (int x = 0; x < width; x += 2) {
        const std::uint8_t* p = &packed[2 * x];
        const bool uyvy = order == PackedOrder::Uyvy;
        ASSERT_EQ(p[uyvy ? 1 : 0], y[x]) << width;
        ASSERT_EQ(p[uyvy ? 3 : 2], y[x + 1]) << width;
        ASSERT_EQ(p[uyvy ? 0 : 1], cb[x / 2]) << width;
        ASSERT_EQ(p[uyvy ? 2 : 3], cr[x / 2]) << width;
      }
      Bytes y2(width), cb2(width / 2), cr2(width / 2);
      unpackRow422(packed.data(), y2.data(), cb2.data(), cr2.data(), width, order);
      ASSERT_EQ(y2, y);
      ASSERT_EQ(cb2, cb);
      ASSERT_EQ(cr2, cr);
    }
}

}  // namespace
}  // namespace zel::media::detail
