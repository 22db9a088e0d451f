#pragma once
// How a video's pictures are turned to be shown (a phone clip's display matrix), and turning a
// frame between the picture as coded and the picture as shown.

#include <cstdint>
#include <optional>

#include "media/Frame.h"

namespace zel::media {

/// One of the eight ways a picture maps onto a rectangle by quarter turns and mirroring. It is
/// read as the way to find a shown pixel in the coded picture: the shown pixel (x, y) is the coded
/// pixel (u, v) with (u, v) = (y, x) when `transpose`, else (x, y); then u counted from the right
/// when `flipX`, v counted from the bottom when `flipY`. The default is the picture as coded.
struct Orientation {
  bool transpose = false;  ///< shown rows are coded columns: width and height swap
  bool flipX = false;      ///< coded columns are taken right to left (after the transpose)
  bool flipY = false;      ///< coded rows are taken bottom to top (after the transpose)

  /// The orientation of a display matrix (nine 16.16 / 2.30 fixed-point values, as FFmpeg stores
  /// the side data), turned as FFmpeg turns a picture upright when it decodes; nullopt for a
  /// matrix that turns by an angle that is not a whole quarter turn (more than 1 degree off).
  static std::optional<Orientation> fromDisplayMatrix(const std::int32_t matrix[9]);
  /// A turn clockwise by `degrees` (a multiple of 90, any sign), without mirroring.
  static Orientation clockwise(int degrees);

  /// Degrees the shown picture is turned clockwise against the coded one, 0, 90, 180 or 270; for
  /// a mirrored orientation the turn that is left after mirroring left to right.
  int rotation() const;
  /// True when the shown picture is a mirror image of the coded one.
  bool mirrored() const { return transpose != (flipX != flipY); }
  bool identity() const { return !transpose && !flipX && !flipY; }
  int shownWidth(int codedWidth, int codedHeight) const { return transpose ? codedHeight : codedWidth; }
  int shownHeight(int codedWidth, int codedHeight) const { return transpose ? codedWidth : codedHeight; }

  friend bool operator==(const Orientation&, const Orientation&) = default;
};

/// True when a frame in `format` can be turned exactly: RGBA always; the packed 4:2:2 formats
/// only without a transpose, since their pixel pairs share one chroma sample along the row.
bool canTurn(FrameFormat format, Orientation orientation);

/// Makes `shown` the picture `coded` shows: allocated at the shown size in the same format, every
/// pixel moved without change. Requires canTurn(coded.format(), orientation).
void turnToShown(const Frame& coded, Frame& shown, Orientation orientation);
/// The reverse: writes every pixel of `shown` back to its place in `coded`, which must already
/// have the coded size and the same format.
void turnToCoded(const Frame& shown, Frame& coded, Orientation orientation);

}  // namespace zel::media
