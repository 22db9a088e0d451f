// zelhost render's command line. Every option is one row of kRenderOptions (its names, the name
// of its value, its help, how often it may be given, its default, and the reader that checks its
// text and sets the plan), as FFmpeg describes a filter's options; the command line, `render
// --help` and the plan are all made from that table. MakePlan turns what was typed into one
// RenderPlan, checked, and the render reads nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

#include "media/Frame.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"
#include "settings/FontOption.h"
#include "settings/ParameterSettings.h"

namespace CLI {
class App;
}

namespace zelhost {

/// A command line that cannot work as written: exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A signal (Ctrl-C, SIGTERM, a closed terminal's SIGHUP, SIGQUIT) stopped the render: exit code
/// 128 + the signal's number, as a shell reports a command the signal ended. A batch stops there.
class Interrupted : public std::runtime_error {
 public:
  Interrupted(int signal, const std::string& message) : std::runtime_error(message), m_signal(signal) {}
  int ExitCode() const { return 128 + m_signal; }

 private:
  int m_signal;
};

enum class OutputKind { Video, Y4m, Png, PngSequence, Stdout };

/// The render as the command line asks for it, every value checked.
struct RenderPlan {
  std::filesystem::path plugin;  ///< the plug-in to load (default: the one beside zelhost)
  std::string pluginText;        ///< the PLUGIN argument as typed; empty when not given
  std::string input;             ///< empty: the test pattern
  std::vector<std::string> inputs;  ///< every -i as typed, in order (files and folders): a batch when more than one
  std::string output;            ///< a path, a %d pattern, - for standard output, or a batch's pattern
  OutputKind outputKind = OutputKind::Video;
  bool overwrite = false;
  bool quiet = false;

  std::optional<zel::media::Size> size;
  std::string sizeText;  ///< --size as typed, for messages that follow the source's opening
  std::optional<AVRational> rate;
  std::string rateText;
  std::int64_t start = 0;
  std::string startText;
  std::optional<std::int64_t> count;     ///< --frames (a PNG: 1); none: to the input's end
  std::optional<double> durationSeconds;  ///< --duration, turned into frames at the source's rate
  std::string durationText;

  zel::media::FrameFormat format = zel::media::FrameFormat::Rgba;
  std::optional<zel::media::FieldOrder> fieldOrder;  ///< none: the input's own
  int threads = 1;

  std::vector<zel::host::ParameterSetting> sets;  ///< --set, in order
  std::string project;                            ///< --project file; empty: none
  std::optional<zel::host::FontSpec> font;
  std::string fontText;

  std::string codec;  ///< empty: the container's default encoder
  std::string profile;  ///< --profile; empty: the input's own (an intra-only input) or the encoder's default
  /// --crf, --preset, --bitrate and each --encoder-opt as the encoder names them
  std::map<std::string, std::string> encoderOptions;
  std::string crfText, bitrateText;
  std::string pixelFormat;  ///< --pix-fmt; empty: the input's own where the encoder takes it
  zel::media::AudioMode audio = zel::media::AudioMode::Auto;
  bool shortest = false;  ///< every stream ends where the video ends

  std::string timeCode;  ///< --timecode: "source" or HH:MM:SS:FF; empty: none
  std::string dateTime;  ///< --datetime: "source" or ISO 8601; empty: none

  /// "the test pattern" or the input's name in quotes, for messages.
  std::string InputName() const;
  /// The encoder of a video output: --codec, else the container's default.
  std::string Encoder() const;
  /// libx264, the encoder the size rules for 4:2:0 H.264 apply to.
  bool UsesDefaultEncoder() const { return Encoder() == "libx264"; }
};

/// How often an option may be given.
enum class OptionUse {
  Once,        ///< at most once, with a value
  Required,    ///< exactly once, with a value
  Repeated,    ///< any number of times, each value read in turn
  Flag,        ///< present or not; no value
  Positional,  ///< the optional argument without a name
};

/// One option of zelhost render.
struct RenderOption {
  const char* names;        ///< as CLI11 takes them: "-i,--input"; the positional's name
  const char* valueName;    ///< the value's name in --help ("INPUT"); nullptr for a flag
  const char* help;         ///< one line for --help
  OptionUse use;
  const char* defaultText;  ///< read when the option is not given; nullptr: the plan's own start
  /// Checks `text` (a flag: "1") and sets what the option sets; throws UsageError naming the
  /// option and what it takes.
  void (*read)(RenderPlan& plan, const std::string& text);
};

/// Every option of zelhost render, in the order --help lists them.
std::span<const RenderOption> RenderOptions();

/// What was typed for each row of RenderOptions(), in the same order.
using RenderArguments = std::vector<std::vector<std::string>>;

/// Declares every option of the table on `command`, storing what is typed in `arguments`.
void DeclareRenderOptions(CLI::App& command, RenderArguments& arguments);

/// Reads every row (its default when not given), then checks the options against each other.
/// Throws UsageError.
RenderPlan MakePlan(const RenderArguments& arguments);

/// The plan of one file of a batch: `plan` with its own input and output, checked as MakePlan
/// checks a single render's. Throws UsageError.
RenderPlan PlanOfFile(const RenderPlan& plan, const std::string& input, const std::string& output);

/// `option 'value'`, the way messages name what was typed.
std::string OptionText(const char* option, const std::string& value);

/// The prose after the option list of `render --help`, with each encoder's real defaults.
std::string RenderHelpFooter();

}  // namespace zelhost
