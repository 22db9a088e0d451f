// zelhost preview's window, driven as a person drives it: the real zelhost process on a virtual X
// server, real pointer and key events from xdotool, and what the window shows read back from the
// state file and rendered frame it writes with --probe (PreviewProbe.cpp). Every wait is for a
// condition, with a generous time-out; nothing sleeps a fixed time to let the window catch up.
// Without a display or xdotool the tests skip.
#include <cairo.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr auto kTimeout = std::chrono::seconds(90);

bool CanDrive() {
  const char* d = std::getenv("DISPLAY");
  return d && *d && std::system("command -v xdotool >/dev/null 2>&1") == 0 &&
         std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* f = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, f)) out += buffer;
    pclose(f);
  }
  return out;
}

int Command(const std::string& command) { return std::system(command.c_str()); }

std::string Xdo(const std::string& args) { return "timeout 60 xdotool " + args + " >/dev/null 2>&1"; }

/// A picture read back from a PNG: 0xRRGGBB per pixel.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgb;

  static Picture Read(const fs::path& png) {
    Picture p;
    cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
      p.width = cairo_image_surface_get_width(s);
      p.height = cairo_image_surface_get_height(s);
      const int stride = cairo_image_surface_get_stride(s);
      const unsigned char* data = cairo_image_surface_get_data(s);
      for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.rgb.push_back(*reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF);
    }
    cairo_surface_destroy(s);
    return p;
  }
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
};

/// Where the clock is drawn in a frame over a flat input: the box of pixels that differ from the
/// corner's colour.
struct ClockBox {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  int Width() const { return right - left + 1; }
  double CentreX() const { return (left + right) / 2.0; }
  double CentreY() const { return (top + bottom) / 2.0; }
};

ClockBox BoxOf(const Picture& p) {
  ClockBox b;
  const std::uint32_t ground = p.At(0, 0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.At(x, y) != ground) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
  return b;
}

class PreviewWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!CanDrive()) return;
    s_dir = fs::temp_directory_path() / ("zel-preview-window-" + std::to_string(getpid()));
    fs::create_directories(s_dir);
    // A flat picture, so that every pixel the clock changes is found.
    s_input = s_dir / "flat.y4m";
    Command("ffmpeg -loglevel error -y -f lavfi -i color=c=0x204060:size=320x180:rate=25 -frames:v 50 -pix_fmt yuv420p '" +
        s_input.string() + "'");
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (!s_dir.empty()) fs::remove_all(s_dir, ec);
  }

  void SetUp() override {
    if (!CanDrive()) GTEST_SKIP() << "no X display, xdotool or ffmpeg";
    ASSERT_TRUE(fs::exists(s_input));
    m_probe = s_dir / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(m_probe);
  }

  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      int status = 0;
      waitpid(m_pid, &status, 0);
    }
  }

  /// Starts the window on the flat input with `args` and waits until it has shown itself.
  Json Start(std::vector<std::string> args, const fs::path& input = s_input) {
    std::vector<std::string> argv = {ZEL_TEST_ZELHOST, "preview", "-i", input.string(), "--viewer", "320", "180",
                                     "--probe", m_probe.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> c;
    for (std::string& a : argv) c.push_back(a.data());
    c.push_back(nullptr);
    setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus under a bare X server
    EXPECT_EQ(posix_spawn(&m_pid, c[0], nullptr, nullptr, c.data(), environ), 0);
    return WaitFor([](const Json& s) { return !s["viewer"].is_null() && !s["viewer"]["frame"].is_null(); },
                   "the window on the screen");
  }

  /// The state file, or null while there is none.
  Json State() const {
    std::ifstream in(m_probe / "state.json");
    if (!in) return nullptr;
    std::stringstream text;
    text << in.rdbuf();
    return Json::parse(text.str(), nullptr, false);
  }

  /// Waits until `done` holds for the state the window wrote.
  Json WaitFor(const std::function<bool(const Json&)>& done, const std::string& what) {
    const auto end = std::chrono::steady_clock::now() + kTimeout;
    Json s;
    while (std::chrono::steady_clock::now() < end) {
      s = State();
      if (s.is_object() && done(s)) return s;
      int status = 0;
      if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = 0;
        ADD_FAILURE() << "the preview ended while waiting for " << what;
        return s;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ADD_FAILURE() << "timed out waiting for " << what << "; last state: " << s.dump(1).substr(0, 3000);
    return s;
  }

  Picture Frame() const { return Picture::Read(m_probe / "frame.png"); }

  /// A point of the frame (fractions of its width and height) in root-window pixels.
  static std::pair<int, int> OnScreen(const Json& s, double fx, double fy) {
    const Json& v = s["viewer"];
    const Json& f = v["frame"];
    return {static_cast<int>(std::lround(v["x"].get<double>() + f["x"].get<double>() + fx * f["w"].get<double>())),
            static_cast<int>(std::lround(v["y"].get<double>() + f["y"].get<double>() + fy * f["h"].get<double>()))};
  }
  static std::pair<int, int> Centre(const Json& rect) {
    return {rect["x"].get<int>() + rect["w"].get<int>() / 2, rect["y"].get<int>() + rect["h"].get<int>() / 2};
  }

  static void Drag(std::pair<int, int> from, std::pair<int, int> to) {
    ASSERT_EQ(Command(Xdo("mousemove " + std::to_string(from.first) + " " + std::to_string(from.second) +
                      " mousedown 1 mousemove " + std::to_string((from.first + to.first) / 2) + " " +
                      std::to_string((from.second + to.second) / 2) + " mousemove " +
                      std::to_string(to.first) + " " + std::to_string(to.second) + " mouseup 1")),
              0);
  }
  static void Click(std::pair<int, int> at) {
    ASSERT_EQ(Command(Xdo("mousemove " + std::to_string(at.first) + " " + std::to_string(at.second) + " click 1")), 0);
  }
  /// Keys to the main window, focused first (there is no window manager to do it).
  static void Keys(const Json& s, const std::string& keys) {
    ASSERT_EQ(Command(Xdo("windowfocus --sync " + std::to_string(s["windowId"].get<std::uint64_t>()) + " key --delay 40 " + keys)), 0);
  }
  /// The first window whose name matches `pattern`, once it is there.
  static std::string WindowNamed(const std::string& pattern) {
    std::istringstream ids(Shell("timeout 60 xdotool search --sync --onlyvisible --name '" + pattern + "' 2>/dev/null"));
    std::string id;
    ids >> id;
    return id;
  }

  static double Value(const Json& s, const std::string& entry) { return s["entries"][entry]["value"].get<double>(); }

  static inline fs::path s_dir, s_input;
  fs::path m_probe;
  pid_t m_pid = 0;
};

// The analog clock at its defaults on a 16:9 frame: centre (0.5, 0.5), "Size" 50 is an outline of
// half-axes 0.5 x 0.28125 of the width and 0.5 x 0.5 of the height.
constexpr double kHorizontalFactor = 0.28125;

TEST_F(PreviewWindow, DragOnTheOutlineSizesTheClockAndFromTheCentreMovesIt) {
  Json s = Start({});
  EXPECT_EQ(s["title"].get<std::string>().rfind('*', 0), std::string::npos) << s["title"];
  const ClockBox before = BoxOf(Frame());

  // Size: from the outline's rightmost point 40 pixels further out.
  const double frameWidth = s["viewer"]["frame"]["w"].get<double>();
  const auto edge = OnScreen(s, 0.5 + 0.5 * kHorizontalFactor, 0.5);
  Drag(edge, {edge.first + 40, edge.second});
  const double expected = (0.5 * kHorizontalFactor + 40 / frameWidth) / kHorizontalFactor * 100;
  s = WaitFor([&](const Json& n) { return std::abs(Value(n, "Position/Size/Size") - expected) < 1.5; },
              "\"Size\" of about " + std::to_string(expected) + " in the panel");
  const ClockBox larger = BoxOf(Frame());
  EXPECT_GT(larger.Width(), before.Width() * expected / 50 - 4) << "the frame shows the larger clock";
  EXPECT_EQ(s["title"].get<std::string>().rfind('*', 0), 0u) << "the title shows the unsaved change: " << s["title"];

  // Move: from the centre 48 pixels right and 27 up.
  const double frameHeight = s["viewer"]["frame"]["h"].get<double>();
  const auto centre = OnScreen(s, 0.5, 0.5);
  Drag(centre, {centre.first + 48, centre.second - 27});
  const double x = 50 + 48 / frameWidth * 100, y = 50 - 27 / frameHeight * 100;
  s = WaitFor(
      [&](const Json& n) {
        return std::abs(Value(n, "Position/Size/X") - x) < 0.5 && std::abs(Value(n, "Position/Size/Y") - y) < 0.5;
      },
      "X and Y moved with the pointer");
  EXPECT_NEAR(Value(s, "Position/Size/Size"), expected, 1.5) << "a move keeps the size";
  const ClockBox moved = BoxOf(Frame());
  const Picture frame = Frame();
  EXPECT_NEAR(moved.CentreX() - larger.CentreX(), (x - 50) / 100 * frame.width, 2.0);
  EXPECT_NEAR(moved.CentreY() - larger.CentreY(), (y - 50) / 100 * frame.height, 2.0);
}

TEST_F(PreviewWindow, TimerStyleGreysOutExactlyTheEntriesTheUpdateHandlerSwitchesOff) {
  // The eleven entries the handler switches, on (true) or off, by style; every other entry stays on.
  const std::vector<std::string> switched = {
      "Time/Start Time/Start Time Millsecond", "Time/Start Time/Start Time Frame", "Time/Start Time/Start Time Day",
      "Time/Start Time/Start Time Month",      "Time/Start Time/Start Time Year",  "Time/Stop Time/Stop Time Hour",
      "Time/Stop Time/Stop Time Minute",       "Time/Stop Time/Stop Time Second",  "Time/Stop Time/Stop Time Millsecond",
      "Time/Stop Time/Stop Time Frame",        "Timer Style/Start Time"};
  const struct {
    const char* style;
    std::vector<bool> on;
  } cases[] = {
      {"hh:mm:ss.fff", {true, false, false, false, false, true, true, true, true, false, false}},
      {"TC hh:mm:ss:ff", {false, true, false, false, false, false, false, false, false, false, false}},
      {"Free Format", {false, false, true, true, true, true, true, true, true, false, true}},
      {"Frame Counter", {false, true, false, false, false, false, false, false, false, false, false}},
  };
  Json s = Start({});
  const std::string styleEntry = "Timer Style/Timer Style";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    // The list is chosen from with the mouse wheel over it, one item at a time, down the list.
    for (int i = 0; i < 16 && s["entries"][styleEntry]["value"] != c.style; ++i) {
      const Json shown = s["entries"][styleEntry]["value"];
      ASSERT_EQ(Command(Xdo("mousemove " + std::to_string(Centre(s["entries"][styleEntry]["control"]).first) + " " +
                        std::to_string(Centre(s["entries"][styleEntry]["control"]).second) + " click 5")),
                0);
      s = WaitFor([&](const Json& n) { return n["entries"][styleEntry]["value"] != shown; }, "the next timer style");
    }
    ASSERT_EQ(s["entries"][styleEntry]["value"], c.style);
    for (const auto& [path, entry] : s["entries"].items()) {
      const auto it = std::find(switched.begin(), switched.end(), path);
      const bool on = it == switched.end() || c.on[static_cast<std::size_t>(it - switched.begin())];
      EXPECT_EQ(entry["sensitive"].get<bool>(), on) << path;
    }
  }
}

TEST_F(PreviewWindow, FontButtonOpensItsDialogOwnedByTheWindowAndReturnConfirmsTheFace) {
  const fs::path project = m_probe / "font.json";
  Json s = Start({"--project", project.string(), "--set", "Clock Type List=Digital Clock"});
  const Picture before = Frame();
  Json saved;
  // Keys typed while the dialog is still setting up its search field can be lost on a loaded
  // machine; then the dialog confirms another face, and the test asks again.
  for (int attempt = 0; attempt < 3 && saved["font"]["face"] != "Liberation Mono"; ++attempt) {
    Click(Centre(s["widgets"]["modal"]));
    const std::string dialog = WindowNamed("^Font$");
    ASSERT_FALSE(dialog.empty()) << "no font dialog";
    // Owned by the preview's window: the window look-up of the font chooser found it.
    const std::string owner = Shell("xprop -id " + dialog + " WM_TRANSIENT_FOR");
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(s["windowId"].get<std::uint64_t>()));
    EXPECT_NE(owner.find(hex), std::string::npos) << owner << " is not " << hex;
    WaitFor([](const Json& n) { return n["inDialog"].get<bool>(); }, "the window waiting for its dialog");
    // The search field has the focus: pick the face, move into the list, confirm.
    ASSERT_EQ(Command(Xdo("windowfocus --sync " + dialog + " type --delay 20 'Liberation Mono'")), 0);
    // The list is filtered after the typing settles; the keys wait for it, and the dialog is asked
    // again below when they came too early.
    ASSERT_EQ(Command(Xdo("sleep " + std::to_string(1 + attempt) + " key --delay 100 Down sleep 0.5 key Return")), 0);
    s = WaitFor([](const Json& n) { return !n["inDialog"].get<bool>(); }, "the dialog confirmed");
    EXPECT_TRUE(s["dirty"].get<bool>() || attempt > 0) << "a new font is an unsaved change";
    Keys(s, "ctrl+s");
    s = WaitFor([](const Json& n) { return !n["dirty"].get<bool>(); }, "saved");
    saved = Json::parse(std::ifstream(project));
  }
  EXPECT_EQ(saved["font"]["face"], "Liberation Mono");
  const Picture after = Frame();
  ASSERT_EQ(after.rgb.size(), before.rgb.size());
  EXPECT_NE(after.rgb, before.rgb) << "the digital clock is drawn anew";
  EXPECT_EQ(saved["parameters"]["Clock Type List"], "Digital Clock");
}

TEST_F(PreviewWindow, PlayAdvancesTheFrameAndSpacePauses) {
  Json s = Start({});
  ASSERT_EQ(s["frame"], 0);
  Click(Centre(s["widgets"]["play"]));
  s = WaitFor([](const Json& n) { return n["playing"].get<bool>() && n["frame"].get<int>() >= 5; }, "playing past frame 5");
  EXPECT_NE(s["position"].get<std::string>().find("frame " + std::to_string(s["frame"].get<int>())), std::string::npos)
      << s["position"];
  Keys(s, "space");
  s = WaitFor([](const Json& n) { return !n["playing"].get<bool>(); }, "paused");
  const int paused = s["frame"].get<int>();
  Keys(s, "Right Right");
  s = WaitFor([&](const Json& n) { return n["frame"].get<int>() == std::min(paused + 2, 49); }, "two frames on");
  Keys(s, "Left");
  WaitFor([&](const Json& n) { return n["frame"].get<int>() == std::min(paused + 2, 49) - 1; }, "a frame back");
}

// With --timecode source the timeline shows each frame's own label beside its number, across the
// labels drop-frame skips.
TEST_F(PreviewWindow, TimelineShowsTheFilesTimeCode) {
  const fs::path clip = s_dir / "dropframe.mov";
  Command("ffmpeg -loglevel error -y -f lavfi -i color=c=0x204060:size=320x180:rate=30000/1001 -frames:v 4 "
          "-c:v ffv1 -timecode '00:00:59;28' '" + clip.string() + "'");
  Json s = Start({"--timecode", "source", "-t", "1"}, clip);
  EXPECT_NE(s["position"].get<std::string>().find("frame 1 of 4"), std::string::npos) << s["position"];
  EXPECT_NE(s["position"].get<std::string>().find("TC 00:00:59;29"), std::string::npos) << s["position"];
  Keys(s, "Right");
  s = WaitFor([](const Json& n) { return n["frame"].get<int>() == 2; }, "the next frame");
  EXPECT_NE(s["position"].get<std::string>().find("TC 00:01:00;02"), std::string::npos) << s["position"];
}

TEST_F(PreviewWindow, KeysAtTwoFramesAnimateX) {
  Json s = Start({});
  const std::string x = "Position/Size/X";
  Click(Centre(s["entries"][x]["key"]));
  s = WaitFor([&](const Json& n) { return n["entries"][x]["keyHere"].get<bool>(); }, "a key on X at frame 0");
  Keys(s, "End");
  s = WaitFor([](const Json& n) { return n["frame"].get<int>() == 49; }, "the last frame");
  EXPECT_FALSE(s["entries"][x]["keyHere"].get<bool>());
  // Typing a value of a keyed parameter sets a key at the frame on show.
  const Json& field = s["entries"][x]["control"];
  Click({field["x"].get<int>() + 20, Centre(field).second});
  ASSERT_EQ(Command(Xdo("key --delay 40 ctrl+a type --delay 20 90")), 0);
  ASSERT_EQ(Command(Xdo("key Return")), 0);
  s = WaitFor([&](const Json& n) { return n["entries"][x]["keyHere"].get<bool>() && Value(n, x) == 90; }, "a key of 90 at frame 49");
  Click(OnScreen(s, 0.05, 0.1));  // the viewer takes the focus from the field, so keys go to the timeline
  Keys(s, "Home");
  s = WaitFor([](const Json& n) { return n["frame"].get<int>() == 0; }, "the first frame");
  EXPECT_EQ(Value(s, x), 50);
  // While playing, the panel and the frame follow the keys: X moves linearly from 50 to 90.
  const ClockBox first = BoxOf(Frame());
  Keys(s, "space");
  std::map<int, double> seen;
  WaitFor(
      [&](const Json& n) {
        const int k = n["frame"].get<int>();
        if (n["playing"].get<bool>() && k > 0 && k < 49) seen[k] = Value(n, x);
        return seen.size() >= 3;
      },
      "three frames between the keys while playing");
  for (const auto& [k, value] : seen) EXPECT_NEAR(value, 50 + 40.0 * k / 49, 0.01) << "frame " << k;
  Keys(s, "space");
  s = WaitFor([](const Json& n) { return !n["playing"].get<bool>(); }, "paused");
  const int k = s["frame"].get<int>();
  if (k > 0) {
    EXPECT_GT(BoxOf(Frame()).CentreX(), first.CentreX()) << "frame " << k;
  }
}

TEST_F(PreviewWindow, SavedProjectRendersTheFrameTheViewerShows) {
  const fs::path project = m_probe / "look.json";
  Json s = Start({"--project", project.string(), "-t", "7", "--set", "Clock Type List=LED clock", "--set",
                  "Size@0=30", "--set", "Size@40=60", "--set", "Foreground RGB Color=255,230,80"});
  EXPECT_EQ(s["frame"], 7);
  EXPECT_EQ(s["title"].get<std::string>().rfind("*look.json", 0), 0u) << s["title"];
  const auto centre = OnScreen(s, 0.5, 0.5);
  Drag(centre, {centre.first - 40, centre.second + 20});
  s = WaitFor([](const Json& n) { return Value(n, "Position/Size/X") < 45; }, "the clock moved");
  Keys(s, "ctrl+s");
  s = WaitFor([](const Json& n) { return !n["dirty"].get<bool>(); }, "saved");
  EXPECT_EQ(s["title"].get<std::string>().rfind("look.json", 0), 0u) << s["title"];

  const fs::path out = m_probe / "render.png";
  ASSERT_EQ(Command(std::string(ZEL_TEST_ZELHOST) + " render -q -y -i '" + s_input.string() + "' -o '" + out.string() +
                "' --start 7 --project '" + project.string() + "'"),
            0);
  const Picture rendered = Picture::Read(out), shown = Frame();
  ASSERT_EQ(rendered.width, shown.width);
  ASSERT_EQ(rendered.height, shown.height);
  int differ = 0;
  for (std::size_t i = 0; i < shown.rgb.size(); ++i) differ += rendered.rgb[i] != shown.rgb[i];
  EXPECT_EQ(differ, 0) << "pixels that differ between the viewer's frame and zelhost render's";
  EXPECT_NE(BoxOf(shown).right, -1) << "the clock is in the frame";
}

TEST_F(PreviewWindow, BadFilesAreSaidInADialogAndNothingIsLost) {
  const fs::path project = m_probe / "broken.json";
  const std::string text = "{\"parameters\": {\"X\": 20,}}\n";
  std::ofstream(project) << text;
  const fs::path notVideo = m_probe / "notes.mp4";
  std::ofstream(notVideo) << "not a video";
  const struct {
    const char* name;
    fs::path input;
    std::vector<std::string> args;
    std::vector<std::string> says;
    const char* shows;  ///< what the title shows instead
  } cases[] = {
      {"a project that is not JSON", s_input, {"--project", project.string()}, {"broken.json", "line 1"}, "Untitled (flat.y4m)"},
      {"an input that is not a video", notVideo, {"--set", "X=20"}, {"notes.mp4"}, "(test pattern)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json s = Start(c.args, c.input);
    s = WaitFor([](const Json& n) { return n["inDialog"].get<bool>(); }, "the error dialog");
    for (const std::string& what : c.says) EXPECT_NE(s["error"].get<std::string>().find(what), std::string::npos) << s["error"];
    const std::string dialog = WindowNamed("error$");
    ASSERT_FALSE(dialog.empty());
    ASSERT_EQ(Command(Xdo("windowfocus --sync " + dialog + " key Return")), 0);
    s = WaitFor([](const Json& n) { return !n["inDialog"].get<bool>(); }, "the dialog closed");
    EXPECT_NE(s["title"].get<std::string>().find(c.shows), std::string::npos) << s["title"];
    // The project's file is not taken as the one to save to; the settings of the command line hold.
    EXPECT_EQ(s["project"], "");
    EXPECT_EQ(Value(s, "Position/Size/X"), c.args[0] == "--set" ? 20 : 50);
    TearDown();
    m_pid = 0;
  }
  // The window that could not read the project starts from the defaults and never saves over it.
  std::stringstream now;
  now << std::ifstream(project).rdbuf();
  EXPECT_EQ(now.str(), text);
}

TEST_F(PreviewWindow, ClosingWithUnsavedChangesAsksFirst) {
  Json s = Start({"--set", "X=20"});
  EXPECT_TRUE(s["dirty"].get<bool>());
  Keys(s, "ctrl+w");
  const std::string question = WindowNamed("unsaved changes$");
  ASSERT_FALSE(question.empty());
  ASSERT_EQ(Command(Xdo("windowfocus --sync " + question + " key Escape")), 0);
  s = WaitFor([](const Json& n) { return !n["inDialog"].get<bool>(); }, "the question answered");
  EXPECT_EQ(Value(s, "Position/Size/X"), 20) << "cancel keeps the window and its setup";
  Keys(s, "ctrl+w");
  const std::string again = WindowNamed("unsaved changes$");
  ASSERT_FALSE(again.empty());
  // "Don't save" closes the window.
  ASSERT_EQ(Command(Xdo("windowfocus --sync " + again + " key alt+d")), 0);
  int status = 0;
  bool ended = false;
  const auto end = std::chrono::steady_clock::now() + kTimeout;
  while (!(ended = waitpid(m_pid, &status, WNOHANG) == m_pid) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_TRUE(ended) << "the preview did not end";
  m_pid = 0;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
