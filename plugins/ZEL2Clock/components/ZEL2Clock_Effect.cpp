#include "components/ZEL2Clock_Effect.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "compositing/Compositing.h"
#include "drawing/ClockDrawing.h"
#include "drawing/MeasureDC.h"
#include "drawing/FrameClock.h"
#include "drawing/OffscreenDIB.h"
#include "definition/Parameters.h"
#include "VOKResult.h"
#include "ZELDefinitions.h"

namespace zel2clock {
namespace {

// --- the frame: images, field, time ------------------------------------------------------------------

/// The host objects and facts of one render call, asked for in the order hosts have always seen.
struct RenderTarget {
  VOKPtr<IZELImage> outputImage;
  VOKPtr<IZELImage> inputImage;
  VOKPtr<IZELPixelFormat> format;
  std::int32_t rowOrder = 0;  ///< 0: top-down rows
  double renderTime = 0;      ///< the time the parameters are read at
  FrameFacts frame;
  std::uint32_t firstRow = 0, rowStep = 1;  ///< the rows this call processes
};

RenderTarget OpenTarget(IZELEffectContext* effectContext, IZELFrameContext* frameContext,
                        IZELRenderContext* renderContext, IZELOutput* output, IVOKUnknown* hostUnknown) {
  RenderTarget t;
  VOKCheck(output->GetImage(0, &t.outputImage));
  const std::int32_t fieldLayout = t.outputImage->GetFieldLayout();
  // The console must be there, though the render writes nothing to it.
  VOKPtr<IZELConsole> console;
  if (!hostUnknown || VOKFAILED(hostUnknown->QueryInterface(IID_IZELConsole, console.PutVoid())) || !console)
    VOKCheck(VOK_E_UNEXPECTED);

  const std::int32_t frameId = frameContext->GetFrameID();
  t.frame.renderedField = renderContext->GetRenderedField();
  // The host is asked for the time twice, as it always has been: the call sequence is part of what
  // hosts have seen. The first answer places the parameter reads, the second is the clock's time.
  t.renderTime = renderContext->GetTime();
  t.frame.clockTime = renderContext->GetTime();
  t.frame.frameRate = effectContext->GetFrameRate();

  t.frame.width = t.outputImage->GetWidth();
  t.frame.height = t.outputImage->GetHeight();
  VOKCheck(t.outputImage->GetPixelFormat(&t.format));
  t.rowOrder = t.format->GetRowOrder();

  VOKPtr<IZELInputLayer> layer;
  VOKCheck(effectContext->GetInputLayer(0, &layer));
  VOKCheck(layer->GetImage(frameId, t.frame.renderedField, fieldLayout, &t.inputImage));
  t.frame.pixelAspectRatio = t.outputImage->GetPixelAspectRatio();

  // One field of an interlaced image is every second row.
  if (((fieldLayout == ZELFieldLayout_UpperFirst || fieldLayout == ZELFieldLayout_LowerFirst) &&
       t.outputImage->GetFieldProcessing() == ZELFieldProcessing_Separate) ||
      fieldLayout == ZELFieldLayout_Field) {
    t.rowStep = 2;
    t.firstRow = t.outputImage->GetStartingField() != t.frame.renderedField ? 1 : 0;
  }
  return t;
}

// --- sampling the settings ---------------------------------------------------------------------------

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

/// Reads the sampled parameters in their read order into their fields of `s`. The value reads
/// themselves are not checked: a value the host does not deliver keeps its starting value. Each is
/// read into a scratch buffer first, so that a failing read cannot leave half a value behind.
/// `readFailed`, when given, is set when a read failed.
void SampleParameters(IZELEffectContext* effectContext, double renderTime, ClockSettings& s, bool* readFailed) {
  auto* base = reinterpret_cast<std::uint8_t*>(&s);
  for (const std::size_t index : kReadOrder) {
    const ParameterRow& row = kParameters[index];
    VOKPtr<IZELParameter> parameter = FetchParameter(effectContext, row.uid);
    std::uint8_t scratch[8];
    VOKRESULT result;
    if (row.read == Read::Plain) {
      result = parameter->GetValue(*row.type, scratch, row.lands.size);
    } else {
      VOKPtr<IZELAnimatedParameter> animated = AnimatedFace(parameter.Get());
      result = animated->GetValueAtTime(&renderTime, *row.type, scratch, row.lands.size);
      if (row.read == Read::AtTimeEnabled) s.speedFactorEnabled = animated->GetEnabled() != 0;
    }
    if (VOKSUCCEEDED(result)) {
      std::memcpy(base + row.lands.offset, scratch, row.lands.size);
    } else if (readFailed != nullptr) {
      *readFailed = true;
    }
  }
  // A style that was never delivered (or is 0) shows the first style.
  if (s.time.timerStyle == 0) s.time.timerStyle = static_cast<std::int32_t>(TimerStyle::HmsMillis);
}

/// Reads the font record. Its value must be a byte array of exactly the record's size; anything
/// else is refused with VOK_E_UNEXPECTED before a byte is read.
void ReadFontRecord(IZELEffectContext* effectContext, LOGFONTW& font) {
  VOKPtr<IZELParameter> privateData = FetchParameter(effectContext, kParameters[param::PrivateData].uid);
  VOKUID type{};
  std::uint32_t size = 0;
  VOKCheck(privateData->GetValueInfo(&type, &size));
  if (!(*kParameters[param::PrivateData].type == type) || sizeof font != size) VOKCheck(VOK_E_UNEXPECTED);
  VOKCheck(privateData->GetValue(VOKTypeID_ByteArray, &font, sizeof font));
}

/// Every setting of this frame: the sampled parameters, the font record, and the free-format text
/// when a text clock shows it. `readFailed` as for SampleParameters.
ClockSettings SampleSettings(IZELEffectContext* effectContext, double renderTime, bool* readFailed = nullptr) {
  ClockSettings s;
  SampleParameters(effectContext, renderTime, s, readFailed);
  ReadFontRecord(effectContext, s.font);
  const bool textClock = s.time.clockType == static_cast<std::int32_t>(ClockType::Digital) ||
                         s.time.clockType == static_cast<std::int32_t>(ClockType::Led);
  if (textClock && s.time.timerStyle == static_cast<std::int32_t>(TimerStyle::FreeFormat)) {
    VOKPtr<IZELParameter> text = FetchParameter(effectContext, kParameters[param::StartTimeText].uid);
    // Asked for as a narrow string: the host converts the stored text to bytes.
    VOKCheck(text->GetValue(VOKTypeID_String, s.startTimeText, sizeof s.startTimeText));
  }
  return s;
}

// --- compositing -------------------------------------------------------------------------------------

/// The output and input addresses of each processed row, asked for once per image and row before
/// a byte is written, so that a null row refuses the frame instead of leaving half of it written.
/// Kept per thread for reuse: the vectors grow to the tallest frame once.
struct RowAddresses {
  std::vector<std::uint8_t*> out;
  std::vector<const std::uint8_t*> in;
};

void CollectRows(const RenderTarget& t, RowAddresses& rows) {
  rows.out.clear();
  rows.in.clear();
  for (std::uint32_t r = t.firstRow; r < t.frame.height; r += t.rowStep) {
    std::uint8_t* out = t.outputImage->GetRowAddress(r, 0);
    const std::uint8_t* in = t.inputImage->GetRowAddress(r, 0);
    if (out == nullptr || in == nullptr) VOKCheck(VOK_E_POINTER);
    rows.out.push_back(out);
    rows.in.push_back(in);
  }
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

/// Blends the bitmap into the processed rows of the output image. Output row r reads bitmap row
/// r, so that a field shows the clock where the whole frame would. `drawnRect` (image rows) holds
/// everything drawn into the bitmap; `face`, when given, stands for the bitmap outside it. Formats
/// other than RGBA with four components and the two 4:2:2 models are left untouched.
void CompositeBitmap(const COffscreenDIB& dib, const RenderTarget& t, const RECT& drawnRect,
                     const AnalogFace* face = nullptr) {
  IZELPixelFormat* format = t.format.Get();
  const std::int32_t colorModel = format->GetColorModel();
  const bool rgba = colorModel == ZELColorModel_RGBA;
  const bool yuv = colorModel == ZELColorModel_YCbCr422_UYVY || colorModel == ZELColorModel_YCbCr422_YUY2;
  if (!rgba && !yuv) return;
  if (rgba && format->GetComponentCount() != 4) return;

  // The drawn rectangle counts image rows from the top; the compositing counts bitmap rows in
  // memory, which run from the bottom when the bitmap is bottom-up.
  const auto bitmapRows = static_cast<std::int32_t>(std::min<std::uint32_t>(t.frame.height, 0x7FFFFFFF));
  const DrawnRect drawn = t.rowOrder != 0 ? DrawnRect{drawnRect.left, bitmapRows - drawnRect.bottom,
                                                      drawnRect.right, bitmapRows - drawnRect.top}
                                          : DrawnRect{drawnRect.left, drawnRect.top, drawnRect.right, drawnRect.bottom};
  CompositeFrame frame;
  frame.bitmap = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  frame.width = t.frame.width;
  frame.height = t.frame.height;
  frame.firstRow = t.firstRow;
  frame.rowStep = t.rowStep;
  frame.drawn = &drawn;
  if (face != nullptr && !face->Empty()) {
    frame.backdrop = face->straight.data();
    frame.backdropRect = DrawnRect{face->left, face->top, face->right, face->bottom};
  }

  RgbaLayout rgbaLayout;
  Yuv422Layout yuvLayout;
  if (rgba) {
    const std::uint32_t offsets[4] = {format->GetComponentOffset(ZELComponent_Red),
                                      format->GetComponentOffset(ZELComponent_Green),
                                      format->GetComponentOffset(ZELComponent_Blue),
                                      format->GetComponentOffset(ZELComponent_Alpha)};
    const std::uint32_t step = format->GetPixelStep(0);
    if (!OffsetsFit(offsets, step)) return;
    rgbaLayout = RgbaLayout{offsets[0], offsets[1], offsets[2], offsets[3], step};
  } else {
    const std::uint32_t offsets[4] = {
        format->GetComponentOffset(ZELComponent_Y0), format->GetComponentOffset(ZELComponent_Y1),
        format->GetComponentOffset(ZELComponent_Cb), format->GetComponentOffset(ZELComponent_Cr)};
    const std::uint32_t pixelStep = format->GetPixelStep(0);
    // Doubled in 64 bits: a step near the top of the range must not wrap into a small one.
    const std::uint64_t pairStep = format->GetStepCountsPixels() == 1 ? std::uint64_t{pixelStep} * 2 : pixelStep;
    if (pairStep > 0xFFFFFFFFu || !OffsetsFit(offsets, static_cast<std::uint32_t>(pairStep))) return;
    yuvLayout = Yuv422Layout{offsets[0], offsets[1], offsets[2], offsets[3], static_cast<std::uint32_t>(pairStep)};
  }

  thread_local RowAddresses rows;
  CollectRows(t, rows);
  const FrameRows frameRows{rows.in, rows.out};
  if (rgba) {
    CompositeFrameRGBA(frame, rgbaLayout, frameRows);
  } else {
    if (frame.backdrop != nullptr) frame.opaquePairs = &face->OpaquePairsFor(yuvLayout);
    CompositeFrameYuv422(frame, yuvLayout, frameRows);
  }
}

/// A bitmap side: image sides beyond the platform's int range are cut to it.
int BitmapSide(std::uint32_t v) { return static_cast<int>(std::min<std::uint32_t>(v, 0x7FFFFFFF)); }

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
    if (!(effectContext && frameContext && renderContext && output)) return VOK_E_POINTER;
    const RenderTarget target = OpenTarget(effectContext, frameContext, renderContext, output, m_hostUnknown.Get());

    // 1. Sample the settings.
    const ClockSettings settings = SampleSettings(effectContext, target.renderTime);
    // 2. Compute the frame's clock.
    const FrameClock clock = ComputeFrameClock(settings, target.frame);
    // 3. Draw it into the bitmap, fully transparent first, in the output's row order (the analog
    // clock's face and marks kept from frame to frame, ClockDrawing.h).
    COffscreenDIB dib;
    const DrawnClock drawn =
        DrawClock(dib, clock, BitmapSide(target.frame.width), BitmapSide(target.frame.height), target.rowOrder == 0);
    // 4. Composite it into the output.
    if (dib.GetPixelMemory() != nullptr) CompositeBitmap(dib, target, drawn.drawn, drawn.face);
    return VOK_OK;
  });
}

VOKRESULT ZEL2Clock_Effect::GetRegionOfDefinition(IZELEffectContext* effectContext, IZELRenderContext* renderContext,
                                                  void* region) {
  // The clock of this time is drawn as a render would draw it; the rectangle the drawing covered
  // is where the compositing can change pixels. Whatever fails leaves the record unanswered: the
  // host then takes the whole frame, and this operation answers VOK_OK either way.
  VOKBoundary([&]() -> VOKRESULT {
    if (effectContext == nullptr || renderContext == nullptr || region == nullptr) return VOK_OK;
    FrameFacts frame;
    frame.renderedField = renderContext->GetRenderedField();
    const double renderTime = renderContext->GetTime();
    frame.clockTime = renderTime;
    frame.frameRate = effectContext->GetFrameRate();
    effectContext->GetFrameSize(&frame.width, &frame.height);
    frame.pixelAspectRatio = effectContext->GetPixelAspectRatio();

    // A value that did not come would be read as 0 here and as itself by the render: no answer.
    bool readFailed = false;
    const ClockSettings settings = SampleSettings(effectContext, renderTime, &readFailed);
    if (readFailed) return VOK_OK;
    const FrameClock clock = ComputeFrameClock(settings, frame);
    // The clock is "drawn" on a DC that only measures: the same calls as a render's, the same
    // rectangle as its bitmap reports, for the cost of the geometry and no pixel.
    const MeasureDC measure(BitmapSide(frame.width), BitmapSide(frame.height));
    if (measure.Get() == nullptr) return VOK_OK;
    DrawFrameClock(measure.Get(), clock);
    RECT drawn{};
    if (!measure.Covered(drawn)) return VOK_OK;
    auto& answer = *static_cast<ZELRegion*>(region);
    answer = ZELRegion{1, drawn.left, drawn.top, drawn.right, drawn.bottom};
    return VOK_OK;
  });
  return VOK_OK;
}
