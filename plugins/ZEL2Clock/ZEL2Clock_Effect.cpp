#include "ZEL2Clock_Effect.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "AnalogClock.h"
#include "ClockTime.h"
#include "Compositing.h"
#include "DigitalClock.h"
#include "GdiPlusFlat.h"
#include "LEDClock.h"
#include "OffscreenDIB.h"
#include "PluginIds.h"
#include "VOKResult.h"
#include "ZELDefinitions.h"

namespace zel2clock {
namespace {

// --- parameter sampling --------------------------------------------------------------------------

/// Every sampled value, each starting at 0 before it is read. Integers are stored as the host
/// delivers them; the time fields are unsigned.
struct SampledParameters {
  double foregroundRed = 0, foregroundGreen = 0, foregroundBlue = 0, foregroundOpacity = 0;
  double backgroundRed = 0, backgroundGreen = 0, backgroundBlue = 0, backgroundOpacity = 0;
  std::int32_t clockType = 0;
  std::int32_t timerStyle = 0;
  std::int32_t alignment = 0;
  std::int32_t speedFactor = 0;
  double x = 0, y = 0, size = 0;
  std::uint32_t startHour = 0, startMinute = 0, startSecond = 0, startMillisecond = 0, startFrame = 0;
  std::int32_t startDay = 0, startMonth = 0, startYear = 0;
  std::uint32_t stopHour = 0, stopMinute = 0, stopSecond = 0, stopMillisecond = 0, stopFrame = 0;
  std::int32_t countDown = 0;
};

enum class Read {
  AtTime,  ///< through the animated face at the render time
  Plain,   ///< the untimed value of the parameter object
};

struct ParameterRead {
  const VOKUID& uid;
  Read how;
  const VOKUID& type;
  std::size_t offset;  ///< of the value in SampledParameters
  std::uint32_t size;  ///< 8 for doubles, 4 for integers and the Boolean
};

#define ZEL_READ(uidName, how, typeName, member)                                             \
  ParameterRead {                                                                            \
    uidName, Read::how, typeName, offsetof(SampledParameters, member),                      \
        static_cast<std::uint32_t>(sizeof(SampledParameters::member))                        \
  }

// The reads in the order they are made. Foreground and background channels go red, blue, green:
// that order is part of the host-visible call sequence. The hours and milliseconds of the start
// and stop times are plain values; the speed factor's enabled state is asked right after it.
const ParameterRead kParameterReads[] = {
    ZEL_READ(kParamForegroundRed, AtTime, VOKTypeID_Double, foregroundRed),
    ZEL_READ(kParamForegroundBlue, AtTime, VOKTypeID_Double, foregroundBlue),
    ZEL_READ(kParamForegroundGreen, AtTime, VOKTypeID_Double, foregroundGreen),
    ZEL_READ(kParamForegroundOpacity, AtTime, VOKTypeID_Double, foregroundOpacity),
    ZEL_READ(kParamBackgroundRed, AtTime, VOKTypeID_Double, backgroundRed),
    ZEL_READ(kParamBackgroundBlue, AtTime, VOKTypeID_Double, backgroundBlue),
    ZEL_READ(kParamBackgroundGreen, AtTime, VOKTypeID_Double, backgroundGreen),
    ZEL_READ(kParamBackgroundOpacity, AtTime, VOKTypeID_Double, backgroundOpacity),
    ZEL_READ(kParamClockType, AtTime, VOKTypeID_Integer, clockType),
    ZEL_READ(kParamTimerStyle, AtTime, VOKTypeID_Integer, timerStyle),
    ZEL_READ(kParamAlignmentList, AtTime, VOKTypeID_Integer, alignment),
    ZEL_READ(kParamTimeSpeedFactor, AtTime, VOKTypeID_SignedInteger, speedFactor),
    ZEL_READ(kParamX, AtTime, VOKTypeID_Double, x),
    ZEL_READ(kParamY, AtTime, VOKTypeID_Double, y),
    ZEL_READ(kParamSize, AtTime, VOKTypeID_Double, size),
    ZEL_READ(kParamStartHour, Plain, VOKTypeID_Integer, startHour),
    ZEL_READ(kParamStartMinute, AtTime, VOKTypeID_Integer, startMinute),
    ZEL_READ(kParamStartSecond, AtTime, VOKTypeID_Integer, startSecond),
    ZEL_READ(kParamStartMillisecond, Plain, VOKTypeID_Integer, startMillisecond),
    ZEL_READ(kParamStartFrame, AtTime, VOKTypeID_Integer, startFrame),
    ZEL_READ(kParamStartDay, AtTime, VOKTypeID_Integer, startDay),
    ZEL_READ(kParamStartMonth, AtTime, VOKTypeID_Integer, startMonth),
    ZEL_READ(kParamStartYear, AtTime, VOKTypeID_Integer, startYear),
    ZEL_READ(kParamStopHour, Plain, VOKTypeID_Integer, stopHour),
    ZEL_READ(kParamStopMinute, AtTime, VOKTypeID_Integer, stopMinute),
    ZEL_READ(kParamStopSecond, AtTime, VOKTypeID_Integer, stopSecond),
    ZEL_READ(kParamStopMillisecond, Plain, VOKTypeID_Integer, stopMillisecond),
    ZEL_READ(kParamStopFrame, AtTime, VOKTypeID_Integer, stopFrame),
    ZEL_READ(kParamCountDown, AtTime, VOKTypeID_Boolean, countDown),
};
#undef ZEL_READ
static_assert(std::size(kParameterReads) == 29, "every sampled parameter but the font record and the text");

/// Fetches a parameter object; a failure is raised.
VOKPtr<IZELParameter> FetchParameter(IZELEffectContext* effectContext, const VOKUID& uid) {
  VOKPtr<IZELParameter> parameter;
  VOKCheck(effectContext->GetParameter(uid, IID_IZELParameter, parameter.PutVoid()));
  return parameter;
}

/// The animated face of a parameter. Every parameter of this effect has one; a host that does
/// not give it gets its code back rather than a null pointer being used.
VOKPtr<IZELAnimatedParameter> AnimatedFace(IZELParameter* parameter) {
  VOKPtr<IZELAnimatedParameter> animated;
  VOKCheck(parameter->QueryInterface(IID_IZELAnimatedParameter, animated.PutVoid()));
  if (!animated) VOKCheck(VOK_E_NOINTERFACE);
  return animated;
}

/// Reads every parameter of the table into `s`, then scales the clock time by the speed factor.
/// The individual value reads are not checked: a value the host does not deliver keeps its
/// starting value. It is read into a scratch buffer first, so that a failing read cannot leave
/// half a value behind.
void SampleParameters(IZELEffectContext* effectContext, double renderTime, SampledParameters& s,
                      double& clockTime) {
  auto* base = reinterpret_cast<std::uint8_t*>(&s);
  for (const ParameterRead& read : kParameterReads) {
    VOKPtr<IZELParameter> parameter = FetchParameter(effectContext, read.uid);
    std::uint8_t scratch[8];
    VOKRESULT result;
    VOKPtr<IZELAnimatedParameter> animated;
    if (read.how == Read::AtTime) {
      animated = AnimatedFace(parameter.Get());
      result = animated->GetValueAtTime(&renderTime, read.type, scratch, read.size);
    } else {
      result = parameter->GetValue(read.type, scratch, read.size);
    }
    if (VOKSUCCEEDED(result)) std::memcpy(base + read.offset, scratch, read.size);
    if (read.uid == kParamTimeSpeedFactor)
      clockTime = ScaleClockTime(clockTime, s.speedFactor, animated->GetEnabled() != 0);
  }
  // A style that was never delivered (or is 0) shows the first style.
  if (s.timerStyle == 0) s.timerStyle = static_cast<std::int32_t>(TimerStyle::HmsMillis);
}

/// Reads the font record ("PrivateData"). Its value must be a byte array of exactly the record's
/// size; anything else is refused with VOK_E_UNEXPECTED before a byte is read.
void ReadFontRecord(IZELEffectContext* effectContext, LOGFONTW& lf) {
  VOKPtr<IZELParameter> privateData = FetchParameter(effectContext, kParamPrivateData);
  VOKUID privateDataType{};
  std::uint32_t privateDataSize = 0;
  VOKCheck(privateData->GetValueInfo(&privateDataType, &privateDataSize));
  if (!(VOKTypeID_ByteArray == privateDataType) || sizeof(lf) != privateDataSize) VOKCheck(VOK_E_UNEXPECTED);
  VOKCheck(privateData->GetValue(VOKTypeID_ByteArray, &lf, sizeof(lf)));
}

// --- derived values --------------------------------------------------------------------------------

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

// --- compositing -------------------------------------------------------------------------------------

/// The output and input addresses of each processed row, asked for once per image and row before
/// a byte is written, so that a null row refuses the frame instead of leaving half of it written.
/// Kept per thread for reuse: the vector grows to the tallest frame once.
struct RowAddresses {
  std::vector<std::uint8_t*> out;
  std::vector<const std::uint8_t*> in;
};

bool CollectRows(IZELImage* outputImage, IZELImage* inputImage, std::uint32_t height, std::uint32_t firstRow,
                 std::uint32_t rowStep, RowAddresses& rows) {
  rows.out.clear();
  rows.in.clear();
  for (std::uint32_t r = firstRow; r < height; r += rowStep) {
    std::uint8_t* opix = outputImage->GetRowAddress(r, 0);
    const std::uint8_t* ipix = inputImage->GetRowAddress(r, 0);
    if (opix == nullptr || ipix == nullptr) return false;
    rows.out.push_back(opix);
    rows.in.push_back(ipix);
  }
  return true;
}

/// True when every offset lies inside the step and none repeats: a format that says otherwise
/// would have us write outside its pixels.
template <std::size_t N>
bool OffsetsFit(const std::uint32_t (&offsets)[N], std::uint32_t step) {
  for (std::size_t i = 0; i < N; ++i) {
    if (offsets[i] >= step) return false;
    for (std::size_t j = 0; j < i; ++j)
      if (offsets[i] == offsets[j]) return false;
  }
  return true;
}

/// Blends the bitmap into the output image, rows firstRow, firstRow + rowStep, ... Output row r
/// reads bitmap row r, so that a field shows the clock where the whole frame would. Formats other
/// than RGBA with four components and the two 4:2:2 models are left untouched.
void CompositeBitmap(const COffscreenDIB& dib, bool bottomUp, IZELPixelFormat* pFormat, IZELImage* outputImage,
                     IZELImage* inputImage, std::uint32_t width, std::uint32_t height, std::uint32_t firstRow,
                     std::uint32_t rowStep) {
  const std::int32_t colorModel = pFormat->GetColorModel();
  const bool rgba = colorModel == ZELColorModel_RGBA;
  const bool yuv = colorModel == ZELColorModel_YCbCr422_UYVY || colorModel == ZELColorModel_YCbCr422_YUY2;
  if (!rgba && !yuv) return;
  if (rgba && pFormat->GetComponentCount() != 4) return;

  // The drawn rectangle counts image rows from the top; the compositing counts bitmap rows in
  // memory, which run from the bottom when the bitmap is bottom-up.
  const RECT drawnRect = dib.GetDrawnRect();
  const auto bitmapRows = static_cast<std::int32_t>(std::min<std::uint32_t>(height, 0x7FFFFFFF));
  const DrawnRect drawn = bottomUp ? DrawnRect{drawnRect.left, bitmapRows - drawnRect.bottom, drawnRect.right,
                                               bitmapRows - drawnRect.top}
                                   : DrawnRect{drawnRect.left, drawnRect.top, drawnRect.right, drawnRect.bottom};
  CompositeFrame frame;
  frame.bitmap = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  frame.width = width;
  frame.height = height;
  frame.firstRow = firstRow;
  frame.rowStep = rowStep;
  frame.fieldRows = FieldRows::SameIndex;
  frame.drawn = &drawn;

  RgbaLayout rgbaLayout;
  Yuv422Layout yuvLayout;
  if (rgba) {
    const std::uint32_t offsets[4] = {pFormat->GetComponentOffset(ZELComponent_Red),
                                      pFormat->GetComponentOffset(ZELComponent_Green),
                                      pFormat->GetComponentOffset(ZELComponent_Blue),
                                      pFormat->GetComponentOffset(ZELComponent_Alpha)};
    const std::uint32_t step = pFormat->GetPixelStep(0);
    if (!OffsetsFit(offsets, step)) return;
    rgbaLayout = RgbaLayout{offsets[0], offsets[1], offsets[2], offsets[3], step};
  } else {
    const std::uint32_t offsets[4] = {
        pFormat->GetComponentOffset(ZELComponent_Y0), pFormat->GetComponentOffset(ZELComponent_Y1),
        pFormat->GetComponentOffset(ZELComponent_Cb), pFormat->GetComponentOffset(ZELComponent_Cr)};
    const std::uint32_t pixelStep = pFormat->GetPixelStep(0);
    // Doubled in 64 bits: a step near the top of the range must not wrap into a small one.
    const std::uint64_t pairStep = pFormat->GetStepCountsPixels() == 1 ? std::uint64_t{pixelStep} * 2 : pixelStep;
    if (pairStep > 0xFFFFFFFFu || !OffsetsFit(offsets, static_cast<std::uint32_t>(pairStep))) return;
    yuvLayout = Yuv422Layout{offsets[0], offsets[1], offsets[2], offsets[3], static_cast<std::uint32_t>(pairStep)};
  }

  thread_local RowAddresses rows;
  if (!CollectRows(outputImage, inputImage, height, firstRow, rowStep, rows)) VOKCheck(VOK_E_POINTER);
  std::size_t k = 0;
  const auto rowFn = [&](std::uint32_t, const std::uint8_t*& in, std::uint8_t*& out) {
    in = rows.in[k];
    out = rows.out[k];
    ++k;
  };
  if (rgba)
    CompositeFrameRGBA(frame, rgbaLayout, rowFn);
  else
    CompositeFrameYuv422(frame, yuvLayout, rowFn);
}

// --- drawing -------------------------------------------------------------------------------------------

/// The 2-D library started for one frame and shut down when the frame's work ends, on every path.
class GdiplusSession {
 public:
  GdiplusSession() {
    const GdiplusStartupInput v_gdiplusStartupInput;  // version 1, no callback, nothing suppressed
    // The start-up status is not checked: drawing under a failed start does nothing.
    GdiplusStartup(&v_gdiplusToken, &v_gdiplusStartupInput, nullptr);
  }
  ~GdiplusSession() { Shutdown(); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  void Shutdown() {
    if (m_started) GdiplusShutdown(v_gdiplusToken);
    m_started = false;
  }

 private:
  ULONG_PTR v_gdiplusToken = 0;
  bool m_started = true;
};

/// A graphics object on the memory DC with the smoothing of the quality selector.
class Graphics {
 public:
  explicit Graphics(HDC memDC) {
    GdipCreateFromHDC(memDC, &m_graphics);
    GdipSetSmoothingMode(m_graphics, SmoothingModeHighQuality);
  }
  ~Graphics() {
    if (m_graphics) GdipDeleteGraphics(m_graphics);
  }
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;
  GpGraphics* Get() const { return m_graphics; }

 private:
  GpGraphics* m_graphics = nullptr;
};

/// The twelve show flags (all on); 1 switches the background fill, 9 to 12 the analog clock's
/// marks, second, minute and hour hand. Flags 2 to 8 are not read by any drawing.
struct ShowFlags {
  BOOL flags[13] = {FALSE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE};
  BOOL operator[](int k) const { return flags[k]; }
};

struct ClockDrawing {
  std::int32_t clockType;
  std::int32_t x, y, radius;
  double horizontalScale;
  std::uint32_t rgbColorText, rgbColorBack;
  ShownTime shown;
  const char16_t* szLine;
  int lineLength;
  const LOGFONTW* lf;
  int fontStyle;
  std::int32_t alignment;
  ShowFlags show;
};

void DrawClock(HDC memDC, const ClockDrawing& d) {
  switch (static_cast<ClockType>(d.clockType)) {
    case ClockType::Analog: {
      Graphics graphics(memDC);
      CAnalogClock vClock;
      vClock.SetHandColor(d.rgbColorText);
      vClock.SetFaceColor(d.rgbColorBack);
      vClock.SetShowFace(d.show[1]);
      vClock.SetShowHourHand(d.show[12]);
      vClock.SetShowMinuteHand(d.show[11]);
      vClock.SetShowSecondHand(d.show[10]);
      vClock.SetShowMarks(d.show[9]);
      vClock.Draw(graphics.Get(), d.x, d.y, d.radius, static_cast<float>(d.horizontalScale), d.shown.hours,
                  d.shown.minutes, d.shown.seconds);
      break;
    }
    case ClockType::Digital: {
      DigitalClockArgs args;
      args.x = d.x;
      args.y = d.y;
      args.radius = d.radius;
      args.text = d.szLine;
      args.length = d.lineLength;
      args.font = d.lf;
      args.fontStyle = d.fontStyle;
      args.alignment = d.alignment;
      args.textColor = d.rgbColorText;
      args.backColor = d.rgbColorBack;
      args.showBox = d.show[1] != FALSE;
      DrawDigitalClock(memDC, args);
      break;
    }
    case ClockType::Led: {
      Graphics graphics(memDC);
      CLEDClock vLEDClock;
      vLEDClock.SetDigitColor(d.rgbColorText);
      vLEDClock.SetBoxColor(d.rgbColorBack);
      vLEDClock.SetShowBox(d.show[1]);
      vLEDClock.Draw(graphics.Get(), d.x, d.y, d.radius * 68 / 100, static_cast<float>(d.horizontalScale), d.szLine,
                     d.lineLength);
      break;
    }
    default:
      break;  // any other clock type draws nothing
  }
}

int TextLength(const char16_t* text) {
  int n = 0;
  while (n < static_cast<int>(kClockTextCapacity) && text[n] != 0) ++n;
  return n;
}

}  // namespace
}  // namespace zel2clock

using namespace zel2clock;

VOKRESULT ZEL2Clock_Effect::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_hostUnknown = host;
    return VOK_OK;
  });
}

VOKRESULT ZEL2Clock_Effect::Render(IZELEffectContext* effectContext, IVOKUnknown*, IVOKUnknown*,
                                   IZELFrameContext* frameContext, IVOKUnknown*, IZELRenderContext* renderContext,
                                   IZELOutput* output) {
  return VOKBoundary([&]() -> VOKRESULT {
    // 1. The four host objects the render works with.
    if (!(effectContext && frameContext && renderContext && output)) return VOK_E_POINTER;

    // 2. The output image and its field layout; the console must be there, though it is not used.
    VOKPtr<IZELImage> outputImage;
    VOKCheck(output->GetImage(0, &outputImage));
    const std::int32_t fieldLayout = outputImage->GetFieldLayout();
    VOKPtr<IZELConsole> iConsole;
    if (!m_hostUnknown || VOKFAILED(m_hostUnknown->QueryInterface(IID_IZELConsole, iConsole.PutVoid())) || !iConsole)
      return VOK_E_UNEXPECTED;

    // 3. Frame, field, time and rate. The clock time is a second reading of the render time.
    const std::int32_t frameId = frameContext->GetFrameID();
    const std::int32_t renderedField = renderContext->GetRenderedField();
    const double renderTime = renderContext->GetTime();
    double clockTime = renderContext->GetTime();
    const double frameRate = effectContext->GetFrameRate();

    // 4. Size and pixel format.
    const std::uint32_t width = outputImage->GetWidth();
    const std::uint32_t height = outputImage->GetHeight();
    VOKPtr<IZELPixelFormat> pFormat;
    VOKCheck(outputImage->GetPixelFormat(&pFormat));
    const std::int32_t rowOrder = pFormat->GetRowOrder();

    // 5. The input image of this frame and field.
    VOKPtr<IZELInputLayer> layer;
    VOKCheck(effectContext->GetInputLayer(0, &layer));
    VOKPtr<IZELImage> inputImage;
    VOKCheck(layer->GetImage(frameId, renderedField, fieldLayout, &inputImage));

    // 6. Non-square pixels widen or narrow the clock.
    const double horizontalScale = HorizontalScaleOf(outputImage->GetPixelAspectRatio());

    // 7. Field selection: one field of an interlaced image is every second row.
    std::uint32_t firstRow = 0, rowStep = 1;
    if (((fieldLayout == ZELFieldLayout_UpperFirst || fieldLayout == ZELFieldLayout_LowerFirst) &&
         outputImage->GetFieldProcessing() == ZELFieldProcessing_Separate) ||
        fieldLayout == ZELFieldLayout_Field) {
      rowStep = 2;
      firstRow = outputImage->GetStartingField() != renderedField ? 1 : 0;
    }

    // 8. Every parameter, with the speed factor applied to the clock time.
    SampledParameters s;
    SampleParameters(effectContext, renderTime, s, clockTime);

    // 9. Position, radius and the two colour words.
    ClockDrawing drawing{};
    drawing.clockType = s.clockType;
    drawing.x = BoundCoordinate(ClockCoordinate(s.x, width));
    drawing.y = BoundCoordinate(ClockCoordinate(s.y, height));
    drawing.radius = std::clamp(ClockRadius(s.size, height), 0, kMaxRadius);
    drawing.horizontalScale = horizontalScale;
    drawing.rgbColorText = MakeArgb(s.foregroundOpacity, s.foregroundRed, s.foregroundGreen, s.foregroundBlue);
    drawing.rgbColorBack = MakeArgb(s.backgroundOpacity, s.backgroundRed, s.backgroundGreen, s.backgroundBlue);
    drawing.alignment = s.alignment;

    // 10. The font record and its style bits.
    LOGFONTW lf{};
    ReadFontRecord(effectContext, lf);
    drawing.lf = &lf;
    drawing.fontStyle = FontRecordStyle(lf);

    // 11. The 2-D library for this frame.
    GdiplusSession gdiplus;

    // 12. The bitmap, fully transparent, in the output's row order.
    COffscreenDIB dib;
    const auto side = [](std::uint32_t v) { return static_cast<int>(std::min<std::uint32_t>(v, 0x7FFFFFFF)); };
    const HDC memDC = dib.Create(side(width), side(height), 32, rowOrder == 0);

    // 13. The shown time, and the text for the digital and LED clocks.
    ClockTimeInputs in;
    in.clockTime = clockTime;
    in.frameRate = frameRate;
    in.startHour = s.startHour;
    in.startMinute = s.startMinute;
    in.startSecond = s.startSecond;
    in.startMillisecond = s.startMillisecond;
    in.startFrame = s.startFrame;
    in.startDay = s.startDay;
    in.startMonth = s.startMonth;
    in.startYear = s.startYear;
    in.stopHour = s.stopHour;
    in.stopMinute = s.stopMinute;
    in.stopSecond = s.stopSecond;
    in.stopMillisecond = s.stopMillisecond;
    in.countDown = s.countDown != 0;
    in.timerStyle = s.timerStyle;
    in.clockType = s.clockType;
    in.renderedField = renderedField;
    char messageBuffer[kFreeFormatCapacity] = {};
    const bool hasText = s.clockType == static_cast<std::int32_t>(ClockType::Digital) ||
                         s.clockType == static_cast<std::int32_t>(ClockType::Led);
    if (hasText && s.timerStyle == static_cast<std::int32_t>(TimerStyle::FreeFormat)) {
      VOKPtr<IZELParameter> startTimeText = FetchParameter(effectContext, kParamStartTimeText);
      VOKCheck(startTimeText->GetValue(VOKTypeID_String, messageBuffer, sizeof messageBuffer));
      in.startTimeText = messageBuffer;
      in.startTimeTextSize = sizeof messageBuffer;
    }
    drawing.shown = ComputeShownTime(in);
    char16_t szLine[kClockTextCapacity];
    FormatClockText(in, drawing.shown, szLine);
    drawing.szLine = szLine;
    drawing.lineLength = TextLength(szLine);

    // 14, 15. Draw the clock, then shut the library down.
    if (memDC != nullptr) DrawClock(memDC, drawing);
    gdiplus.Shutdown();

    // 16. Blend the bitmap into the output.
    if (dib.GetPixelMemory() != nullptr)
      CompositeBitmap(dib, rowOrder != 0, pFormat.Get(), outputImage.Get(), inputImage.Get(), width, height, firstRow,
                      rowStep);

    // 17. The bitmap goes; the host objects are released as the pointers leave scope.
    dib.Release();
    return VOK_OK;
  });
}
