// The host unknown and its definition factory as a plug-in meets them, and the instrumentation
// switches every plug-in test relies on: the call log, failing the k-th call or a named one, a
// refused interface, the live host object count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loading/HostUnknown.h"
#include "loading/Instrumentation.h"

using namespace zel::host;

namespace {

constexpr VOKUID kStrangerUid = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);
void* const kUntouched = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A50));

class HostUnknownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_host = MakeHostObject<HostUnknown>();
    m_objectsBefore = Instrumentation::LiveHostObjects();
  }
  void TearDown() override {
    Instrumentation::Global().Reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_objectsBefore) << "host objects left alive";
  }
  IVOKUnknown* Host() { return m_host->Unknown(); }
  IZELDefinitionFactory* Factory() { return m_host.Get(); }

  VOKPtr<HostUnknown> m_host;
  std::int64_t m_objectsBefore = 0;
};

}  // namespace

TEST_F(HostUnknownTest, AnswersExactlyItsThreeInterfaces) {
  struct Case {
    const char* label;
    VOKUID iid;
    VOKRESULT expected;
  };
  const Case cases[] = {
      {"identity", IID_IVOKUnknown, VOK_OK},
      {"host definition", IID_IZELHostDefinition, VOK_OK},
      {"definition factory", IID_IZELDefinitionFactory, VOK_OK},
      {"console", IID_IZELConsole, VOK_OK},
      {"plug-in definition", IID_IZELPluginDefinition, VOK_E_NOINTERFACE},
      {"class factory", IID_IVOKClassFactory, VOK_E_NOINTERFACE},
      {"stranger", kStrangerUid, VOK_E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    void* out = kUntouched;
    EXPECT_EQ(Host()->QueryInterface(c.iid, &out), c.expected);
    if (c.expected == VOK_OK) {
      ASSERT_NE(out, nullptr);
      // Every face leads back to the one identity.
      VOKPtr<IVOKUnknown> identity;
      ASSERT_EQ(static_cast<IVOKUnknown*>(out)->QueryInterface(IID_IVOKUnknown, identity.PutVoid()), VOK_OK);
      EXPECT_EQ(identity.Get(), Host());
      static_cast<IVOKUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
  EXPECT_EQ(Host()->QueryInterface(IID_IVOKUnknown, nullptr), VOK_E_POINTER);
}

TEST_F(HostUnknownTest, RefusedInterfacesGetTheChosenCode) {
  Instrumentation::Global().RefuseInterface(IID_IZELHostDefinition, kHostCode);
  Instrumentation::Global().RefuseInterface(IID_IZELConsole);
  struct Case {
    VOKUID iid;
    VOKRESULT expected;
  };
  const Case cases[] = {{IID_IZELHostDefinition, kHostCode},
                        {IID_IZELConsole, VOK_E_NOINTERFACE},
                        {IID_IZELDefinitionFactory, VOK_OK}};
  for (const Case& c : cases) {
    void* out = kUntouched;
    EXPECT_EQ(Host()->QueryInterface(c.iid, &out), c.expected);
    if (c.expected == VOK_OK) {
      static_cast<IVOKUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
}

TEST_F(HostUnknownTest, DefinitionFactoryOutcomes) {
  struct Case {
    const char* label;
    VOKUID clsid;
    bool withOuter;
    VOKUID iid;
    VOKRESULT expected;
  };
  const Case cases[] = {
      {"plug-in definition", CLSID_ZELPluginDefinition, false, IID_IZELPluginDefinition, VOK_OK},
      {"component definition", CLSID_ZELComponentDefinition, false, IID_IZELComponentDefinition, VOK_OK},
      {"effect definition", CLSID_ZELEffectDefinition, false, IID_IZELEffectDefinition, VOK_OK},
      {"effect definition as a component", CLSID_ZELEffectDefinition, false, IID_IZELComponentDefinition, VOK_OK},
      {"parameter definition", CLSID_ZELParameterDefinition, false, IID_IZELParameterDefinition, VOK_OK},
      {"layout definition", CLSID_ZELLayoutDefinition, false, IID_IZELLayoutDefinition, VOK_OK},
      {"as identity", CLSID_ZELComponentDefinition, false, IID_IVOKUnknown, VOK_OK},
      {"a plain component is not an effect", CLSID_ZELComponentDefinition, false, IID_IZELEffectDefinition,
       VOK_E_NOINTERFACE},
      {"plug-in definition as a layout", CLSID_ZELPluginDefinition, false, IID_IZELLayoutDefinition,
       VOK_E_NOINTERFACE},
      {"unknown class", kStrangerUid, false, IID_IVOKUnknown, VOK_CLASS_E_CLASSNOTAVAILABLE},
      {"aggregation", CLSID_ZELComponentDefinition, true, IID_IVOKUnknown, VOK_CLASS_E_NOAGGREGATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    void* out = kUntouched;
    EXPECT_EQ(Factory()->CreateInstance(c.clsid, c.withOuter ? Host() : nullptr, c.iid, &out), c.expected);
    if (c.expected == VOK_OK) {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(Instrumentation::LiveHostObjects(), m_objectsBefore + 1);
      EXPECT_EQ(static_cast<IVOKUnknown*>(out)->Release(), 0u) << "the caller held the only reference";
    } else {
      EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_objectsBefore) << "a refused definition is not kept";
  }
  EXPECT_EQ(Factory()->CreateInstance(CLSID_ZELPluginDefinition, nullptr, IID_IZELPluginDefinition, nullptr),
            VOK_E_POINTER);
}

// An injected failure must look to the plug-in exactly like a real one: the out-pointer nulled.
TEST_F(HostUnknownTest, InjectedFailuresNullTheOutPointerLikeRealOnes) {
  struct Case {
    const char* label;
    const char* operation;
    VOKRESULT (*call)(HostUnknown& host, void** out);
  };
  const Case cases[] = {
      {"query", "QueryInterface",
       [](HostUnknown& h, void** out) { return h.Unknown()->QueryInterface(IID_IZELDefinitionFactory, out); }},
      {"query of a definition", "QueryInterface",
       [](HostUnknown& h, void** out) {
         VOKPtr<IVOKUnknown> def;
         EXPECT_EQ(static_cast<IZELDefinitionFactory&>(h).CreateInstance(CLSID_ZELPluginDefinition, nullptr,
                                                                         IID_IVOKUnknown, def.PutVoid()),
                   VOK_OK);
         return def->QueryInterface(IID_IZELPluginDefinition, out);
       }},
      {"definition factory", "DefinitionFactory.CreateInstance",
       [](HostUnknown& h, void** out) {
         return static_cast<IZELDefinitionFactory&>(h).CreateInstance(CLSID_ZELPluginDefinition, nullptr,
                                                                      IID_IZELPluginDefinition, out);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Instrumentation::Global().Reset();
    Instrumentation::Global().FailOperation(c.operation, kHostCode);
    void* out = kUntouched;
    EXPECT_EQ(c.call(*m_host.Get(), &out), kHostCode);
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(HostUnknownTest, TheLogRecordsEachCallInOrder) {
  Instrumentation::Global().StartLog();
  VOKPtr<IZELConsole> console;
  ASSERT_EQ(Host()->QueryInterface(IID_IZELConsole, console.PutVoid()), VOK_OK);
  EXPECT_EQ(console->Print(u"h\u00e9llo \U0001F600"), VOK_OK);
  std::uint32_t major = 0, minor = 0;
  VOKPtr<IZELHostDefinition> hostDef;
  ASSERT_EQ(Host()->QueryInterface(IID_IZELHostDefinition, hostDef.PutVoid()), VOK_OK);
  EXPECT_EQ(hostDef->GetHostVersion(&major, &minor), VOK_OK);
  const std::vector<std::string> expected = {"QueryInterface HostUnknown", "Console.Print",
                                             "QueryInterface HostUnknown", "HostDefinition.GetHostVersion"};
  EXPECT_EQ(Instrumentation::Global().TakeLog(), expected);
  EXPECT_EQ(m_host->ConsoleLines(), std::vector<std::string>{"h\xC3\xA9llo \xF0\x9F\x98\x80"});
  // Not logging any more.
  EXPECT_EQ(console->Print(u"x"), VOK_OK);
  EXPECT_TRUE(Instrumentation::Global().TakeLog().empty());
}

TEST_F(HostUnknownTest, FaultsStrikeExactlyTheChosenCall) {
  struct Case {
    const char* label;
    void (*arm)();
    std::vector<VOKRESULT> results;  ///< of four Print calls in a row
  };
  const Case cases[] = {
      {"the second counted call", [] { Instrumentation::Global().FailCall(2, kHostCode); },
       {VOK_OK, kHostCode, VOK_OK, VOK_OK}},
      {"the first call of a named operation", [] { Instrumentation::Global().FailOperation("Console.Print", VOK_E_FAIL); },
       {VOK_E_FAIL, VOK_OK, VOK_OK, VOK_OK}},
      {"the third call of a named operation",
       [] { Instrumentation::Global().FailOperation("Console.Print", VOK_E_FAIL, 3); },
       {VOK_OK, VOK_OK, VOK_E_FAIL, VOK_OK}},
      {"an operation never called", [] { Instrumentation::Global().FailOperation("Console.Nothing", VOK_E_FAIL); },
       {VOK_OK, VOK_OK, VOK_OK, VOK_OK}},
  };
  VOKPtr<IZELConsole> console;
  ASSERT_EQ(Host()->QueryInterface(IID_IZELConsole, console.PutVoid()), VOK_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Instrumentation::Global().Reset();
    c.arm();
    std::vector<VOKRESULT> results;
    for (int i = 0; i < 4; ++i) results.push_back(console->Print(u"line"));
    EXPECT_EQ(results, c.results);
  }
}

TEST_F(HostUnknownTest, CountingCountsAndResetSwitchesEverythingOff) {
  Instrumentation::Global().StartCounting();
  VOKPtr<IZELConsole> console;
  ASSERT_EQ(Host()->QueryInterface(IID_IZELConsole, console.PutVoid()), VOK_OK);
  console->Print(u"a");
  console->Print(u"b");
  EXPECT_EQ(Instrumentation::Global().CallCount(), 3u);
  Instrumentation::Global().FailCall(1, kHostCode);
  Instrumentation::Global().RefuseInterface(IID_IZELConsole);
  Instrumentation::Global().Reset();
  EXPECT_FALSE(Instrumentation::Global().Active());
  EXPECT_EQ(console->Print(u"c"), VOK_OK);
  VOKPtr<IZELConsole> again;
  EXPECT_EQ(Host()->QueryInterface(IID_IZELConsole, again.PutVoid()), VOK_OK);
}
