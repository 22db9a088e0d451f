#include "components/ZEL2Clock_Globals.h"

#include <cassert>
#include <new>

CPenSet* gPens = nullptr;

void CPenBrush::Select(HDC dc, std::uint32_t flags) const noexcept {
  if ((flags & kSelectBrush) && m_brush) SelectObject(dc, m_brush);
  if ((flags & kSelectPen) && m_pen) SelectObject(dc, m_pen);
}

void CPenBrush::Destroy() noexcept {
  if (!m_stock) {
    if (m_brush) DeleteObject(m_brush);
    if (m_pen) DeleteObject(m_pen);
  }
  m_brush = nullptr;
  m_pen = nullptr;
}

namespace {
constexpr int kPenWidth = 1;
constexpr COLORREF kRedColour = 0x0000FF;
constexpr COLORREF kGreenColour = 0x00FF00;
constexpr COLORREF kBlueColour = 0xFF0000;
constexpr COLORREF kYellowColour = 0x00FFFF;

constexpr int kNoPen = -1;

/// A made (not stock) entry: the pen first, then the brush.
CPenBrush MakeColoured(COLORREF colour) {
  HPEN pen = CreatePen(PS_SOLID, kPenWidth, colour);
  HBRUSH brush = CreateSolidBrush(colour);
  return CPenBrush(false, brush, pen);
}

CPenBrush MakeStock(int brush, int pen) {
  HPEN p = pen != kNoPen ? static_cast<HPEN>(GetStockObject(pen)) : nullptr;
  HBRUSH b = static_cast<HBRUSH>(GetStockObject(brush));
  return CPenBrush(true, b, p);
}

/// Frees the pen set when the module is unloaded (or the process ends), so that a host that
/// unloads and reloads the plug-in does not keep four pens and brushes per load alive.
struct PenSetReleaser {
  ~PenSetReleaser() { CPenSet::Release(); }
} gPenSetReleaser;
}  // namespace

// A braced list is evaluated left to right: the entries are made in table order.
CPenSet::CPenSet() noexcept
    : m_entries{MakeStock(BLACK_BRUSH, BLACK_PEN), MakeStock(WHITE_BRUSH, WHITE_PEN), MakeStock(NULL_BRUSH, kNoPen),
                MakeColoured(kRedColour),  MakeColoured(kGreenColour), MakeColoured(kBlueColour), MakeColoured(kYellowColour)} {
  assert(!gPens);
}

CPenSet::~CPenSet() {
  for (std::uint32_t i = kEntryCount; i-- > 0;) m_entries[i].Destroy();
}

CPenSet* CPenSet::Get() noexcept {
  if (!gPens) gPens = new (std::nothrow) CPenSet();
  return gPens;
}

void CPenSet::Release() noexcept {
  delete gPens;
  gPens = nullptr;
}

CSelectionSaver::CSelectionSaver(HDC dc) noexcept : m_dc(dc) {
  // The interface has no way to read what is selected without selecting: put a stock object in
  // and the previous one straight back. Stock objects never fail to select into a valid DC.
  m_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  if (m_brush) SelectObject(dc, m_brush);
  m_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
  if (m_pen) SelectObject(dc, m_pen);
}

CSelectionSaver::~CSelectionSaver() {
  if (m_brush) SelectObject(m_dc, m_brush);
  if (m_pen) SelectObject(m_dc, m_pen);
}
