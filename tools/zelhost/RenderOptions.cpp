#include "RenderOptions.h"

#include "RenderBatch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <thread>

#include "loading/PluginModule.h"
#include "media/Encoders.h"
#include "media/VideoSource.h"
#include "text/Text.h"

namespace zelhost {

namespace media = zel::media;
using namespace zel::host;

namespace {

constexpr int kMaxThreads = 256;
constexpr double kMaxRate = 1000;

// --- Readers of single options ------------------------------------------------------------------

std::int64_t ReadCount(const char* option, const std::string& text, std::int64_t least) {
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
  for (char& c : ext) c = AsciiLower(c);
  if (!media::defaultEncoderFor(path).empty()) return OutputKind::Video;
  if (ext == "y4m") return OutputKind::Y4m;
  if (ext == "png") return media::isSequencePattern(path) ? OutputKind::PngSequence : OutputKind::Png;
  throw UsageError(OptionText("-o", path) + ": unknown output type (use .mp4, .mkv, .mov, .webm, .mxf, .gif, .y4m, "
                                            ".png, or - for Y4M on standard output)");
}

void ReadSize(RenderPlan& plan, const std::string& text) {
  const std::size_t x = text.find_first_of("xX");
  const auto w = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(0, x));
  const auto h = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h) throw UsageError(OptionText("--size", text) + ": expected WIDTHxHEIGHT, e.g. 1280x720");
  if (*w < 1 || *h < 1 || *w > media::Frame::kMaxSide || *h > media::Frame::kMaxSide)
    throw UsageError(OptionText("--size", text) + ": each side must be 1 to " + std::to_string(media::Frame::kMaxSide));
  plan.size = media::Size{static_cast<int>(*w), static_cast<int>(*h)};
  plan.sizeText = text;
}

void ReadRate(RenderPlan& plan, const std::string& text) {
  const auto fail = [&] {
    return UsageError(OptionText("--rate", text) +
                      ": expected frames per second above 0 and up to 1000, as 25, 29.97 or 30000/1001");
  };
  AVRational rate{0, 1};
  const std::size_t slash = text.find('/');
  if (slash != std::string::npos) {
    const auto num = ParseInteger(std::string_view(text).substr(0, slash));
    const auto den = ParseInteger(std::string_view(text).substr(slash + 1));
    if (!num || !den || *num <= 0 || *den <= 0 || *num > 1'000'000'000 || *den > 1'000'000'000) throw fail();
    rate = av_make_q(static_cast<int>(*num), static_cast<int>(*den));
  } else {
    const auto value = ParseNumber(text);
    if (!value || *value <= 0) throw fail();
    rate = av_d2q(*value, 1'000'000);
  }
  if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > kMaxRate) throw fail();
  av_reduce(&rate.num, &rate.den, rate.num, rate.den, 1'000'000'000);
  plan.rate = rate;
  plan.rateText = text;
}

void ReadDuration(RenderPlan& plan, const std::string& text) {
  const auto seconds = ParseNumber(text);
  if (!seconds || *seconds <= 0) throw UsageError(OptionText("--duration", text) + ": expected seconds above 0");
  plan.durationSeconds = *seconds;
  plan.durationText = text;
}

void ReadThreads(RenderPlan& plan, const std::string& text) {
  const auto n = ParseInteger(text);
  if (!n || *n < 1 || *n > kMaxThreads)
    throw UsageError(OptionText("--threads", text) + ": expected 1 to " + std::to_string(kMaxThreads));
  plan.threads = static_cast<int>(*n);
}

void ReadFormat(RenderPlan& plan, const std::string& text) {
  const auto format = media::parseFrameFormat(text);
  if (!format) throw UsageError(OptionText("--format", text) + ": expected rgba, uyvy or yuy2");
  plan.format = *format;
}

void ReadFieldOrder(RenderPlan& plan, const std::string& text) {
  plan.fieldOrder = media::parseFieldOrder(text);
  if (!plan.fieldOrder) throw UsageError(OptionText("--field-order", text) + ": expected progressive, tff or bff");
}

void ReadSet(RenderPlan& plan, const std::string& text) {
  try {
    plan.sets.push_back(ParseSetOption(text));
  } catch (const SettingSyntaxError& e) {
    throw UsageError(e.what());
  }
}

void ReadFont(RenderPlan& plan, const std::string& text) {
  try {
    plan.font = ParseFontSpec(text);
    MakeFontRecord(*plan.font);  // a face name too long is a usage error too
  } catch (const FontSpecError& e) {
    throw UsageError(OptionText("--font", text) + ": " + e.what());
  }
  plan.fontText = text;
}

void ReadCodec(RenderPlan& plan, const std::string& text) {
  if (!media::isVideoEncoder(text))
    throw UsageError(OptionText("--codec", text) + ": FFmpeg has no video encoder of that name (see 'ffmpeg -encoders')");
  plan.codec = text;
}

void ReadCrf(RenderPlan& plan, const std::string& text) {
  if (!ParseNumber(text))
    throw UsageError(OptionText("--crf", text) + ": expected a number, e.g. 23 (lower is better and larger)");
  plan.encoderOptions["crf"] = text;
  plan.crfText = text;
}

void ReadEncoderOption(RenderPlan& plan, const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0)
    throw UsageError(OptionText("--encoder-opt", text) + ": expected KEY=VALUE, e.g. x265-params=aq-mode=3 or g=50");
  plan.encoderOptions[text.substr(0, eq)] = text.substr(eq + 1);
}

void ReadAudio(RenderPlan& plan, const std::string& text) {
  const std::pair<const char*, media::AudioMode> modes[] = {{"auto", media::AudioMode::Auto},
                                                            {"copy", media::AudioMode::Copy},
                                                            {"encode", media::AudioMode::Encode},
                                                            {"none", media::AudioMode::None}};
  for (const auto& [name, mode] : modes) {
    if (text == name) {
      plan.audio = mode;
      return;
    }
  }
  throw UsageError(OptionText("--audio", text) + ": expected auto, copy, encode or none");
}

// --- The table ----------------------------------------------------------------------------------

const RenderOption kOptions[] = {
    {"PLUGIN", nullptr, "The plug-in file (default: ZEL2Clock.zel beside zelhost)", OptionUse::Positional, nullptr,
     [](RenderPlan& p, const std::string& t) {
       p.pluginText = t;
       p.plugin = t;
     }},
    {"-i,--input", "INPUT",
     "Video, still image or image sequence (default: the test pattern); repeatable, and a folder gives its videos",
     OptionUse::Repeated, nullptr,
     [](RenderPlan& p, const std::string& t) {
       p.inputs.push_back(t);
       p.input = t;
     }},
    {"-o,--output", "OUTPUT",
     "File to write (.mp4 .mkv .mov .y4m .png, or -); for many inputs a pattern with {name} and {ext}, or a folder/",
     OptionUse::Required, nullptr,
     [](RenderPlan& p, const std::string& t) {
       p.output = t;
       if (!IsOutputPattern(t)) p.outputKind = OutputKindOf(t);
     }},
    {"-y,--overwrite", nullptr, "Replace an existing output", OptionUse::Flag, nullptr,
     [](RenderPlan& p, const std::string&) { p.overwrite = true; }},
    {"--size", "WxH", "Frame size of the test pattern and stills; a video is scaled to it (as shown, when turned)",
     OptionUse::Once, nullptr, ReadSize},
    {"--rate", "R", "Frame rate of the test pattern, stills and image sequences (25, 30000/1001)", OptionUse::Once,
     nullptr, ReadRate},
    {"--start", "K", "First input frame to render (default 0)", OptionUse::Once, nullptr,
     [](RenderPlan& p, const std::string& t) {
       p.start = ReadCount("--start", t, 0);
       p.startText = t;
     }},
    {"--frames", "N", "Number of frames to render (default: to the input's end)", OptionUse::Once, nullptr,
     [](RenderPlan& p, const std::string& t) { p.count = ReadCount("--frames", t, 1); }},
    {"--duration", "SECONDS", "Length to render in seconds, instead of --frames", OptionUse::Once, nullptr,
     ReadDuration},
    {"--format", "FORMAT", "Pixels the plug-in works in: rgba (default), uyvy or yuy2 (4:2:2)", OptionUse::Once,
     "rgba", ReadFormat},
    {"--field-order", "ORDER",
     "progressive, tff or bff (default: the input's own); interlaced renders each field on its own", OptionUse::Once,
     nullptr, ReadFieldOrder},
    {"--set", "NAME[@FRAME]=VALUE", "A parameter value, or a keyframe with @FRAME; repeatable", OptionUse::Repeated,
     nullptr, ReadSet},
    {"--project", "FILE.json", "Parameters (and font) from a JSON project file", OptionUse::Once, nullptr,
     [](RenderPlan& p, const std::string& t) { p.project = t; }},
    {"--font", "SPEC", "Font of the digital clock: \"FACE,HEIGHT,WEIGHT,ITALIC,UNDERLINE,STRIKEOUT\"", OptionUse::Once,
     nullptr, ReadFont},
    {"--threads", "N", "Frames rendered at once (default: all cores)", OptionUse::Once, nullptr, ReadThreads},
    {"--codec", "NAME",
     "Video encoder (default: libx264 for .mp4 .mkv .mov, libvpx-vp9 for .webm, mpeg2video for .mxf; see Encoders "
     "below)",
     OptionUse::Once, nullptr, ReadCodec},
    {"--profile", "NAME",
     "The encoder's profile: prores_ks proxy, lt, standard, hq, 4444, 4444xq; dnxhd dnxhd, dnxhr_lb, dnxhr_sq, "
     "dnxhr_hq, dnxhr_hqx, dnxhr_444; libx264 and libx265 theirs (default: an intra input's own)",
     OptionUse::Once, nullptr, [](RenderPlan& p, const std::string& t) { p.profile = t; }},
    {"--crf", "Q", "Constant quality of the video encoder (libx264 and libx265: 0 to 51, lower is better; the "
                   "defaults are under Encoders below)",
     OptionUse::Once, nullptr, ReadCrf},
    {"--preset", "NAME", "Encoder speed preset (libx264, libx265: ultrafast ... medium (default) ... veryslow)",
     OptionUse::Once, nullptr, [](RenderPlan& p, const std::string& t) { p.encoderOptions["preset"] = t; }},
    {"--bitrate", "RATE", "Average video bit rate instead of --crf (5M, 800k)", OptionUse::Once, nullptr,
     [](RenderPlan& p, const std::string& t) {
       p.encoderOptions["b"] = t;
       p.bitrateText = t;
     }},
    {"--pix-fmt", "FORMAT", "Pixel format to encode (default: the input's own where the encoder takes it)",
     OptionUse::Once, nullptr, [](RenderPlan& p, const std::string& t) { p.pixelFormat = t; }},
    {"--encoder-opt", "KEY=VALUE",
     "An option of the video encoder, passed as it is (x264-params=..., x265-params=..., g=50, tune=film); "
     "repeatable",
     OptionUse::Repeated, nullptr, ReadEncoderOption},
    {"--audio", "MODE",
     "auto (default): copy each audio stream, or encode it when the container does not take its codec; copy: copy "
     "or leave out; encode: always encode; none: no audio",
     OptionUse::Once, "auto", ReadAudio},
    {"--no-audio", nullptr, "The same as --audio none", OptionUse::Flag, nullptr,
     [](RenderPlan& p, const std::string&) { p.audio = media::AudioMode::None; }},
    {"--shortest", nullptr,
     "End sound, subtitles and data where the video ends (default: each keeps its whole length, as ffmpeg "
     "-map 0 does); a note says how much was cut",
     OptionUse::Flag, nullptr, [](RenderPlan& p, const std::string&) { p.shortest = true; }},
    {"--timecode", "source|TC",
     "Start the clock at the file's own time code (source) or at HH:MM:SS:FF (';' before the frames: drop-frame); "
     "frame k shows the time code of frame k (see Time code below)",
     OptionUse::Once, nullptr, [](RenderPlan& p, const std::string& t) { p.timeCode = t; }},
    {"--datetime", "source|ISO",
     "Start the date and time styles at the recording's date and time (source: its creation tags) or at "
     "YYYY-MM-DDTHH:MM:SS",
     OptionUse::Once, nullptr, [](RenderPlan& p, const std::string& t) { p.dateTime = t; }},
    {"-q,--quiet", nullptr, "No progress line, notes or summary (what is lost is still said)", OptionUse::Flag,
     nullptr, [](RenderPlan& p, const std::string&) { p.quiet = true; }},
};

// --- Checks across options ----------------------------------------------------------------------

/// True when `path` names an existing file that is `other` too (the same device and inode,
/// through any path, link or hard link).
bool SameFile(const std::string& path, const std::string& other) {
  struct stat a {}, b {};
  if (path.empty() || other.empty() || ::stat(path.c_str(), &a) != 0 || ::stat(other.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// An output that is one of the command's inputs would be destroyed by the render: refused
/// whether or not -y is given.
void RefuseOutputOverInput(const RenderPlan& plan) {
  if (plan.output == "-" || media::isSequencePattern(plan.output)) return;
  const std::pair<const char*, std::string> inputs[] = {
      {"the input", media::isSequencePattern(plan.input) ? std::string() : plan.input},
      {"the project file", plan.project},
      {"the plug-in", plan.plugin.string()},
  };
  for (const auto& [what, path] : inputs) {
    if (SameFile(plan.output, path))
      throw UsageError(OptionText("-o", plan.output) + " is " + what + " (" + Quoted(path) +
                       "): the render would destroy it; choose another output name");
  }
}

/// A plug-in is a shared library: a media file in its place was meant as the input.
void CheckPluginArgument(const RenderPlan& plan) {
  if (plan.pluginText.empty()) return;
  const std::filesystem::path path(plan.pluginText);
  std::error_code ec;
  if (path.extension() == ".zel" || !std::filesystem::is_regular_file(path, ec)) return;
  char magic[4] = {};
  std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
  if (std::string_view(magic, 4) == "\x7f" "ELF") return;
  if (plan.input.empty())
    throw UsageError(Quoted(plan.pluginText) + " is not a plug-in; did you mean -i " + Quoted(plan.pluginText) + "?");
  throw UsageError(Quoted(plan.pluginText) + " is not a plug-in (a ZEL plug-in is a .zel shared library)");
}

/// --profile and --encoder-opt against the encoder that will write: checked before any work.
void CheckEncoderSettings(const RenderPlan& plan) {
  if (plan.outputKind != OutputKind::Video) {
    if (!plan.profile.empty()) throw UsageError(OptionText("-o", plan.output) + ": --profile applies to video containers");
    return;
  }
  const std::string encoder = plan.Encoder();
  if (!plan.profile.empty()) {
    const std::vector<std::string> names = media::profileNames(encoder);
    if (names.empty()) throw UsageError(OptionText("--profile", plan.profile) + ": " + encoder + " takes no profile by name");
    if (std::find(names.begin(), names.end(), plan.profile) == names.end()) {
      std::string list;
      for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
      throw UsageError(OptionText("--profile", plan.profile) + ": " + encoder + " takes " + list);
    }
  }
  for (const auto& [key, value] : plan.encoderOptions) {
    if (media::encoderHasOption(encoder, key)) continue;
    const std::string given = key == "crf"      ? OptionText("--crf", value)
                              : key == "preset" ? OptionText("--preset", value)
                              : key == "b"      ? OptionText("--bitrate", value)
                                                : "--encoder-opt " + Quoted(key + "=" + value);
    throw UsageError(given + ": " + encoder + " has no option " + Quoted(key) + " ('ffmpeg -h encoder=" + encoder +
                     "' lists them)");
  }
}

/// The checks of a plan's one output: it is no input, and a single picture holds one frame.
void CheckOutput(RenderPlan& plan) {
  RefuseOutputOverInput(plan);
  CheckEncoderSettings(plan);
  if (plan.outputKind == OutputKind::Png) {
    if ((plan.count && *plan.count > 1) || plan.durationSeconds)
      throw UsageError(OptionText("-o", plan.output) +
                       " holds one picture; name it with a %d pattern (frames/%04d.png) to write more frames");
    plan.count = 1;
  }
}

void CheckAcross(RenderPlan& plan) {
  CheckPluginArgument(plan);
  if (plan.pluginText.empty()) plan.plugin = DefaultPluginPath();
  if (plan.outputKind == OutputKind::Stdout && IsBatch(plan))
    throw UsageError("-o -: a batch writes a file for each input; give a pattern such as out/{name}.mp4");
  if (plan.outputKind == OutputKind::Stdout && ::isatty(STDOUT_FILENO) != 0)
    throw UsageError("-o -: standard output is a terminal; send the Y4M stream to a program or a file (-o - | ffplay -)");
  if (plan.count && plan.durationSeconds) throw UsageError("--frames and --duration: give one of them, not both");
  if (!plan.crfText.empty() && !plan.bitrateText.empty())
    throw UsageError("--crf and --bitrate: give one of them, not both");
  // A batch's outputs are named and checked file by file (PlanOfFile).
  if (!IsBatch(plan)) CheckOutput(plan);
}

}  // namespace

RenderPlan PlanOfFile(const RenderPlan& plan, const std::string& input, const std::string& output) {
  RenderPlan file = plan;
  file.input = input;
  file.inputs = {input};
  file.output = output;
  file.outputKind = OutputKindOf(output);
  CheckOutput(file);
  return file;
}

std::string OptionText(const char* option, const std::string& value) { return std::string(option) + " " + Quoted(value); }

std::string RenderPlan::Encoder() const {
  if (!codec.empty()) return codec;
  // A DNxHR (or DNxHD) profile into MXF names the encoder MXF's other kind of video needs.
  if (profile.rfind("dnx", 0) == 0 && media::defaultEncoderFor(output) == "mpeg2video") return "dnxhd";
  return media::defaultEncoderFor(output);
}

std::string RenderPlan::InputName() const { return input.empty() ? "the test pattern" : Quoted(input); }

std::span<const RenderOption> RenderOptions() { return kOptions; }

void DeclareRenderOptions(CLI::App& command, RenderArguments& arguments) {
  arguments.assign(std::size(kOptions), {});
  for (std::size_t i = 0; i < std::size(kOptions); ++i) {
    const RenderOption& row = kOptions[i];
    std::vector<std::string>& texts = arguments[i];
    if (row.use == OptionUse::Flag) {
      command.add_flag_callback(row.names, [&texts] { texts.assign(1, "1"); }, row.help);
      continue;
    }
    CLI::Option* option = command.add_option(row.names, texts, row.help);
    if (row.valueName != nullptr) option->type_name(row.valueName);
    if (row.use == OptionUse::Repeated) {
      option->allow_extra_args(false);
    } else {
      option->expected(1);
      if (row.use != OptionUse::Positional) option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    }
    if (row.use == OptionUse::Required) option->required();
  }
}

RenderPlan MakePlan(const RenderArguments& arguments) {
  RenderPlan plan;
  plan.threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned{kMaxThreads}));
  for (std::size_t i = 0; i < std::size(kOptions); ++i) {
    const RenderOption& row = kOptions[i];
    const std::vector<std::string> none;
    const std::vector<std::string>& texts = i < arguments.size() ? arguments[i] : none;
    if (texts.empty() && row.defaultText != nullptr) row.read(plan, row.defaultText);
    for (const std::string& text : texts) row.read(plan, text);
  }
  CheckAcross(plan);
  return plan;
}

namespace {

constexpr const char* kFooterOutputs = R"(
INPUT   a video file the FFmpeg libraries read; a still image (repeated for every frame); an
        image sequence as a printf pattern (frames/%04d.png). Without -i: a moving test pattern,
        1920x1080, 25 fps, 10 s (--size, --rate, --frames or --duration change it).
OUTPUT  by extension: .mp4 .mkv .mov (H.264 through libx264, or --codec); .webm (VP9, or
        --codec libsvtav1, with Opus sound); .mxf (OP1a: MPEG-2 4:2:2, or DNxHD/DNxHR, with PCM
        tracks and the time code); .gif (a palette made for the clip); .y4m (lossless); .png
        (one frame, or a sequence with a %d pattern; RGBA when the input has alpha, else RGB);
        - writes Y4M to standard output. Video and Y4M keep the input's pixel format, depth,
        colour tags and HDR10 metadata where the encoder and container take them (else the
        nearest, with a warning; --pix-fmt chooses); an intra input (ProRes, DNxHD) coded again
        with its own codec keeps its profile; pixels the clock does not touch are the decoded
        input's own. Into a video container goes the rest of the input, as the container takes
        it: audio (see --audio), subtitle and data streams, metadata, chapters, rotation; what
        it cannot take is named in one warning line. Every stream keeps its whole length, as
        with ffmpeg -map 0: sound and subtitles that run on after the last frame are written
        (--shortest ends them with the video; a part, --frames, ends them with the part). The
        output appears only when complete: a failed render leaves nothing, and an output that
        is an input is refused.

Many inputs: -i again for each file, or a folder for the video files in it; -o then names each
  output from its input: {name} the input's name without extension, {ext} its extension
  (-o review/{name}-clock.{ext}), or a folder ending in / keeps the name. Every file gets the
  same settings; a file that fails (damaged, unreadable, an output that exists without -y or that
  would be an input) is named in one line and the others go on. A summary ends the batch; its
  exit code is 0 when every file was rendered whole, 3 when some were, 1 when none was.

Encoders and what each does without --crf, --bitrate, --preset or --profile (--encoder-opt
  KEY=VALUE passes any option of theirs, 'ffmpeg -h encoder=NAME' lists them):
)";

constexpr const char* kFooterRest = R"(
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

Time code: --timecode source starts the clock at the time code the file gives its first frame
  (a tmcd track of MOV and MP4, MXF's time code, Matroska's TIMECODE tag, DV's subcode, MPEG-2
  GOP headers, H.264 and HEVC picture timing); --timecode 01:00:00:00 sets it by hand (';' before
  the frames for drop-frame: 00:59:59;28). Frame k then shows the label of frame k, exactly, at
  23.976, 24, 25, 29.97 and 59.94 (non-drop and drop-frame), 30, 50 and 60 fps, and past midnight
  it wraps: "TC hh:mm:ss:ff" shows the label, "Frame Counter" the label as a count of frames
  (hh x 3600 x N + mm x 60 x N + ss x N + ff), the time styles the time of day the label stands
  for. The rule: a time code counts N labels a second (N = 24 for 23.976, 30 for 29.97, 60 for
  59.94), so the effect is handed the rate N and, for frame k, the label number of frame k as its
  time, with the Start Time fields at 0; keys stay at frames (docs/timecode.md). With a Time Speed
  Factor other than 1, or Count Down, the clock starts at the label of frame 0 (in the Start Time
  fields) and counts from there as the effect counts, at N frames a second: faster, slower or
  down to the stop time, and no longer the file's labels. A file without a time code, or a label
  that cannot be (25:00:00:00, frame 30 at 25 fps, ';' at 25 fps) is refused with exit code 2.
  The summary line names the time code and where it came from.

Date: --datetime source starts the date and time styles at the recording's date and time:
  QuickTime's com.apple.quicktime.creationdate (a phone's local time, with its offset) where the
  file has it, else its creation_time (UTC, shown in the time zone of TZ); --datetime
  2026-03-14T15:30:12 sets it by hand (with Z for UTC, or an offset such as +01:00, which keeps
  the time as written). The clock then runs in real time from there; past midnight the date turns
  on the first frame after it. With --timecode as well, the time is the time code's and the date
  the recording's. "Start Time Year" takes 1970 to 2099.

"Start Time" text: read only by the "Free Format" style, and expanded as C's strftime does:
  %H, %M, %S the clock's hours, minutes and seconds; %d, %m, %Y, %y the start date; %% a percent
  sign; any other text as it is. "%H:%M" shows 14:05, "Take 3 - %H:%M:%S" Take 3 - 14:05:09,
  "%d.%m.%Y" 14.03.2026. Weekday and day of the year (%a, %A, %j) always read Sunday and the
  year's first day. Set under another style, a note says it is not shown.

Font (the digital clock): --font "FACE,HEIGHT,WEIGHT,ITALIC,UNDERLINE,STRIKEOUT", trailing fields
  optional, e.g. "Liberation Mono,-40,bold"; or key=value pairs: "face=DejaVu Serif,italic=yes".
  FACE: a font family, at most 31 UTF-16 units (empty: the effect's own choice). HEIGHT: the text
  is |HEIGHT| percent of the clock radius (default -32). WEIGHT: 0 to 1000 or thin, light,
  normal, medium, semibold, bold, black; above 400 is bold. ITALIC, UNDERLINE, STRIKEOUT: 1/0.

Exit codes: 0 done; 1 a failure (a file that cannot be read or written, a wrong project file, the
  effect failing; nothing is written); 2 a command line that cannot work (an output that is an
  input is refused; a --timecode or --datetime the file or the text cannot give);
  3 the output was written but is short: the input is damaged, and the frames before the damage
  were rendered (a warning names the frame where reading stopped); 128 + N stopped by signal N,
  nothing written (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP: the terminal closed, 131 SIGQUIT). A part
  file a killed render left beside its output is removed by the next render of that output.
  Errors are one line on standard error.

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
  zelhost render -i camera.mov -o review.mp4 --timecode source --set "Clock Type List=1" --set "Style List=10"
  zelhost render -i phone.mov -o dated.mp4 --datetime source --set "Clock Type List=1" --set "Style List=11"
  zelhost render -i in.mp4 -o - | ffplay -
  zelhost render -i /shoot/day1/ -i /shoot/extra.mov -o /review/{name}-clock.mp4
)";

}  // namespace

std::string RenderHelpFooter() {
  std::string text = kFooterOutputs;
  for (const std::string& line : media::encoderDefaultLines()) text += "  " + line + "\n";
  return text + kFooterRest;
}

}  // namespace zelhost
