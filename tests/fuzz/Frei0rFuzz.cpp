// The frei0r module as a careless client drives it: instances of any size (0x0, 1x1, odd, very
// wide or tall), every parameter set to hostile values of its frei0r type (NaN, infinities, any
// bit pattern; strings of any bytes and length), read back, and frames rendered at any time, in
// any order, with indexes outside the parameter list mixed in.
//
// What must hold: no crash, no sanitizer report, nothing written past the output frame, and every
// host object the instances made gone once they are destroyed.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Frei0rModule.h"
#include "FuzzSupport.h"

namespace {

using zel::fuzz::HostileDouble;
using zel::test::Frei0rModule;

constexpr std::uint32_t kGuard = 0xA5A5A5A5u;
constexpr std::size_t kGuardPixels = 16;

Frei0rModule& Module() {
  static Frei0rModule module(ZEL_FUZZ_FREI0R_MODULE);
  static const bool initialised = module.init() == 1;
  if (!initialised) __builtin_trap();
  return module;
}

int ParameterCount() {
  f0r_plugin_info_t info{};
  Module().pluginInfo(&info);
  return info.num_params;
}

int ParameterType(int index) {
  f0r_param_info_t info{};
  Module().paramInfo(&info, index);
  return info.type;
}

void SetHostile(f0r_instance_t instance, int index, int type, FuzzedDataProvider& in) {
  switch (type) {
    case F0R_PARAM_BOOL:
    case F0R_PARAM_DOUBLE: {
      double value = HostileDouble(in);
      Module().setParam(instance, &value, index);
      break;
    }
    case F0R_PARAM_COLOR: {
      f0r_param_color_t value{static_cast<float>(HostileDouble(in)), static_cast<float>(HostileDouble(in)),
                              static_cast<float>(HostileDouble(in))};
      Module().setParam(instance, &value, index);
      break;
    }
    case F0R_PARAM_POSITION: {
      f0r_param_position_t value{HostileDouble(in), HostileDouble(in)};
      Module().setParam(instance, &value, index);
      break;
    }
    case F0R_PARAM_STRING: {
      const std::string text = in.ConsumeRandomLengthString(300);
      const char* value = text.c_str();
      Module().setParam(instance, &value, index);
      break;
    }
    default: break;
  }
}

/// Reads a parameter back into storage of its type; a string must be a readable C string.
void ReadBack(f0r_instance_t instance, int index, int type) {
  switch (type) {
    case F0R_PARAM_STRING: {
      const char* value = nullptr;
      Module().getParam(instance, &value, index);
      if (value != nullptr) (void)std::strlen(value);
      break;
    }
    default: {
      double storage[4] = {};
      Module().getParam(instance, storage, index);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const int count = ParameterCount();

  unsigned width = 0;
  unsigned height = 0;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: width = 4096; height = in.ConsumeIntegralInRange<unsigned>(0, 2); break;
    case 1: width = in.ConsumeIntegralInRange<unsigned>(0, 2); height = 4096; break;
    default:
      width = in.ConsumeIntegralInRange<unsigned>(0, 80);
      height = in.ConsumeIntegralInRange<unsigned>(0, 60);
  }
  const std::int64_t liveBefore = Module().liveHostObjects();
  f0r_instance_t instance = Module().construct(width, height);
  if (instance != nullptr) {
    const std::size_t pixels = std::size_t{width} * height;
    std::vector<std::uint32_t> source(pixels);
    for (std::size_t i = 0; i < pixels; ++i) source[i] = static_cast<std::uint32_t>(i * 2654435761u) | 0xff000000u;
    std::vector<std::uint32_t> output(pixels + kGuardPixels, kGuard);

    for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
      const int index = in.ConsumeIntegralInRange<int>(-2, count + 1);
      const bool known = index >= 0 && index < count;
      switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
        case 1:
          // An index outside the list is handed a double, as a client that miscounted would.
          SetHostile(instance, index, known ? ParameterType(index) : F0R_PARAM_DOUBLE, in);
          break;
        case 2:
          if (known) ReadBack(instance, index, ParameterType(index));
          break;
        default:
          Module().update(instance, HostileDouble(in), source.data(), output.data());
          for (std::size_t i = pixels; i < output.size(); ++i)
            if (output[i] != kGuard) __builtin_trap();
      }
    }
    Module().update(instance, in.ConsumeFloatingPoint<double>(), source.data(), output.data());
    Module().destruct(instance);
  }
  if (Module().liveHostObjects() != liveBefore) __builtin_trap();
  return 0;
}
