// What the fuzz targets share: the real plug-in loaded once through the host, and the hostile
// values a stranger's host or file may hand it, drawn from the fuzzer's bytes.
//
// Every target is one LLVMFuzzerTestOneInput. The same source builds two ways: with libFuzzer in
// build-fuzz/ (scripts/fuzz), and with ReplayMain.cpp in every ordinary build, where ctest runs it
// over the committed seeds and the inputs of past findings.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "loading/PluginModule.h"

namespace zel::fuzz {

/// The plug-in, loaded and registered once for the whole run.
inline host::Plugin& ClockPlugin() {
  static host::Plugin plugin(ZEL_FUZZ_PLUGIN);
  return plugin;
}

/// A double a careless host or file may deliver: the special values first, then any bit pattern.
inline double HostileDouble(FuzzedDataProvider& in) {
  constexpr double kSpecial[] = {0.0,
                                 -0.0,
                                 1.0,
                                 -1.0,
                                 50.0,
                                 100.0,
                                 255.0,
                                 1e300,
                                 -1e300,
                                 2147483648.0,
                                 -2147483649.0,
                                 4294967296.0,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::denorm_min(),
                                 std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::lowest()};
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      return kSpecial[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial) - 1)];
    case 1:
      return static_cast<double>(in.ConsumeIntegral<std::int32_t>());
    default: {
      const auto bits = in.ConsumeIntegral<std::uint64_t>();
      double d;
      static_assert(sizeof d == sizeof bits);
      __builtin_memcpy(&d, &bits, sizeof d);
      return d;
    }
  }
}

}  // namespace zel::fuzz
