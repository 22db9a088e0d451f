#pragma once
// Repacking 8-bit Y'CbCr 4:2:2 between planar (Y, Cb, Cr planes; chroma half as wide) and packed
// pixel pairs (UYVY: Cb Y0 Cr Y1; YUY2: Y0 Cb Y1 Cr), rows of an even width. Pure byte moves: the
// same bytes as swscale's unscaled copy between these formats, at close to the speed of memcpy
// (swscale's loops take several times longer, a large part of a Y4M-to-Y4M render).

#include <cstdint>

namespace zel::media::detail {

enum class PackedOrder { Uyvy, Yuy2 };

/// Interleaves `width` pixels (even) of one row: y[width], cb[width / 2], cr[width / 2] into
/// packed[width * 2].
void packRow422(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* packed,
                int width, PackedOrder order);

/// The reverse: packed[width * 2] into y[width], cb[width / 2], cr[width / 2].
void unpackRow422(const std::uint8_t* packed, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr, int width,
                  PackedOrder order);

}  // namespace zel::media::detail
