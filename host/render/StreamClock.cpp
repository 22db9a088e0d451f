#include "render/StreamClock.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

#include "text/Text.h"

namespace zel::host {

namespace {

/// Steps above this are milliseconds: no video has a frame period of a second and a half.
constexpr double kMillisecondStep = 1.5;
/// How close an estimate must come to a whole or NTSC rate to be taken as one.
constexpr double kSnapTolerance = 1e-4;
/// How close a render time must come to a whole frame to be that frame.
constexpr double kFrameSnap = 1e-3;
/// 2^53: past it a double no longer holds every whole frame, and a frame index no longer fits.
constexpr double kLastFrame = 9007199254740992.0;

FrameRate Reduced(std::int64_t num, std::int64_t den) {
  const std::int64_t g = std::gcd(num, den);
  return {num / g, den / g};
}

bool InRange(const FrameRate& rate) { return rate.Value() >= kMinRate && rate.Value() <= kMaxRate; }

}  // namespace

std::string FrameRate::Text() const {
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
}

FrameRate NearestRate(double fps) {
  const double whole = std::round(fps);
  if (whole >= 1 && std::abs(fps - whole) <= kSnapTolerance * fps) return {static_cast<std::int64_t>(whole), 1};
  const double ntsc = std::round(fps * 1001.0 / 1000.0);
  if (ntsc >= 1 && std::abs(fps - ntsc * 1000.0 / 1001.0) <= kSnapTolerance * fps)
    return Reduced(static_cast<std::int64_t>(ntsc) * 1000, 1001);
  return Reduced(std::max<std::int64_t>(1, std::llround(fps * 1000.0)), 1000);
}

std::optional<FrameRate> ParseFrameRate(std::string_view text) {
  text = Trim(text);
  const std::size_t slash = text.find('/');
  std::optional<FrameRate> rate;
  if (slash != std::string_view::npos) {
    const auto num = ParseInteger(Trim(text.substr(0, slash)));
    const auto den = ParseInteger(Trim(text.substr(slash + 1)));
    if (!num || !den || *num <= 0 || *den <= 0 || *num > 1'000'000'000 || *den > 1'000'000'000) return std::nullopt;
    rate = Reduced(*num, *den);
  } else {
    const auto fps = ParseNumber(text);
    if (!fps || !std::isfinite(*fps) || *fps < kMinRate || *fps > kMaxRate) return std::nullopt;
    rate = NearestRate(*fps);
  }
  if (!InRange(*rate)) return std::nullopt;
  return rate;
}

std::optional<TimeUnit> ParseTimeUnit(std::string_view text) {
  text = Trim(text);
  if (EqualsIgnoringCase(text, "auto")) return TimeUnit::Auto;
  if (EqualsIgnoringCase(text, "s") || EqualsIgnoringCase(text, "seconds")) return TimeUnit::Seconds;
  if (EqualsIgnoringCase(text, "ms") || EqualsIgnoringCase(text, "milliseconds")) return TimeUnit::Milliseconds;
  return std::nullopt;
}

const char* TimeUnitName(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Seconds: return "seconds";
    case TimeUnit::Milliseconds: return "milliseconds";
    case TimeUnit::Auto: break;
  }
  return "auto";
}

StreamClock::Tick StreamClock::Advance(double hostTime) {
  if (!std::isfinite(hostTime)) hostTime = 0;
  if (m_last) {
    const double step = std::abs(hostTime - *m_last);
    if (step > 0 && (!m_minStep || step < *m_minStep)) m_minStep = step;
  }
  m_last = hostTime;

  Tick tick;
  tick.milliseconds = m_unit == TimeUnit::Milliseconds ||
                      (m_unit == TimeUnit::Auto && m_minStep && *m_minStep > kMillisecondStep);
  const double seconds = tick.milliseconds ? hostTime / 1000.0 : hostTime;
  if (m_rate) {
    tick.rate = *m_rate;
  } else if (m_minStep) {
    const double period = tick.milliseconds ? *m_minStep / 1000.0 : *m_minStep;
    const double fps = 1.0 / period;
    tick.rate = fps >= kMinRate && fps <= kMaxRate ? NearestRate(fps) : kDefaultRate;
  } else {
    tick.rate = kDefaultRate;
  }
  // A client's time of 1e300 is not a frame any clock can show; it stays at the last one.
  const double frame = std::clamp(seconds * tick.rate.Value(), -kLastFrame, kLastFrame);
  const double whole = std::round(frame);
  tick.frame = std::abs(frame - whole) <= kFrameSnap ? whole : frame;
  return tick;
}

}  // namespace zel::host
