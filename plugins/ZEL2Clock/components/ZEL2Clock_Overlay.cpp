#include "components/ZEL2Clock_Overlay.h"

#include <cassert>
#include <cmath>

#include "Gdi.h"
#include "time/ClockTime.h"
#include "definition/Parameters.h"
#include "VOKResult.h"
#include "ZELDefinitions.h"
#include "components/ZEL2Clock_Globals.h"

namespace {

using namespace zel2clock;

constexpr double kPercent = 100.0;
/// The outline of a text clock hugs its text, which is smaller than "Size" says: the digital
/// clock's text box is about 1/2.5 of it, the LED clock's 1/4.5.
constexpr double kDigitalSizeDivisor = 2.5;
constexpr double kLedSizeDivisor = 4.5;
/// Vertical half-axis per unit of size: the outline is as high as "Size" percent of the frame.
constexpr double kVerticalFactor = 0.5;
/// Hit tolerance in elliptic-distance units times the context's tolerance scale: 30 viewer pixels
/// on a viewer whose longer side is the scale.
constexpr double kToleranceScaled = 30.0;
constexpr int kCrossArm = 4;
constexpr int kDiagonalArm = 10;

double SizeDivisor(std::int32_t clockType) {
  if (clockType == static_cast<std::int32_t>(ClockType::Digital)) return kDigitalSizeDivisor;
  if (clockType == static_cast<std::int32_t>(ClockType::Led)) return kLedSizeDivisor;
  return 1.0;
}

/// Fetches the animated face of parameter `index` into `param` when it is still empty.
void EnsureParameter(IZELEffectContext* effect, std::size_t index, VOKPtr<IZELAnimatedParameter>& param) {
  if (!param) VOKCheck(effect->GetParameter(kParameters[index].uid, IID_IZELAnimatedParameter, param.PutVoid()));
  // Success without an object is a host fault; reading through it would crash.
  if (!param) VOKCheck(VOK_E_POINTER);
}

/// Reads the value of parameter `index` at `time` as the type the table declares for it.
template <class T>
T ReadAt(IZELAnimatedParameter* param, std::size_t index, const double& time) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8);
  T value = 0;
  VOKCheck(param->GetValueAtTime(&time, *kParameters[index].type, &value, sizeof value));
  return value;
}

}  // namespace

CZEL2Clock_Overlay::~CZEL2Clock_Overlay() {
  // The context goes before the host unknown and the parameter faces, in that order.
  Detach();
  m_hostUnknown.Reset();
  m_cd.m_param_clocktype.Reset();
  m_cd.m_param_size.Reset();
  m_cd.m_param_posy.Reset();
  m_cd.m_param_posx.Reset();
}

VOKRESULT CZEL2Clock_Overlay::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_hostUnknown = host;
    return VOK_OK;
  });
}

VOKRESULT CZEL2Clock_Overlay::Attach(IZELOverlayContext* context) {
  return VOKBoundary([&] {
    if (context == nullptr) return VOK_E_INVALIDARG;
    assert(nullptr == m_overlayContext.Get());
    m_overlayContext = context;
    return VOK_OK;
  });
}

VOKRESULT CZEL2Clock_Overlay::Detach() {
  return VOKBoundary([&] {
    m_overlayContext.Reset();
    m_validCache = false;
    return VOK_OK;
  });
}

bool CZEL2Clock_Overlay::RefreshCache() {
  if (!m_overlayContext) return false;
  m_validCache = false;

  VOKPtr<IZELEffectContext> effect;
  VOKCheck(m_overlayContext->GetEffectContext(&effect));
  VOKPtr<IZELFrameContext> frame;
  VOKCheck(m_overlayContext->GetFrameContext(&frame));
  VOKPtr<IZELRenderContext> render;
  VOKCheck(m_overlayContext->GetRenderContext(&render));
  if (!effect || !frame || !render) VOKCheck(VOK_E_POINTER);
  m_cd.time = render->GetTime();

  EnsureParameter(effect.Get(), param::X, m_cd.m_param_posx);
  m_cd.posx = ReadAt<double>(m_cd.m_param_posx.Get(), param::X, m_cd.time) / kPercent;
  EnsureParameter(effect.Get(), param::Y, m_cd.m_param_posy);
  m_cd.posy = ReadAt<double>(m_cd.m_param_posy.Get(), param::Y, m_cd.time) / kPercent;
  EnsureParameter(effect.Get(), param::Size, m_cd.m_param_size);
  m_cd.size = ReadAt<double>(m_cd.m_param_size.Get(), param::Size, m_cd.time) / kPercent;
  EnsureParameter(effect.Get(), param::ClockType, m_cd.m_param_clocktype);
  m_cd.clockType = ReadAt<std::int32_t>(m_cd.m_param_clocktype.Get(), param::ClockType, m_cd.time);
  m_cd.size /= SizeDivisor(m_cd.clockType);

  m_cd.hfactor = 1.0 / (2.0 * effect->GetFrameAspectRatio());
  m_validCache = true;
  return true;
}

double CZEL2Clock_Overlay::EllipticDistance(double x, double y) const {
  assert(m_validCache);
  const double dx = (x - m_cd.posx) / m_cd.hfactor;
  const double dy = (y - m_cd.posy) / kVerticalFactor;
  return std::sqrt(dx * dx + dy * dy);
}

void CZEL2Clock_Overlay::WriteAtCacheTime(IZELAnimatedParameter* param, double value) const {
  assert(param != nullptr);
  VOKCheck(param->SetValueAtTime(&m_cd.time, VOKTypeID_Double, &value, sizeof value));
}

// --- draw -----------------------------------------------------------------------------------------

void CZEL2Clock_Overlay::Draw(std::int32_t highlighted) {
  // A failure of the host while the cache is read ends the draw; nothing escapes into the host.
  VOKBoundaryOr<int>(0, [&] {
    DrawBody(highlighted);
    return 0;
  });
}

void CZEL2Clock_Overlay::DrawBody(std::int32_t highlighted) {
  if (!RefreshCache()) return;
  CPenSet* pens = CPenSet::Get();
  if (pens == nullptr) return;
  const CPenSet& set = *pens;

  HDC dc = static_cast<HDC>(m_overlayContext->GetDC());
  CSelectionSaver saver(dc);

  const CPenBrush& cross =
      highlighted == 0 ? set[CPenSet::kBlack] : (m_moveState == kDragging ? set[CPenSet::kWhite] : set[CPenSet::kBlue]);
  cross.Select(dc, CPenBrush::kSelectBrush | CPenBrush::kSelectPen);

  std::int16_t px = 0, py = 0;
  m_overlayContext->MapToViewer(m_cd.posx, m_cd.posy, &px, &py);
  // The end point of a line is left out: each arm covers px - 4 .. px + 3.
  MoveToEx(dc, px - kCrossArm, py, nullptr);
  LineTo(dc, px + kCrossArm, py);
  MoveToEx(dc, px, py - kCrossArm, nullptr);
  LineTo(dc, px, py + kCrossArm);
  if (m_overlayContext->GetOverlayMode() == ZELOverlayMode_Drag) {
    MoveToEx(dc, px - kDiagonalArm, py - kDiagonalArm, nullptr);
    LineTo(dc, px + kDiagonalArm, py + kDiagonalArm);
    MoveToEx(dc, px + kDiagonalArm, py - kDiagonalArm, nullptr);
    LineTo(dc, px - kDiagonalArm, py + kDiagonalArm);
  }

  // The hollow brush leaves the ellipse unfilled; having no pen, it keeps the cross pen selected.
  set[CPenSet::kHollow].Select(dc, CPenBrush::kSelectBrush | CPenBrush::kSelectPen);
  const CPenBrush& outline =
      highlighted == 0 ? set[CPenSet::kBlack] : (m_sizeState == kDragging ? set[CPenSet::kWhite] : set[CPenSet::kGreen]);
  outline.Select(dc, CPenBrush::kSelectPen);

  const double halfWidth = m_cd.size * m_cd.hfactor;
  const double halfHeight = m_cd.size * kVerticalFactor;
  std::int16_t l = 0, t = 0, r = 0, b = 0;
  m_overlayContext->MapToViewer(m_cd.posx - halfWidth, m_cd.posy - halfHeight, &l, &t);
  m_overlayContext->MapToViewer(m_cd.posx + halfWidth, m_cd.posy + halfHeight, &r, &b);
  Ellipse(dc, l, t, r, b);
}

// --- pointer --------------------------------------------------------------------------------------

std::int32_t CZEL2Clock_Overlay::PointerDown(double x, double y, std::int32_t) {
  return VOKBoundaryOr<std::int32_t>(0, [&] { return PressBody(x, y); });
}

std::int32_t CZEL2Clock_Overlay::PointerDoubleDown(double x, double y, std::int32_t buttons) {
  return PointerDown(x, y, buttons);
}

std::int32_t CZEL2Clock_Overlay::PressBody(double x, double y) {
  if (!RefreshCache()) return 0;
  m_moveState = kIdle;
  m_sizeState = kIdle;
  const std::int32_t mode = m_overlayContext->GetOverlayMode();
  if (mode < 0) return 0;
  const double r = EllipticDistance(x, y);
  if (mode == ZELOverlayMode_Handles || mode == ZELOverlayMode_HandlesAlt) {
    // n = 0 makes the tolerance infinite: every press then grabs the outline.
    const double tolerance = kToleranceScaled / static_cast<double>(m_overlayContext->GetToleranceScale());
    // The outline first: near a small outline a press at the centre sizes rather than moves.
    if (std::fabs(r - m_cd.size) < tolerance) {
      m_sizeState = kDragging;
      return 1;
    }
    if (r < tolerance) {
      m_moveState = kDragging;
      return 1;
    }
    return 0;
  }
  if (mode == ZELOverlayMode_Drag) {
    if (r * r <= m_cd.size * m_cd.size) {
      m_moveState = kDragging;
      m_dragOffsetX = m_cd.posx - x;
      m_dragOffsetY = m_cd.posy - y;
      return 1;
    }
  }
  return 0;
}

std::int32_t CZEL2Clock_Overlay::PointerDrag(double x, double y, std::int32_t) {
  return VOKBoundaryOr<std::int32_t>(0, [&] { return DragBody(x, y); });
}

std::int32_t CZEL2Clock_Overlay::DragBody(double x, double y) {
  if (!RefreshCache()) return 0;
  // Taken as unsigned: a negative mode is no mode at all here.
  const auto mode = static_cast<std::uint32_t>(m_overlayContext->GetOverlayMode());
  if (mode == static_cast<std::uint32_t>(ZELOverlayMode_Handles) ||
      mode == static_cast<std::uint32_t>(ZELOverlayMode_HandlesAlt)) {
    if (m_sizeState != kIdle)
      WriteAtCacheTime(m_cd.m_param_size.Get(), EllipticDistance(x, y) * kPercent * SizeDivisor(m_cd.clockType));
    if (m_moveState != kIdle) {
      WriteAtCacheTime(m_cd.m_param_posx.Get(), x * kPercent);
      WriteAtCacheTime(m_cd.m_param_posy.Get(), y * kPercent);
    }
  } else if (mode == static_cast<std::uint32_t>(ZELOverlayMode_Drag)) {
    if (m_moveState != kIdle) {
      // The clock keeps the offset it had from the pointer when the drag began.
      WriteAtCacheTime(m_cd.m_param_posx.Get(), (x + m_dragOffsetX) * kPercent);
      WriteAtCacheTime(m_cd.m_param_posy.Get(), (y + m_dragOffsetY) * kPercent);
    }
  }
  return 1;
}

std::int32_t CZEL2Clock_Overlay::PointerUp(double, double, std::int32_t) {
  return VOKBoundaryOr<std::int32_t>(0, [&] {
    m_moveState = kIdle;
    m_sizeState = kIdle;
    return 1;
  });
}
