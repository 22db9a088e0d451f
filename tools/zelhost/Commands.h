// The sub-commands of zelhost. Each registers its options on the command line and returns the
// function that runs it.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

namespace zelhost {

/// Exit codes: 0 success, 1 a failure while working, 2 a usage error.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using CommandRunner = std::function<int()>;

CommandRunner AddInfoCommand(CLI::App& app);
CommandRunner AddRenderCommand(CLI::App& app);
CommandRunner AddPreviewCommand(CLI::App& app);

/// Prints "zelhost: error: <message>" on standard error.
void PrintError(const std::string& message);

}  // namespace zelhost
