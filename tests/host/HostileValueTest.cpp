// Values a test host stores without checks (SetUnchecked: NaN, infinities, numbers far outside
// 32 bits) must reach the plug-in as defined integers: the integer part held to 64 bits and then
// wrapped to the parameter's 32 bits, NaN as 0. Found by the render fuzzer, where such a value
// made the conversion undefined.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "render/EffectInstance.h"

namespace zel::host {
namespace {

TEST(HostileValueTest, IntegerParametersDeliverHeldValues) {
  static Plugin plugin(ZEL_TEST_PLUGIN);
  EffectInstance instance(plugin);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const struct {
    double stored;
    std::uint32_t delivered;
  } cases[] = {{std::numeric_limits<double>::quiet_NaN(), 0u},
               {kInf, 0xFFFFFFFFu},   // INT64_MAX wrapped to 32 bits
               {-kInf, 0u},           // INT64_MIN wrapped to 32 bits
               {1e300, 0xFFFFFFFFu},
               {-1e300, 0u},
               {4294967297.9, 1u},
               {-1.5, 0xFFFFFFFFu}};
  for (const char* name : {"Style List", "Count Down", "Start Time Hour"}) {
    ParameterValue& parameter = instance.Get(name);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(c.stored));
      ParamValue v;
      v.num[0] = c.stored;
      parameter.SetUnchecked(v);
      std::uint32_t out = 0x12345678;
      ASSERT_EQ(parameter.GetValue(parameter.Type(), &out, sizeof out), VOK_OK);
      EXPECT_EQ(out, c.delivered);
    }
  }
}

}  // namespace
}  // namespace zel::host
