// zelhost's preview module without a window: the --snapshot path loads the plug-in, applies the
// settings, renders the frame on show and lets the plug-in's overlay draw on it, then writes the
// viewer as a PNG. The module is loaded as zelhost loads it.
#include <cairo.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Preview.h"

namespace {

PFN_ZelPreviewMain PreviewMain() {
  static void* module = dlopen(ZEL_TEST_PREVIEW_MODULE, RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<PFN_ZelPreviewMain>(dlsym(module, kZelPreviewMainName)) : nullptr;
}

struct Result {
  int code = -1;
  std::string error;
  cairo_surface_t* image = nullptr;  ///< the snapshot, when one was written

  ~Result() {
    if (image) cairo_surface_destroy(image);
  }
  /// 0xRRGGBB of a pixel of the snapshot.
  std::uint32_t Rgb(int x, int y) const {
    const unsigned char* p = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image) + x * 4;
    return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
};

std::unique_ptr<Result> Snapshot(std::vector<const char*> settings, bool drag = false, const char* plugin = ZEL_TEST_PLUGIN) {
  auto result = std::make_unique<Result>();
  const std::string png = (std::filesystem::temp_directory_path() / ("zel-preview-" + std::to_string(getpid()) + ".png")).string();
  std::filesystem::remove(png);
  char error[512] = {};
  ZelPreviewOptions o{};
  o.plugin = plugin;
  o.snapshot = png.c_str();
  o.settings = settings.data();
  o.settingCount = static_cast<std::int32_t>(settings.size());
  o.time = 30;
  o.viewerWidth = 320;
  o.viewerHeight = 180;
  o.dragMode = drag ? 1 : 0;
  o.error = error;
  o.errorSize = sizeof error;
  PFN_ZelPreviewMain run = PreviewMain();
  if (run == nullptr) {
    ADD_FAILURE() << "preview module not loadable: " << dlerror();
    return result;
  }
  result->code = run(&o);
  result->error = error;
  if (std::filesystem::exists(png)) {
    result->image = cairo_image_surface_create_from_png(png.c_str());
    std::filesystem::remove(png);
  }
  return result;
}

constexpr std::uint32_t kBlack = 0x000000;

TEST(PreviewSnapshot, ViewerShowsTheFrameWithTheOverlay) {
  struct {
    const char* name;
    bool drag;
  } const cases[] = {{"handle mode", false}, {"drag mode", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = Snapshot({"Clock Type List=Analog Clock", "Size=40", "X=50", "Y=50"}, c.drag);
    ASSERT_EQ(r->code, 0) << r->error;
    ASSERT_NE(r->image, nullptr);
    ASSERT_EQ(cairo_image_surface_get_width(r->image), 320);
    ASSERT_EQ(cairo_image_surface_get_height(r->image), 180);
    // The cross at the centre, black: the pointer is not over the viewer.
    for (int d = -4; d <= 3; ++d) {
      EXPECT_EQ(r->Rgb(160 + d, 90), kBlack) << d;
      EXPECT_EQ(r->Rgb(160, 90 + d), kBlack) << d;
    }
    // The diagonals only in drag mode.
    EXPECT_EQ(r->Rgb(150, 80) == kBlack, c.drag);
    EXPECT_EQ(r->Rgb(169, 99) == kBlack, c.drag);
    // The outline of "Size" 40 on a 16:9 frame: x 0.5 -+ 0.1125, y 0.5 -+ 0.2.
    EXPECT_EQ(r->Rgb(124, 90), kBlack);
    EXPECT_EQ(r->Rgb(160, 54), kBlack);
  }
}

TEST(PreviewSnapshot, BadInputIsReportedInOneLine) {
  struct {
    const char* name;
    std::vector<const char*> settings;
    const char* plugin;
    const char* says;
  } const cases[] = {
      {"setting without a value", {"Size"}, ZEL_TEST_PLUGIN, "NAME=VALUE"},
      {"unknown parameter", {"NoSuchThing=1"}, ZEL_TEST_PLUGIN, "NoSuchThing"},
      {"value out of range", {"Size=1000"}, ZEL_TEST_PLUGIN, "Size"},
      {"missing plug-in", {}, "/nonexistent/ZEL2Clock.zel", "/nonexistent/ZEL2Clock.zel"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = Snapshot(c.settings, false, c.plugin);
    EXPECT_EQ(r->code, 1);
    EXPECT_NE(r->error.find(c.says), std::string::npos) << r->error;
    EXPECT_EQ(r->error.find('\n'), std::string::npos) << r->error;
    EXPECT_EQ(r->image, nullptr);
  }
}

}  // namespace
