// zelhost render over many inputs: a folder and files given together, outputs named by a pattern,
// a damaged file among good ones, and the refusals that name one file and let the others go on.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;
using zel::testing::RunCommand;
using zel::testing::ShellQuoted;

class RenderBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() / ("zel-batch-" + std::to_string(::getpid()));
    fs::remove_all(m_root);
    fs::create_directories(m_root / "day");
    fs::create_directories(m_root / "review");
    for (const char* name : {"A001.mp4", "A002.mov"})
      Make(m_root / "day" / name);
    Make(m_root / "B001.mkv");
    // Random bytes with a video's name: no demuxer reads it.
    std::ofstream(m_root / "day" / "A003.mp4") << std::string(4096, '\x5a');
    std::ofstream(m_root / "day" / "notes.txt") << "not a video";
  }
  void TearDown() override { fs::remove_all(m_root); }

  static void Make(const fs::path& path) {
    const auto r = RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4 -f lavfi -i "
                              "sine=duration=0.4 -c:v libx264 -preset ultrafast -shortest " + ShellQuoted(path.string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }

  zel::testing::CommandResult Render(const std::string& arguments) {
    return RunCommand("cd " + ShellQuoted(m_root.string()) + " && " + ShellQuoted(ZEL_TEST_ZELHOST) + " render -q " +
                      arguments);
  }

  std::vector<std::string> Review() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_root / "review")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path m_root;
};

TEST_F(RenderBatchTest, ADamagedFileIsNamedAndTheGoodOnesAreRendered) {
  const auto r = Render("-i day -i B001.mkv -o 'review/{name}-clock.{ext}'");
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_EQ(Review(), (std::vector<std::string>{"A001-clock.mp4", "A002-clock.mov", "B001-clock.mkv"}));
  // The damaged file in one error line, and the summary (said even with --quiet, as a file failed).
  EXPECT_NE(r.output.find("zelhost: error: cannot read 'day/A003.mp4'"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("zelhost: batch: 3 of 4 files rendered, 1 failed ('day/A003.mp4'), 30 frames"),
            std::string::npos) << r.output;
  const auto frames = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 " + ShellQuoted((m_root / "review/A002-clock.mov").string()));
  EXPECT_EQ(frames.output, "10\n");
}

TEST_F(RenderBatchTest, OutputsThatCannotBeWrittenFailTheirFileOnly) {
  struct Case {
    const char* arguments;
    int exitCode;
    std::vector<std::string> review;  ///< what the review folder holds afterwards
    const char* message;
  };
  const Case cases[] = {
      // A folder ending in / keeps each name; an output that exists is kept without -y.
      {"-i day/A001.mp4 -i day/A002.mov -o review/", 0, {"A001.mp4", "A002.mov"}, ""},
      {"-i day/A001.mp4 -i day/A002.mov -o review/", 1, {"A001.mp4", "A002.mov"}, "exists already: add -y"},
      {"-y -i day/A001.mp4 -i B001.mkv -o review/", 0, {"A001.mp4", "A002.mov", "B001.mkv"}, ""},
      // Two inputs of one name, and an output that would be its input.
      {"-i day/A001.mp4 -i day/A001.mp4 -o 'review/{name}.mkv'", 3, {"A001.mkv", "A001.mp4", "A002.mov", "B001.mkv"},
       "is the output of 'day/A001.mp4' too"},
      {"-y -i day/A001.mp4 -o day/", 1, {"A001.mkv", "A001.mp4", "A002.mov", "B001.mkv"}, "the render would destroy it"},
      // What fails every file is a usage error, with nothing rendered.
      {"-i day/A001.mp4 -i B001.mkv -o review/x.mp4", 2, {"A001.mkv", "A001.mp4", "A002.mov", "B001.mkv"},
       "2 inputs need an output pattern"},
      {"-i review/../day -o -", 2, {"A001.mkv", "A001.mp4", "A002.mov", "B001.mkv"}, "a batch writes a file"},
  };
  for (const Case& c : cases) {
    const auto r = Render(c.arguments);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << "\n" << r.output;
    EXPECT_EQ(Review(), c.review) << c.arguments;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
    if (c.exitCode == 0) {
      EXPECT_EQ(r.output, "") << c.arguments;  // --quiet: nothing to say
    }
  }
  EXPECT_TRUE(fs::exists(m_root / "day/A001.mp4"));
}

}  // namespace
