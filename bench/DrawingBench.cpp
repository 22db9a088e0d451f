// The clock drawing alone, per frame: the off-screen bitmap's life (made, cleared, released) and
// each clock drawn into it, against the floors of the same frame size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "drawing/AnalogClock.h"
#include "BenchSupport.h"
#include "drawing/DigitalClock.h"
#include "drawing/LEDClock.h"
#include "drawing/OffscreenDIB.h"

namespace {

using zel::bench::FrameCase;

enum class Clock { None, Analog, Digital, Led };

// One frame's drawing as the render does it: start, bitmap, clock, shut down, release.
void DrawFrame(const FrameCase& c, Clock clock, const LOGFONTW& lf) {
  ULONG_PTR token = 0;
  GdiplusStartupInput input;
  GdiplusStartup(&token, &input, nullptr);
  COffscreenDIB dib;
  HDC dc = dib.Create(static_cast<int>(c.width), static_cast<int>(c.height), 32, true);
  const int x = static_cast<int>(c.width / 2), y = static_cast<int>(c.height / 2), radius = static_cast<int>(c.height / 4);
  auto withGraphics = [dc](auto draw) {
    GpGraphics* g = nullptr;
    GdipCreateFromHDC(dc, &g);
    GdipSetSmoothingMode(g, SmoothingModeHighQuality);
    draw(g);
    GdipDeleteGraphics(g);
  };
  switch (clock) {
    case Clock::None:
      break;
    case Clock::Analog:
      withGraphics([&](GpGraphics* g) {
        CAnalogClock a;
        a.SetHandColor(0xFFFFFFFF);
        a.SetFaceColor(0x80000000);
        a.Draw(g, x, y, radius, 1.0f, 10, 8, 42);
      });
      break;
    case Clock::Led:
      withGraphics([&](GpGraphics* g) {
        CLEDClock l;
        l.Draw(g, x, y, radius * 68 / 100, 1.0f, u"01:23:45.678", 12);
      });
      break;
    case Clock::Digital:
      withGraphics([&](GpGraphics* g) {
        CDigitalClock d;
        d.SetFont(lf);
        d.SetAlignment(kDigitalAlignCenter);
        d.Draw(g, x, y, radius, u"01:23:45.678", 12);
      });
      break;
  }
  GdiplusShutdown(token);
  benchmark::DoNotOptimize(dib.GetPixelMemory());
  dib.Release();
}

void BM_Draw(benchmark::State& state, FrameCase c, Clock clock) {
  LOGFONTW lf{};
  lf.lfHeight = -32;
  DrawFrame(c, clock, lf);  // font look-ups and pooled memory are warm, as from the second frame on
  for (auto _ : state) DrawFrame(c, clock, lf);
}

// What a fresh bitmap per frame would cost without reused memory.
void BM_FreshAllocation(benchmark::State& state, FrameCase c) {
  const std::size_t bytes = zel::bench::FrameBytes(c);
  for (auto _ : state) {
    void* p = std::calloc(bytes, 1);
    std::memset(p, 0, bytes);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

}  // namespace

int main(int argc, char** argv) {
  zel::bench::RegisterFloors();
  for (const FrameCase& c : zel::bench::FrameCases()) {
    if (c.format != zel::bench::Format::RGBA) continue;
    const std::string name = zel::bench::CaseName(c);
    benchmark::RegisterBenchmark(("draw/" + name + "/bitmap_only").c_str(), BM_Draw, c, Clock::None);
    benchmark::RegisterBenchmark(("draw/" + name + "/analog").c_str(), BM_Draw, c, Clock::Analog);
    benchmark::RegisterBenchmark(("draw/" + name + "/digital").c_str(), BM_Draw, c, Clock::Digital);
    benchmark::RegisterBenchmark(("draw/" + name + "/led").c_str(), BM_Draw, c, Clock::Led);
    benchmark::RegisterBenchmark(("draw/" + name + "/fresh_allocation").c_str(), BM_FreshAllocation, c);
  }
  return zel::bench::RunWithSummary(argc, argv);
}
