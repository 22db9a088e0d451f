// Module-wide drawing objects of the overlay: the shared pen set `gPens`.
#pragma once

#include <cstdint>

#include "Gdi.h"

/// A brush and a pen made together, selected together or one at a time.
class CPenBrush {
 public:
  /// Flags for Select.
  static constexpr std::uint32_t kSelectBrush = 1;
  static constexpr std::uint32_t kSelectPen = 2;

  CPenBrush() = default;
  /// Stock objects belong to the system: never deleted.
  CPenBrush(bool stock, HBRUSH brush, HPEN pen) noexcept : m_stock(stock), m_brush(brush), m_pen(pen) {}
  CPenBrush(const CPenBrush&) = delete;
  CPenBrush& operator=(const CPenBrush&) = delete;

  /// Selects the brush (kSelectBrush) and/or the pen (kSelectPen) into `dc`. A handle the entry
  /// does not have is left out, so the object selected before stays.
  void Select(HDC dc, std::uint32_t flags) const noexcept;
  /// Deletes brush and pen where present, unless they are stock objects; the entry is empty after.
  void Destroy() noexcept;

  bool IsStock() const noexcept { return m_stock; }
  HBRUSH Brush() const noexcept { return m_brush; }
  HPEN Pen() const noexcept { return m_pen; }

 private:
  bool m_stock = false;
  HBRUSH m_brush = nullptr;
  HPEN m_pen = nullptr;
};

/// The seven brush-and-pen pairs every overlay draws with, made once per module on first use.
class CPenSet {
 public:
  enum Entry : std::uint32_t { kBlack, kWhite, kHollow, kRed, kGreen, kBlue, kYellow, kEntryCount };

  /// `gPens`, made first when it does not exist yet. Null only when the set cannot be allocated.
  static CPenSet* Get() noexcept;
  /// Destroys the entries in reverse order and frees the set; `gPens` is null afterwards. Safe to
  /// call when there is no set.
  static void Release() noexcept;

  const CPenBrush& operator[](Entry e) const noexcept { return m_entries[e]; }

 private:
  CPenSet() noexcept;
  ~CPenSet();

  CPenBrush m_entries[kEntryCount];
};

/// The module's pen set; null until the first overlay draws and after Release.
extern CPenSet* gPens;

/// Selects the brush and pen back that a DC had when the saver was made.
class CSelectionSaver {
 public:
  explicit CSelectionSaver(HDC dc) noexcept;
  ~CSelectionSaver();
  CSelectionSaver(const CSelectionSaver&) = delete;
  CSelectionSaver& operator=(const CSelectionSaver&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_brush = nullptr;
  HGDIOBJ m_pen = nullptr;
};
