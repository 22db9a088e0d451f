#include "drawing/FrameClock.h"

#include <algorithm>
#include <cmath>

#include "drawing/AnalogClock.h"
#include "drawing/DigitalClock.h"
#include "drawing/GdiplusHandles.h"
#include "drawing/LEDClock.h"

namespace zel2clock {
namespace {

// Bounds that keep every integer the drawing computes from positions and sizes (x - rx, 2 * rx,
// H(45) x characters, ...) far inside 32 bits, whatever the host delivers. Any real frame lies
// well within them.
constexpr std::int32_t kMaxCoordinate = 1 << 20;
constexpr std::int32_t kMaxRadius = 1 << 20;
constexpr double kMinHorizontalScale = 1.0 / 16;
constexpr double kMaxHorizontalScale = 16.0;

/// 1 / pixel aspect ratio, for a usable ratio; square pixels for 0, a negative or a non-finite
/// one.
double HorizontalScaleOf(double pixelAspectRatio) {
  if (!std::isfinite(pixelAspectRatio) || pixelAspectRatio <= 0.0) return 1.0;
  return std::clamp(1.0 / pixelAspectRatio, kMinHorizontalScale, kMaxHorizontalScale);
}

std::int32_t BoundCoordinate(std::int32_t v) { return std::clamp(v, -kMaxCoordinate, kMaxCoordinate); }

int TextLength(const char16_t* text) {
  int n = 0;
  while (n < static_cast<int>(kClockTextCapacity) && text[n] != 0) ++n;
  return n;
}

}  // namespace

FrameClock ComputeFrameClock(const ClockSettings& s, const FrameFacts& frame) {
  FrameClock c;
  c.clockType = s.time.clockType;
  c.x = BoundCoordinate(ClockCoordinate(s.x, frame.width));
  c.y = BoundCoordinate(ClockCoordinate(s.y, frame.height));
  c.radius = std::clamp(ClockRadius(s.size, frame.height), 0, kMaxRadius);
  c.horizontalScale = HorizontalScaleOf(frame.pixelAspectRatio);
  c.textColor = MakeArgb(s.foregroundOpacity, s.foregroundRed, s.foregroundGreen, s.foregroundBlue);
  c.backColor = MakeArgb(s.backgroundOpacity, s.backgroundRed, s.backgroundGreen, s.backgroundBlue);
  c.alignment = s.alignment;
  c.font = s.font;

  ClockTimeInputs in = s.time;
  in.clockTime = ScaleClockTime(frame.clockTime, s.speedFactor, s.speedFactorEnabled);
  in.frameRate = frame.frameRate;
  in.renderedField = frame.renderedField;
  in.startTimeText = s.startTimeText;
  in.startTimeTextSize = sizeof s.startTimeText;
  c.shown = ComputeShownTime(in);
  FormatClockText(in, c.shown, c.text);
  c.textLength = TextLength(c.text);
  return c;
}

// --- drawing -------------------------------------------------------------------------------------

namespace {

/// The 2-D library started for one frame's drawing and shut down on every path.
class GdiplusSession {
 public:
  GdiplusSession() {
    const GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    // The start-up status is not checked: drawing under a failed start does nothing.
    GdiplusStartup(&m_token, &input, nullptr);
  }
  ~GdiplusSession() { GdiplusShutdown(m_token); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR m_token = 0;
};

/// The show flags, all on: the background fill of each clock (the analog face, the digital and
/// LED box), the analog marks and its three hands.
constexpr BOOL kShowFace = TRUE, kShowMarks = TRUE, kShowHands = TRUE;

/// The LED clock's unit lengths are percentages of 68 % of the radius.
constexpr int kLedSizePercent = 68;

}  // namespace

void DrawFrameClock(HDC memDC, const FrameClock& c, AnalogParts parts, const std::function<void()>& beforeHandOver) {
  const GdiplusSession gdiplus;
  GraphicsPtr graphics;
  switch (static_cast<ClockType>(c.clockType)) {
    case ClockType::Analog: {
      graphics = MakeGraphics(memDC);
      const BOOL face = parts != AnalogParts::Hands, hands = parts != AnalogParts::Face;
      CAnalogClock clock;
      clock.SetHandColor(c.textColor);
      clock.SetFaceColor(c.backColor);
      clock.SetShowFace(kShowFace && face);
      clock.SetShowHourHand(kShowHands && hands);
      clock.SetShowMinuteHand(kShowHands && hands);
      clock.SetShowSecondHand(kShowHands && hands);
      clock.SetShowMarks(kShowMarks && face);
      clock.Draw(graphics.get(), c.x, c.y, c.radius, static_cast<float>(c.horizontalScale), c.shown.hours,
                 c.shown.minutes, c.shown.seconds);
      break;
    }
    case ClockType::Digital: {
      graphics = MakeGraphics(memDC);
      CDigitalClock clock;
      clock.SetTextColor(c.textColor);
      clock.SetBackColor(c.backColor);
      clock.SetShowBox(kShowFace);
      clock.SetFont(c.font);
      clock.SetAlignment(c.alignment);
      clock.Draw(graphics.get(), c.x, c.y, c.radius, c.text, c.textLength);
      break;
    }
    case ClockType::Led: {
      graphics = MakeGraphics(memDC);
      CLEDClock clock;
      clock.SetDigitColor(c.textColor);
      clock.SetBoxColor(c.backColor);
      clock.SetShowBox(kShowFace);
      clock.Draw(graphics.get(), c.x, c.y, c.radius * kLedSizePercent / 100, static_cast<float>(c.horizontalScale),
                 c.text, c.textLength);
      break;
    }
    default:
      break;  // any other clock type draws nothing
  }
  // The graphics object hands its drawing over when it is deleted, here or at the end.
  if (beforeHandOver) beforeHandOver();
}

}  // namespace zel2clock
