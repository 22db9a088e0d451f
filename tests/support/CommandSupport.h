#pragma once
// Running the programs end-to-end tests drive and judge with (zelhost, ffmpeg, ffprobe, melt,
// gst-launch-1.0) through the shell, and reading what they print.

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace zel::testing {

/// `text` as one shell word, whatever characters it holds.
inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct CommandResult {
  int exitCode = -1;   ///< -1 when the command could not run or did not exit normally
  std::string output;  ///< standard output, with standard error joined to it
};

/// Runs `command` through the shell and collects everything it prints.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

/// The key=value lines of a text (ffprobe's default writer with nw=1) as a map.
inline std::map<std::string, std::string> KeyValues(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

}  // namespace zel::testing
