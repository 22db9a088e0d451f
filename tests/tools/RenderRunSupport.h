#pragma once
// Running zelhost render as a user runs it, in a folder of the test's own, and reading its outputs
// with ffprobe: shared by the suites that check what an output keeps of its input.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace zel::testing {

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Runs a helper program (ffmpeg, ffprobe) and returns what it printed; fails the test when it
/// fails.
inline std::string Tool(const std::string& command) {
  const CommandResult r = RunCommand(command);
  EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.output;
  return r.output;
}

/// ffprobe's entries of one stream ("v:0", "a:1") as key=value pairs, e.g. "stream=codec_name,
/// profile" or "stream_side_data"; side data lists and tags come as their own keys.
inline std::map<std::string, std::string> ProbeEntries(const std::string& file, const std::string& stream,
                                                       const std::string& entries) {
  return KeyValues(Tool("ffprobe -v error -select_streams " + stream + " -show_entries " + entries +
                        " -of default=nw=1 " + ShellQuoted(file)));
}

/// Where the packets of one stream start and end, in seconds of the file's clock.
struct PacketSpan {
  double first = 0;  ///< start of the first packet
  double lastStart = 0;
  double end = 0;  ///< end of the packet that ends last
  double length() const { return end - first; }
};

inline PacketSpan StreamSpan(const std::string& file, const std::string& stream) {
  std::istringstream lines(Tool("ffprobe -v error -select_streams " + stream +
                                " -show_entries packet=pts_time,duration_time -of csv=p=0 " + ShellQuoted(file)));
  PacketSpan span;
  bool any = false;
  for (std::string line; std::getline(lines, line);) {
    double pts = 0, duration = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) < 1) continue;
    if (!any) span.first = pts;
    any = true;
    span.lastStart = std::max(span.lastStart, pts);
    span.end = std::max(span.end, pts + duration);
  }
  return span;
}

/// A folder of the test's own where zelhost render runs.
class RenderRunTest : public ::testing::Test {
 protected:
  struct Outcome {
    int exitCode = -1;
    std::string err;
  };

  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel-run-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::string Work(const std::string& name) const { return (m_dir / name).string(); }

  /// ffmpeg with `arguments`, in the test's folder (file names are relative to it).
  void Make(const std::string& arguments) const {
    Tool("cd " + ShellQuoted(m_dir.string()) + " && ffmpeg -nostdin -v error -y " + arguments);
  }

  /// zelhost render with `arguments` in the test's folder.
  Outcome Render(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + ShellQuoted(m_dir.string()) + " && " + ShellQuoted(ZEL_TEST_ZELHOST) + " render";
    for (const std::string& a : arguments) {
      command += ' ';
      command += ShellQuoted(a);
    }
    const std::filesystem::path err = m_dir / ".stderr";
    command += " 2>" + ShellQuoted(err.string()) + " >/dev/null";
    Outcome o;
    const int status = std::system(command.c_str());
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.err = ReadWhole(err);
    std::filesystem::remove(err);
    return o;
  }

  /// Renders with -q and expects success and silence.
  void RenderQuietly(std::vector<std::string> arguments) const {
    arguments.push_back("-q");
    const Outcome o = Render(arguments);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "") << "--quiet prints nothing";
  }

  std::filesystem::path m_dir;
};

}  // namespace zel::testing
