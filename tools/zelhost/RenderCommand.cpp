// zelhost render: applies the effect to video. (Filled in as the render side lands.)
#include "Commands.h"

namespace zelhost {

CommandRunner AddRenderCommand(CLI::App& app) {
  CLI::App* cmd = app.add_subcommand("render", "Render video with the plug-in (not available yet).");
  cmd->allow_extras();
  return []() {
    PrintError("render is not available in this build yet");
    return kExitFailure;
  };
}

}  // namespace zelhost
