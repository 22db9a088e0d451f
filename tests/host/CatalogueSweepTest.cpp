// Registration under failing host calls, through the real host and the built module: for every
// host call k that a registration makes, failing call k must make the export return exactly that
// code, leave its out-pointer null, and leave no plug-in object and no host object alive. And two
// builds of the effect definition must be the same, byte for byte.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "definitions/Catalogue.h"
#include "loading/Instrumentation.h"
#include "loading/PluginModule.h"
#include "text/Text.h"

using namespace zel::host;

namespace {

PluginModule& Module() {
  static PluginModule module(ZEL_TEST_PLUGIN);
  return module;
}

IVOKUnknown* const kUntouched = reinterpret_cast<IVOKUnknown*>(static_cast<std::uintptr_t>(0x5A5A5A50));

/// Failure codes a host may return: its own, and ones the module also produces, which must come
/// out unchanged rather than be mistaken for the module's own.
constexpr VOKRESULT kCodes[] = {static_cast<VOKRESULT>(0x80070005u), VOK_E_OUTOFMEMORY, VOK_E_INVALIDARG};

struct Registration {
  const char* label;
  int index;  ///< -1: the plug-in definition
};
constexpr Registration kRegistrations[] = {
    {"effect (index 0)", 0}, {"font chooser (index 1)", 1}, {"update handler (index 2)", 2},
    {"overlay (index 3)", 3}, {"plug-in", -1}};

class CatalogueSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_host = MakeHostObject<HostUnknown>();
    m_hostObjectsBefore = Instrumentation::LiveHostObjects();
    ASSERT_EQ(Module().CanUnloadNow(Host()), VOK_OK);
  }
  void TearDown() override {
    Instrumentation::Global().Reset();
    EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_OK);
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
  }

  IVOKUnknown* Host() { return m_host->Unknown(); }
  std::uint32_t HostRefs() {
    Host()->AddRef();
    return Host()->Release();
  }
  VOKRESULT Register(int index, IVOKUnknown** def) {
    return index < 0 ? Module().RegisterPlugin(Host(), def)
                     : Module().RegisterComponent(Host(), static_cast<std::uint32_t>(index), def);
  }

  VOKPtr<HostUnknown> m_host;
  std::int64_t m_hostObjectsBefore = 0;
};

// --- a flat rendering of a definition, for comparing two builds -----------------------------------

void Put(std::string& out, const VOKUID& uid) { out.append(reinterpret_cast<const char*>(&uid), sizeof uid); }

void Put(std::string& out, const AttributeList& list) {
  for (const Attribute& a : list.All()) {
    Put(out, a.id);
    Put(out, a.type);
    if (a.isText) {
      out += 'T';
      out += ToUtf8(a.text);
    } else {
      out.append(a.bytes.begin(), a.bytes.end());
    }
    out += '|';
  }
}

std::string Flatten(const LayoutDefinition& entry, const std::vector<ParameterDefinition*>& parameters) {
  std::string out = "{";
  Put(out, entry.uid);
  out += ToUtf8(entry.name.value_or(u"<none>"));
  out += '|';
  out += ToUtf8(entry.tooltip.value_or(u"<none>"));
  out += '|';
  if (entry.kind) Put(out, *entry.kind);
  for (std::size_t i = 0; i < parameters.size(); ++i)
    if (parameters[i] == entry.parameter.Get()) out.append("p").append(std::to_string(i));
  Put(out, entry.attributes);
  for (const auto& child : entry.children) out += Flatten(*child.Get(), parameters);
  return out + "}";
}

std::string Flatten(const ComponentDefinition& effect) {
  std::string out;
  Put(out, effect.uid);
  Put(out, effect.kind);
  Put(out, effect.classUid);
  out.append(ToUtf8(effect.name)).append("|").append(std::to_string(effect.versionMajor));
  out.append(".").append(std::to_string(effect.versionMinor));
  Put(out, effect.attributes);
  const auto parameters = effect.Parameters();
  for (const ParameterDefinition* p : parameters) {
    Put(out, p->uid);
    Put(out, p->type);
    out.append(ToUtf8(p->name)).append("|").append(ToUtf8(p->tooltip)).append("|");
    out.append(std::to_string(p->flags)).append(std::to_string(p->reserved));
    for (const auto& c : p->components) Put(out, c->uid);
    Put(out, p->attributes);
  }
  for (const auto& entry : effect.layouts) out += Flatten(*entry.Get(), parameters);
  for (const auto& p : effect.extraParameters) Put(out, p->uid);
  for (const auto& port : effect.inputs) out.append("in").append(ToUtf8(port.name));
  for (const auto& port : effect.outputs) out.append("out").append(ToUtf8(port.name));
  for (const auto& m : effect.colorModels)
    out.append("cm").append(std::to_string(m.model)).append("/").append(std::to_string(m.flags));
  return out;
}

}  // namespace

TEST_F(CatalogueSweepTest, EveryHostCallOfEveryRegistrationMayFail) {
  for (const Registration& r : kRegistrations) {
    SCOPED_TRACE(r.label);
    Instrumentation::Global().Reset();
    Instrumentation::Global().StartCounting();
    IVOKUnknown* def = nullptr;
    ASSERT_EQ(Register(r.index, &def), VOK_OK);
    def->Release();
    const std::uint64_t calls = Instrumentation::Global().CallCount();
    // The effect makes 33 parameters and dozens of panel entries; each is several calls.
    EXPECT_GE(calls, r.index == 0 ? 200u : 3u);
    for (std::uint64_t k = 1; k <= calls; ++k) {
      const VOKRESULT code = kCodes[k % std::size(kCodes)];
      SCOPED_TRACE("failing host call " + std::to_string(k) + " of " + std::to_string(calls));
      Instrumentation::Global().Reset();
      Instrumentation::Global().FailCall(k, code);
      def = kUntouched;
      ASSERT_EQ(Register(r.index, &def), code);
      EXPECT_EQ(def, nullptr);
      EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_OK) << "a plug-in object was left alive";
      EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore) << "a host object was left alive";
      EXPECT_EQ(HostRefs(), 1u) << "a reference to the host unknown was left behind";
    }
    // The call after the last one is never reached: the registration succeeds untouched.
    Instrumentation::Global().Reset();
    Instrumentation::Global().FailCall(calls + 1, kCodes[0]);
    def = nullptr;
    EXPECT_EQ(Register(r.index, &def), VOK_OK);
    if (def) def->Release();
  }
}

TEST_F(CatalogueSweepTest, TwoBuildsOfTheEffectAreIdentical) {
  auto build = [this] {
    IVOKUnknown* def = nullptr;
    EXPECT_EQ(Module().RegisterComponent(Host(), 0, &def), VOK_OK);
    VOKPtr<ComponentDefinition> kept;
    kept.Attach(dynamic_cast<ComponentDefinition*>(def));
    return kept;
  };
  const auto first = build();
  const auto second = build();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(Flatten(*first.Get()), Flatten(*second.Get()));
  // The font record in particular: the same 92 bytes each time.
  const Catalogue a(*first.Get()), b(*second.Get());
  const ParameterInfo* fontA = a.FindByName("PrivateData");
  const ParameterInfo* fontB = b.FindByName("PrivateData");
  ASSERT_TRUE(fontA && fontB && fontA->attributes.defaultValue && fontB->attributes.defaultValue);
  EXPECT_EQ(fontA->attributes.defaultValue->bytes.size(), 92u);
  EXPECT_EQ(fontA->attributes.defaultValue->bytes, fontB->attributes.defaultValue->bytes);
}

// A failed build leaves nothing that a later build could pick up: the next one is whole.
TEST_F(CatalogueSweepTest, ABuildAfterAFailedOneIsWhole) {
  IVOKUnknown* def = nullptr;
  ASSERT_EQ(Module().RegisterComponent(Host(), 0, &def), VOK_OK);
  VOKPtr<ComponentDefinition> reference;
  reference.Attach(dynamic_cast<ComponentDefinition*>(def));
  // Fail the default of "PrivateData", the last attribute of the build.
  Instrumentation::Global().FailOperation("ParameterDefinition.SetAttribute PrivateData", kCodes[0]);
  def = kUntouched;
  ASSERT_EQ(Module().RegisterComponent(Host(), 0, &def), kCodes[0]);
  EXPECT_EQ(def, nullptr);
  Instrumentation::Global().Reset();
  ASSERT_EQ(Module().RegisterComponent(Host(), 0, &def), VOK_OK);
  VOKPtr<ComponentDefinition> again;
  again.Attach(dynamic_cast<ComponentDefinition*>(def));
  EXPECT_EQ(Flatten(*reference.Get()), Flatten(*again.Get()));
}

// Registration keeps no shared state: builds racing on several threads give the same definition
// (the font record included) as one build alone.
TEST_F(CatalogueSweepTest, BuildsOnSeveralThreadsAreIdentical) {
  IVOKUnknown* def = nullptr;
  ASSERT_EQ(Module().RegisterComponent(Host(), 0, &def), VOK_OK);
  VOKPtr<ComponentDefinition> reference;
  reference.Attach(dynamic_cast<ComponentDefinition*>(def));
  const std::string expected = Flatten(*reference.Get());
  constexpr int kThreads = 4, kBuilds = 25;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int b = 0; b < kBuilds; ++b) {
        IVOKUnknown* made = nullptr;
        if (Module().RegisterComponent(Host(), 0, &made) != VOK_OK || made == nullptr) {
          ++mismatches[t];
          continue;
        }
        VOKPtr<ComponentDefinition> kept;
        kept.Attach(dynamic_cast<ComponentDefinition*>(made));
        if (!kept || Flatten(*kept.Get()) != expected) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}
