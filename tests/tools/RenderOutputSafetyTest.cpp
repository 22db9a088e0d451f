// zelhost render and the folder it writes into: a render stopped by any signal a user or a system
// sends leaves nothing; a render killed outright leaves its part file, which the next render of
// that output removes, and nothing else ever does; an output that exists, or that another render
// is writing, is not replaced without -y.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CommandSupport.h"

namespace {

namespace fs = std::filesystem;
using zel::testing::ShellQuoted;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RenderOutputSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zel-safety-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    fs::create_directory(m_root / "out");
  }
  void TearDown() override {
    for (const Child& c : m_children) {
      if (::waitpid(c.pid, nullptr, WNOHANG) == 0) {
        ::kill(c.pid, SIGKILL);
        ::waitpid(c.pid, nullptr, 0);
      }
    }
    fs::remove_all(m_root);
  }

  struct Child {
    pid_t pid = -1;
    fs::path err;
  };

  /// Starts zelhost render with `arguments` in the output folder, its standard error in a file.
  Child Start(const std::vector<std::string>& arguments) {
    Child child;
    child.err = m_root / ("err-" + std::to_string(m_children.size()) + ".txt");
    std::vector<std::string> all = {ZEL_TEST_ZELHOST, "render"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    child.pid = ::fork();
    if (child.pid == 0) {
      if (::chdir((m_root / "out").c_str()) != 0) ::_exit(127);
      std::freopen(child.err.c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "r", stdin);
      std::vector<char*> argv;
      for (std::string& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(ZEL_TEST_ZELHOST, argv.data());
      ::_exit(127);
    }
    m_children.push_back(child);
    return child;
  }

  /// A render of the test pattern that runs until it is stopped.
  Child StartLong(const std::string& output) {
    return Start({"-o", output, "--size", "64x64", "--frames", "10000000", "--threads", "1"});
  }

  /// Names in the output folder that are part files of `output`.
  std::vector<std::string> PartsOf(const std::string& output) const {
    std::vector<std::string> parts;
    for (const auto& entry : fs::directory_iterator(m_root / "out")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("." + output + ".part-", 0) == 0) parts.push_back(name);
    }
    return parts;
  }

  /// Waits until `output` has a part file (the render is writing) and a little more.
  void WaitForPart(const std::string& output) const {
    for (int i = 0; i < 600 && PartsOf(output).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(PartsOf(output).empty()) << "no render of " << output << " started within 30 s";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  /// Waits (bounded) for a child to end; returns its wait status, or -1 when it did not end.
  static int Wait(const Child& child) {
    int status = 0;
    for (int i = 0; i < 600; ++i) {
      if (::waitpid(child.pid, &status, WNOHANG) == child.pid) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }

  /// zelhost render run to its end: exit code and standard error.
  std::pair<int, std::string> Run(const std::vector<std::string>& arguments) {
    const Child child = Start(arguments);
    const int status = Wait(child);
    return {status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(child.err)};
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_root / "out")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path m_root;
  std::vector<Child> m_children;
};

TEST_F(RenderOutputSafetyTest, EveryStopSignalLeavesNothingAndExitsWith128PlusItsNumber) {
  const struct {
    int signal;
    const char* name;
    const char* output;
  } cases[] = {
      {SIGINT, "SIGINT", "int.mkv"},
      {SIGTERM, "SIGTERM", "term.mp4"},
      {SIGHUP, "SIGHUP", "hup.mov"},
      {SIGQUIT, "SIGQUIT", "quit.y4m"},
  };
  // All at once, so that the four renders' start-up is paid once.
  std::vector<Child> children;
  for (const auto& c : cases) children.push_back(StartLong(c.output));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    WaitForPart(cases[i].output);
    ASSERT_EQ(::kill(children[i].pid, cases[i].signal), 0);
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const int status = Wait(children[i]);
    ASSERT_NE(status, -1) << "the render did not stop";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 128 + cases[i].signal);
    const std::string err = ReadFile(children[i].err);
    EXPECT_NE(err.find(std::string("interrupted (") + cases[i].name + "); nothing was written"), std::string::npos)
        << err;
  }
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

TEST_F(RenderOutputSafetyTest, APartFileOfAKilledRenderIsRemovedByTheNextRenderAndOnlyThen) {
  // Killed outright, a render cannot clean up: its part file stays, naming its process.
  const Child killed = StartLong("out.mkv");
  WaitForPart("out.mkv");
  ASSERT_EQ(::kill(killed.pid, SIGKILL), 0);
  ASSERT_NE(Wait(killed), -1);
  const std::vector<std::string> left = PartsOf("out.mkv");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NE(left[0].find(".part-" + std::to_string(killed.pid) + "@"), std::string::npos) << left[0];

  // A render still running keeps its part file whatever other renders do.
  const Child running = StartLong("busy.mkv");
  WaitForPart("busy.mkv");
  const std::vector<std::string> busy = PartsOf("busy.mkv");

  // The next render of the killed one's output removes the stale file and writes the output.
  auto [code, err] = Run({"-o", "out.mkv", "--size", "64x64", "--frames", "2", "-q"});
  EXPECT_EQ(code, 0) << err;
  EXPECT_EQ(PartsOf("out.mkv"), std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(m_root / "out" / "out.mkv"));

  // Without -y, an output another render is writing is refused before any work, and the other's
  // part file stays.
  std::tie(code, err) = Run({"-o", "busy.mkv", "--size", "64x64", "--frames", "2"});
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("'busy.mkv' is being written by another render (process " + std::to_string(running.pid) + ")"),
            std::string::npos)
      << err;
  EXPECT_EQ(PartsOf("busy.mkv"), busy);
  // With -y the render goes ahead beside it; the first render, without -y, then stops as its
  // output appears, and removes its own part file.
  std::tie(code, err) = Run({"-o", "busy.mkv", "--size", "64x64", "--frames", "2", "-y", "-q"});
  EXPECT_EQ(code, 0) << err;
  const int status = Wait(running);
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_NE(ReadFile(running.err).find("'busy.mkv' appeared while it was being written"), std::string::npos)
      << ReadFile(running.err);
  EXPECT_EQ(Files(), (std::vector<std::string>{"busy.mkv", "out.mkv"}));
}

TEST_F(RenderOutputSafetyTest, AnOutputThatExistsIsRefusedBeforeAnyWorkAndWhenItAppearsMeanwhile) {
  std::ofstream(m_root / "out" / "old.mp4") << "precious";
  // Refused before the plug-in is even loaded: a plug-in that does not exist is not reached.
  auto [code, err] = Run({"/no/such/plugin.zel", "-o", "old.mp4"});
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("'old.mp4' exists already: add -y to replace it"), std::string::npos) << err;

  // An output another program makes while the render runs stops the render when it appears,
  // instead of after all its work; what appeared is kept.
  const Child render = StartLong("late.mkv");
  WaitForPart("late.mkv");
  std::ofstream(m_root / "out" / "late.mkv") << "precious";
  const int status = Wait(render);
  ASSERT_NE(status, -1) << "the render did not notice";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_NE(ReadFile(render.err).find("'late.mkv' appeared while it was being written"), std::string::npos)
      << ReadFile(render.err);
  EXPECT_EQ(ReadFile(m_root / "out" / "late.mkv"), "precious");
  EXPECT_EQ(Files(), (std::vector<std::string>{"late.mkv", "old.mp4"}));
}

}  // namespace
