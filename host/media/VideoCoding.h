#pragma once
// What a video's coding says beyond its pixels: the light levels an HDR picture was mastered for,
// and the codec and profile it was coded with, so that an output can say and keep the same.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mastering_display_metadata.h>
}

#include <cstdint>
#include <optional>
#include <string>

namespace zel::media {

/// HDR10's static metadata: the mastering display's colour volume (primaries, white point,
/// luminance range) and the content's light levels (MaxCLL, MaxFALL). Files carry them as stream
/// side data (MP4's mdcv and clli boxes, Matroska's MasteringMetadata) and HEVC and AV1 streams
/// in the pictures themselves (SEI, metadata OBUs); FFmpeg hands both over in these structures.
struct HdrMetadata {
  std::optional<AVMasteringDisplayMetadata> mastering;  ///< with has_primaries / has_luminance
  std::optional<AVContentLightMetadata> light;

  bool empty() const { return !mastering && !light; }
};

/// How a video stream is coded, as its codec parameters say.
struct VideoCoding {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int profile = FF_PROFILE_UNKNOWN;  ///< the codec's own profile numbers (FF_PROFILE_PRORES_LT, ...)
  std::int64_t bitRate = 0;          ///< bits per second; 0 when the file does not say
};

}  // namespace zel::media
