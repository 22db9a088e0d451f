#include "media/detail/EncoderSetup.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "media/Encoders.h"
#include "media/Error.h"
#include "media/detail/FFmpeg.h"

namespace zel::media {

namespace {

/// What an encoder gets when the caller does not choose: `rate` where no rate control is given
/// (crf, qp, b, global_quality), each of `other` where that option is not given; `text` is the
/// line --help shows.
struct EncoderDefaults {
  const char* encoder;
  const char* rate;   ///< "key=value,key=value"
  const char* other;  ///< the same form
  const char* text;
};

// The one table of encoder defaults: what is set and what --help says. Encoders not listed get
// FFmpeg's defaults.
constexpr EncoderDefaults kDefaults[] = {
    {"libx264", "crf=23", "preset=medium", "--crf 23 --preset medium, as ffmpeg (.mp4 .mkv .mov)"},
    {"libx265", "", "", "--crf 28 --preset medium, x265's own; HEVC in .mp4 and .mov is tagged hvc1"},
    {"libsvtav1", "", "", "--crf 35, preset 10, SVT-AV1's own; pictures at least 64 pixels high"},
    {"libvpx-vp9", "crf=31,b=0", "cpu-used=4,row-mt=1",
     "--crf 31 at constant quality, cpu-used 4 (ffmpeg's own: an average bit rate) (.webm)"},
    {"prores_ks", "", "", "the input's profile for a ProRes input, else hq (4444 for 4:4:4 pictures)"},
    {"dnxhd", "", "",
     "the input's profile and bit rate for a DNxHD input, else DNxHR HQ, HQX (10-bit) or 444; 256x120 up"},
    {"mpeg2video", "", "", "4:2:2 at about 1 bit a pixel, 50 Mb/s at 1920x1080 and 25 fps (.mxf)"},
    {"ffv1", "", "", "lossless"},
    {"gif", "", "", "a palette made for the clip, dithered as ffmpeg's paletteuse does (.gif)"},
};

/// A profile that narrows the pixel formats an encoder takes.
struct ProfileFormats {
  AVCodecID codec;
  const char* encoder;  ///< the encoder that takes the name by its library ("" : any of the codec's)
  const char* profile;
  const char* formats;  ///< FFmpeg's names, separated by spaces
};

constexpr ProfileFormats kProfiles[] = {
    {AV_CODEC_ID_PRORES, "", "proxy", "yuv422p10le"},
    {AV_CODEC_ID_PRORES, "", "lt", "yuv422p10le"},
    {AV_CODEC_ID_PRORES, "", "standard", "yuv422p10le"},
    {AV_CODEC_ID_PRORES, "", "hq", "yuv422p10le"},
    {AV_CODEC_ID_PRORES, "", "4444", "yuv444p10le yuva444p10le"},
    {AV_CODEC_ID_PRORES, "", "4444xq", "yuv444p10le yuva444p10le"},
    {AV_CODEC_ID_DNXHD, "", "dnxhd", "yuv422p yuv422p10le yuv444p10le gbrp10le"},
    {AV_CODEC_ID_DNXHD, "", "dnxhr_lb", "yuv422p"},
    {AV_CODEC_ID_DNXHD, "", "dnxhr_sq", "yuv422p"},
    {AV_CODEC_ID_DNXHD, "", "dnxhr_hq", "yuv422p"},
    {AV_CODEC_ID_DNXHD, "", "dnxhr_hqx", "yuv422p10le"},
    {AV_CODEC_ID_DNXHD, "", "dnxhr_444", "yuv444p10le gbrp10le"},
    // A profile of a higher depth or chroma asks for it: the picture is written so.
    {AV_CODEC_ID_H264, "libx264", "baseline", "yuv420p yuvj420p"},
    {AV_CODEC_ID_H264, "libx264", "main", "yuv420p yuvj420p"},
    {AV_CODEC_ID_H264, "libx264", "high", "yuv420p yuvj420p"},
    {AV_CODEC_ID_H264, "libx264", "high10", "yuv420p10le"},
    {AV_CODEC_ID_H264, "libx264", "high422", "yuv422p yuvj422p yuv422p10le"},
    {AV_CODEC_ID_H264, "libx264", "high444", "yuv444p yuvj444p yuv444p10le"},
    {AV_CODEC_ID_HEVC, "libx265", "main", "yuv420p yuvj420p"},
    {AV_CODEC_ID_HEVC, "libx265", "main10", "yuv420p10le"},
    {AV_CODEC_ID_HEVC, "libx265", "main12", "yuv420p12le"},
    {AV_CODEC_ID_HEVC, "libx265", "main422-10", "yuv422p10le"},
    {AV_CODEC_ID_HEVC, "libx265", "main422-12", "yuv422p12le"},
    {AV_CODEC_ID_HEVC, "libx265", "main444-8", "yuv444p yuvj444p"},
    {AV_CODEC_ID_HEVC, "libx265", "main444-10", "yuv444p10le"},
    {AV_CODEC_ID_HEVC, "libx265", "main444-12", "yuv444p12le"},
    {AV_CODEC_ID_HEVC, "libx265", "mainstillpicture", "yuv420p yuvj420p"},
};

/// "key=value,key=value" as pairs.
std::vector<std::pair<std::string, std::string>> pairsOf(const char* text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const auto eq = item.find('=');
    if (eq != std::string::npos) pairs.emplace_back(item.substr(0, eq), item.substr(eq + 1));
  }
  return pairs;
}

std::vector<AVPixelFormat> formatsOf(const char* names) {
  std::vector<AVPixelFormat> formats;
  std::istringstream in(names);
  for (std::string name; in >> name;) {
    const AVPixelFormat f = av_get_pix_fmt(name.c_str());
    if (f != AV_PIX_FMT_NONE) formats.push_back(f);
  }
  return formats;
}

/// The constants of the encoder's own "profile" option (prores_ks, dnxhd), name and value.
std::vector<std::pair<std::string, std::int64_t>> profileConstants(const AVCodec& codec) {
  std::vector<std::pair<std::string, std::int64_t>> constants;
  if (codec.priv_class == nullptr) return constants;
  const AVClass* cls = codec.priv_class;
  const AVOption* profile = av_opt_find2(&cls, "profile", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
  if (profile == nullptr || profile->unit == nullptr || profile->type == AV_OPT_TYPE_STRING) return constants;
  for (const AVOption* o = codec.priv_class->option; o != nullptr && o->name != nullptr; ++o) {
    if (o->type == AV_OPT_TYPE_CONST && o->unit != nullptr && std::string_view(o->unit) == profile->unit) {
      constants.emplace_back(o->name, o->default_val.i64);
    }
  }
  return constants;
}

const AVCodec* findVideoEncoder(const std::string& name) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  return codec != nullptr && codec->type == AVMEDIA_TYPE_VIDEO ? codec : nullptr;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

}  // namespace

std::string defaultEncoderFor(const std::string& path) {
  const std::string ext = detail::extensionOf(path);
  if (ext == "mp4" || ext == "mkv" || ext == "mov") return "libx264";
  if (ext == "webm") return "libvpx-vp9";
  if (ext == "mxf") return "mpeg2video";
  if (ext == "gif") return "gif";
  return "";
}

std::vector<std::string> encoderDefaultLines() {
  std::vector<std::string> lines;
  for (const EncoderDefaults& row : kDefaults) {
    std::string name = row.encoder;
    name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
    lines.push_back(name + row.text);
  }
  return lines;
}

std::vector<std::string> profileNames(const std::string& encoder) {
  std::vector<std::string> names;
  const AVCodec* codec = findVideoEncoder(encoder);
  if (codec == nullptr) return names;
  for (const auto& [name, value] : profileConstants(*codec)) names.push_back(name);
  if (!names.empty()) return names;
  for (const ProfileFormats& row : kProfiles) {
    if (row.codec == codec->id && encoder == row.encoder) names.emplace_back(row.profile);
  }
  return names;
}

bool encoderHasOption(const std::string& encoder, const std::string& key) {
  const AVCodec* codec = findVideoEncoder(encoder);
  if (codec == nullptr) return false;
  const AVClass* generic = avcodec_get_class();
  if (av_opt_find2(&generic, key.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr) != nullptr) return true;
  const AVClass* own = codec->priv_class;
  return own != nullptr && av_opt_find2(&own, key.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr) != nullptr;
}

namespace detail {

const AVCodec& chooseEncoder(const std::string& path, const SinkOptions& options) {
  std::string name = options.codec;
  if (name.empty()) {
    name = defaultEncoderFor(path);
    // MXF keeps a DNxHD input's own codec; everything else becomes MPEG-2 4:2:2 there.
    if (name == "mpeg2video" && options.sourceCoding && options.sourceCoding->codec == AV_CODEC_ID_DNXHD) name = "dnxhd";
  }
  if (name.empty()) name = "libx264";
  const AVCodec* codec = findVideoEncoder(name);
  if (codec == nullptr) throw Error("cannot write '" + path + "': no video encoder named '" + name + "'");
  return *codec;
}

void checkEncoderSize(const AVCodec& codec, const SinkOptions& options, const std::string& path) {
  // The smallest pictures encoders take, said before they print their own complaints.
  constexpr struct {
    const char* encoder;
    int width, height;
  } kSmallest[] = {{"libsvtav1", 64, 64}, {"dnxhd", 256, 120}};
  for (const auto& row : kSmallest) {
    if (std::string_view(codec.name) == row.encoder && (options.width < row.width || options.height < row.height)) {
      throw Error("cannot write '" + path + "': " + codec.name + " takes pictures of at least " +
                  std::to_string(row.width) + "x" + std::to_string(row.height) + ", not " +
                  std::to_string(options.width) + "x" + std::to_string(options.height) + " (--size scales them)");
    }
  }
}

std::string chooseProfile(const AVCodec& codec, const SinkOptions& options, const std::string& path) {
  const std::vector<std::string> names = profileNames(codec.name);
  if (!options.profile.empty()) {
    if (names.empty()) throw Error("cannot write '" + path + "': encoder " + codec.name + " takes no profile by name");
    if (std::find(names.begin(), names.end(), options.profile) == names.end()) {
      throw Error("cannot write '" + path + "': encoder " + codec.name + " has no profile '" + options.profile +
                  "' (it takes " + joined(names) + ")");
    }
    return options.profile;
  }
  if (options.codecOptions.count("profile") != 0) return options.codecOptions.at("profile");
  const std::optional<VideoCoding>& source = options.sourceCoding;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
  if (!source || source->codec != codec.id || source->profile == FF_PROFILE_UNKNOWN || descriptor == nullptr ||
      (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) == 0) {
    return "";
  }
  // The encoder's profile numbers are the codec's own (FF_PROFILE_PRORES_*, FF_PROFILE_DNXHR_*).
  for (const auto& [name, value] : profileConstants(codec)) {
    if (value == source->profile) return name;
  }
  return "";
}

std::vector<AVPixelFormat> profileFormats(const AVCodec& codec, const std::string& profile) {
  for (const ProfileFormats& row : kProfiles) {
    if (row.codec == codec.id && profile == row.profile && (*row.encoder == '\0' || std::string_view(codec.name) == row.encoder)) {
      return formatsOf(row.formats);
    }
  }
  return {};
}

bool writesHdrInStream(const AVCodec& codec) {
  const std::string_view name(codec.name);
  return name == "libx265" || name == "libsvtav1" || name == "libx264";
}

namespace {

bool hasAny(const std::map<std::string, std::string>& options, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (options.count(key) != 0) return true;
  }
  return false;
}

/// Adds "key=value" to a ':'-separated parameter string of a library (x265-params, ...), unless
/// the caller's string sets that key already.
void addParam(std::map<std::string, std::string>& options, const char* option, const std::string& key,
              const std::string& value) {
  std::string& params = options[option];
  if (params.rfind(key + "=", 0) == 0 || params.find(":" + key + "=") != std::string::npos) return;
  params += (params.empty() ? "" : ":") + key + "=" + value;
}

int ratio(AVRational q, int unit) { return q.den == 0 ? 0 : static_cast<int>(std::llround(av_q2d(q) * unit)); }

/// x265's and x264's "G(x,y)B(x,y)R(x,y)WP(x,y)L(max,min)": chromaticities in 1/50000,
/// luminance in 1/10000 cd/m2. FFmpeg stores the primaries as red, green, blue.
std::string masterDisplayUnits(const AVMasteringDisplayMetadata& m) {
  char text[160];
  std::snprintf(text, sizeof text, "G(%d,%d)B(%d,%d)R(%d,%d)WP(%d,%d)L(%d,%d)", ratio(m.display_primaries[1][0], 50000),
                ratio(m.display_primaries[1][1], 50000), ratio(m.display_primaries[2][0], 50000),
                ratio(m.display_primaries[2][1], 50000), ratio(m.display_primaries[0][0], 50000),
                ratio(m.display_primaries[0][1], 50000), ratio(m.white_point[0], 50000), ratio(m.white_point[1], 50000),
                ratio(m.max_luminance, 10000), ratio(m.min_luminance, 10000));
  return text;
}

/// SVT-AV1's form: the same, as decimals.
std::string masterDisplayDecimals(const AVMasteringDisplayMetadata& m) {
  char text[200];
  std::snprintf(text, sizeof text, "G(%.5f,%.5f)B(%.5f,%.5f)R(%.5f,%.5f)WP(%.5f,%.5f)L(%.4f,%.4f)",
                av_q2d(m.display_primaries[1][0]), av_q2d(m.display_primaries[1][1]), av_q2d(m.display_primaries[2][0]),
                av_q2d(m.display_primaries[2][1]), av_q2d(m.display_primaries[0][0]), av_q2d(m.display_primaries[0][1]),
                av_q2d(m.white_point[0]), av_q2d(m.white_point[1]), av_q2d(m.max_luminance), av_q2d(m.min_luminance));
  return text;
}

/// The DNxHD profile for pictures of `format` when none is asked for: DNxHR, which takes any
/// size from 256x120, at the quality of the picture's depth and chroma.
std::string dnxhrFor(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (d == nullptr) return "dnxhr_hq";
  if (d->log2_chroma_w == 0) return "dnxhr_444";
  return d->comp[0].depth > 8 ? "dnxhr_hqx" : "dnxhr_hq";
}

/// Plain DNxHD takes only the bit rates its tables list for the size, rate and depth: the first
/// of `candidates` (Mb/s) with which the encoder opens.
std::int64_t dnxhdBitRate(const AVCodec& codec, const SinkOptions& options, AVPixelFormat format,
                          const std::vector<std::int64_t>& candidates) {
  for (const std::int64_t mbps : candidates) {
    CodecContextPtr trial(avcodec_alloc_context3(&codec));
    if (!trial) throw std::bad_alloc();
    trial->width = options.width;
    trial->height = options.height;
    trial->pix_fmt = format;
    trial->time_base = av_inv_q(options.rate);
    trial->framerate = options.rate;
    trial->bit_rate = mbps * 1'000'000;
    trial->thread_count = 1;
    if (options.fieldOrder != FieldOrder::Progressive) trial->flags |= AV_CODEC_FLAG_INTERLACED_DCT;
    AVDictionary* raw = nullptr;
    av_dict_set(&raw, "profile", "dnxhd", 0);
    std::unique_ptr<AVDictionary, DictionaryDeleter> dictionary(raw);
    raw = dictionary.release();
    const int rc = avcodec_open2(trial.get(), &codec, &raw);
    dictionary.reset(raw);
    if (rc >= 0) {
      clearLastLog();
      return mbps;
    }
  }
  clearLastLog();
  return 0;
}

}  // namespace

std::map<std::string, std::string> encoderOptions(const AVCodec& codec, const SinkOptions& options, AVPixelFormat format,
                                                  const std::string& chosenProfile, const std::string& path) {
  std::map<std::string, std::string> result = options.codecOptions;
  const std::string name = codec.name;
  for (const EncoderDefaults& row : kDefaults) {
    if (name != row.encoder) continue;
    if (!hasAny(options.codecOptions, {"crf", "qp", "b", "global_quality", "q"})) {
      for (const auto& [key, value] : pairsOf(row.rate)) result.emplace(key, value);
    }
    for (const auto& [key, value] : pairsOf(row.other)) result.emplace(key, value);
  }
  // VP9 at a given CRF is constant quality only without a bit rate.
  if (name == "libvpx-vp9" && options.codecOptions.count("crf") != 0) result.emplace("b", "0");
  if (name == "mpeg2video" && !hasAny(options.codecOptions, {"b", "global_quality", "q", "qscale"})) {
    // XDCAM HD422's 50 Mb/s at 1920x1080, 25 fps, is close to one bit a pixel.
    const double bits = 50e6 / (1920.0 * 1080 * 25) * options.width * options.height * av_q2d(options.rate);
    result.emplace("b", std::to_string(std::max<std::int64_t>(1'000'000, std::llround(bits))));
  }

  std::string profile = chosenProfile;
  if (codec.id == AV_CODEC_ID_DNXHD && profile.empty()) profile = dnxhrFor(format);
  if (codec.id == AV_CODEC_ID_DNXHD && profile == "dnxhd" && result.count("b") == 0) {
    // Every bit rate of the DNxHD tables, highest first; a DNxHD input's own first of all (its
    // stream's rate, from whole frames, is a little off the table's round number).
    std::vector<std::int64_t> candidates = {440, 365, 350, 290, 240, 220, 185, 180, 175, 145, 120, 115, 110, 100,
                                            90,  75,  60,  50,  45,  36};
    if (options.sourceCoding && options.sourceCoding->codec == AV_CODEC_ID_DNXHD && options.sourceCoding->bitRate > 0) {
      const double own = static_cast<double>(options.sourceCoding->bitRate) / 1e6;
      std::stable_sort(candidates.begin(), candidates.end(), [own](std::int64_t a, std::int64_t b) {
        return std::fabs(static_cast<double>(a) - own) < std::fabs(static_cast<double>(b) - own);
      });
    }
    const std::int64_t mbps = dnxhdBitRate(codec, options, format, candidates);
    if (mbps == 0) {
      throw Error("cannot write '" + path + "': DNxHD has no bit rate for " + std::to_string(options.width) + "x" +
                  std::to_string(options.height) + " " + av_get_pix_fmt_name(format) +
                  " at this rate (it takes 1920x1080, 1440x1080, 1280x720 and 960x720 at broadcast rates; DNxHR "
                  "profiles take any size)");
    }
    result["b"] = std::to_string(mbps * 1'000'000);
  }
  if (!profile.empty()) result["profile"] = profile;

  if (name == "libx264" && options.fieldOrder != FieldOrder::Progressive) {
    // The encoder learns the field order per frame only after its first frame is coded, so the
    // first picture timing (which players and probes read) would say top field first. Set it
    // from the start.
    addParam(result, "x264-params", options.fieldOrder == FieldOrder::TopFirst ? "tff" : "bff", "1");
  }
  const HdrMetadata& hdr = options.hdr;
  const AVMasteringDisplayMetadata* mastering =
      hdr.mastering && hdr.mastering->has_primaries && hdr.mastering->has_luminance ? &*hdr.mastering : nullptr;
  if (name == "libx265") {
    if (mastering != nullptr) addParam(result, "x265-params", "master-display", masterDisplayUnits(*mastering));
    if (hdr.light) {
      addParam(result, "x265-params", "max-cll",
               std::to_string(hdr.light->MaxCLL) + "," + std::to_string(hdr.light->MaxFALL));
    }
    addParam(result, "x265-params", "log-level", options.quietEncoders ? "error" : "warning");
  } else if (name == "libsvtav1") {
    if (mastering != nullptr) addParam(result, "svtav1-params", "mastering-display", masterDisplayDecimals(*mastering));
    if (hdr.light) {
      addParam(result, "svtav1-params", "content-light",
               std::to_string(hdr.light->MaxCLL) + "," + std::to_string(hdr.light->MaxFALL));
    }
    // SVT-AV1 prints on its own and reads its level from the environment when it starts; a level
    // the user set there wins.
    setenv("SVT_LOG", options.quietEncoders ? "1" : "2", /*overwrite=*/0);
  } else if (name == "libx264") {
    if (mastering != nullptr) addParam(result, "x264-params", "mastering-display", masterDisplayUnits(*mastering));
    if (hdr.light) {
      addParam(result, "x264-params", "cll", std::to_string(hdr.light->MaxCLL) + "," + std::to_string(hdr.light->MaxFALL));
    }
  }
  return result;
}

}  // namespace detail
}  // namespace zel::media
