#pragma once
// How each video encoder is opened: the defaults that make it start and look right, the profile
// chosen and the pixel formats that profile takes, and HDR metadata and quiet logs said in the
// encoder's own option strings.

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <map>
#include <string>
#include <vector>

#include "media/VideoSink.h"

namespace zel::media::detail {

/// The encoder of a video output: SinkOptions::codec, else the container's default
/// (defaultEncoderFor). Throws Error when there is none of that name or it is not a video encoder.
const AVCodec& chooseEncoder(const std::string& path, const SinkOptions& options);

/// Throws Error when the encoder does not take pictures as small as the options' (libsvtav1 below
/// 64x64, dnxhd below 256x120).
void checkEncoderSize(const AVCodec& codec, const SinkOptions& options, const std::string& path);

/// The profile an output is written in: SinkOptions::profile when given (a name the encoder does
/// not take throws Error listing those it does); else the input's own when it is coded with the
/// same intra-only codec (a ProRes LT input stays LT); else "", the encoder's default.
std::string chooseProfile(const AVCodec& codec, const SinkOptions& options, const std::string& path);

/// The pixel formats `profile` of `codec` allows; empty when the profile does not narrow them.
std::vector<AVPixelFormat> profileFormats(const AVCodec& codec, const std::string& profile);

/// What the encoder is opened with, for pictures of `format`: the caller's options, then
///   - the defaults of encoderDefaultLines() where the caller gave no rate control or speed;
///   - the profile (a DNxHD/DNxHR one chosen by the picture's depth and chroma when none is, with
///     a bit rate the size and rate take for plain DNxHD);
///   - the HDR metadata in x265's, SVT-AV1's and x264's parameter strings, the field order in
///     x264's, and the log level of the encoders that print on their own (x265, SVT-AV1).
/// Throws Error when no DNxHD bit rate fits the picture.
std::map<std::string, std::string> encoderOptions(const AVCodec& codec, const SinkOptions& options,
                                                  AVPixelFormat format, const std::string& profile,
                                                  const std::string& path);

/// True when the encoder writes HDR10 metadata into the stream itself (SEI, metadata OBUs), so
/// that it survives a container without a place for it.
bool writesHdrInStream(const AVCodec& codec);

}  // namespace zel::media::detail
