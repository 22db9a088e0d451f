// zelhost render: the effect applied to real video. Frames are read in order on one thread,
// rendered in place on several, and written in order again; parameters come from a project file,
// --font and --set, in that order.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

#include "Commands.h"
#include "render/EffectInstance.h"
#include "settings/FontOption.h"
#include "text/Text.h"
#include "settings/ParameterSettings.h"
#include "loading/PluginModule.h"
#include "settings/ProjectFile.h"
#include "media/Error.h"
#include "media/NativePicture.h"
#include "media/Orientation.h"
#include "media/Pipeline.h"
#include "media/ProgressLine.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"

namespace zelhost {

namespace media = zel::media;
using namespace zel::host;

namespace {

/// The command line as typed; every text is checked by the command itself so that a wrong value
/// gets a message that names the option and says what it takes.
struct RenderOptions {
  std::string plugin;
  std::string input;
  std::string output;
  bool overwrite = false;
  std::string size;
  std::string rate;
  std::string start;
  std::string frames;
  std::string duration;
  std::string format = "rgba";
  std::string fieldOrder;
  std::vector<std::string> sets;
  std::string project;
  std::string font;
  std::string threads;
  std::string codec;
  std::string audio = "auto";
  std::string crf;
  std::string preset;
  std::string bitrate;
  std::string pixFmt;
  bool noAudio = false;
  bool quiet = false;
};

/// A command line that cannot work as written: exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Ctrl-C or SIGTERM stopped the render: exit code 130, as a shell reports an interrupted command.
class Interrupted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The output was written but holds fewer frames than asked for: the input is damaged.
constexpr int kExitShort = 3;
constexpr int kExitInterrupted = 130;

enum class OutputKind { Video, Y4m, Png, PngSequence, Stdout };

/// The checked command line.
struct Plan {
  std::filesystem::path plugin;
  std::optional<media::Size> size;
  std::optional<AVRational> rate;
  std::int64_t start = 0;
  std::optional<std::int64_t> count;  ///< frames to render; none: to the input's end
  media::FrameFormat format = media::FrameFormat::Rgba;
  std::optional<media::FieldOrder> fieldOrder;  ///< none: the input's own
  std::vector<ParameterSetting> sets;
  std::optional<FontSpec> font;
  int threads = 1;
  OutputKind outputKind = OutputKind::Video;
  media::AudioMode audio = media::AudioMode::Auto;
};

constexpr int kMaxThreads = 256;
constexpr double kMaxRate = 1000;
/// Frames in flight are bounded by memory as well as by threads: a 4K RGBA frame is 33 MB.
constexpr std::size_t kSlotMemory = std::size_t{1} << 30;

// --- Reading the command line -------------------------------------------------------------------

std::string OptionText(const char* option, const std::string& value) { return std::string(option) + " " + Quoted(value); }

std::optional<media::Size> ParseSize(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const std::size_t x = text.find_first_of("xX");
  const auto w = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(0, x));
  const auto h = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h) throw UsageError(OptionText("--size", text) + ": expected WIDTHxHEIGHT, e.g. 1280x720");
  if (*w < 1 || *h < 1 || *w > media::Frame::kMaxSide || *h > media::Frame::kMaxSide)
    throw UsageError(OptionText("--size", text) + ": each side must be 1 to " + std::to_string(media::Frame::kMaxSide));
  return media::Size{static_cast<int>(*w), static_cast<int>(*h)};
}

std::optional<AVRational> ParseRate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const auto fail = [&]() -> AVRational {
    throw UsageError(OptionText("--rate", text) + ": expected frames per second above 0 and up to 1000, as 25, 29.97 or 30000/1001");
  };
  AVRational rate{0, 1};
  const std::size_t slash = text.find('/');
  if (slash != std::string::npos) {
    const auto num = ParseInteger(std::string_view(text).substr(0, slash));
    const auto den = ParseInteger(std::string_view(text).substr(slash + 1));
    if (!num || !den || *num <= 0 || *den <= 0 || *num > 1'000'000'000 || *den > 1'000'000'000) return fail();
    rate = av_make_q(static_cast<int>(*num), static_cast<int>(*den));
  } else {
    const auto value = ParseNumber(text);
    if (!value || *value <= 0) return fail();
    rate = av_d2q(*value, 1'000'000);
  }
  if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > kMaxRate) return fail();
  av_reduce(&rate.num, &rate.den, rate.num, rate.den, 1'000'000'000);
  return rate;
}

std::int64_t ParseCount(const char* option, const std::string& text, std::int64_t least) {
  const auto n = ParseInteger(text);
  if (!n) throw UsageError(OptionText(option, text) + ": expected a whole number");
  if (*n < least) throw UsageError(OptionText(option, text) + ": must be at least " + std::to_string(least));
  return *n;
}

OutputKind OutputKindOf(const std::string& path) {
  if (path == "-") return OutputKind::Stdout;
  const std::string name = std::filesystem::path(path).filename().string();
  const std::size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "mp4" || ext == "mkv" || ext == "mov") return OutputKind::Video;
  if (ext == "y4m") return OutputKind::Y4m;
  if (ext == "png") return media::isSequencePattern(path) ? OutputKind::PngSequence : OutputKind::Png;
  throw UsageError(OptionText("-o", path) + ": unknown output type (use .mp4, .mkv, .mov, .y4m, .png, or - for Y4M on standard output)");
}

/// True when `path` names an existing file that is `other` too (the same device and inode,
/// through any path, link or hard link).
bool SameFile(const std::string& path, const std::string& other) {
  struct stat a {}, b {};
  if (path.empty() || other.empty() || ::stat(path.c_str(), &a) != 0 || ::stat(other.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// An output that is one of the command's inputs would be destroyed by the render: refused
/// whether or not -y is given.
void RefuseOutputOverInput(const RenderOptions& o, const std::filesystem::path& plugin) {
  if (o.output == "-" || media::isSequencePattern(o.output)) return;
  const std::pair<const char*, std::string> inputs[] = {
      {"the input", media::isSequencePattern(o.input) ? std::string() : o.input},
      {"the project file", o.project},
      {"the plug-in", plugin.string()},
  };
  for (const auto& [what, path] : inputs) {
    if (SameFile(o.output, path))
      throw UsageError(OptionText("-o", o.output) + " is " + what + " (" + Quoted(path) +
                       "): the render would destroy it; choose another output name");
  }
}

/// A plug-in is a shared library: a media file in its place was meant as the input.
void CheckPluginArgument(const RenderOptions& o) {
  if (o.plugin.empty()) return;
  const std::filesystem::path path(o.plugin);
  std::error_code ec;
  if (path.extension() == ".zel" || !std::filesystem::is_regular_file(path, ec)) return;
  char magic[4] = {};
  std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
  if (std::string_view(magic, 4) == "\x7f" "ELF") return;
  if (o.input.empty())
    throw UsageError(Quoted(o.plugin) + " is not a plug-in; did you mean -i " + Quoted(o.plugin) + "?");
  throw UsageError(Quoted(o.plugin) + " is not a plug-in (a ZEL plug-in is a .zel shared library)");
}

std::optional<media::AudioMode> ParseAudioMode(const std::string& text) {
  const std::pair<const char*, media::AudioMode> modes[] = {
      {"auto", media::AudioMode::Auto}, {"copy", media::AudioMode::Copy},
      {"encode", media::AudioMode::Encode}, {"none", media::AudioMode::None}};
  for (const auto& [name, mode] : modes)
    if (text == name) return mode;
  return std::nullopt;
}

Plan MakePlan(const RenderOptions& o) {
  Plan plan;
  CheckPluginArgument(o);
  plan.plugin = o.plugin.empty() ? zel::host::DefaultPluginPath() : std::filesystem::path(o.plugin);
  plan.outputKind = OutputKindOf(o.output);
  RefuseOutputOverInput(o, plan.plugin);
  if (!o.codec.empty() && !media::isVideoEncoder(o.codec))
    throw UsageError(OptionText("--codec", o.codec) + ": FFmpeg has no video encoder of that name (see 'ffmpeg -encoders')");
  const auto audio = ParseAudioMode(o.audio);
  if (!audio) throw UsageError(OptionText("--audio", o.audio) + ": expected auto, copy, encode or none");
  plan.audio = o.noAudio ? media::AudioMode::None : *audio;
  if (plan.outputKind == OutputKind::Stdout && ::isatty(STDOUT_FILENO) != 0)
    throw UsageError("-o -: standard output is a terminal; send the Y4M stream to a program or a file (-o - | ffplay -)");
  plan.size = ParseSize(o.size);
  plan.rate = ParseRate(o.rate);
  if (!o.start.empty()) plan.start = ParseCount("--start", o.start, 0);
  if (!o.frames.empty() && !o.duration.empty()) throw UsageError("--frames and --duration: give one of them, not both");
  if (!o.frames.empty()) plan.count = ParseCount("--frames", o.frames, 1);

  const auto format = media::parseFrameFormat(o.format);
  if (!format) throw UsageError(OptionText("--format", o.format) + ": expected rgba, uyvy or yuy2");
  plan.format = *format;
  if (!o.fieldOrder.empty()) {
    plan.fieldOrder = media::parseFieldOrder(o.fieldOrder);
    if (!plan.fieldOrder) throw UsageError(OptionText("--field-order", o.fieldOrder) + ": expected progressive, tff or bff");
  }

  if (o.threads.empty()) {
    plan.threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned{kMaxThreads}));
  } else {
    const auto n = ParseInteger(o.threads);
    if (!n || *n < 1 || *n > kMaxThreads)
      throw UsageError(OptionText("--threads", o.threads) + ": expected 1 to " + std::to_string(kMaxThreads));
    plan.threads = static_cast<int>(*n);
  }

  for (const std::string& text : o.sets) {
    try {
      plan.sets.push_back(ParseSetOption(text));
    } catch (const SettingSyntaxError& e) {
      throw UsageError(e.what());
    }
  }
  if (!o.font.empty()) {
    try {
      plan.font = ParseFontSpec(o.font);
      MakeFontRecord(*plan.font);  // a face name too long is a usage error too
    } catch (const FontSpecError& e) {
      throw UsageError(OptionText("--font", o.font) + ": " + e.what());
    }
  }
  if (plan.outputKind == OutputKind::Png) {
    if ((plan.count && *plan.count > 1) || !o.duration.empty())
      throw UsageError(OptionText("-o", o.output) +
                       " holds one picture; name it with a %d pattern (frames/%04d.png) to write more frames");
    plan.count = 1;
  }
  return plan;
}

/// --duration needs the rate, which a video file brings: N = the nearest whole number of frames.
std::int64_t FramesOfDuration(const std::string& text, AVRational rate) {
  const auto seconds = ParseNumber(text);
  if (!seconds || *seconds <= 0) throw UsageError(OptionText("--duration", text) + ": expected seconds above 0");
  const double frames = std::round(*seconds * av_q2d(rate));
  if (frames < 1) throw UsageError(OptionText("--duration", text) + ": shorter than one frame at " + NumberText(av_q2d(rate)) + " fps");
  if (frames > 1e12) throw UsageError(OptionText("--duration", text) + ": too long");
  return static_cast<std::int64_t>(frames);
}

// --- Parameters ----------------------------------------------------------------------------------

void SetFont(EffectInstance& instance, const FontSpec& font, const std::string& where) {
  zel::host::ParamValue value;
  value.bytes = MakeFontRecord(font);
  zel::host::ParameterValue* data = instance.Find("PrivateData");
  if (data == nullptr || !data->Set(value))
    throw HostError(where + ": the plug-in has no 92-byte \"PrivateData\" font record to take it");
}

void ApplyParameters(EffectInstance& instance, const RenderOptions& o, const Plan& plan) {
  if (!o.project.empty()) {
    const Project project = ReadProject(o.project);
    for (const ParameterSetting& setting : project.settings) ApplySetting(instance, setting);
    if (project.font) SetFont(instance, *project.font, "project " + Quoted(o.project) + ", font");
  }
  try {
    if (plan.font) SetFont(instance, *plan.font, OptionText("--font", o.font));
    for (const ParameterSetting& setting : plan.sets) ApplySetting(instance, setting);
  } catch (const HostError& e) {
    throw UsageError(e.what());
  }
}

// --- Input and output ----------------------------------------------------------------------------

std::string InputName(const RenderOptions& o) { return o.input.empty() ? "the test pattern" : Quoted(o.input); }

bool UsesDefaultEncoder(const RenderOptions& o) { return o.codec.empty() || o.codec == "libx264"; }

/// --crf, --preset and --bitrate as the encoder's own options.
std::map<std::string, std::string> EncoderOptions(const RenderOptions& o) {
  if (!o.crf.empty() && !o.bitrate.empty()) throw UsageError("--crf and --bitrate: give one of them, not both");
  std::map<std::string, std::string> options;
  if (!o.crf.empty()) {
    if (!ParseNumber(o.crf)) throw UsageError(OptionText("--crf", o.crf) + ": expected a number, e.g. 23 (lower is better and larger)");
    options["crf"] = o.crf;
  }
  if (!o.preset.empty()) options["preset"] = o.preset;
  if (!o.bitrate.empty()) options["b"] = o.bitrate;
  return options;
}

/// Why frames of `width` x `height` cannot be processed or written as planned, or nothing.
std::optional<std::string> SizeProblem(int width, int height, const Plan& plan, media::FieldOrder order,
                                       bool defaultEncoder) {
  if (media::isYuv422(plan.format) && width % 2 != 0)
    return "4:2:2 processing (--format " + std::string(media::toString(plan.format)) +
           ") works on pixel pairs and needs an even width";
  if (plan.outputKind == OutputKind::Video && defaultEncoder) {
    if (width % 2 != 0 || height % 2 != 0) return "H.264 in 4:2:0 needs an even width and height";
    if (order != media::FieldOrder::Progressive && height % 4 != 0)
      return "interlaced H.264 in 4:2:0 needs a height that is a multiple of 4";
  }
  return std::nullopt;
}

void CheckOutputPlace(const std::string& output, bool overwrite) {
  if (output == "-") return;
  const std::filesystem::path path(output);
  const std::filesystem::path folder = path.parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
    throw media::Error("cannot write " + Quoted(output) + ": folder " + Quoted(folder.string()) + " does not exist");
  if (media::isSequencePattern(output)) return;  // each picture is checked as it is written
  if (std::filesystem::is_directory(path, ec)) throw media::Error("cannot write " + Quoted(output) + ": it is a folder");
  if (!overwrite && std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
    throw media::Error(Quoted(output) + " exists already: add -y to replace it");
}

// --- Interruption --------------------------------------------------------------------------------

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

/// While alive, Ctrl-C and SIGTERM stop the render at the next frame instead of killing the
/// process, so that the temporary output is removed as on any other failure.
class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction m_oldInt {};
  struct sigaction m_oldTerm {};
};

// --- The render ----------------------------------------------------------------------------------

zel::host::PixelKind KindOf(media::FrameFormat format) {
  switch (format) {
    case media::FrameFormat::Uyvy:
      return zel::host::PixelKind::Uyvy;
    case media::FrameFormat::Yuy2:
      return zel::host::PixelKind::Yuy2;
    case media::FrameFormat::Rgba:
      break;
  }
  return zel::host::PixelKind::Rgba;
}

std::string RateText(AVRational rate) {
  return rate.den == 1 ? std::to_string(rate.num) : std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

/// How the work stage turns each frame so that the plug-in draws on the picture as a viewer shows
/// the output (a phone clip's rotation, kept in the output); the picture as coded, with the reason
/// in `note`, where it cannot be turned exactly.
struct ShownTurn {
  media::Orientation turn;
  std::string note;  ///< empty when the clock is drawn on the picture as shown
};

/// "turned 90 degrees counterclockwise" for an angle clockwise in degrees: the direction of the
/// smaller turn, so that a number reads as ffprobe's rotation does.
std::string TurnText(double clockwise) {
  long degrees = std::lround(clockwise) % 360;
  if (degrees > 180) degrees -= 360;
  if (degrees <= -180) degrees += 360;
  const std::string text = "turned " + std::to_string(std::labs(degrees)) + " degrees";
  return degrees == 180 ? text : text + (degrees > 0 ? " clockwise" : " counterclockwise");
}

ShownTurn ChooseTurn(const media::SourceInfo& info, media::FrameFormat format, bool interlaced, bool outputTurns) {
  if (!outputTurns) return {};
  const std::string coded = ": the clock is drawn on the picture as coded, and shows turned with it";
  if (info.tilt != 0) return {{}, "the input is shown " + TurnText(info.tilt) + coded};
  const media::Orientation& shown = info.orientation;
  if (shown.identity()) return {};
  const std::string turned = "the input is shown " + TurnText(shown.rotation());
  if (!media::canTurn(format, shown))
    return {{}, turned + ", which --format " + std::string(media::toString(format)) +
                    " cannot follow exactly (4:2:2 shares chroma along rows)" + coded + " (--format rgba follows it)"};
  if (interlaced && shown.transpose)
    return {{}, turned + ", which turns interlaced fields into columns" + coded};
  return {shown, ""};
}

/// The field order the plug-in sees on the turned picture: a picture turned upside down with an
/// even number of rows has its top field at the bottom.
media::FieldOrder ShownFieldOrder(media::FieldOrder order, media::Orientation turn, int codedHeight) {
  if (!turn.flipY || turn.transpose || codedHeight % 2 != 0 || order == media::FieldOrder::Progressive) return order;
  return order == media::FieldOrder::TopFirst ? media::FieldOrder::BottomFirst : media::FieldOrder::TopFirst;
}

/// For the summary: how an output of a turned clip is shown (" shown turned 90 degrees clockwise
/// as 1080x1920").
std::string ShownText(const media::Orientation& shown, int width, int height) {
  if (shown.identity()) return "";
  return std::string(" shown ") + (shown.mirrored() ? "mirrored and " : "") + TurnText(shown.rotation()) + " as " +
         std::to_string(shown.shownWidth(width, height)) + "x" + std::to_string(shown.shownHeight(width, height));
}

int Run(const RenderOptions& o) {
  const Plan plan = MakePlan(o);

  zel::host::Plugin plugin(plan.plugin);
  EffectInstance instance(plugin);
  ApplyParameters(instance, o, plan);

  // The source: a file, or the test pattern. The pattern and a still image are made as long as
  // the frames asked for, at --rate (25 without it); a video brings its own rate and length.
  media::SourceOptions sourceOptions;
  sourceOptions.size = plan.size;
  sourceOptions.rate = plan.rate;
  const bool generated = o.input.empty();
  const AVRational ownRate = plan.rate.value_or(AVRational{25, 1});
  std::optional<std::int64_t> count = plan.count;
  if (!count && !o.duration.empty()) {
    if (generated) {
      count = FramesOfDuration(o.duration, ownRate);
    } else {
      try {
        sourceOptions.frameCount = plan.start + FramesOfDuration(o.duration, ownRate);
      } catch (const UsageError&) {
        // Judged again below at the file's own rate.
      }
    }
  }
  if (count) sourceOptions.frameCount = plan.start + *count;
  media::VideoSource source = generated ? media::VideoSource::testPattern(sourceOptions)
                                        : media::VideoSource::open(o.input, sourceOptions);
  // The output is shown as the input is where it keeps the display matrix (MP4, MOV); the
  // plug-in then draws on the picture as shown, and --size is the size shown: a clip shown turned
  // a quarter is scaled to it turned back. Other outputs are shown as coded, and drawn on so.
  const bool outputTurns = plan.outputKind == OutputKind::Video && media::takesDisplayMatrix(o.output);
  if (plan.size && outputTurns && source.info().orientation.transpose) {
    sourceOptions.size = media::Size{plan.size->height, plan.size->width};
    source = media::VideoSource::open(o.input, sourceOptions);
  }
  const media::SourceInfo& info = source.info();
  if (!count && !o.duration.empty()) count = FramesOfDuration(o.duration, info.rate);
  if (plan.rate && info.kind == media::SourceKind::Video)
    throw UsageError(OptionText("--rate", o.rate) + ": " + InputName(o) + " is a video with a rate of its own (" +
                     RateText(info.rate) + " fps); --rate applies to the test pattern, still images and image sequences");

  const media::FieldOrder order = plan.fieldOrder.value_or(info.fieldOrder);
  const bool interlaced = order != media::FieldOrder::Progressive;
  if (auto problem = SizeProblem(info.width, info.height, plan, order, UsesDefaultEncoder(o))) {
    if (plan.size) throw UsageError(OptionText("--size", o.size) + ": " + *problem);
    throw media::Error(InputName(o) + " is " + std::to_string(info.width) + "x" + std::to_string(info.height) + ": " +
                       *problem + " (--size scales it)");
  }

  // Which frames: start .. start + count - 1, or to the end of the input.
  if (info.frameCount >= 0 && info.frameCountExact && plan.start >= info.frameCount)
    throw UsageError(OptionText("--start", o.start) + ": " + InputName(o) + " has " + std::to_string(info.frameCount) +
                     " frames (0 to " + std::to_string(info.frameCount - 1) + ")");
  std::int64_t expected = count.value_or(-1);
  if (info.frameCount >= 0) {
    const std::int64_t available = std::max<std::int64_t>(0, info.frameCount - plan.start);
    expected = count ? std::min(*count, available) : available;
  }

  CheckOutputPlace(o.output, o.overwrite);
  media::SinkOptions sinkOptions;
  sinkOptions.width = info.width;
  sinkOptions.height = info.height;
  sinkOptions.rate = info.rate;
  sinkOptions.timeBase = info.timeBase;
  sinkOptions.format = plan.format;
  sinkOptions.fieldOrder = order;
  sinkOptions.pixelAspect = info.pixelAspect;
  sinkOptions.codec = o.codec;
  sinkOptions.codecOptions = EncoderOptions(o);
  sinkOptions.pixelFormat = o.pixFmt;
  sinkOptions.native = info.nativeColour;
  sinkOptions.overwrite = o.overwrite;
  // The effect writes the clock's coverage into the alpha bytes; a picture made from an opaque
  // source is shown opaque, as a video output would be.
  sinkOptions.keepAlpha = info.hasAlpha;
  // Y4M holds the pictures only: the sink names the sound it leaves out. A PNG is a picture.
  const bool y4m = plan.outputKind == OutputKind::Y4m || plan.outputKind == OutputKind::Stdout;
  if (plan.outputKind == OutputKind::Video || (y4m && info.hasAudio && plan.audio != media::AudioMode::None)) {
    sinkOptions.copyFrom = media::CopyFrom::of(source, plan.start);
    if (sinkOptions.copyFrom) sinkOptions.copyFrom->audio = plan.audio;
  }
  media::VideoSink sink(o.output, sinkOptions);
  // A picture file or Y4M has no place for the rotation (a video container names it in lost()).
  if (plan.outputKind != OutputKind::Video && (!info.orientation.identity() || info.tilt != 0))
    std::cerr << "zelhost: warning: not kept in " << (o.output == "-" ? std::string("standard output") : Quoted(o.output))
              << ": the rotation of the video (the pictures are written as coded, with the clock upright on them)\n";

  // The plug-in sees the picture as shown: its size, pixel shape and field order.
  const ShownTurn shown = ChooseTurn(info, plan.format, interlaced, outputTurns);
  const media::Orientation& turn = shown.turn;
  if (!shown.note.empty() && !o.quiet) std::cerr << "zelhost: warning: " << shown.note << "\n";
  const media::FieldOrder shownOrder = ShownFieldOrder(order, turn, info.height);
  zel::host::SequenceInfo sequence;
  sequence.frameRate = av_q2d(info.rate);
  sequence.width = static_cast<std::uint32_t>(turn.shownWidth(info.width, info.height));
  sequence.height = static_cast<std::uint32_t>(turn.shownHeight(info.width, info.height));
  sequence.pixelAspectRatio = av_q2d(turn.transpose ? av_inv_q(info.pixelAspect) : info.pixelAspect);
  sequence.duration = static_cast<double>(info.frameCount >= 0 ? info.frameCount : plan.start + std::max<std::int64_t>(expected, 0));
  sequence.fieldLayout = !interlaced ? ZELFieldLayout_Progressive
                         : shownOrder == media::FieldOrder::TopFirst ? ZELFieldLayout_UpperFirst
                                                                     : ZELFieldLayout_LowerFirst;
  sequence.colorModel = zel::host::ColorModelOf(KindOf(plan.format));
  sequence.finalRender = true;
  instance.SetSequence(sequence);

  if (plan.start > 0) source.seek(plan.start);
  // Where the output is written from the decoded pictures, the plug-in's picture is made only
  // around the rows its render can change (a turned picture is turned whole, so it is made whole).
  source.deferPixels(sink.encodesNativePictures() && turn.identity());

  zel::host::ImageLayout layout;
  layout.pixelAspectRatio = sequence.pixelAspectRatio;
  const auto interlaceOrder = shownOrder == media::FieldOrder::BottomFirst ? zel::host::InterlaceOrder::LowerFirst
                                                                          : zel::host::InterlaceOrder::UpperFirst;
  const zel::host::PixelKind kind = KindOf(plan.format);

  const std::size_t frameBytes = static_cast<std::size_t>(info.width) * info.height * media::bytesPerPixel(plan.format);
  const std::size_t threads = static_cast<std::size_t>(plan.threads);
  const std::size_t slots = std::clamp(kSlotMemory / std::max<std::size_t>(frameBytes, 1), threads + 2, 2 * threads + 2);
  std::vector<media::Frame> frames(slots);
  std::vector<media::NativeWriteBack> writeBacks(slots);
  std::vector<media::Frame> shownFrames(turn.identity() ? 0 : slots);

  media::ProgressLine progress(stderr, expected, !o.quiet && media::ProgressLine::isTerminal(stderr));
  InterruptGuard interruptGuard;

  media::PipelineStages stages;
  stages.read = [&](std::size_t slot, std::int64_t seq) {
    if (gInterrupted.load()) throw Interrupted("interrupted; nothing was written to " + Quoted(o.output));
    if (count && seq >= *count) return false;
    return source.read(frames[slot], plan.format);
  };
  stages.work = [&](std::size_t slot, std::int64_t) {
    media::Frame& frame = frames[slot];
    const std::int64_t k = frame.index();
    // The rows the effect says it can change are all the write-back needs to keep and compare
    // (a picture shown turned keeps the whole frame: the region is the shown picture's).
    std::optional<media::RowBand> changeable;
    if (frame.native() != nullptr && turn.identity()) {
      const auto region = instance.RegionAt(static_cast<std::uint32_t>(frame.width()),
                                            static_cast<std::uint32_t>(frame.height()), frame.time(), interlaced, layout);
      if (region) changeable = media::RowBand{region->top, region->bottom};
    }
    writeBacks[slot].before(frame, changeable);
    // A picture shown turned is drawn on turned upright, then turned back, so that the write-back
    // finds the changed pixels in the picture as coded (turning moves pixels, it changes none).
    media::Frame& target = turn.identity() ? frame : shownFrames[slot];
    if (!turn.identity()) media::turnToShown(frame, target, turn);
    // In place: the host owns the decoded frame, so the effect may write over its input.
    const FrameView view{target.data(), static_cast<std::uint32_t>(target.width()),
                         static_cast<std::uint32_t>(target.height()), static_cast<std::size_t>(target.stride()), kind};
    const VOKRESULT rc = interlaced ? instance.RenderInterlacedAt(view, view, k, frame.time(), interlaceOrder, layout)
                                    : instance.RenderFrameAt(view, view, k, frame.time(), layout);
    if (VOKFAILED(rc))
      throw std::runtime_error("the effect failed on frame " + std::to_string(k) + " with " + zel::host::ResultText(rc));
    if (!turn.identity()) media::turnToCoded(target, frame, turn);
    writeBacks[slot].after(frame);
    frame.setFieldOrder(order);
  };
  stages.write = [&](std::size_t slot, std::int64_t seq) {
    sink.write(frames[slot]);
    progress.update(seq + 1);
  };
  const std::int64_t written = media::runOrdered(stages, plan.threads, slots);
  if (written == 0) {
    if (!source.damage().empty()) throw media::Error(source.damage() + "; nothing was written");
    throw media::Error("nothing to render: " + InputName(o) + " has no frame " + std::to_string(plan.start));
  }
  sink.commit();
  progress.finish(written);

  // What was lost is said even with --quiet: a user must not find it out later.
  if (!sink.lost().empty()) {
    std::string list;
    for (const std::string& item : sink.lost()) list += (list.empty() ? "" : ", ") + item;
    std::cerr << "zelhost: warning: not kept in " << Quoted(o.output) << ": " << list << "\n";
  }
  if (!source.damage().empty())
    std::cerr << "zelhost: warning: " << source.damage() << "; " << Quoted(o.output) << " holds the " << written
              << (written == 1 ? " frame" : " frames") << " before it (exit code 3)\n";
  if (!o.quiet) {
    for (const std::string& warning : sink.warnings()) std::cerr << "zelhost: warning: " << warning << "\n";
    std::cerr << "zelhost: wrote " << (o.output == "-" ? std::string("standard output") : Quoted(o.output)) << ": "
              << written << (written == 1 ? " frame " : " frames ") << info.width << "x" << info.height
              << ShownText(outputTurns ? info.orientation : media::Orientation{}, info.width, info.height) << " at "
              << RateText(info.rate) << " fps, " << media::toString(order) << ", " << media::toString(plan.format)
              << " processing\n";
  }
  return source.damage().empty() ? 0 : kExitShort;
}

constexpr const char* kFooter = R"(
INPUT   a video file the FFmpeg libraries read; a still image (repeated for every frame); an
        image sequence as a printf pattern (frames/%04d.png). Without -i: a moving test pattern,
        1920x1080, 25 fps, 10 s (--size, --rate, --frames or --duration change it).
OUTPUT  by extension: .mp4 .mkv .mov (H.264 through libx264, or --codec); .y4m (lossless);
        .png (one frame, or a sequence with a %d pattern; RGBA when the input has alpha, else
        RGB); - writes Y4M to standard output. Video and Y4M keep the input's pixel format,
        depth and colour tags where the encoder takes them (else the nearest, with a warning;
        --pix-fmt chooses); pixels the clock does not touch are the decoded input's own.
        libx264 defaults to --crf 23 --preset medium, as ffmpeg does. Into .mp4, .mkv and .mov
        goes the rest of the input, as the container takes it: audio (see --audio), subtitle
        and data streams, metadata, chapters, rotation; what it cannot take is named in one
        warning line. The output appears only when complete: a failed render leaves nothing,
        and an output that is an input is refused.

Frames and time: frame k is the k-th frame the input shows, from 0. Each frame keeps its
  timestamp (a variable rate stays variable) and renders at time (timestamp - first timestamp)
  x the nominal rate: k for a constant rate (the second field of an interlaced frame at + 0.5).
  Keyframes use the same time, so a part (--start, --frames) looks as it does in the whole.

Turned clips: a clip shown turned (a phone clip's display matrix, 90, 180 or 270 degrees or
  mirrored) into .mp4 or .mov, which keep the picture as coded with its matrix, is drawn on as
  shown: the clock upright, X, Y and Size in the shown picture, whose size the plug-in sees
  (--size too is the size shown). --format uyvy/yuy2 follow a half turn or a mirror but not a
  quarter turn (4:2:2 shares chroma along a row): then, as for an interlaced clip turned a
  quarter, a warning says the clock is drawn on the picture as coded, and shows turned with it
  (--format rgba draws upright). .mkv, .y4m and .png cannot hold the rotation (a warning says
  so): they show the picture as coded, and the clock is drawn upright on that.

Parameters: by display name or by a list box's name; 'zelhost info' lists them with ranges.
  --set "Size=40"   --set "Clock Type List=Digital Clock"   --set "Foreground RGB Color=255,230,80"
  List parameters take an item's name or value; booleans 1/0, yes/no, true/false, on/off.
  Keyframes: --set "X@0=10" --set "X@250=90": numbers move linearly between keys, other values
  hold until the next key; before the first key the first holds, after the last the last.
  A project file (--project look.json) holds the same:
    {"parameters": {"X": 25, "Size": [{"frame": 0, "value": 20}, {"frame": 250, "value": 60}],
                    "Clock Type List": "Digital Clock", "Foreground RGB Color": [255, 230, 80]},
     "font": "Liberation Serif,-40,bold"}
  Order: the project file, then --font, then --set (the command line wins).

Font (the digital clock): --font "FACE,HEIGHT,WEIGHT,ITALIC,UNDERLINE,STRIKEOUT", trailing fields
  optional, e.g. "Liberation Mono,-40,bold"; or key=value pairs: "face=DejaVu Serif,italic=yes".
  FACE: a font family, at most 31 UTF-16 units (empty: the effect's own choice). HEIGHT: the text
  is |HEIGHT| percent of the clock radius (default -32). WEIGHT: 0 to 1000 or thin, light,
  normal, medium, semibold, bold, black; above 400 is bold. ITALIC, UNDERLINE, STRIKEOUT: 1/0.

Exit codes: 0 done; 1 a failure (a file that cannot be read or written, a wrong project file, the
  effect failing; nothing is written); 2 a command line that cannot work (an output that is an
  input is refused); 3 the output was written but is short: the input is damaged, and the frames
  before the damage were rendered (a warning names the frame where reading stopped); 130
  interrupted (Ctrl-C). Errors are one line on standard error.

Examples:
  zelhost render -i holiday.mp4 -o holiday-clock.mp4
  zelhost render -i in.mp4 -o out.mp4 --set "Clock Type List=Digital Clock" --set Y=85 --set Size=25
  zelhost render -o pattern.mp4 --size 1280x720 --rate 30000/1001 --duration 5
  zelhost render -i tape.mov -o tape-clock.mov --field-order tff --set "Style List=Frame Counter with Field"
  zelhost render -i in.y4m -o out.y4m --format uyvy
  zelhost render -i in.mp4 -o out.mp4 --set "X@0=10" --set "X@250=90" --set "Size@0=20" --set "Size@250=60"
  zelhost render -i in.mp4 -o out.mp4 --project look.json --font "Liberation Sans,-40,bold"
  zelhost render -i in.mp4 -o frame100.png --start 100
  zelhost render -i in.mp4 -o frames/%04d.png --start 100 --frames 50
  zelhost render -i in.mp4 -o - | ffplay -
)";

}  // namespace

CommandRunner AddRenderCommand(CLI::App& app) {
  auto o = std::make_shared<RenderOptions>();
  CLI::App* cmd = app.add_subcommand(
      "render", "Render video with the effect: every frame of the input, or of a test pattern, with the clock over it.");
  cmd->footer(kFooter);
  cmd->add_option("PLUGIN", o->plugin, "The plug-in file (default: ZEL2Clock.zel beside zelhost)");
  cmd->add_option("-i,--input", o->input, "Video, still image or image sequence (default: the test pattern)")
      ->type_name("INPUT");
  cmd->add_option("-o,--output", o->output, "File to write (.mp4 .mkv .mov .y4m .png, or -)")
      ->type_name("OUTPUT")
      ->required();
  cmd->add_flag("-y,--overwrite", o->overwrite, "Replace an existing output");
  cmd->add_option("--size", o->size, "Frame size of the test pattern and stills; a video is scaled to it (as shown, when turned)")
      ->type_name("WxH");
  cmd->add_option("--rate", o->rate, "Frame rate of the test pattern, stills and image sequences (25, 30000/1001)")
      ->type_name("R");
  cmd->add_option("--start", o->start, "First input frame to render (default 0)")->type_name("K");
  cmd->add_option("--frames", o->frames, "Number of frames to render (default: to the input's end)")->type_name("N");
  cmd->add_option("--duration", o->duration, "Length to render in seconds, instead of --frames")->type_name("SECONDS");
  cmd->add_option("--format", o->format, "Pixels the plug-in works in: rgba (default), uyvy or yuy2 (4:2:2)")
      ->type_name("FORMAT");
  cmd->add_option("--field-order", o->fieldOrder,
                  "progressive, tff or bff (default: the input's own); interlaced renders each field on its own")
      ->type_name("ORDER");
  cmd->add_option("--set", o->sets, "A parameter value, or a keyframe with @FRAME; repeatable")
      ->type_name("NAME[@FRAME]=VALUE")
      ->allow_extra_args(false);
  cmd->add_option("--project", o->project, "Parameters (and font) from a JSON project file")->type_name("FILE.json");
  cmd->add_option("--font", o->font, "Font of the digital clock: \"FACE,HEIGHT,WEIGHT,ITALIC,UNDERLINE,STRIKEOUT\"")
      ->type_name("SPEC");
  cmd->add_option("--threads", o->threads, "Frames rendered at once (default: all cores)")->type_name("N");
  cmd->add_option("--codec", o->codec, "Video encoder for .mp4 .mkv .mov (default libx264)")->type_name("NAME");
  cmd->add_option("--crf", o->crf, "Constant quality of the video encoder (libx264: 0 lossless to 51; default 23)")
      ->type_name("Q");
  cmd->add_option("--preset", o->preset, "Encoder speed preset (libx264: ultrafast ... medium (default) ... veryslow)")
      ->type_name("NAME");
  cmd->add_option("--bitrate", o->bitrate, "Average video bit rate instead of --crf (5M, 800k)")->type_name("RATE");
  cmd->add_option("--pix-fmt", o->pixFmt, "Pixel format to encode (default: the input's own where the encoder takes it)")
      ->type_name("FORMAT");
  cmd->add_option("--audio", o->audio,
                  "auto (default): copy each audio stream, or encode it when the container does not take its "
                  "codec; copy: copy or leave out; encode: always encode; none: no audio")
      ->type_name("MODE");
  cmd->add_flag("--no-audio", o->noAudio, "The same as --audio none");
  cmd->add_flag("-q,--quiet", o->quiet, "No progress line, notes or summary (what is lost is still said)");
  return [o]() {
    try {
      return Run(*o);
    } catch (const UsageError& e) {
      PrintError(e.what());
      return kExitUsage;
    } catch (const Interrupted& e) {
      PrintError(e.what());
      return kExitInterrupted;
    }
  };
}

}  // namespace zelhost
