// Endurance: renders FRAMES frames of 1920x1080 through the real host, the clock type and the
// pixel kind changing every frame (all three clocks, all four kinds in turn), and compares the
// resident memory at the end with where it stood after the first hundred frames.
//
//   SoakRun FRAMES MAX_GROWTH_MIB
//
// Prints both figures; exits 1 when the growth exceeds MAX_GROWTH_MIB or a render fails. Run in the
// sanitizer build (scripts/soak) it also reports every leak and bad access on the way.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "render/EffectInstance.h"

namespace {

using namespace zel::host;

constexpr std::uint32_t kWidth = 1920;
constexpr std::uint32_t kHeight = 1080;
constexpr int kSettleFrames = 100;

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: SoakRun FRAMES MAX_GROWTH_MIB\n");
    return 2;
  }
  const long frames = std::atol(argv[1]);
  const double maxGrowth = std::atof(argv[2]);
  if (frames <= kSettleFrames) {
    std::fprintf(stderr, "SoakRun: FRAMES must be above %d\n", kSettleFrames);
    return 2;
  }
  Plugin plugin(ZEL_TEST_PLUGIN);
  std::vector<std::unique_ptr<EffectInstance>> clocks;
  for (const char* type : {"Analog Clock", "Digital Clock", "LED clock"}) {
    auto instance = std::make_unique<EffectInstance>(plugin);
    instance->SetFromText("Clock Type List", type);
    instance->SetFromText("Style List", "1");
    instance->SetFromText("Size", "60");
    clocks.push_back(std::move(instance));
  }
  constexpr PixelKind kKinds[] = {PixelKind::Rgba, PixelKind::Bgra, PixelKind::Uyvy, PixelKind::Yuy2};
  std::vector<std::uint8_t> input(std::size_t{kWidth} * kHeight * 4, 0x60), output(input.size());

  double settled = 0;
  for (long k = 0; k < frames; ++k) {
    const PixelKind kind = kKinds[(k / 3) % 4];
    const std::size_t stride = RowBytesOf(kind, kWidth);
    const FrameView in{input.data(), kWidth, kHeight, stride, kind};
    const FrameView out{output.data(), kWidth, kHeight, stride, kind};
    const VOKRESULT result = clocks[k % 3]->RenderFrame(in, out, k);
    if (result != VOK_OK) {
      std::fprintf(stderr, "SoakRun: frame %ld failed with 0x%08X\n", k, static_cast<unsigned>(result));
      return 1;
    }
    if (k + 1 == kSettleFrames) settled = ResidentMiB();
    if ((k + 1) % 1000 == 0) std::fprintf(stderr, "SoakRun: %ld frames, %.1f MiB resident\n", k + 1, ResidentMiB());
  }
  const double end = ResidentMiB();
  std::printf("SoakRun: %ld frames of %ux%u; resident %.1f MiB after %d frames, %.1f MiB at the end (%+.1f MiB)\n",
              frames, kWidth, kHeight, settled, kSettleFrames, end, end - settled);
  if (end - settled > maxGrowth) {
    std::fprintf(stderr, "SoakRun: resident memory grew by %.1f MiB, more than %.1f MiB\n", end - settled, maxGrowth);
    return 1;
  }
  return 0;
}
