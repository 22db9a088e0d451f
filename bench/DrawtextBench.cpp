// FFmpeg's drawtext filter on its own, with the floors of the same run.
#include "BenchSupport.h"
#include "Drawtext.h"

int main(int argc, char** argv) {
  zel::bench::RegisterFloors();
  zel::bench::RegisterDrawtext();
  return zel::bench::RunWithSummary(argc, argv);
}
