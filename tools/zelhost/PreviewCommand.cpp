// zelhost preview: the desktop window with the rendered frame, the plug-in's overlay, its
// parameter panel, a timeline and its modal dialog. The window itself is in zelhost-preview.so,
// loaded only for this command.
#include <dlfcn.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "loading/PluginModule.h"
#include "Preview.h"

namespace zelhost {

namespace {

struct PreviewArgs {
  std::string plugin;
  std::string input;
  std::string snapshot;
  std::string project;
  std::string probe;
  std::vector<std::string> settings;
  double time = 0;
  std::vector<int> size;
  bool drag = false;
  std::string timeCode;
  std::string dateTime;
};

std::filesystem::path ModulePath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : self.parent_path()) / kZelPreviewModuleName;
}

int RunPreview(const PreviewArgs& args) {
  const std::filesystem::path module = ModulePath();
  // Loaded for the life of the process: GTK is never unloaded.
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw zel::host::HostError("cannot load the preview module '" + module.string() + "': " +
                               (why ? why : "unknown reason"));
  }
  auto run = reinterpret_cast<PFN_ZelPreviewMain>(dlsym(handle, kZelPreviewMainName));
  if (run == nullptr) throw zel::host::HostError("'" + module.string() + "' is not zelhost's preview module");

  const std::string plugin = args.plugin.empty() ? zel::host::DefaultPluginPath().string() : args.plugin;
  std::vector<const char*> settings;
  for (const std::string& s : args.settings) settings.push_back(s.c_str());
  char error[512] = {};
  ZelPreviewOptions options{};
  options.plugin = plugin.c_str();
  options.input = args.input.empty() ? nullptr : args.input.c_str();
  options.snapshot = args.snapshot.empty() ? nullptr : args.snapshot.c_str();
  options.project = args.project.empty() ? nullptr : args.project.c_str();
  options.probe = args.probe.empty() ? nullptr : args.probe.c_str();
  options.settings = settings.data();
  options.settingCount = static_cast<std::int32_t>(settings.size());
  options.time = args.time;
  options.viewerWidth = args.size.size() == 2 ? args.size[0] : 960;
  options.viewerHeight = args.size.size() == 2 ? args.size[1] : 540;
  options.dragMode = args.drag ? 1 : 0;
  options.timeCode = args.timeCode.empty() ? nullptr : args.timeCode.c_str();
  options.dateTime = args.dateTime.empty() ? nullptr : args.dateTime.c_str();
  options.error = error;
  options.errorSize = sizeof error;
  if (const int rc = run(&options); rc != 0) {
    PrintError(error[0] ? error : "the preview failed");
    return rc == 2 ? kExitUsage : kExitFailure;
  }
  return 0;
}

}  // namespace

CommandRunner AddPreviewCommand(CLI::App& app) {
  auto args = std::make_shared<PreviewArgs>();
  CLI::App* cmd = app.add_subcommand(
      "preview",
      "Opens a window to set up the clock: the rendered frame with the plug-in's overlay (drag to move and size "
      "the clock), the parameter panel with keys, a timeline that plays the clip, and the font chooser. Save "
      "keeps the setup as a project file for `zelhost render --project`.\n"
      "Keys: Space play/pause, Left/Right a frame, Home/End first/last frame, Ctrl+S save, Ctrl+O open.");
  cmd->add_option("PLUGIN", args->plugin, "The plug-in file (default: ZEL2Clock.zel beside zelhost)");
  cmd->add_option("-i,--input", args->input, "A video, picture or numbered sequence (default: the test pattern)");
  cmd->add_option("--project", args->project,
                  "A project file to open and save to (a file that does not exist yet is created by Save)")
      ->type_name("FILE.json");
  cmd->add_option("--set", args->settings, "NAME=VALUE or NAME@FRAME=VALUE: a value or key to start from, after the project (repeatable)");
  cmd->add_option("-t,--time", args->time, "The frame shown first")->check(CLI::NonNegativeNumber);
  cmd->add_option("--viewer", args->size, "Viewer size to start with: WIDTH HEIGHT (default 960 540); it follows the window")
      ->expected(2)
      ->check(CLI::Range(16, 8192));
  cmd->add_flag("--drag", args->drag, "Start in the overlay's drag mode instead of its handle mode");
  cmd->add_option("--timecode", args->timeCode,
                  "Start the clock at the file's own time code (source) or at HH:MM:SS:FF, as zelhost render does; "
                  "the timeline shows each frame's time code")
      ->type_name("source|TC");
  cmd->add_option("--datetime", args->dateTime,
                  "Start the date and time styles at the recording's date and time (source) or at YYYY-MM-DDTHH:MM:SS")
      ->type_name("source|ISO");
  cmd->add_option("--snapshot", args->snapshot, "Draw the viewer once into this PNG and quit (for scripts and tests)");
  // For tests that drive the window: where it writes what it shows (see PreviewProbe.cpp).
  cmd->add_option("--probe", args->probe, "")->group("");
  return [args] { return RunPreview(*args); };
}

}  // namespace zelhost
