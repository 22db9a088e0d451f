// zelhost render on files a stranger may send: cut short, damaged, or named as something they
// are not, in every container the tests use. Whatever the file, zelhost must end on its own within
// a bounded time, never by a signal, and either render (exit 0, or 3 for output written but short)
// or say what is wrong in one line on stderr and leave no output file. An interrupted render
// (SIGINT, SIGTERM) must end non-zero and leave nothing in the output folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

/// Seconds one file may take before it counts as a hang: generous, for a loaded machine and the
/// sanitizer build; a file of a few kilobytes takes well under a second.
constexpr int kHangSeconds = 120;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
std::vector<std::string> Lines(const Bytes& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

/// Small valid files of each container, made once by ffmpeg.
class HostileMediaTest : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    s_dir = fs::temp_directory_path() / ("zel-hostile-media-" + std::to_string(getpid()));
    fs::create_directories(s_dir);
    const std::string source = "-f lavfi -i testsrc=size=160x120:rate=10 -frames:v 10 ";
    const std::pair<const char*, const char*> recipes[] = {
        {"mp4", "-pix_fmt yuv420p -c:v libx264 -preset ultrafast"},
        {"mkv", "-c:v ffv1"},
        {"mov", "-pix_fmt yuv422p -c:v mjpeg"},
        {"y4m", "-pix_fmt yuv422p"},
        {"png", "-frames:v 1 -pix_fmt rgba"},
    };
    for (const auto& [ext, options] : recipes) {
      const fs::path file = s_dir / (std::string("valid.") + ext);
      const std::string command =
          "ffmpeg -v error -y " + source + options + " " + Quoted(file.string()) + " </dev/null";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
  static void TearDownTestSuite() { fs::remove_all(s_dir); }

  /// Runs zelhost render on `input` into a fresh folder and checks the outcome; returns the exit
  /// code.
  static int RenderChecked(const fs::path& input, const std::string& outputName) {
    const fs::path outDir = s_dir / ("out-" + input.filename().string() + "-" + outputName);
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    const fs::path output = outDir / outputName;
    const fs::path err = s_dir / "stderr.txt";
    const std::string command = "timeout -k 5 " + std::to_string(kHangSeconds) + " " + Quoted(ZEL_TEST_ZELHOST) +
                                " render -i " + Quoted(input.string()) + " -o " + Quoted(output.string()) +
                                " --frames 12 </dev/null >/dev/null 2>" + Quoted(err.string());
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << command;
    const int code = WEXITSTATUS(status);
    const Bytes stderrText = ReadFile(err);
    SCOPED_TRACE(command + "\nstderr: " + stderrText);
    EXPECT_NE(code, 124) << "no end within " << kHangSeconds << " s";
    EXPECT_LT(code, 124) << "ended by a signal or could not run";
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(outDir)) left.push_back(entry.path());
    if (code == 0 || code == 3) {
      EXPECT_TRUE(fs::exists(output));
      EXPECT_EQ(left.size(), 1u) << "a temporary file stayed beside the output";
    } else {
      EXPECT_EQ(Lines(stderrText).size(), 1u) << "an error is one line";
      EXPECT_TRUE(left.empty()) << "a failed render left " << (left.empty() ? "" : left.front().string());
    }
    fs::remove_all(outDir);
    return code;
  }

  static inline fs::path s_dir;
};

TEST_P(HostileMediaTest, DamagedFilesEndInARenderOrOneErrorLine) {
  const std::string ext = GetParam();
  const Bytes valid = ReadFile(s_dir / ("valid." + ext));
  ASSERT_GT(valid.size(), 100u);
  Bytes noisy = valid;
  for (std::size_t i = noisy.size() / 3; i < noisy.size() / 3 + 200 && i < noisy.size(); ++i)
    noisy[i] = static_cast<char>(noisy[i] ^ (0x5A + i));
  Bytes badHeader = valid;
  for (std::size_t i = 0; i < 32 && i < badHeader.size(); ++i) badHeader[i] = static_cast<char>(0xFF - i);
  Bytes random(4096, '\0');
  std::uint32_t x = 12345;
  for (char& c : random) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);

  const std::pair<const char*, Bytes> cases[] = {
      {"half", valid.substr(0, valid.size() / 2)},
      {"tenth", valid.substr(0, valid.size() / 10)},
      {"first-64-bytes", valid.substr(0, 64)},
      {"empty", Bytes()},
      {"noise-in-the-middle", noisy},
      {"damaged-header", badHeader},
      {"random-bytes", random},
      {"text", Bytes("this is not a picture\n")},
  };
  int rendered = 0, refused = 0;
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    const fs::path input = s_dir / (std::string(name) + "." + ext);
    WriteFile(input, bytes);
    const int code = RenderChecked(input, "out.mp4");
    (code == 0 || code == 3 ? rendered : refused)++;
    fs::remove(input);
  }
  EXPECT_GT(refused, 0);
  EXPECT_EQ(rendered + refused, static_cast<int>(std::size(cases)));
}

TEST_P(HostileMediaTest, MislabelledFilesEndInARenderOrOneErrorLine) {
  // Each valid file under every other container's name, and written out as Y4M and PNG too.
  const std::string ext = GetParam();
  for (const char* other : {"mp4", "mkv", "mov", "y4m", "png"}) {
    if (ext == other) continue;
    SCOPED_TRACE(std::string(other) + " named ." + ext);
    const fs::path input = s_dir / (std::string("a-") + other + "." + ext);
    fs::copy_file(s_dir / (std::string("valid.") + other), input, fs::copy_options::overwrite_existing);
    RenderChecked(input, "out.y4m");
    RenderChecked(input, "out.png");
    fs::remove(input);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, HostileMediaTest, ::testing::Values("mp4", "mkv", "mov", "y4m", "png"),
                         [](const auto& info) { return std::string(info.param); });

/// Starts a long render of the test pattern, waits until its output is being written, sends
/// `sig`, and checks the end.
void InterruptedRenderLeavesNothing(int sig, const char* outputName) {
  const fs::path dir = fs::temp_directory_path() / ("zel-interrupt-" + std::to_string(getpid()) + "-" + std::to_string(sig));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string output = (dir / outputName).string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::freopen("/dev/null", "w", stderr);
    std::freopen("/dev/null", "r", stdin);
    execl(ZEL_TEST_ZELHOST, ZEL_TEST_ZELHOST, "render", "-o", output.c_str(), "--size", "320x240", "--duration",
          "3600", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for the temporary output to appear: the render is then under way.
  bool started = false;
  for (int i = 0; i < 1200 && !started; ++i) {
    started = !fs::is_empty(dir);
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(started) << "the render wrote nothing within two minutes";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(kill(pid, sig), 0);
  int status = 0;
  // Bounded: a render that ignores the signal is killed after two minutes and fails the test.
  for (int i = 0; i < 1200 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the render did not stop on signal " << sig;
  }
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path().filename().string());
  EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? "" : left.front());
  fs::remove_all(dir);
}

TEST(InterruptedRenderTest, SigintLeavesNoPartialOutput) {
  InterruptedRenderLeavesNothing(SIGINT, "pattern.mp4");
}

TEST(InterruptedRenderTest, SigtermLeavesNoPartialOutput) {
  InterruptedRenderLeavesNothing(SIGTERM, "pattern.mkv");
}

}  // namespace
