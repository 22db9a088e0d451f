#pragma once
// The video encoders an output can be written with, as a front end asks about them before any
// work: which one a container gets by default, what each does without quality options, the
// profiles it takes by name and the options it has.

#include <string>
#include <vector>

namespace zel::media {

/// The encoder a video output gets without SinkOptions::codec, by the name's extension: libx264
/// for .mp4 .mkv .mov, libvpx-vp9 for .webm, mpeg2video (4:2:2) for .mxf, gif for .gif; "" for
/// any other name.
std::string defaultEncoderFor(const std::string& path);

/// One line per encoder of what it does when given no quality, speed or profile options: the
/// real defaults (libx264's CRF 23 is ffmpeg's, libx265's CRF 28 is x265's own, ...).
std::vector<std::string> encoderDefaultLines();

/// The profile names the encoder takes (prores_ks: proxy, lt, standard, hq, 4444, 4444xq; dnxhd:
/// dnxhd and the DNxHR ones; libx264 and libx265 the names their libraries know); empty when it
/// takes none by name.
std::vector<std::string> profileNames(const std::string& encoder);

/// True when `key` is an option of the encoder: its own (AVOption of its class) or one every
/// encoder takes (b, g, bf, ...).
bool encoderHasOption(const std::string& encoder, const std::string& key);

}  // namespace zel::media
