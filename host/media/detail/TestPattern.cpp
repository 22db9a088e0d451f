#include "media/detail/TestPattern.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zel::media::detail {

namespace {

// 75 % bars, the usual order from left to right: white, yellow, cyan, green, magenta, red, blue.
constexpr std::uint8_t kBars[7][4] = {
    {191, 191, 191, 255}, {191, 191, 0, 255}, {0, 191, 191, 255}, {0, 191, 0, 255},
    {191, 0, 191, 255},   {191, 0, 0, 255},   {0, 0, 191, 255},
};
constexpr std::uint8_t kLowerBand[4] = {16, 16, 16, 255};
constexpr std::uint8_t kWhite[4] = {255, 255, 255, 255};
constexpr std::uint8_t kDigit[4] = {255, 220, 0, 255};

constexpr double kSweepSeconds = 4.0;

// Digits 0-9 in a 5 x 7 grid, one byte per row, bit 4 the leftmost column.
constexpr std::uint8_t kGlyphs[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};
constexpr int kGlyphColumns = 5;
constexpr int kGlyphRows = 7;

void put(std::uint8_t* pixel, const std::uint8_t rgba[4]) { std::memcpy(pixel, rgba, 4); }

/// Position in 0..1 of a to-and-fro sweep with the given period, at time `seconds`.
double triangle(double seconds, double period) {
  double phase = seconds / period;
  phase -= static_cast<double>(static_cast<std::int64_t>(phase));
  return phase < 0.5 ? phase * 2 : 2 - phase * 2;
}

}  // namespace

TestPattern::TestPattern(int width, int height, AVRational rate)
    : m_width(width),
      m_height(height),
      m_rate(rate),
      m_ramp{height * 6 / 10, height * 7 / 10},
      m_lower{height * 7 / 10, height},
      m_cell(std::max(1, height / 80)) {
  m_background.allocate(width, height, FrameFormat::Rgba);
  for (int y = 0; y < m_ramp.top; ++y) {
    std::uint8_t* row = m_background.row(y);
    for (int x = 0; x < width; ++x) put(row + 4 * x, kBars[x * 7 / width]);
  }
  fillRect(m_background, 0, m_lower.top, width, m_lower.bottom, kLowerBand);

  // A ramp up and back down over one width: continuous where it wraps around while scrolling.
  m_rampRow.resize(static_cast<std::size_t>(width) * 2 * 4);
  for (int x = 0; x < 2 * width; ++x) {
    const int across = x % width;
    const int half = std::max(1, width / 2);
    const int level = across < half ? across * 255 / half : std::max(0, (width - across) * 255 / half);
    const auto v = static_cast<std::uint8_t>(std::min(255, level));
    const std::uint8_t grey[4] = {v, v, v, 255};
    put(&m_rampRow[static_cast<std::size_t>(x) * 4], grey);
  }
}

void TestPattern::fillRect(Frame& frame, int x0, int y0, int x1, int y1, const std::uint8_t rgba[4]) const {
  x0 = std::clamp(x0, 0, m_width);
  x1 = std::clamp(x1, 0, m_width);
  y0 = std::clamp(y0, 0, m_height);
  y1 = std::clamp(y1, 0, m_height);
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* row = frame.row(y);
    for (int x = x0; x < x1; ++x) put(row + 4 * x, rgba);
  }
}

void TestPattern::drawNumber(Frame& frame, std::int64_t number) const {
  std::string text = std::to_string(number);
  if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
  const int left = m_cell * 2;
  const int top = m_lower.top + std::max(0, (m_lower.bottom - m_lower.top - kGlyphRows * m_cell) / 2);
  int x = left;
  for (const char c : text) {
    const int digit = c - '0';
    if (digit < 0 || digit > 9) continue;
    for (int gy = 0; gy < kGlyphRows; ++gy) {
      for (int gx = 0; gx < kGlyphColumns; ++gx) {
        if ((kGlyphs[digit][gy] >> (kGlyphColumns - 1 - gx) & 1) == 0) continue;
        fillRect(frame, x + gx * m_cell, top + gy * m_cell, x + (gx + 1) * m_cell, top + (gy + 1) * m_cell,
                 kDigit);
      }
    }
    x += (kGlyphColumns + 1) * m_cell;
  }
}

void TestPattern::draw(Frame& frame, std::int64_t index) const {
  const std::size_t rowBytes = frame.rowBytes();
  for (int y = 0; y < m_height; ++y) std::memcpy(frame.row(y), m_background.row(y), rowBytes);

  const double seconds = static_cast<double>(index) * m_rate.den / m_rate.num;
  double turns = seconds / kSweepSeconds;
  turns -= static_cast<double>(static_cast<std::int64_t>(turns));
  const int offset = std::clamp(static_cast<int>(turns * m_width), 0, m_width - 1);
  const std::uint8_t* ramp = &m_rampRow[static_cast<std::size_t>(offset) * 4];
  for (int y = m_ramp.top; y < m_ramp.bottom; ++y) std::memcpy(frame.row(y), ramp, rowBytes);

  // The box sweeps over the right 65 % of the lower band; the number stays clear on the left.
  const int bandHeight = m_lower.bottom - m_lower.top;
  const int box = std::max(1, bandHeight * 2 / 3);
  const int sweepLeft = m_width * 35 / 100;
  const int sweepWidth = std::max(0, m_width - sweepLeft - box);
  const int boxX = sweepLeft + static_cast<int>(triangle(seconds, kSweepSeconds) * sweepWidth);
  const int boxY = m_lower.top + (bandHeight - box) / 2;
  fillRect(frame, boxX, boxY, boxX + box, boxY + box, kWhite);

  drawNumber(frame, index);
}

}  // namespace zel::media::detail
