// The host's interaction side on its own: the panel (layout source and entries) built from the
// real plug-in's effect definition, and the viewer's overlay context (placement, mapping to viewer
// pixels, contexts handed out, the surface its DC draws into).
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Gdi.h"
#include "loading/Instrumentation.h"
#include "interaction/LayoutSource.h"
#include "interaction/OverlayContext.h"
#include "loading/PluginModule.h"
#include "render/RenderContexts.h"

using namespace zel::host;

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);
constexpr VOKUID kUnknownUid = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

Plugin& ClockPlugin() {
  static Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_panel = LayoutSource::Build(*ClockPlugin().Effect(), [this](const LayoutEntry& e, bool on) {
      m_seen.push_back(e.Label() + (on ? " on" : " off"));
    });
  }
  void TearDown() override { Instrumentation::Global().Reset(); }

  LayoutEntry& ByLabel(const std::string& label) {
    for (const auto& e : m_panel->Entries())
      if (e->Label() == label) return *e.Get();
    throw std::runtime_error("no entry " + label);
  }

  VOKPtr<LayoutSource> m_panel;
  std::vector<std::string> m_seen;
};

TEST_F(PanelTest, EntriesFollowThePanelTree) {
  std::vector<std::string> top;
  for (const LayoutEntry* e : m_panel->TopLevel()) top.push_back(e->Label());
  EXPECT_EQ(top, (std::vector<std::string>{"Digital Clock Alignment", "Clock Type List", "Position/Size", "Time",
                                           "Colors", "Timer Style"}));
  // Unnamed controls are labelled by their parameter; children know their parent.
  LayoutEntry& x = ByLabel("X");
  ASSERT_NE(x.Parent(), nullptr);
  EXPECT_EQ(x.Parent()->Label(), "Position/Size");
  EXPECT_EQ(x.Node().kind, LayoutKind::Parameter);
  ASSERT_NE(x.Parameter(), nullptr);
  EXPECT_EQ(x.Parameter()->name, "X");
  std::vector<std::string> position;
  for (const LayoutEntry* c : x.Parent()->Children()) position.push_back(c->Label());
  EXPECT_EQ(position, (std::vector<std::string>{"X", "Y", "Size"}));
  // Every entry of the definition is there, each found by its UID, all on at the start.
  std::size_t count = 0;
  for (const auto& e : m_panel->Entries()) {
    ++count;
    EXPECT_EQ(m_panel->Find(e->Uid()), e.Get());
    EXPECT_TRUE(e->On());
  }
  EXPECT_EQ(count, 60u);  // 7 groups, 3 list boxes with 21 items, 26 controls, 2 colours, 1 text field
}

TEST_F(PanelTest, LookUpHandsOutOneReferenceOrAnError) {
  LayoutEntry& hour = ByLabel("Stop Time Hour");
  struct {
    const char* name;
    const VOKUID* uid;
    bool nullOut;
    VOKRESULT expected;
  } const cases[] = {{"known", &hour.Uid(), false, VOK_OK},
                     {"unknown", &kUnknownUid, false, VOK_E_INVALIDARG},
                     {"null out-pointer", &hour.Uid(), true, VOK_E_POINTER}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IZELLayoutEntry* entry = reinterpret_cast<IZELLayoutEntry*>(0x1);
    EXPECT_EQ(m_panel->GetLayoutEntry(*c.uid, c.nullOut ? nullptr : &entry), c.expected);
    if (c.nullOut) continue;
    if (c.expected == VOK_OK) {
      EXPECT_EQ(entry, static_cast<IZELLayoutEntry*>(&hour));
      // The source holds one reference, the caller got the second.
      EXPECT_EQ(entry->Release(), 1u);
    } else {
      EXPECT_EQ(entry, nullptr);
    }
  }
  Instrumentation::Global().FailOperation("LayoutSource.GetLayoutEntry", kHostCode);
  IZELLayoutEntry* entry = nullptr;
  EXPECT_EQ(m_panel->GetLayoutEntry(hour.Uid(), &entry), kHostCode);
}

TEST_F(PanelTest, SwitchingIsSeenByEntryPanelAndObserver) {
  LayoutEntry& stop = ByLabel("Stop Time");
  LayoutEntry& hour = ByLabel("Stop Time Hour");
  struct {
    LayoutEntry* entry;
    std::int32_t flag;
    bool on;
  } const steps[] = {{&hour, 0, false}, {&hour, 1, true}, {&hour, -7, true}, {&hour, 0, false}, {&hour, 2, true}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.flag);
    EXPECT_EQ(s.entry->Enable(s.flag), VOK_OK);
    EXPECT_EQ(s.entry->IsEnabled(), s.on ? 1 : 0);
    EXPECT_EQ(s.entry->On(), s.on);
  }
  EXPECT_EQ(m_seen, (std::vector<std::string>{"Stop Time Hour off", "Stop Time Hour on", "Stop Time Hour on",
                                              "Stop Time Hour off", "Stop Time Hour on"}));
  // An entry under a switched-off group is on but not shown.
  ASSERT_EQ(stop.Enable(0), VOK_OK);
  EXPECT_TRUE(hour.On());
  EXPECT_FALSE(hour.Shown());
  m_panel->ResetAll();
  EXPECT_TRUE(hour.Shown());
  // A failing switch changes nothing and tells nobody.
  m_seen.clear();
  Instrumentation::Global().FailOperation("LayoutEntry.Enable", kHostCode);
  EXPECT_EQ(hour.Enable(0), kHostCode);
  EXPECT_TRUE(hour.On());
  EXPECT_TRUE(m_seen.empty());
}

TEST_F(PanelTest, AnEntryKeptByThePlugInOutlivesThePanel) {
  IZELLayoutEntry* kept = nullptr;
  ASSERT_EQ(m_panel->GetLayoutEntry(ByLabel("Start Time Day").Uid(), &kept), VOK_OK);
  m_panel.Reset();
  EXPECT_EQ(kept->Enable(0), VOK_OK);
  EXPECT_EQ(kept->IsEnabled(), 0);
  EXPECT_EQ(kept->Release(), 0u);
}

// --- overlay context ------------------------------------------------------------------------------

TEST(OverlayContextTest, FramePlacementAndMapping) {
  struct {
    const char* name;
    int viewerW, viewerH;
    std::uint32_t frameW, frameH;
    double par;
    FramePlacement placement;
    double zoom;
  } const cases[] = {
      {"same shape, a third", 640, 360, 1920, 1080, 1.0, {0, 0, 640, 360}, 1.0 / 3},
      {"letterbox", 800, 600, 1920, 1080, 1.0, {0, 75, 800, 450}, 450.0 / 1080},
      {"pillarbox", 400, 100, 100, 100, 1.0, {150, 0, 100, 100}, 1.0},
      {"wide pixels", 400, 200, 100, 100, 2.0, {0, 0, 400, 200}, 2.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VOKPtr<OverlayContext> ctx = MakeHostObject<OverlayContext>(c.viewerW, c.viewerH, c.frameW, c.frameH, c.par);
    const FramePlacement& p = ctx->Placement();
    EXPECT_DOUBLE_EQ(p.originX, c.placement.originX);
    EXPECT_DOUBLE_EQ(p.originY, c.placement.originY);
    EXPECT_DOUBLE_EQ(p.width, c.placement.width);
    EXPECT_DOUBLE_EQ(p.height, c.placement.height);
    EXPECT_DOUBLE_EQ(ctx->GetZoom(), c.zoom);
    std::int16_t px = 0, py = 0;
    ctx->MapToViewer(0, 0, &px, &py);
    EXPECT_EQ(px, static_cast<std::int16_t>(c.placement.originX));
    EXPECT_EQ(py, static_cast<std::int16_t>(c.placement.originY));
    ctx->GetFrameOrigin(&px, &py);
    EXPECT_EQ(px, static_cast<std::int16_t>(c.placement.originX));
    EXPECT_EQ(py, static_cast<std::int16_t>(c.placement.originY));
    double x = -1, y = -1;
    ctx->MapFromViewer(static_cast<std::int16_t>(c.placement.originX + c.placement.width),
                       static_cast<std::int16_t>(c.placement.originY + c.placement.height), &x, &y);
    EXPECT_DOUBLE_EQ(x, 1.0);
    EXPECT_DOUBLE_EQ(y, 1.0);
    std::int32_t w = 0, h = 0;
    ctx->GetViewerSize(&w, &h);
    EXPECT_EQ(w, c.viewerW);
    EXPECT_EQ(h, c.viewerH);
    // The default tolerance scale is the viewer's longer side.
    EXPECT_EQ(ctx->GetToleranceScale(), std::max(c.viewerW, c.viewerH));
  }
}

TEST(OverlayContextTest, MapToViewerRoundsAndLimits) {
  VOKPtr<OverlayContext> ctx = MakeHostObject<OverlayContext>(640, 360, 1920, 1080);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    double x, y;
    std::int16_t px, py;
  } const cases[] = {{0.5, 0.5, 320, 180},           {0.5 + 0.4 / 640, 0.5 + 0.6 / 360, 320, 181},
                     {-0.0001, 1.0, 0, 360},         {1000.0, -1000.0, 32767, -32768},
                     {1e300, -1e300, 32767, -32768}, {nan, nan, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
    std::int16_t px = 7, py = 7;
    ctx->MapToViewer(c.x, c.y, &px, &py);
    EXPECT_EQ(px, c.px);
    EXPECT_EQ(py, c.py);
  }
  ctx->MapToViewer(0.5, 0.5, nullptr, nullptr);  // either output may be left out
}

TEST(OverlayContextTest, ContextsAreHandedOutOnlyWhileAFrameIsOnShow) {
  Instrumentation::Global().Reset();
  VOKPtr<OverlayContext> ctx = MakeHostObject<OverlayContext>(64, 64, 64, 64);
  IZELRenderContext* render = reinterpret_cast<IZELRenderContext*>(0x1);
  EXPECT_EQ(ctx->GetRenderContext(&render), VOK_E_FAIL);
  EXPECT_EQ(render, nullptr);
  EXPECT_EQ(ctx->GetRenderContext(nullptr), VOK_E_POINTER);

  auto shown = MakeHostObject<HostRenderContext>(12.5, ZELField_Both);
  auto frame = MakeHostObject<HostFrameContext>(12, 12);
  ctx->SetContexts(nullptr, frame.Get(), shown.Get());
  ASSERT_EQ(ctx->GetRenderContext(&render), VOK_OK);
  EXPECT_EQ(render->GetTime(), 12.5);
  EXPECT_EQ(render->Release(), 2u);  // ours and the viewer's remain
  IZELEffectContext* effect = nullptr;
  EXPECT_EQ(ctx->GetEffectContext(&effect), VOK_E_FAIL);

  Instrumentation::Global().FailOperation("OverlayContext.GetFrameContext", kHostCode);
  IZELFrameContext* f = nullptr;
  EXPECT_EQ(ctx->GetFrameContext(&f), kHostCode);
  EXPECT_EQ(ctx->GetFrameContext(&f), VOK_OK);
  f->Release();
  Instrumentation::Global().Reset();
}

TEST(OverlayContextTest, ModeScaleCursorPointerAndRedraws) {
  VOKPtr<OverlayContext> ctx = MakeHostObject<OverlayContext>(300, 200, 300, 200);
  EXPECT_EQ(ctx->GetOverlayMode(), ZELOverlayMode_Handles);
  ctx->SetOverlayMode(ZELOverlayMode_Drag);
  EXPECT_EQ(ctx->GetOverlayMode(), ZELOverlayMode_Drag);
  ctx->SetToleranceScale(0);
  EXPECT_EQ(ctx->GetToleranceScale(), 0);
  ctx->SetCursor(2);
  EXPECT_EQ(ctx->Cursor(), 2);
  ctx->SetPointer(0.25, 0.75, true, 3);
  double x = 0, y = 0;
  ctx->GetPointer(&x, &y);
  EXPECT_EQ(x, 0.25);
  EXPECT_EQ(y, 0.75);
  EXPECT_EQ(ctx->IsPointerInside(), 1);
  EXPECT_EQ(ctx->GetModifiers(), 3);
  int redraws = 0;
  ctx->OnInvalidate([&] { ++redraws; });
  ctx->Invalidate();
  ctx->Invalidate();
  EXPECT_EQ(redraws, 2);
  EXPECT_EQ(ctx->InvalidateCount(), 2u);
}

TEST(OverlayContextTest, DcDrawsIntoTheSurfaceTheHostReads) {
  VOKPtr<OverlayContext> ctx = MakeHostObject<OverlayContext>(16, 8, 16, 8);
  ViewerSurface& s = ctx->Surface();
  s.Fill(0x10, 0x20, 0x30, 0xFF);
  HDC dc = static_cast<HDC>(ctx->GetDC());
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xFF, 0x80, 0x01));
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, 2, 3, nullptr);
  LineTo(dc, 6, 3);
  SelectObject(dc, old);
  DeleteObject(pen);
  EXPECT_EQ(s.Pixel(2, 3), 0xFFFF8001u);
  EXPECT_EQ(s.Pixel(5, 3), 0xFFFF8001u);
  EXPECT_EQ(s.Pixel(6, 3), 0xFF302010u);
  EXPECT_EQ(s.Pixel(16, 3), 0u);  // outside
  const std::vector<std::uint8_t> rgba = s.ToRgba();
  const std::size_t at = (3 * 16 + 2) * 4;
  EXPECT_EQ(rgba[at], 0xFF);
  EXPECT_EQ(rgba[at + 1], 0x80);
  EXPECT_EQ(rgba[at + 2], 0x01);
  EXPECT_EQ(rgba[at + 3], 0xFF);
}

TEST(OverlayContextTest, ViewerSizeOutsideTheRangeIsRefused) {
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 10}, std::pair{40000, 10}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    EXPECT_THROW(MakeHostObject<OverlayContext>(w, h, 10, 10), HostError);
  }
}

}  // namespace
