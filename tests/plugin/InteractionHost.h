// What the interaction suites share: the real plug-in loaded once through the host, as zelhost
// loads it, and the companion objects made through its class factories. Nothing of the plug-in's
// code is linked in; only its UID constants name parameters and panel entries.
#pragma once

#include <gtest/gtest.h>

#include "interaction/EditSession.h"
#include "loading/Instrumentation.h"
#include "definition/PluginIds.h"
#include "loading/PluginModule.h"

namespace zel::test {

/// The plug-in, loaded and registered once for the whole run.
inline host::Plugin& ClockPlugin() {
  static host::Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

/// An object of the plug-in's component of `kind`, as interface I.
template <class I>
VOKPtr<I> MakeComponent(const VOKUID& kind, const VOKUID& iid) {
  const host::ComponentDefinition* component = ClockPlugin().ComponentOfKind(kind);
  VOKPtr<I> result;
  if (component == nullptr) return result;
  VOKPtr<IVOKUnknown> object = ClockPlugin().CreateObject(*component, iid);
  result.Attach(static_cast<I*>(object.Detach()));
  return result;
}

/// A render context at `time`, as the host hands the interactive components.
inline VOKPtr<host::HostRenderContext> RenderContextAt(double time) {
  return host::MakeHostObject<host::HostRenderContext>(time, ZELField_Both);
}

/// Resets the instrumentation around every test: faults and logs never leak into the next one.
class InstrumentedTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Instrumentation::Global().Reset(); }
  void TearDown() override { host::Instrumentation::Global().Reset(); }
};

}  // namespace zel::test
