// The whole render operation through the real host: EffectInstance::RenderFrame on the loaded
// ZEL2Clock.zel, for every frame case, separate output and in place, each clock type with every
// other parameter at its default. The frame index advances every iteration, so the time shown
// (and with it the text and the hands) changes as in a real render. Registered with the floors,
// with drawtext and with the floor of each clock's own rectangle (its region of definition read
// and written once), so that the summary's ratios all come from this one run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "BenchSupport.h"
#include "Drawtext.h"
#include "HostFixture.h"

namespace {

using zel::bench::ClockKind;
using zel::bench::FrameCase;
using zel::bench::HostFrame;

void Check(VOKRESULT result) {
  if (result < 0) throw std::runtime_error("render failed: " + zel::host::ResultText(result));
}

void RenderSeparate(benchmark::State& state, FrameCase c, ClockKind clock) {
  try {
    const auto instance = zel::bench::MakeInstance(c, clock);
    HostFrame in(c);
    HostFrame out(c);
    std::int64_t k = 0;
    Check(instance->RenderFrame(in.View(), out.View(), k++));
    if (std::memcmp(in.Data(), out.Data(), in.Bytes()) == 0)
      throw std::runtime_error("no clock was drawn");
    for (auto _ : state) Check(instance->RenderFrame(in.View(), out.View(), k++));
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void RenderInPlace(benchmark::State& state, FrameCase c, ClockKind clock) {
  try {
    const auto instance = zel::bench::MakeInstance(c, clock);
    HostFrame frame(c);
    const HostFrame before(c);
    std::int64_t k = 0;
    Check(instance->RenderFrame(frame.View(), frame.View(), k++));
    if (std::memcmp(frame.Data(), const_cast<HostFrame&>(before).Data(), frame.Bytes()) == 0)
      throw std::runtime_error("no clock was drawn");
    for (auto _ : state) Check(instance->RenderFrame(frame.View(), frame.View(), k++));
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

}  // namespace

/// The rectangle the clock covers at time 0, as the effect says through its region of definition.
zel::bench::PixelRect ClockRect(const FrameCase& c, const ClockKind& clock) {
  const auto instance = zel::bench::MakeInstance(c, clock);
  const auto region = instance->RegionAt(c.width, c.height, 0, false);
  if (!region || region->Empty()) return {0, 0, c.width, c.height};
  return {static_cast<std::uint32_t>(region->left), static_cast<std::uint32_t>(region->top),
          static_cast<std::uint32_t>(region->right), static_cast<std::uint32_t>(region->bottom)};
}

int main(int argc, char** argv) {
  zel::bench::RegisterFloors();
  zel::bench::RegisterDrawtext();
  for (const FrameCase& c : zel::bench::FrameCases()) {
    for (const ClockKind& clock : zel::bench::ClockKinds()) {
      zel::bench::RegisterRectFloor(c, clock.name, ClockRect(c, clock));
      const std::string name = "render/" + zel::bench::CaseName(c);
      benchmark::RegisterBenchmark((name + "/separate/" + clock.name).c_str(), RenderSeparate, c,
                                   clock)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((name + "/in_place/" + clock.name).c_str(), RenderInPlace, c,
                                   clock)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return zel::bench::RunWithSummary(argc, argv);
}
