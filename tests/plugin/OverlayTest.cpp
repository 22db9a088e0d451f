// The overlay through the real host: the loaded plug-in's overlay attached to the host's viewer
// (an overlay context over a pixel surface), with the parameters of a host effect instance. Hit
// tests are seen through what a following drag writes; drawing through the viewer's pixels.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Gdi.h"
#include "loading/HostUnknown.h"
#include "InteractionHost.h"

using namespace zel::host;
using namespace zel2clock;
using zel::test::ClockPlugin;

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);

// Viewer pixels, 0xAARRGGBB.
constexpr std::uint32_t kGrey = 0xFF404040;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0xFF00FF00;

// A 16:9 frame shown at a third of its size: frame-relative (x, y) is viewer (640x, 360y).
constexpr int kViewerWidth = 640;
constexpr int kViewerHeight = 360;
constexpr double kHFactor169 = 0.28125;  // 1 / (2 x 16/9)

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  ///< inclusive; right < left: empty
  bool operator==(const Box& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

class OverlayTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    SequenceInfo sequence;
    sequence.width = 1920;
    sequence.height = 1080;
    m_session = std::make_unique<EditSession>(ClockPlugin(), sequence);
    m_viewer = &m_session->OpenViewer(kViewerWidth, kViewerHeight);
    m_viewer->SetToleranceScale(600);
  }
  void TearDown() override {
    m_session.reset();
    InstrumentedTest::TearDown();
  }

  IZELGraphicOverlay& Overlay() { return *m_session->Overlay(); }
  ParameterValue& Param(const char* name) { return m_session->Instance().Get(name); }
  double Value(const char* name) { return Param(name).ValueAt(m_session->Time()).num[0]; }
  void SetValue(const char* name, double v) {
    ParamValue p;
    p.num[0] = v;
    ASSERT_TRUE(Param(name).Set(p));
  }
  /// The clock: centre (x, y) and size in percent, clock type.
  void SetClock(double x, double y, double size, int type = 0) {
    SetValue("X", x);
    SetValue("Y", y);
    SetValue("Size", size);
    SetValue("the List value", type);
  }
  void Draw(int highlighted) {
    m_viewer->Surface().Fill(0x40, 0x40, 0x40, 0xFF);
    Overlay().Draw(highlighted);
  }
  std::uint32_t Px(int x, int y) const { return m_viewer->Surface().Pixel(x, y); }
  /// The smallest box around every pixel of `colour`.
  Box BoxOf(std::uint32_t colour) const {
    Box b;
    for (int y = 0; y < kViewerHeight; ++y)
      for (int x = 0; x < kViewerWidth; ++x)
        if (Px(x, y) == colour) {
          b.left = std::min(b.left, x);
          b.top = std::min(b.top, y);
          b.right = std::max(b.right, x);
          b.bottom = std::max(b.bottom, y);
        }
    return b;
  }
  std::size_t CountOf(std::uint32_t colour) const {
    std::size_t n = 0;
    for (int y = 0; y < kViewerHeight; ++y)
      for (int x = 0; x < kViewerWidth; ++x) n += Px(x, y) == colour;
    return n;
  }

  std::unique_ptr<EditSession> m_session;
  OverlayContext* m_viewer = nullptr;
};

// --- geometry -------------------------------------------------------------------------------------

TEST_F(OverlayTest, OutlineOfEachClockTypeFollowsAspectAndDivisor) {
  struct {
    const char* name;
    int type;
    double size;      ///< "Size"
    double halfAxis;  ///< the outline's vertical half-axis, frame-relative
  } const cases[] = {{"analog", 0, 50, 0.25}, {"digital", 1, 50, 0.1}, {"LED", 2, 45, 0.05}, {"analog 20", 0, 20, 0.1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetClock(50, 50, c.size, c.type);
    Draw(1);
    // Ellipse(l, t, r, b) with the corners mapped to viewer pixels; right and bottom left out.
    const double halfWidth = c.halfAxis * 2 * kHFactor169;
    Box expected;
    expected.left = static_cast<int>(std::lround((0.5 - halfWidth) * kViewerWidth));
    expected.right = static_cast<int>(std::lround((0.5 + halfWidth) * kViewerWidth)) - 1;
    expected.top = static_cast<int>(std::lround((0.5 - c.halfAxis) * kViewerHeight));
    expected.bottom = static_cast<int>(std::lround((0.5 + c.halfAxis) * kViewerHeight)) - 1;
    EXPECT_EQ(BoxOf(kGreen), expected);
    // Hollow: the inside keeps the viewer's pixels.
    EXPECT_EQ(Px(320, static_cast<int>(180 - c.halfAxis * 180)), kGrey);
  }
  // The 16:9 analog outline of "Size" 50 spans x 0.5 -+ 0.140625 and y 0.5 -+ 0.25.
  SetClock(50, 50, 50, 0);
  Draw(1);
  EXPECT_EQ(BoxOf(kGreen), (Box{230, 90, 409, 269}));
}

TEST_F(OverlayTest, CrossArmsAndDiagonalsLeaveTheEndPointOut) {
  SetClock(50, 50, 50);
  for (int mode : {ZELOverlayMode_Handles, ZELOverlayMode_HandlesAlt, ZELOverlayMode_Drag}) {
    SCOPED_TRACE(mode);
    m_viewer->SetOverlayMode(mode);
    Draw(1);
    for (int d = -4; d <= 3; ++d) {
      EXPECT_EQ(Px(320 + d, 180), kBlue) << d;
      EXPECT_EQ(Px(320, 180 + d), kBlue) << d;
    }
    EXPECT_EQ(Px(324, 180), kGrey);
    EXPECT_EQ(Px(320, 184), kGrey);
    EXPECT_EQ(Px(315, 180), kGrey);
    EXPECT_EQ(Px(320, 175), kGrey);
    const bool diagonals = mode == ZELOverlayMode_Drag;
    for (int i = 0; i < 20; ++i) {
      if (i == 10) continue;  // the centre belongs to the cross as well
      EXPECT_EQ(Px(310 + i, 170 + i) == kBlue, diagonals) << i;
      EXPECT_EQ(Px(330 - i, 170 + i) == kBlue, diagonals) << i;
    }
    EXPECT_EQ(Px(330, 190), kGrey);
    EXPECT_EQ(Px(310, 190), kGrey);
    EXPECT_EQ(CountOf(kBlue), diagonals ? 8u + 7u + 2u * 20u - 2u : 15u);
  }
}

TEST_F(OverlayTest, ColoursFollowHighlightAndDragState) {
  SetClock(50, 50, 50);
  struct {
    const char* state;
    double pressX, pressY;  ///< none when negative
    int highlighted;
    std::uint32_t cross, outline;
  } const cases[] = {
      {"idle, plain", -1, -1, 0, kBlack, kBlack},
      {"idle, highlighted", -1, -1, 1, kBlue, kGreen},
      {"moving, plain", 0.5, 0.5, 0, kBlack, kBlack},
      {"moving, highlighted", 0.5, 0.5, 1, kWhite, kGreen},
      {"sizing, plain", 0.640625, 0.5, 0, kBlack, kBlack},
      {"sizing, highlighted", 0.640625, 0.5, 7, kBlue, kWhite},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    Overlay().PointerUp(0, 0, 0);
    if (c.pressX >= 0) {
      ASSERT_EQ(Overlay().PointerDown(c.pressX, c.pressY, 1), 1);
    }
    Draw(c.highlighted);
    EXPECT_EQ(Px(316, 180), c.cross);
    EXPECT_EQ(Px(320, 183), c.cross);
    EXPECT_EQ(Px(230, 180), c.outline);
    EXPECT_EQ(Px(320, 90), c.outline);
  }
}

TEST_F(OverlayTest, DrawPutsBackWhatTheDcHadSelected) {
  SetClock(50, 50, 50);
  HDC dc = static_cast<HDC>(m_viewer->GetDC());
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  Draw(1);
  EXPECT_EQ(SelectObject(dc, oldPen), pen);
  EXPECT_EQ(SelectObject(dc, oldBrush), brush);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
}

// --- presses and drags ------------------------------------------------------------------------------

/// What a press started, seen through a drag to (0.6, 0.55) right after it.
enum class Started { Nothing, Size, Move };

class OverlayPressTest : public OverlayTest {
 protected:
  Started PressAndSee(double x, double y, std::int32_t* pressResult = nullptr) {
    SetValue("X", 50);
    SetValue("Y", 50);
    const double sizeBefore = Value("Size");
    const std::int32_t pressed = Overlay().PointerDown(x, y, 1);
    if (pressResult) *pressResult = pressed;
    EXPECT_EQ(Overlay().PointerDrag(0.6, 0.55, 1), 1);
    const bool sized = Value("Size") != sizeBefore;
    const bool moved = Value("X") != 50 || Value("Y") != 50;
    Overlay().PointerUp(0.6, 0.55, 1);
    SetValue("Size", sizeBefore);
    EXPECT_FALSE(sized && moved);
    EXPECT_EQ(pressed != 0, sized || moved);
    return sized ? Started::Size : moved ? Started::Move : Started::Nothing;
  }
};

TEST_F(OverlayPressTest, HandleModesHitOutlineThenCentreWithinTheTolerance) {
  struct {
    const char* name;
    std::uint16_t n;
    int mode;
    double size;  ///< "Size" of an analog clock
    double r;     ///< elliptic distance of the press, along the horizontal axis
    Started expected;
  } const cases[] = {
      {"outline, n 600", 600, 0, 50, 0.5, Started::Size},
      {"just inside the band", 600, 0, 50, 0.5 + 0.049, Started::Size},
      {"just outside the band", 600, 0, 50, 0.5 + 0.051, Started::Nothing},
      {"inner edge of the band", 600, 0, 50, 0.5 - 0.049, Started::Size},
      {"centre", 600, 0, 50, 0.0, Started::Move},
      {"near the centre", 600, 0, 50, 0.049, Started::Move},
      {"between centre and outline", 600, 0, 50, 0.051, Started::Nothing},
      {"small outline: the centre sizes", 600, 0, 4, 0.0, Started::Size},
      {"other handle mode", 600, 1, 50, 0.5, Started::Size},
      {"n 0: infinite tolerance, outline wins", 0, 0, 50, 0.0, Started::Size},
      {"n 0: far away", 0, 0, 50, 3.0, Started::Size},
      {"negative mode", 600, -1, 50, 0.5, Started::Nothing},
      {"unknown mode", 600, 3, 50, 0.0, Started::Nothing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_viewer->SetToleranceScale(c.n);
    m_viewer->SetOverlayMode(c.mode);
    SetValue("Size", c.size);
    SetValue("the List value", 0);
    EXPECT_EQ(PressAndSee(0.5 + c.r * kHFactor169, 0.5), c.expected);
  }
}

TEST_F(OverlayPressTest, VerticalDistanceCountsAtHalfTheFrameHeight) {
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  SetValue("Size", 50);
  // r = |dy| / 0.5: the top of the outline (y 0.25) is at r = 0.5.
  EXPECT_EQ(PressAndSee(0.5, 0.25), Started::Size);
  EXPECT_EQ(PressAndSee(0.5, 0.5 - 0.049 * 0.5), Started::Move);
  EXPECT_EQ(PressAndSee(0.5, 0.5 - 0.3 * 0.5), Started::Nothing);
}

TEST_F(OverlayPressTest, DragModeTakesPressesInsideTheOutline) {
  m_viewer->SetOverlayMode(ZELOverlayMode_Drag);
  SetValue("Size", 50);
  SetValue("the List value", 0);
  struct {
    double r;
    Started expected;
  } const cases[] = {{0.0, Started::Move}, {0.3, Started::Move}, {0.5, Started::Move}, {0.5001, Started::Nothing}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.r);
    EXPECT_EQ(PressAndSee(0.5 + c.r * kHFactor169, 0.5), c.expected);
  }
}

TEST_F(OverlayTest, SizeDragWritesDistanceTimesTheDivisor) {
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  struct {
    const char* name;
    int type;
    double size;     ///< "Size" before
    double outline;  ///< its outline's r
    double dragR;    ///< r of the drag
    double written;  ///< "Size" after
  } const cases[] = {{"analog", 0, 50, 0.5, 0.3, 30},
                     {"digital", 1, 50, 0.2, 0.3, 75},
                     {"LED", 2, 45, 0.1, 0.2, 90},
                     {"beyond the range is clamped by the host", 1, 50, 0.2, 0.5, 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetClock(50, 50, c.size, c.type);
    ASSERT_EQ(Overlay().PointerDown(0.5 + c.outline * kHFactor169, 0.5, 1), 1);
    ASSERT_EQ(Overlay().PointerDrag(0.5 + c.dragR * kHFactor169, 0.5, 1), 1);
    EXPECT_NEAR(Value("Size"), c.written, 1e-9);
    EXPECT_EQ(Value("X"), 50);
    Overlay().PointerUp(0, 0, 0);
  }
}

TEST_F(OverlayTest, MovesWriteThePointerOrKeepTheOffset) {
  SetClock(50, 50, 50);
  // Handle mode: the centre follows the pointer.
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  ASSERT_EQ(Overlay().PointerDrag(0.25, 0.75, 1), 1);
  EXPECT_DOUBLE_EQ(Value("X"), 25);
  EXPECT_DOUBLE_EQ(Value("Y"), 75);
  Overlay().PointerUp(0.25, 0.75, 1);

  // Drag mode: grabbed off-centre, moved by (+0.1, -0.05): the clock moves by (+10, -5).
  SetClock(50, 50, 50);
  m_viewer->SetOverlayMode(ZELOverlayMode_Drag);
  ASSERT_EQ(Overlay().PointerDown(0.55, 0.45, 1), 1);
  ASSERT_EQ(Overlay().PointerDrag(0.65, 0.40, 1), 1);
  EXPECT_NEAR(Value("X"), 60, 1e-9);
  EXPECT_NEAR(Value("Y"), 45, 1e-9);
  // The offset holds for the next drag too, against the new cache.
  ASSERT_EQ(Overlay().PointerDrag(0.45, 0.65, 1), 1);
  EXPECT_NEAR(Value("X"), 40, 1e-9);
  EXPECT_NEAR(Value("Y"), 70, 1e-9);
  EXPECT_EQ(Value("Size"), 50);
}

TEST_F(OverlayTest, ReleaseEndsTheDragAndDetachedCallsDoNothing) {
  SetClock(50, 50, 50);
  Instrumentation::Global().StartLog();
  // Release without a press, a drag after a release: 1, nothing written.
  EXPECT_EQ(Overlay().PointerUp(0.3, 0.3, 1), 1);
  EXPECT_EQ(Overlay().PointerDrag(0.3, 0.3, 1), 1);
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  EXPECT_EQ(Overlay().PointerUp(0.5, 0.5, 1), 1);
  EXPECT_EQ(Overlay().PointerDrag(0.3, 0.3, 1), 1);
  for (const std::string& line : Instrumentation::Global().TakeLog())
    EXPECT_EQ(line.find("SetValueAtTime"), std::string::npos) << line;
  EXPECT_EQ(Value("X"), 50);

  // A press, then the viewer goes away: nothing reaches the host any more.
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  ASSERT_EQ(Overlay().Detach(), VOK_OK);
  Instrumentation::Global().StartLog();
  Draw(1);
  EXPECT_EQ(CountOf(kGrey), static_cast<std::size_t>(kViewerWidth) * kViewerHeight);
  EXPECT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 0);
  EXPECT_EQ(Overlay().PointerDrag(0.3, 0.3, 1), 0);
  EXPECT_EQ(Overlay().PointerUp(0.3, 0.3, 1), 1);
  EXPECT_TRUE(Instrumentation::Global().TakeLog().empty());
  EXPECT_EQ(Value("X"), 50);
  EXPECT_EQ(Overlay().Attach(nullptr), VOK_E_INVALIDARG);
  // Attached again, it works again.
  ASSERT_EQ(Overlay().Attach(m_viewer), VOK_OK);
  EXPECT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
}

TEST_F(OverlayPressTest, DoublePressActsAsAPress) {
  // Operation 7 is operation 6 again: the same hits, the same drags after it.
  SetClock(50, 50, 50);
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  EXPECT_EQ(Overlay().PointerDoubleDown(0.5 + 0.5 * kHFactor169, 0.5, 1), 1);
  ASSERT_EQ(Overlay().PointerDrag(0.5 + 0.3 * kHFactor169, 0.5, 1), 1);
  EXPECT_NEAR(Value("Size"), 30, 1e-9);
  Overlay().PointerUp(0, 0, 0);
  EXPECT_EQ(Overlay().PointerDoubleDown(0.9, 0.9, 1), 0);
  EXPECT_EQ(Overlay().PointerDrag(0.2, 0.2, 1), 1);
  EXPECT_NEAR(Value("Size"), 30, 1e-9);
  EXPECT_EQ(Value("X"), 50);
}

TEST_F(OverlayTest, MoveKeysPreferencesAndFocusChangeNothing) {
  // Operations 10 to 14 answer 0 (or nothing), call no host function and leave a drag as it was.
  SetClock(50, 50, 50);
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  Instrumentation::Global().StartLog();
  EXPECT_EQ(Overlay().PointerMove(0.1, 0.2, 0), 0);
  EXPECT_EQ(Overlay().KeyDown(37, 0), 0);
  EXPECT_EQ(Overlay().KeyUp(37, 0), 0);
  std::uint8_t preferences[64];
  std::fill(std::begin(preferences), std::end(preferences), 0x5A);
  EXPECT_EQ(Overlay().GetPreferences(preferences), 0);
  EXPECT_EQ(Overlay().GetPreferences(nullptr), 0);
  Overlay().FocusChanged(0);
  Overlay().FocusChanged(1);
  EXPECT_TRUE(Instrumentation::Global().TakeLog().empty());
  EXPECT_TRUE(std::all_of(std::begin(preferences), std::end(preferences), [](std::uint8_t b) { return b == 0x5A; }));
  // The move that the press started goes on.
  ASSERT_EQ(Overlay().PointerDrag(0.25, 0.75, 1), 1);
  EXPECT_DOUBLE_EQ(Value("X"), 25);
  EXPECT_DOUBLE_EQ(Value("Y"), 75);
}

TEST_F(OverlayTest, EveryPressFirstReturnsToIdle) {
  // A press that hits nothing ends the drag an earlier press started, even without a release.
  SetClock(50, 50, 50);
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);  // starts a move
  ASSERT_EQ(Overlay().PointerDown(0.95, 0.95, 1), 0);
  Instrumentation::Global().StartLog();
  EXPECT_EQ(Overlay().PointerDrag(0.2, 0.3, 1), 1);
  for (const std::string& line : Instrumentation::Global().TakeLog())
    EXPECT_EQ(line.find("SetValueAtTime"), std::string::npos) << line;
  EXPECT_EQ(Value("X"), 50);
  // A press on the outline after a move: only the size follows, the centre stays.
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  ASSERT_EQ(Overlay().PointerDown(0.5 + 0.5 * kHFactor169, 0.5, 1), 1);
  ASSERT_EQ(Overlay().PointerDrag(0.5 + 0.3 * kHFactor169, 0.6, 1), 1);
  EXPECT_EQ(Value("X"), 50);
  EXPECT_EQ(Value("Y"), 50);
  EXPECT_NEAR(Value("Size"), std::sqrt(0.3 * 0.3 + 0.2 * 0.2) * 100, 1e-9);
  // A press in a mode the overlay does not know ends the drag as well.
  SetClock(50, 50, 50);
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  m_viewer->SetOverlayMode(-1);
  EXPECT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 0);
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  EXPECT_EQ(Overlay().PointerDrag(0.2, 0.3, 1), 1);
  EXPECT_EQ(Value("X"), 50);
}

TEST_F(OverlayTest, DragAfterTheModeChangedFollowsTheNewMode) {
  SetClock(50, 50, 50);
  // Pressed in drag mode off-centre, dragged in a handle mode: the centre follows the pointer,
  // the grab offset of the drag mode is not used.
  m_viewer->SetOverlayMode(ZELOverlayMode_Drag);
  ASSERT_EQ(Overlay().PointerDown(0.55, 0.45, 1), 1);
  m_viewer->SetOverlayMode(ZELOverlayMode_HandlesAlt);
  ASSERT_EQ(Overlay().PointerDrag(0.3, 0.6, 1), 1);
  EXPECT_DOUBLE_EQ(Value("X"), 30);
  EXPECT_DOUBLE_EQ(Value("Y"), 60);
  Overlay().PointerUp(0, 0, 0);

  // A size drag started in a handle mode does nothing in drag mode, which only moves.
  SetClock(50, 50, 50);
  m_viewer->SetOverlayMode(ZELOverlayMode_Handles);
  ASSERT_EQ(Overlay().PointerDown(0.5 + 0.5 * kHFactor169, 0.5, 1), 1);
  m_viewer->SetOverlayMode(ZELOverlayMode_Drag);
  EXPECT_EQ(Overlay().PointerDrag(0.5 + 0.3 * kHFactor169, 0.5, 1), 1);
  EXPECT_EQ(Value("Size"), 50);
  EXPECT_EQ(Value("X"), 50);
  // In a mode nobody knows, no drag writes anything, yet the drag is handled.
  m_viewer->SetOverlayMode(7);
  EXPECT_EQ(Overlay().PointerDrag(0.1, 0.1, 1), 1);
  EXPECT_EQ(Value("Size"), 50);
  EXPECT_EQ(Value("X"), 50);
}

TEST_F(OverlayTest, ReadsAndWritesAtTheTimeOnShow) {
  // X and Y animated; the viewer shows time 12.5.
  ParamValue v;
  v.num[0] = 20;
  Param("X").Set(v, 0.0);
  Param("Y").Set(v, 0.0);
  v.num[0] = 80;
  Param("X").Set(v, 100.0);
  Param("Y").Set(v, 100.0);
  SetValue("Size", 10);
  m_session->SetTime(12.5);
  // The centre is read at 12.5: X = Y = 27.5.
  ASSERT_EQ(Overlay().PointerDown(0.275, 0.275, 1), 1);
  Instrumentation::Global().StartLog();
  ASSERT_EQ(Overlay().PointerDrag(0.4, 0.3, 1), 1);
  std::vector<std::string> writes;
  for (const std::string& line : Instrumentation::Global().TakeLog())
    if (line.find("SetValueAtTime") != std::string::npos) writes.push_back(line);
  EXPECT_EQ(writes, (std::vector<std::string>{"AnimatedParameter.SetValueAtTime X",
                                              "AnimatedParameter.SetValueAtTime Y"}));
  // A key at 12.5 with the new values; the keys around it stay.
  EXPECT_EQ(Param("X").KeyTimes(), (std::vector<double>{0.0, 12.5, 100.0}));
  EXPECT_NEAR(Param("X").ValueAt(12.5).num[0], 40, 1e-9);
  EXPECT_NEAR(Param("Y").ValueAt(12.5).num[0], 30, 1e-9);
  EXPECT_NEAR(Param("X").ValueAt(100.0).num[0], 80, 1e-9);
  EXPECT_EQ(Param("Size").KeyTimes().size(), 0u);
}

TEST_F(OverlayTest, ParameterFacesAreFetchedOnceAndKept) {
  SetClock(50, 50, 50);
  Instrumentation::Global().StartLog();
  Draw(1);
  Overlay().PointerDown(0.5, 0.5, 1);
  Overlay().PointerDrag(0.5, 0.5, 1);
  Draw(1);
  std::vector<std::string> fetches;
  for (const std::string& line : Instrumentation::Global().TakeLog())
    if (line.rfind("EffectContext.GetParameter ", 0) == 0 && line.find("Style List") == std::string::npos)
      fetches.push_back(line);
  // Four refreshes, the four faces fetched at the first (the session's update handler, run after
  // the drag, fetches "Style List": not the overlay's).
  EXPECT_EQ(fetches, (std::vector<std::string>{
                         "EffectContext.GetParameter X", "EffectContext.GetParameter Y",
                         "EffectContext.GetParameter Size", "EffectContext.GetParameter the List value"}));
}

TEST_F(OverlayTest, HostFailureDuringRefreshEndsCleanly) {
  SetClock(50, 50, 50);
  struct {
    const char* operation;
    std::uint32_t nth;
  } const cases[] = {{"OverlayContext.GetEffectContext", 1},  {"OverlayContext.GetFrameContext", 1},
                     {"OverlayContext.GetRenderContext", 1},  {"AnimatedParameter.GetValueAtTime X", 1},
                     {"AnimatedParameter.GetValueAtTime Y", 1}, {"AnimatedParameter.GetValueAtTime Size", 1},
                     {"AnimatedParameter.GetValueAtTime the List value", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    Instrumentation::Global().FailOperation(c.operation, kHostCode, c.nth);
    Draw(1);
    EXPECT_EQ(CountOf(kGrey), static_cast<std::size_t>(kViewerWidth) * kViewerHeight);
    Instrumentation::Global().FailOperation(c.operation, kHostCode, c.nth);
    EXPECT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 0);
    // A press that succeeds, then a drag whose refresh fails: 0 and nothing written.
    Instrumentation::Global().Reset();
    ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
    Instrumentation::Global().FailOperation(c.operation, kHostCode, c.nth);
    EXPECT_EQ(Overlay().PointerDrag(0.3, 0.3, 1), 0);
    EXPECT_EQ(Value("X"), 50);
    Instrumentation::Global().Reset();
    Overlay().PointerUp(0, 0, 0);
  }
  // A refused write ends the drag with 0 too.
  ASSERT_EQ(Overlay().PointerDown(0.5, 0.5, 1), 1);
  Instrumentation::Global().FailOperation("AnimatedParameter.SetValueAtTime", kHostCode);
  EXPECT_EQ(Overlay().PointerDrag(0.3, 0.3, 1), 0);
}

TEST_F(OverlayTest, FirstRefreshFailingToFetchAParameterEndsCleanly) {
  // A fresh overlay has no faces yet: its first refresh fetches them, and any fetch may fail.
  for (std::uint32_t nth = 1; nth <= 4; ++nth) {
    SCOPED_TRACE(nth);
    VOKPtr<IZELGraphicOverlay> fresh =
        zel::test::MakeComponent<IZELGraphicOverlay>(ZELKind_Overlay, IID_IZELGraphicOverlay);
    ASSERT_EQ(fresh->Attach(m_viewer), VOK_OK);
    Instrumentation::Global().FailOperation("EffectContext.GetParameter", kHostCode, nth);
    EXPECT_EQ(fresh->PointerDown(0.5, 0.5, 1), 0);
    Instrumentation::Global().Reset();
    // The faces fetched before the failure are kept; the next refresh fetches the rest.
    EXPECT_EQ(fresh->PointerDown(0.5, 0.5, 1), 1);
    fresh->Detach();
  }
}

TEST_F(OverlayTest, SessionRoutesViewerPixelsAndShowsTheFrame) {
  SetClock(50, 50, 50);
  std::vector<std::uint8_t> frame(1920u * 1080u * 4u, 0x80);
  FrameView input{frame.data(), 1920, 1080, 1920u * 4u, PixelKind::Bgra};
  EXPECT_EQ(m_session->ShowFrame(input, true), VOK_OK);
  // The overlay sits on the rendered frame: the cross at the centre, the frame around it.
  EXPECT_EQ(Px(320, 180), kBlue);
  EXPECT_EQ(Px(230, 180), kGreen);
  EXPECT_EQ(Px(5, 5), 0xFF808080u);
  // Press at the viewer pixel of the centre, drag by (64, -36) viewer pixels = (+10 %, -10 %).
  ASSERT_EQ(m_session->PointerDown(320, 180), 1);
  ASSERT_EQ(m_session->PointerDrag(384, 144), 1);
  EXPECT_NEAR(Value("X"), 60, 1e-9);
  EXPECT_NEAR(Value("Y"), 40, 1e-9);
  EXPECT_EQ(m_session->PointerUp(384, 144), 1);
}

// --- the pen set's lifetime ----------------------------------------------------------------------

/// An overlay context that forwards to the host's viewer and, when the overlay maps its centre
/// (the cross pen and brush are selected then), notes which pen and brush the DC holds.
class ProbeContext final : public HostObject<IZELOverlayContext> {
 public:
  explicit ProbeContext(OverlayContext* inner) : m_inner(inner) {}
  VOKRESULT GetEffectContext(IZELEffectContext** pp) override { return m_inner->GetEffectContext(pp); }
  VOKRESULT GetFrameContext(IZELFrameContext** pp) override { return m_inner->GetFrameContext(pp); }
  VOKRESULT GetRenderContext(IZELRenderContext** pp) override { return m_inner->GetRenderContext(pp); }
  void GetViewerSize(std::int32_t* w, std::int32_t* h) override { m_inner->GetViewerSize(w, h); }
  double GetZoom() override { return m_inner->GetZoom(); }
  ZELHDC GetDC() override { return m_inner->GetDC(); }
  void Invalidate() override { m_inner->Invalidate(); }
  std::int32_t GetModifiers() override { return m_inner->GetModifiers(); }
  std::uint16_t GetToleranceScale() override { return m_inner->GetToleranceScale(); }
  void SetCursor(std::int32_t s) override { m_inner->SetCursor(s); }
  std::int32_t IsPointerInside() override { return m_inner->IsPointerInside(); }
  void GetPointer(double* x, double* y) override { m_inner->GetPointer(x, y); }
  std::int32_t GetOverlayMode() override { return m_inner->GetOverlayMode(); }
  void SetOverlayMode(std::int32_t m) override { m_inner->SetOverlayMode(m); }
  void GetFrameOrigin(std::int16_t* x, std::int16_t* y) override { m_inner->GetFrameOrigin(x, y); }
  void MapFromViewer(std::int16_t px, std::int16_t py, double* x, double* y) override {
    m_inner->MapFromViewer(px, py, x, y);
  }
  void MapToViewer(double x, double y, std::int16_t* px, std::int16_t* py) override {
    if (pen == nullptr) {
      HDC dc = static_cast<HDC>(m_inner->GetDC());
      pen = SelectObject(dc, GetStockObject(BLACK_PEN));
      SelectObject(dc, pen);
      brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
      SelectObject(dc, brush);
    }
    m_inner->MapToViewer(x, y, px, py);
  }

  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;

 private:
  OverlayContext* m_inner;
};

/// Whether `object` is a live GDI object (selecting it into a scratch DC works), leaving no trace.
bool IsLiveObject(HGDIOBJ object) {
  HDC scratch = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(scratch, object);
  if (previous != nullptr) SelectObject(scratch, previous);
  DeleteDC(scratch);
  return previous != nullptr;
}

TEST_F(OverlayTest, PenSetIsSharedAndFreedWhenTheModuleUnloads) {
  // A second copy of the module, loaded under another name, so that this test can unload it
  // while the copy the rest of the suite uses stays.
  const auto copy = std::filesystem::temp_directory_path() / ("ZEL2Clock-unload-" + std::to_string(::getpid()) + ".zel");
  std::filesystem::copy_file(ZEL_TEST_PLUGIN, copy, std::filesystem::copy_options::overwrite_existing);
  void* module = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  std::filesystem::remove(copy);
  auto getFactory = reinterpret_cast<PFN_VOKGetClassFactory>(dlsym(module, kVOKGetClassFactoryName));
  auto canUnload = reinterpret_cast<PFN_VOKCanUnloadNow>(dlsym(module, kVOKCanUnloadNowName));
  ASSERT_TRUE(getFactory && canUnload);

  SetClock(50, 50, 50);
  VOKPtr<HostUnknown> host = MakeHostObject<HostUnknown>();
  HGDIOBJ pens[2] = {}, brushes[2] = {};
  {
    VOKPtr<IVOKClassFactory> factory;
    ASSERT_EQ(getFactory(host->Unknown(), kClassOverlay, IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
    for (int i = 0; i < 2; ++i) {
      VOKPtr<IZELGraphicOverlay> overlay;
      ASSERT_EQ(factory->CreateInstance(host->Unknown(), nullptr, IID_IZELGraphicOverlay, overlay.PutVoid()), VOK_OK);
      VOKPtr<ProbeContext> probe = MakeHostObject<ProbeContext>(m_viewer);
      ASSERT_EQ(overlay->Attach(probe.Get()), VOK_OK);
      overlay->Draw(1);
      overlay->Draw(1);
      overlay->Detach();
      pens[i] = probe->pen;
      brushes[i] = probe->brush;
    }
  }
  // Two overlay objects drew with the one pen set: the blue entry, made once.
  ASSERT_NE(pens[0], nullptr);
  EXPECT_EQ(pens[0], pens[1]);
  EXPECT_EQ(brushes[0], brushes[1]);
  EXPECT_TRUE(IsLiveObject(pens[0]));
  EXPECT_TRUE(IsLiveObject(brushes[0]));
  ASSERT_EQ(canUnload(host->Unknown()), VOK_OK);
  ASSERT_EQ(dlclose(module), 0);
  EXPECT_FALSE(IsLiveObject(pens[0]));
  EXPECT_FALSE(IsLiveObject(brushes[0]));
}

}  // namespace
