// The compositing alone: the plug-in's frame loop (CompositeFrameRGBA / CompositeFrameYuv422) over
// the bitmap each clock type draws at its defaults, for every frame case, into a separate output
// and in place, with the floors of the same run.
//
// The bitmap is the one the plug-in really draws, recovered through the host: a render over a
// fully transparent black RGBA frame writes alpha = a exactly and colour = (s * a) / 255, from
// which s is recovered up to rounding (the timing depends on where alpha is 0, not on the exact
// colours). The drawn rectangle handed to the loop is the bounding box of the non-zero alpha,
// as the off-screen bitmap reports it after drawing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "compositing/Compositing.h"
#include "HostFixture.h"

namespace {

using zel::bench::ClockKind;
using zel::bench::Format;
using zel::bench::FrameCase;
using zel::bench::HostFrame;

struct ClockBitmap {
  std::vector<std::uint8_t> bgra;  ///< width * height * 4, straight colour
  zel2clock::DrawnRect drawn;
};

/// The bitmap `clock` draws at frame 0 on a frame of the case's size.
ClockBitmap DrawnBitmap(const FrameCase& c, const ClockKind& clock) {
  const FrameCase rgba{c.width, c.height, Format::RGBA};
  const auto instance = zel::bench::MakeInstance(rgba, clock);
  zel::bench::WarmBuffer in(zel::bench::FrameBytes(rgba), 0);
  zel::bench::WarmBuffer out(zel::bench::FrameBytes(rgba), 0);
  zel::host::FrameView inView{in.data(), c.width, c.height, std::size_t{c.width} * 4,
                              zel::host::PixelKind::Rgba};
  zel::host::FrameView outView = inView;
  outView.data = out.data();
  if (instance->RenderFrame(inView, outView, 0) < 0) throw std::runtime_error("render failed");

  ClockBitmap b;
  b.bgra.assign(zel::bench::FrameBytes(rgba), 0);
  std::int32_t left = static_cast<std::int32_t>(c.width), top = static_cast<std::int32_t>(c.height);
  std::int32_t right = 0, bottom = 0;
  for (std::uint32_t y = 0; y < c.height; ++y) {
    for (std::uint32_t x = 0; x < c.width; ++x) {
      const std::size_t i = (std::size_t{y} * c.width + x) * 4;
      const std::uint32_t a = out.data()[i + 3];
      if (a == 0) continue;
      const auto straight = [a](std::uint32_t v) {
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (v * 255 + a - 1) / a));
      };
      b.bgra[i + 0] = straight(out.data()[i + 2]);
      b.bgra[i + 1] = straight(out.data()[i + 1]);
      b.bgra[i + 2] = straight(out.data()[i + 0]);
      b.bgra[i + 3] = static_cast<std::uint8_t>(a);
      left = std::min<std::int32_t>(left, static_cast<std::int32_t>(x));
      top = std::min<std::int32_t>(top, static_cast<std::int32_t>(y));
      right = std::max<std::int32_t>(right, static_cast<std::int32_t>(x) + 1);
      bottom = std::max<std::int32_t>(bottom, static_cast<std::int32_t>(y) + 1);
    }
  }
  if (right == 0) throw std::runtime_error("no clock was drawn");
  b.drawn = {left, top, right, bottom};
  return b;
}

void Composite(const ClockBitmap& bitmap, const FrameCase& c, const std::uint8_t* in,
               std::uint8_t* out) {
  zel2clock::CompositeFrame f;
  f.bitmap = bitmap.bgra.data();
  f.width = c.width;
  f.height = c.height;
  f.drawn = &bitmap.drawn;
  const std::size_t stride = zel::host::RowBytesOf(zel::bench::KindOf(c.format), c.width);
  // Collected every frame, as the render does.
  thread_local std::vector<const std::uint8_t*> inRows;
  thread_local std::vector<std::uint8_t*> outRows;
  inRows.clear();
  outRows.clear();
  for (std::uint32_t r = 0; r < c.height; ++r) {
    inRows.push_back(in + r * stride);
    outRows.push_back(out + r * stride);
  }
  const zel2clock::FrameRows rows{inRows, outRows};
  if (c.format == Format::RGBA)
    zel2clock::CompositeFrameRGBA(f, zel2clock::kLayoutRGBA, rows);
  else
    zel2clock::CompositeFrameYuv422(f, zel2clock::kLayoutUYVY, rows);
}

void CompositeSeparate(benchmark::State& state, FrameCase c, ClockKind clock) {
  try {
    const ClockBitmap bitmap = DrawnBitmap(c, clock);
    HostFrame in(c);
    HostFrame out(c);
    for (auto _ : state) {
      Composite(bitmap, c, in.Data(), out.Data());
      benchmark::ClobberMemory();
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void CompositeInPlace(benchmark::State& state, FrameCase c, ClockKind clock) {
  try {
    const ClockBitmap bitmap = DrawnBitmap(c, clock);
    HostFrame frame(c);
    for (auto _ : state) {
      Composite(bitmap, c, frame.Data(), frame.Data());
      benchmark::ClobberMemory();
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  zel::bench::RegisterFloors();
  for (const FrameCase& c : zel::bench::FrameCases()) {
    for (const ClockKind& clock : zel::bench::ClockKinds()) {
      const std::string name = "composite/" + zel::bench::CaseName(c);
      benchmark::RegisterBenchmark((name + "/separate/" + clock.name).c_str(), CompositeSeparate,
                                   c, clock)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((name + "/in_place/" + clock.name).c_str(), CompositeInPlace, c,
                                   clock)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return zel::bench::RunWithSummary(argc, argv);
}
