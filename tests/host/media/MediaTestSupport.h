#pragma once
// Shared by the media suites: a temporary folder per test and small tools to make and inspect
// media files with the ffmpeg and ffprobe programs.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "media/Frame.h"

namespace zel::media::testing {

/// Runs a shell command and returns its standard output; fails the test on a non-zero exit.
inline std::string run(const std::string& command) {
  const zel::testing::CommandResult r = zel::testing::RunCommand(command);
  EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.output;
  return r.output;
}

/// `ffprobe` of one stream as key=value pairs ("width" -> "64"); frames are counted by decoding.
inline std::map<std::string, std::string> probe(const std::string& path, const std::string& stream = "v:0") {
  const std::string out = run("ffprobe -v error -count_frames -select_streams " + stream +
                              " -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames,field_order,"
                              "pix_fmt,duration,sample_rate -of default=nw=1 '" + path + "'");
  return zel::testing::KeyValues(out);
}

/// A fresh folder for each test, removed with everything in it afterwards.
class TempDirTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel-media-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::string path(const std::string& name) const { return (m_dir / name).string(); }

  /// Names of the files in the folder, sorted (temporary files included).
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  void writeText(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  std::string readBytes(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path m_dir;
};

/// A frame whose every byte is a known function of its position and a seed, so that any lost,
/// moved or altered byte shows.
inline void fillRamp(Frame& frame, int seed) {
  for (int y = 0; y < frame.height(); ++y) {
    std::uint8_t* row = frame.row(y);
    for (std::size_t x = 0; x < frame.rowBytes(); ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + seed * 31);
  }
}

/// Largest difference between corresponding bytes of two frames of one size and format.
inline int maxDifference(const Frame& a, const Frame& b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (std::size_t x = 0; x < a.rowBytes(); ++x) worst = std::max(worst, std::abs(a.row(y)[x] - b.row(y)[x]));
  }
  return worst;
}

}  // namespace zel::media::testing
