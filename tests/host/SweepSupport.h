// What the fault sweeps of the interactive components share: the codes each host call fails with
// in turn, and the tally of calls swept that every suite prints at its end.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "loading/Instrumentation.h"
#include "VOKBase.h"

namespace zel::test {

/// A host's own code, two of the framework's, and one that is not a failure code of anybody's.
inline constexpr VOKRESULT kSweepCodes[] = {static_cast<VOKRESULT>(0x80070005u), VOK_E_INVALIDARG, VOK_E_UNEXPECTED,
                                            static_cast<VOKRESULT>(0x80000001u + 0x1234)};

/// Whether a logged host call is one that has no result code (it returns a value, or nothing):
/// failing it in the log changes nothing the plug-in can see.
inline bool IsReportless(const std::string& op) {
  static const char* const kOperations[] = {
      "RenderContext.GetTime", "RenderContext.GetRenderedField", "FrameContext.GetFrameID",
      "FrameContext.GetFrameIndex", "EffectContext.GetFrameRate", "EffectContext.GetFrameAspectRatio",
      "EffectContext.GetFrameSize", "LayoutEntry.IsEnabled", "OverlayContext.GetDC",
      "OverlayContext.GetOverlayMode", "OverlayContext.GetToleranceScale", "OverlayContext.MapToViewer",
      "OverlayContext.Invalidate", "OverlayContext.SetCursor"};
  const std::string name = op.substr(0, op.find(' '));
  for (const char* o : kOperations)
    if (name == o) return true;
  return false;
}

/// The host calls `action` makes, in order.
inline std::vector<std::string> CallsOf(const std::function<void()>& action) {
  host::Instrumentation::Global().StartLog();
  action();
  return host::Instrumentation::Global().TakeLog();
}

/// Counts the calls a suite failed in turn and prints the total when the program ends.
class SweepTally : public ::testing::Environment {
 public:
  explicit SweepTally(const char* what) : m_what(what) {}
  static SweepTally*& Instance() {
    static SweepTally* tally = nullptr;
    return tally;
  }
  void Add(std::uint64_t calls) { m_calls += calls; }
  void TearDown() override {
    std::printf("[ sweep    ] %s: %llu host calls failed in turn\n", m_what,
                static_cast<unsigned long long>(m_calls));
  }

 private:
  const char* m_what;
  std::uint64_t m_calls = 0;
};

/// Registers the tally of this program; call once from a static initialiser.
inline bool RegisterSweepTally(const char* what) {
  SweepTally::Instance() = new SweepTally(what);
  ::testing::AddGlobalTestEnvironment(SweepTally::Instance());
  return true;
}
inline void CountSwept(std::uint64_t calls) {
  if (SweepTally::Instance() != nullptr) SweepTally::Instance()->Add(calls);
}

}  // namespace zel::test
