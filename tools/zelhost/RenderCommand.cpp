// zelhost render: the effect applied to real video. The command line becomes one checked plan
// (RenderOptions); the render opens the plug-in, the source and the sink the plan names and hands
// them to the host's render job, then says what it wrote. Many inputs are a batch (RenderBatch)
// of the same render, file by file.
#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "RenderBatch.h"
#include "RenderOptions.h"
#include "loading/PluginModule.h"
#include "media/Error.h"
#include "media/ProgressLine.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"
#include "render/ClockStart.h"
#include "render/EffectInstance.h"
#include "render/FrameRenderer.h"
#include "render/RenderJob.h"
#include "settings/ProjectFile.h"
#include "text/Text.h"

namespace zelhost {

namespace media = zel::media;
using namespace zel::host;

namespace {

/// The output was written but holds fewer frames than asked for: the input is damaged.
constexpr int kExitShort = 3;

// --- Parameters ----------------------------------------------------------------------------------

void SetFont(EffectInstance& instance, const FontSpec& font, const std::string& where) {
  ParamValue value;
  value.bytes = MakeFontRecord(font);
  ParameterValue* data = instance.Find("PrivateData");
  if (data == nullptr || !data->Set(value))
    throw HostError(where + ": the plug-in has no 92-byte \"PrivateData\" font record to take it");
}

/// The project file, then --font, then each --set: the command line wins. Returns where the
/// clock starts: --timecode and --datetime, else the project's.
ClockStartRequest ApplyParameters(EffectInstance& instance, const RenderPlan& plan) {
  ClockStartRequest clock{plan.timeCode, plan.dateTime, OptionText("--timecode", plan.timeCode),
                          OptionText("--datetime", plan.dateTime)};
  if (!plan.project.empty()) {
    const Project project = ReadProject(plan.project);
    for (const ParameterSetting& setting : project.settings) ApplySetting(instance, setting);
    if (project.font) SetFont(instance, *project.font, "project " + Quoted(plan.project) + ", font");
    if (clock.timeCode.empty() && !project.timeCode.empty())
      clock = {project.timeCode, clock.dateTime, "project " + Quoted(plan.project) + ", timecode " + Quoted(project.timeCode),
               clock.dateTimeWhere};
    if (clock.dateTime.empty() && !project.dateTime.empty()) {
      clock.dateTime = project.dateTime;
      clock.dateTimeWhere = "project " + Quoted(plan.project) + ", datetime " + Quoted(project.dateTime);
    }
  }
  try {
    if (plan.font) SetFont(instance, *plan.font, OptionText("--font", plan.fontText));
    for (const ParameterSetting& setting : plan.sets) ApplySetting(instance, setting);
  } catch (const HostError& e) {
    throw UsageError(e.what());
  }
  return clock;
}

/// --timecode and --datetime, after the parameters and the sequence. A request the file or the
/// text cannot meet is a command line that cannot work.
ClockStart StartClock(EffectInstance& instance, const ClockStartRequest& request, const RenderPlan& plan,
                      const media::SourceInfo& info, std::int64_t expected) {
  // An input of unknown length is keyed past midnight for a month of frames.
  const std::int64_t last = expected >= 0 ? plan.start + expected - 1
                                          : plan.start + static_cast<std::int64_t>(av_q2d(info.rate) * 86400 * 31);
  try {
    return ApplyClockStart(instance, request, info, last);
  } catch (const ClockStartError& e) {
    throw UsageError(e.what());
  }
}

// --- Input and output ----------------------------------------------------------------------------

/// --duration needs the rate, which a video file brings: N = the nearest whole number of frames.
double FramesAt(double seconds, AVRational rate) { return std::round(seconds * av_q2d(rate)); }

std::int64_t FramesOfDuration(const RenderPlan& plan, AVRational rate) {
  const double frames = FramesAt(*plan.durationSeconds, rate);
  if (frames < 1)
    throw UsageError(OptionText("--duration", plan.durationText) + ": shorter than one frame at " +
                     NumberText(av_q2d(rate)) + " fps");
  if (frames > 1e12) throw UsageError(OptionText("--duration", plan.durationText) + ": too long");
  return static_cast<std::int64_t>(frames);
}

/// Why frames of `width` x `height` cannot be processed or written as planned, or nothing.
std::optional<std::string> SizeProblem(int width, int height, const RenderPlan& plan, media::FieldOrder order) {
  if (media::isYuv422(plan.format) && width % 2 != 0)
    return "4:2:2 processing (--format " + std::string(media::toString(plan.format)) +
           ") works on pixel pairs and needs an even width";
  if (plan.outputKind == OutputKind::Video && plan.UsesDefaultEncoder()) {
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

std::string OutputName(const RenderPlan& plan) {
  return plan.output == "-" ? std::string("standard output") : Quoted(plan.output);
}

std::string RateText(AVRational rate) {
  return rate.den == 1 ? std::to_string(rate.num) : std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

/// For the summary: how an output of a turned clip is shown (" shown turned 90 degrees clockwise
/// as 1080x1920").
std::string ShownText(const media::Orientation& shown, int width, int height) {
  if (shown.identity()) return "";
  return std::string(" shown ") + (shown.mirrored() ? "mirrored and " : "") + TurnText(shown.rotation()) + " as " +
         std::to_string(shown.shownWidth(width, height)) + "x" + std::to_string(shown.shownHeight(width, height));
}

// --- Interruption --------------------------------------------------------------------------------

std::atomic<bool> gInterrupted{false};
std::atomic<int> gSignal{0};

extern "C" void OnInterrupt(int signal) {
  gSignal.store(signal);
  gInterrupted.store(true);
}

/// The signals that end a render as a failure ends it: the temporary output removed, nothing left.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/// While alive, the stop signals end the render at the next frame instead of killing the process,
/// so that the temporary output is removed as on any other failure.
class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted.store(false);
    gSignal.store(0);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &m_old[i]);
  }
  ~InterruptGuard() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &m_old[i], nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  /// Throws Interrupted when a stop signal came.
  static void Check(const RenderPlan& plan) {
    if (!gInterrupted.load()) return;
    const int signal = gSignal.load();
    const char* name = sigabbrev_np(signal);
    throw Interrupted(signal, std::string("interrupted (SIG") + (name != nullptr ? name : "?") +
                                  "); nothing was written to " + Quoted(plan.output));
  }

 private:
  struct sigaction m_old[std::size(kStopSignals)] {};
};

// --- The render ----------------------------------------------------------------------------------

/// The source as the plan names it, and the frames to render from it.
struct OpenedSource {
  media::VideoSource source;
  std::optional<std::int64_t> count;  ///< frames to render; none: to the input's end
  std::int64_t expected = -1;         ///< frames the render should write, -1 when unknown
};

/// Opens the source once: a file, or the test pattern. The pattern and a still image are made as
/// long as the frames asked for, at --rate (25 without it); a video brings its own rate and length.
/// `sizeIsShown`: --size is the size of the picture as shown (a phone clip turned a quarter).
OpenedSource OpenSource(const RenderPlan& plan, bool sizeIsShown) {
  media::SourceOptions options;
  options.size = plan.size;
  options.sizeIsShown = sizeIsShown;
  options.rate = plan.rate;
  std::optional<std::int64_t> count = plan.count;
  if (count) {
    options.frameCount = plan.start + *count;
  } else if (plan.durationSeconds) {
    // A video's own rate decides its frames below, and a duration of no frames at all is refused
    // there.
    const double frames = FramesAt(*plan.durationSeconds, plan.rate.value_or(AVRational{25, 1}));
    if (frames >= 1 && frames <= 1e12) options.frameCount = plan.start + static_cast<std::int64_t>(frames);
  }
  OpenedSource opened{plan.input.empty() ? media::VideoSource::testPattern(options)
                                         : media::VideoSource::open(plan.input, options),
                      count};
  const media::SourceInfo& info = opened.source.info();
  if (!opened.count && plan.durationSeconds) opened.count = FramesOfDuration(plan, info.rate);
  if (plan.rate && info.kind == media::SourceKind::Video)
    throw UsageError(OptionText("--rate", plan.rateText) + ": " + plan.InputName() + " is a video with a rate of its own (" +
                     RateText(info.rate) + " fps); --rate applies to the test pattern, still images and image sequences");

  // Which frames: start .. start + count - 1, or to the end of the input.
  if (info.frameCount >= 0 && info.frameCountExact && plan.start >= info.frameCount)
    throw UsageError(OptionText("--start", plan.startText) + ": " + plan.InputName() + " has " +
                     std::to_string(info.frameCount) + " frames (0 to " + std::to_string(info.frameCount - 1) + ")");
  opened.expected = opened.count.value_or(-1);
  if (info.frameCount >= 0) {
    const std::int64_t available = std::max<std::int64_t>(0, info.frameCount - plan.start);
    opened.expected = opened.count ? std::min(*opened.count, available) : available;
  }
  return opened;
}

/// What the sink is told: the source's pictures and time, the plan's encoder, and (for a video
/// container, or Y4M beside sound it then names as left out) the rest of the input to copy.
media::SinkOptions SinkOptionsFor(const RenderPlan& plan, const OpenedSource& opened, const FramePlan& frames) {
  const media::SourceInfo& info = opened.source.info();
  media::SinkOptions options;
  options.width = info.width;
  options.height = info.height;
  options.rate = info.rate;
  options.timeBase = info.timeBase;
  options.format = plan.format;
  options.fieldOrder = frames.order;
  options.pixelAspect = info.pixelAspect;
  // A profile given without --codec names the encoder it belongs to (a DNxHR profile into .mxf).
  options.codec = plan.profile.empty() ? plan.codec : plan.Encoder();
  options.codecOptions = plan.encoderOptions;
  options.pixelFormat = plan.pixelFormat;
  options.native = info.nativeColour;
  options.profile = plan.profile;
  options.sourceCoding = info.coding;
  options.hdr = info.hdr;
  options.quietEncoders = plan.quiet;
  options.overwrite = plan.overwrite;
  // The effect writes the clock's coverage into the alpha bytes; a picture made from an opaque
  // source is shown opaque, as a video output would be.
  options.keepAlpha = info.hasAlpha;
  const bool y4m = plan.outputKind == OutputKind::Y4m || plan.outputKind == OutputKind::Stdout;
  if (plan.outputKind == OutputKind::Video || (y4m && info.hasAudio && plan.audio != media::AudioMode::None)) {
    options.copyFrom = media::CopyFrom::of(opened.source, plan.start);
    if (options.copyFrom) {
      options.copyFrom->audio = plan.audio;
      options.copyFrom->shortest = plan.shortest;
      options.copyFrom->frameLimit = opened.count;
    }
  }
  return options;
}

/// What the user is told after a render: what was lost and what is short (even with --quiet: a
/// user must not find it out later), then the warnings and the summary line.
void Report(const RenderPlan& plan, const media::VideoSource& source, const media::VideoSink& sink,
            const FramePlan& frames, bool outputTurns, std::int64_t written, const ClockStart& clockStart) {
  const media::SourceInfo& info = source.info();
  if (!sink.lost().empty()) {
    std::string list;
    for (const std::string& item : sink.lost()) list += (list.empty() ? "" : ", ") + item;
    std::cerr << "zelhost: warning: not kept in " << Quoted(plan.output) << ": " << list << "\n";
  }
  if (!source.damage().empty())
    std::cerr << "zelhost: warning: " << source.damage() << "; " << Quoted(plan.output) << " holds the " << written
              << (written == 1 ? " frame" : " frames") << " before it (exit code 3)\n";
  if (plan.quiet) return;
  for (const std::string& warning : sink.warnings()) std::cerr << "zelhost: warning: " << warning << "\n";
  std::cerr << "zelhost: wrote " << OutputName(plan) << ": " << written << (written == 1 ? " frame " : " frames ")
            << info.width << "x" << info.height
            << ShownText(outputTurns ? info.orientation : media::Orientation{}, info.width, info.height) << " at "
            << RateText(info.rate) << " fps, " << media::toString(frames.order) << ", " << media::toString(plan.format)
            << " processing" << (clockStart.summary.empty() ? "" : ", clock from " + clockStart.summary)
            << (clockStart.clock && plan.start > 0
                    ? ", " + clockStart.LabelOf(plan.start) + " at frame " + std::to_string(plan.start)
                    : std::string())
            << "\n";
}

FileOutcome Run(const RenderPlan& plan) {
  // An output that exists is refused before any work (and again as it is put in place).
  CheckOutputPlace(plan.output, plan.overwrite);
  Plugin plugin(plan.plugin);
  EffectInstance instance(plugin);
  const ClockStartRequest clockRequest = ApplyParameters(instance, plan);

  // The output is shown as the input is where it keeps the display matrix (MP4, MOV): the
  // plug-in then draws on the picture as shown, and --size is the size shown.
  const bool outputTurns = plan.outputKind == OutputKind::Video && media::takesDisplayMatrix(plan.output);
  OpenedSource opened = OpenSource(plan, outputTurns);
  media::VideoSource& source = opened.source;
  const media::SourceInfo& info = source.info();
  const FramePlan frames = PlanFrames(info, plan.format, plan.fieldOrder, outputTurns);
  if (auto problem = SizeProblem(info.width, info.height, plan, frames.order)) {
    if (plan.size) throw UsageError(OptionText("--size", plan.sizeText) + ": " + *problem);
    throw media::Error(plan.InputName() + " is " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                       ": " + *problem + " (--size scales it)");
  }

  // The plug-in sees the picture as shown: its size, pixel shape and field order.
  const double duration = static_cast<double>(
      info.frameCount >= 0 ? info.frameCount : plan.start + std::max<std::int64_t>(opened.expected, 0));
  instance.SetSequence(SequenceOf(info, frames, duration, /*finalRender=*/true));
  const ClockStart clockStart = StartClock(instance, clockRequest, plan, info, opened.expected);
  if (!plan.quiet) {
    for (const std::string& note : clockStart.notes) std::cerr << "zelhost: note: " << note << "\n";
    if (const auto note = UnshownStartTimeText(instance)) std::cerr << "zelhost: note: " << *note << "\n";
  }

  // From the moment the temporary output exists, a stop signal must let it be removed.
  InterruptGuard interruptGuard;
  std::optional<media::VideoSink> sink;
  try {
    sink.emplace(plan.output, SinkOptionsFor(plan, opened, frames));
  } catch (const media::SizeError& e) {
    throw UsageError(e.what());
  }
  // A picture file or Y4M has no place for the rotation (a video container names it in lost()).
  if (plan.outputKind != OutputKind::Video && (!info.orientation.identity() || info.tilt != 0))
    std::cerr << "zelhost: warning: not kept in " << OutputName(plan)
              << ": the rotation of the video (the pictures are written as coded, with the clock upright on them)\n";
  if (!frames.note.empty() && !plan.quiet) std::cerr << "zelhost: warning: " << frames.note << "\n";
  const FrameRenderer renderer(instance, frames);

  if (plan.start > 0) source.seek(plan.start);
  media::ProgressLine progress(stderr, opened.expected, !plan.quiet && media::ProgressLine::isTerminal(stderr));
  RenderJobOptions job;
  job.threads = plan.threads;
  job.count = opened.count;
  job.progress = &progress;
  job.stop = &gInterrupted;
  const RenderJobResult result = RunRenderJob(source, *sink, renderer, job);
  InterruptGuard::Check(plan);
  if (result.written == 0) {
    if (!source.damage().empty()) throw media::Error(source.damage() + "; nothing was written");
    throw media::Error("nothing to render: " + plan.InputName() + " has no frame " + std::to_string(plan.start));
  }
  InterruptGuard::Check(plan);  // a signal while the last frames were written
  sink->commit();
  progress.finish(result.written);
  Report(plan, source, *sink, frames, outputTurns, result.written, clockStart);
  return {source.damage().empty() ? 0 : kExitShort, result.written};
}

}  // namespace

CommandRunner AddRenderCommand(CLI::App& app) {
  auto arguments = std::make_shared<RenderArguments>();
  CLI::App* cmd = app.add_subcommand(
      "render", "Render video with the effect: every frame of the input, or of a test pattern, with the clock over it.");
  cmd->footer(RenderHelpFooter());
  DeclareRenderOptions(*cmd, *arguments);
  return [arguments]() {
    try {
      const RenderPlan plan = MakePlan(*arguments);
      if (IsBatch(plan)) return RunBatch(plan, Run);
      return Run(plan).exitCode;
    } catch (const UsageError& e) {
      PrintError(e.what());
      return kExitUsage;
    } catch (const Interrupted& e) {
      PrintError(e.what());
      return e.ExitCode();
    }
  };
}

}  // namespace zelhost
