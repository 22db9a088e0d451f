// The first frame of a fresh process: loading and registering the plug-in, making an effect
// instance and rendering one 1080p RGBA frame of the digital clock (the clock that needs fonts),
// timed from the start of main. Prints that time in milliseconds on standard output, and the
// parts and a second frame on standard error. bench/compare-drawtext runs it in several processes
// and takes the median.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <exception>

#include "HostFixture.h"

int main() {
  using Clock = std::chrono::steady_clock;
  const auto ms = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  try {
    const auto start = Clock::now();
    zel::bench::ThePlugin();
    const auto loaded = Clock::now();
    const zel::bench::FrameCase c{1920, 1080, zel::bench::Format::RGBA};
    const auto instance = zel::bench::MakeInstance(c, zel::bench::ClockKinds()[1]);
    const auto made = Clock::now();
    // The frames are the caller's memory, not start-up: their filling is left out of the total.
    zel::bench::HostFrame in(c);
    zel::bench::HostFrame out(c);
    const auto ready = Clock::now();
    // The thread's own CPU time too: on a machine shared with other work the wall clock also
    // counts the time the process waited for a core.
    const auto cpu = [] {
      timespec t{};
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
      return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
    };
    const double cpuReady = cpu();
    if (instance->RenderFrame(in.View(), out.View(), 0) < 0) return 1;
    const double cpuFirst = cpu();
    const auto first = Clock::now();
    if (instance->RenderFrame(in.View(), out.View(), 1) < 0) return 1;
    const auto second = Clock::now();
    std::printf("%.3f\n", ms(start, made) + ms(ready, first));
    std::fprintf(stderr,
                 "load and register %.3f ms, instance %.3f ms, first render %.3f ms (CPU %.3f ms), second "
                 "render %.3f ms\n",
                 ms(start, loaded), ms(loaded, made), ms(ready, first), cpuFirst - cpuReady, ms(first, second));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "FirstFrameBench: %s\n", e.what());
    return 1;
  }
}
