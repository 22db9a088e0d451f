// The floor of every per-frame operation: one memcpy and one memset of a whole frame, 1080p and
// 4K, RGBA and 4:2:2, on warm buffers. A render writes a whole output frame, so it cannot beat the
// copy; the other programs register the same floors to report their ratios within one run.
#include "BenchSupport.h"

int main(int argc, char** argv) {
  zel::bench::RegisterFloors();
  return zel::bench::RunWithSummary(argc, argv);
}
