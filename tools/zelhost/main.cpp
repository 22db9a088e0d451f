// zelhost: the reference host for ZEL plug-ins.
#include <cstdio>
#include <exception>
#include <iostream>

#include "Commands.h"
#include "loading/PluginModule.h"

namespace zelhost {
void PrintError(const std::string& message) { std::cerr << "zelhost: error: " << message << "\n"; }
}  // namespace zelhost

int main(int argc, char** argv) {
  CLI::App app{"zelhost: loads a ZEL video-effect plug-in, shows what it offers and renders video with it."};
  app.set_version_flag("--version", std::string("zelhost ") + ZELHOST_VERSION, "Print the version and exit");
  app.require_subcommand(1);
  app.footer("PLUGIN defaults to the ZEL2Clock.zel beside zelhost. 'zelhost COMMAND --help' tells more.");
  std::vector<std::pair<CLI::App*, zelhost::CommandRunner>> commands;
  auto add = [&](zelhost::CommandRunner (*adder)(CLI::App&)) {
    const std::size_t before = app.get_subcommands({}).size();
    zelhost::CommandRunner run = adder(app);
    commands.emplace_back(app.get_subcommands({})[before], std::move(run));
  };
  add(&zelhost::AddInfoCommand);
  add(&zelhost::AddRenderCommand);
  add(&zelhost::AddPreviewCommand);
  // A first word that is neither a command nor an option is a mistyped command: say so, rather
  // than CLI11's "a subcommand is required".
  const auto isCommand = [&](const std::string& word) {
    for (const CLI::App* sub : app.get_subcommands({}))
      if (sub->get_name() == word) return true;
    return false;
  };
  if (argc > 1 && argv[1][0] != '-' && !isCommand(argv[1])) {
    zelhost::PrintError(std::string("unknown command '") + argv[1] + "' (commands: info, render, preview; see 'zelhost --help')");
    return zelhost::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // One line, like every other error: what is wrong, then where to read more.
    zelhost::PrintError(std::string(e.what()) + " (see 'zelhost --help')");
    return zelhost::kExitUsage;
  }
  for (auto& [sub, run] : commands) {
    if (!sub->parsed()) continue;
    try {
      return run();
    } catch (const std::exception& e) {
      zelhost::PrintError(e.what());
      return zelhost::kExitFailure;
    }
  }
  return zelhost::kExitUsage;
}
