// The module's four exports and its component framework, driven through the real host: the built
// ZEL2Clock.zel is loaded with dlopen exactly as zelhost loads it, and nothing of the plug-in's code
// is linked in. Only the plug-in's UID constants are shared, to name the classes asked for.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loading/Instrumentation.h"
#include "definition/PluginIds.h"
#include "loading/PluginModule.h"
#include "ZELPluginInterfaces.h"

using namespace zel::host;
namespace ids = zel2clock;

/// Makes the next non-throwing allocation anywhere in the process fail, the module's included: the
/// module's references to the allocation functions resolve to the replacement below.
static std::atomic<bool> gFailNextNothrowNew{false};

// The replaceable non-throwing allocation, with a switch to make the next one fail.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gFailNextNothrowNew.exchange(false)) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

/// The module, loaded once for the whole run as a host keeps it.
PluginModule& Module() {
  static PluginModule module(ZEL_TEST_PLUGIN);
  return module;
}

/// A pointer value no call may leave behind, to tell "untouched" from "nulled".
void* const kUntouched = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A50));
IVOKUnknown* const kUntouchedUnknown = static_cast<IVOKUnknown*>(kUntouched);

constexpr VOKUID kStrangerUid = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);  // a host's own failure code

/// A UID equal to `uid` but for one byte, so that a match must compare all sixteen.
VOKUID OneByteOff(VOKUID uid, int byte) {
  auto* bytes = reinterpret_cast<unsigned char*>(&uid);
  bytes[byte] ^= 0x01;
  return uid;
}

/// One component as the module must present it.
struct ComponentIdentity {
  std::uint32_t index;
  const char16_t* name;
  VOKUID componentUid, kind, classUid, iid;
  bool keepsHost;  ///< holds a reference to the host unknown while it lives
};

const ComponentIdentity kComponents[] = {
    {0, u"ZEL2Clock", ids::kComponentEffect, ZELKind_Effect, ids::kClassEffect, IID_IZELEffect, true},
    {1, u"Digital Clock: Select Font", ids::kComponentModalUI, ZELKind_ModalUI, ids::kClassModalUI, IID_IZELModalUI,
     true},
    {2, u"ZEL2Clock UpdateParams", ids::kComponentUpdateParams, ZELKind_UpdateParams, ids::kClassUpdateParams,
     IID_IZELUpdateParams, false},
    {3, u"ZEL2Clock Overlay", ids::kComponentOverlay, ZELKind_Overlay, ids::kClassOverlay, IID_IZELGraphicOverlay,
     true},
};

/// A host unknown that records every call made on it and answers nothing, for the paths that must
/// not touch the host at all.
class UntouchableHost final : public IVOKUnknown {
 public:
  VOKRESULT QueryInterface(const VOKUID&, void** ppv) override {
    ++calls;
    if (ppv != nullptr) *ppv = nullptr;
    return VOK_E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++calls); }
  std::uint32_t Release() override { return static_cast<std::uint32_t>(++calls); }
  int calls = 0;
};

/// A host whose every query throws a C++ exception: what a foreign exception reaching the module's
/// boundary looks like.
class ThrowingHost final : public IVOKUnknown {
 public:
  VOKRESULT QueryInterface(const VOKUID&, void**) override { throw std::runtime_error("host failure"); }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
};

/// What the throwing host objects below raise from every call.
enum class Raise { Foreign, OutOfMemory };
[[noreturn]] void RaiseNow(Raise what) {
  if (what == Raise::OutOfMemory) throw std::bad_alloc();
  throw std::runtime_error("host failure");
}

/// Host objects whose every call raises a C++ exception (a host bug, or an allocation that failed
/// inside the host), for the boundary of each operation the host calls. Their reference counts
/// work, so that a plug-in may keep them.
template <class Interface>
class Raising : public Interface {
 public:
  explicit Raising(Raise what) : m_what(what) {}
  VOKRESULT QueryInterface(const VOKUID&, void**) override { RaiseNow(m_what); }
  std::uint32_t AddRef() override { return ++m_refs; }
  std::uint32_t Release() override { return --m_refs; }
  std::uint32_t m_refs = 1;

 protected:
  Raise m_what;
};

class RaisingOutput final : public Raising<IZELOutput> {
 public:
  using Raising::Raising;
  VOKRESULT GetImage(std::uint32_t, IZELImage**) override { RaiseNow(m_what); }
};
class RaisingFrameContext final : public Raising<IZELFrameContext> {
 public:
  using Raising::Raising;
  std::int32_t GetFrameID() override { RaiseNow(m_what); }
  std::int64_t GetFrameIndex() override { RaiseNow(m_what); }
};
class RaisingRenderContext final : public Raising<IZELRenderContext> {
 public:
  using Raising::Raising;
  double GetTime() override { RaiseNow(m_what); }
  std::int32_t GetRenderedField() override { RaiseNow(m_what); }
};
class RaisingEffectContext final : public Raising<IZELEffectContext> {
 public:
  using Raising::Raising;
  VOKRESULT GetHostUnknown(IVOKUnknown**) override { RaiseNow(m_what); }
  VOKRESULT GetInputLayer(std::uint32_t, IZELInputLayer**) override { RaiseNow(m_what); }
  std::uint32_t GetInputCount() override { RaiseNow(m_what); }
  double GetFrameRate() override { RaiseNow(m_what); }
  void GetFrameSize(std::uint32_t*, std::uint32_t*) override { RaiseNow(m_what); }
  double GetFrameAspectRatio() override { RaiseNow(m_what); }
  double GetPixelAspectRatio() override { RaiseNow(m_what); }
  double GetDuration() override { RaiseNow(m_what); }
  std::int32_t GetFieldLayout() override { RaiseNow(m_what); }
  std::int32_t GetColorModel() override { RaiseNow(m_what); }
  std::uint32_t GetParameterCount() override { RaiseNow(m_what); }
  VOKRESULT GetParameterByIndex(std::uint32_t, const VOKUID&, void**) override { RaiseNow(m_what); }
  VOKRESULT GetParameterUID(std::uint32_t, VOKUID*) override { RaiseNow(m_what); }
  std::int32_t IsFinalRender() override { RaiseNow(m_what); }
  VOKRESULT GetEffectUID(VOKUID*) override { RaiseNow(m_what); }
  VOKRESULT GetParameter(const VOKUID&, const VOKUID&, void**) override { RaiseNow(m_what); }
};
class RaisingOverlayContext final : public Raising<IZELOverlayContext> {
 public:
  using Raising::Raising;
  VOKRESULT GetEffectContext(IZELEffectContext**) override { RaiseNow(m_what); }
  VOKRESULT GetFrameContext(IZELFrameContext**) override { RaiseNow(m_what); }
  VOKRESULT GetRenderContext(IZELRenderContext**) override { RaiseNow(m_what); }
  void GetViewerSize(std::int32_t*, std::int32_t*) override { RaiseNow(m_what); }
  double GetZoom() override { RaiseNow(m_what); }
  ZELHDC GetDC() override { RaiseNow(m_what); }
  void Invalidate() override { RaiseNow(m_what); }
  std::int32_t GetModifiers() override { RaiseNow(m_what); }
  std::uint16_t GetToleranceScale() override { RaiseNow(m_what); }
  void SetCursor(std::int32_t) override { RaiseNow(m_what); }
  std::int32_t IsPointerInside() override { RaiseNow(m_what); }
  void GetPointer(double*, double*) override { RaiseNow(m_what); }
  std::int32_t GetOverlayMode() override { RaiseNow(m_what); }
  void SetOverlayMode(std::int32_t) override { RaiseNow(m_what); }
  void GetFrameOrigin(std::int16_t*, std::int16_t*) override { RaiseNow(m_what); }
  void MapFromViewer(std::int16_t, std::int16_t, double*, double*) override { RaiseNow(m_what); }
  void MapToViewer(double, double, std::int16_t*, std::int16_t*) override { RaiseNow(m_what); }
};
class RaisingLayoutSource final : public Raising<IZELLayoutSource> {
 public:
  using Raising::Raising;
  VOKRESULT GetLayoutEntry(const VOKUID&, IZELLayoutEntry**) override { RaiseNow(m_what); }
};
/// Every test starts from a clean module (nothing alive), a fresh host unknown and instrumentation
/// switched off, and must leave the module unloadable and no host object behind.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_host = MakeHostObject<HostUnknown>();
    m_hostObjectsBefore = Instrumentation::LiveHostObjects();
    ASSERT_EQ(Module().CanUnloadNow(Host()), VOK_OK) << "an earlier test left objects alive";
  }
  void TearDown() override {
    Instrumentation::Global().Reset();
    EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_OK) << "objects left alive";
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore) << "host objects left alive";
    EXPECT_EQ(HostRefs(), 1u) << "references to the host unknown left behind";
  }

  IVOKUnknown* Host() { return m_host->Unknown(); }
  std::uint32_t HostRefs() {
    Host()->AddRef();
    return Host()->Release();
  }

  /// The definition the module registers for `index`, as the host's own object.
  VOKPtr<ComponentDefinition> Register(std::uint32_t index) {
    IVOKUnknown* def = nullptr;
    EXPECT_EQ(Module().RegisterComponent(Host(), index, &def), VOK_OK);
    VOKPtr<ComponentDefinition> kept;
    kept.Attach(dynamic_cast<ComponentDefinition*>(def));
    return kept;
  }
  VOKPtr<IVOKClassFactory> Factory(const VOKUID& classUid) {
    VOKPtr<IVOKClassFactory> factory;
    EXPECT_EQ(Module().GetClassFactory(Host(), classUid, IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
    return factory;
  }

  VOKPtr<HostUnknown> m_host;
  std::int64_t m_hostObjectsBefore = 0;
};

std::string Utf8(const std::u16string& text) { return std::string(text.begin(), text.end()); }

}  // namespace

// --- arguments the exports refuse before doing anything ------------------------------------------

TEST_F(FrameworkTest, NullArgumentsAndBadIndicesTouchNothing) {
  struct Case {
    const char* label;
    VOKRESULT (*call)(IVOKUnknown* host, void** out);  ///< `out` is null or the test's slot
    bool withHost, withOut;
    VOKRESULT expected;
  };
  const Case cases[] = {
      {"register plug-in, null host",
       [](IVOKUnknown* h, void** o) { return Module().RegisterPlugin(h, reinterpret_cast<IVOKUnknown**>(o)); }, false,
       true, VOK_E_POINTER},
      {"register plug-in, null out-pointer",
       [](IVOKUnknown* h, void** o) { return Module().RegisterPlugin(h, reinterpret_cast<IVOKUnknown**>(o)); }, true,
       false, VOK_E_POINTER},
      {"register component 1, null host",
       [](IVOKUnknown* h, void** o) { return Module().RegisterComponent(h, 1, reinterpret_cast<IVOKUnknown**>(o)); },
       false, true, VOK_E_POINTER},
      {"register component 1, null out-pointer",
       [](IVOKUnknown* h, void** o) { return Module().RegisterComponent(h, 1, reinterpret_cast<IVOKUnknown**>(o)); },
       true, false, VOK_E_POINTER},
      {"register component 7, null out-pointer: the null check comes first",
       [](IVOKUnknown* h, void** o) { return Module().RegisterComponent(h, 7, reinterpret_cast<IVOKUnknown**>(o)); },
       true, false, VOK_E_POINTER},
      {"register component 0xFFFFFFFF, null host: the null check comes first",
       [](IVOKUnknown* h, void** o) {
         return Module().RegisterComponent(h, 0xFFFFFFFFu, reinterpret_cast<IVOKUnknown**>(o));
       },
       false, true, VOK_E_POINTER},
      {"register component 4",
       [](IVOKUnknown* h, void** o) { return Module().RegisterComponent(h, 4, reinterpret_cast<IVOKUnknown**>(o)); },
       true, true, VOK_E_BADINDEX},
      {"register component 5",
       [](IVOKUnknown* h, void** o) { return Module().RegisterComponent(h, 5, reinterpret_cast<IVOKUnknown**>(o)); },
       true, true, VOK_E_BADINDEX},
      {"register component 0x80000000",
       [](IVOKUnknown* h, void** o) {
         return Module().RegisterComponent(h, 0x80000000u, reinterpret_cast<IVOKUnknown**>(o));
       },
       true, true, VOK_E_BADINDEX},
      {"register component 0xFFFFFFFF",
       [](IVOKUnknown* h, void** o) {
         return Module().RegisterComponent(h, 0xFFFFFFFFu, reinterpret_cast<IVOKUnknown**>(o));
       },
       true, true, VOK_E_BADINDEX},
      {"class factory, null host",
       [](IVOKUnknown* h, void** o) { return Module().GetClassFactory(h, ids::kClassEffect, IID_IVOKClassFactory, o); },
       false, true, VOK_E_INVALIDARG},
      {"class factory, null out-pointer",
       [](IVOKUnknown* h, void** o) { return Module().GetClassFactory(h, ids::kClassEffect, IID_IVOKClassFactory, o); },
       true, false, VOK_E_INVALIDARG},
      {"class factory of an unknown class, null host",
       [](IVOKUnknown* h, void** o) { return Module().GetClassFactory(h, kStrangerUid, IID_IVOKClassFactory, o); },
       false, true, VOK_E_INVALIDARG},
      {"unload check, null host", [](IVOKUnknown* h, void**) { return Module().CanUnloadNow(h); }, false, false,
       VOK_E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    // Through the real host: its call log stays empty.
    Instrumentation::Global().StartLog();
    void* out = kUntouched;
    EXPECT_EQ(c.call(c.withHost ? Host() : nullptr, c.withOut ? &out : nullptr), c.expected);
    EXPECT_EQ(Instrumentation::Global().TakeLog(), std::vector<std::string>{});
    EXPECT_EQ(out, kUntouched);
    // And through a host that notices any call at all, AddRef and Release included.
    UntouchableHost untouchable;
    out = kUntouched;
    EXPECT_EQ(c.call(c.withHost ? &untouchable : nullptr, c.withOut ? &out : nullptr), c.expected);
    EXPECT_EQ(untouchable.calls, 0);
    EXPECT_EQ(out, kUntouched);
  }
}

TEST_F(FrameworkTest, UnknownClassesLeaveTheOutPointerAsItWas) {
  struct Case {
    const char* label;
    VOKUID clsid;
  };
  const Case cases[] = {
      {"a stranger", kStrangerUid},
      {"all zero", VOKUID{}},
      {"the base interface's UID", IID_IVOKUnknown},
      {"a component UID, not a class UID", ids::kComponentEffect},
      {"the effect's class, first byte off", OneByteOff(ids::kClassEffect, 0)},
      {"the overlay's class, last byte off", OneByteOff(ids::kClassOverlay, 15)},
      {"the update handler's class, a middle byte off", OneByteOff(ids::kClassUpdateParams, 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (const VOKUID& iid : {IID_IVOKClassFactory, IID_IVOKUnknown, kStrangerUid}) {
      void* out = kUntouched;
      EXPECT_EQ(Module().GetClassFactory(Host(), c.clsid, iid, &out), VOK_CLASS_E_CLASSNOTAVAILABLE);
      EXPECT_EQ(out, kUntouched);
    }
  }
}

TEST_F(FrameworkTest, InterfacesAFactoryDoesNotOfferLeaveNothingAlive) {
  const VOKUID refused[] = {IID_IZELEffect, IID_IZELModalUI, IID_IZELUpdateParams, IID_IZELGraphicOverlay,
                            IID_IZELHostDefinition, kStrangerUid};
  for (const ComponentIdentity& c : kComponents) {
    for (const VOKUID& iid : refused) {
      SCOPED_TRACE(Utf8(c.name));
      void* out = kUntouched;
      EXPECT_EQ(Module().GetClassFactory(Host(), c.classUid, iid, &out), VOK_E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_OK) << "the temporary factory is gone again";
    }
  }
}

// --- the unload check --------------------------------------------------------------------------

TEST_F(FrameworkTest, UnloadIsRefusedWhileAFactoryOrAnObjectLives) {
  for (const ComponentIdentity& c : kComponents) {
    SCOPED_TRACE(Utf8(c.name));
    struct Step {
      const char* label;
      bool holdFactory, holdObject;
      VOKRESULT expected;
    };
    const Step steps[] = {
        {"factory held", true, false, VOK_E_FAIL},
        {"factory and object held", true, true, VOK_E_FAIL},
        {"object held after the factory went", false, true, VOK_E_FAIL},
        {"everything released", false, false, VOK_OK},
    };
    VOKPtr<IVOKClassFactory> factory = Factory(c.classUid);
    VOKPtr<IVOKUnknown> object;
    for (const Step& s : steps) {
      SCOPED_TRACE(s.label);
      if (s.holdObject && !object) {
        ASSERT_EQ(factory->CreateInstance(Host(), nullptr, c.iid, object.PutVoid()), VOK_OK);
      }
      if (!s.holdFactory) factory.Reset();
      if (!s.holdObject) object.Reset();
      EXPECT_EQ(Module().CanUnloadNow(Host()), s.expected);
    }
  }
}

// A factory asked for as the base interface keeps the module loaded just the same.
TEST_F(FrameworkTest, AFactoryHeldAsItsIdentityAlsoKeepsTheModule) {
  VOKPtr<IVOKUnknown> unknown;
  ASSERT_EQ(Module().GetClassFactory(Host(), ids::kClassUpdateParams, IID_IVOKUnknown, unknown.PutVoid()), VOK_OK);
  EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_E_FAIL);
  VOKPtr<IVOKClassFactory> factory;
  ASSERT_EQ(unknown->QueryInterface(IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
  unknown.Reset();
  EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_E_FAIL);
  factory.Reset();
  EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_OK);
}

// --- failures of the host during registration ------------------------------------------------------

TEST_F(FrameworkTest, AHostRefusingTheHostDefinitionStopsPluginRegistration) {
  for (const VOKRESULT code : {VOK_E_NOINTERFACE, kHostCode}) {
    SCOPED_TRACE(ResultText(code));
    Instrumentation::Global().Reset();
    Instrumentation::Global().RefuseInterface(IID_IZELHostDefinition, code);
    IVOKUnknown* def = kUntouchedUnknown;
    EXPECT_EQ(Module().RegisterPlugin(Host(), &def), code);
    EXPECT_EQ(def, nullptr);
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
  }
}

TEST_F(FrameworkTest, AHostWithoutDefinitionFactoryStopsEveryRegistration) {
  Instrumentation::Global().RefuseInterface(IID_IZELDefinitionFactory, kHostCode);
  IVOKUnknown* def = kUntouchedUnknown;
  EXPECT_EQ(Module().RegisterPlugin(Host(), &def), kHostCode);
  EXPECT_EQ(def, nullptr);
  for (std::uint32_t index = 0; index < 4; ++index) {
    SCOPED_TRACE(index);
    def = kUntouchedUnknown;
    EXPECT_EQ(Module().RegisterComponent(Host(), index, &def), kHostCode);
    EXPECT_EQ(def, nullptr);
  }
  EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
}

// A code raised deep inside a registration comes out of the export unchanged, with the out-pointer
// null and every definition made on the way released again.
TEST_F(FrameworkTest, ACodeRaisedDeepInsideRegistrationComesOutUnchanged) {
  struct Case {
    const char* label;
    int index;  ///< -1: the plug-in; else the component index
    const char* operation;
    std::uint32_t nth;
    VOKRESULT code;
  };
  const Case cases[] = {
      {"plug-in: making the definition", -1, "DefinitionFactory.CreateInstance", 1, VOK_E_OUTOFMEMORY},
      {"plug-in: its identity", -1, "PluginDefinition.InitPlugin", 1, kHostCode},
      {"plug-in: its description", -1, "PluginDefinition.SetAttribute", 1, VOK_E_NOINTERFACE},
      {"font chooser: its identity", 1, "ComponentDefinition.InitComponent", 1, VOK_E_NOINTERFACE},
      {"update handler: making the definition", 2, "DefinitionFactory.CreateInstance", 1, kHostCode},
      {"overlay: first text", 3, "ComponentDefinition.SetAttribute", 1, VOK_E_INVALIDARG},
      {"overlay: second text", 3, "ComponentDefinition.SetAttribute", 2, VOK_E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Instrumentation::Global().Reset();
    Instrumentation::Global().FailOperation(c.operation, c.code, c.nth);
    IVOKUnknown* def = kUntouchedUnknown;
    const VOKRESULT result = c.index < 0 ? Module().RegisterPlugin(Host(), &def)
                                         : Module().RegisterComponent(Host(), static_cast<std::uint32_t>(c.index), &def);
    EXPECT_EQ(result, c.code);
    EXPECT_EQ(def, nullptr);
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
    EXPECT_EQ(HostRefs(), 1u);
  }
}

// Every host call a registration makes may fail: whichever it is, its code comes out, the
// out-pointer is null and nothing survives.
TEST_F(FrameworkTest, EveryHostCallOfARegistrationMayFail) {
  struct Case {
    const char* label;
    int index;
  };
  const Case cases[] = {{"plug-in", -1}, {"font chooser", 1}, {"update handler", 2}, {"overlay", 3}};
  auto registerIt = [this](int index, IVOKUnknown** def) {
    return index < 0 ? Module().RegisterPlugin(Host(), def)
                     : Module().RegisterComponent(Host(), static_cast<std::uint32_t>(index), def);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Instrumentation::Global().Reset();
    Instrumentation::Global().StartCounting();
    IVOKUnknown* def = nullptr;
    ASSERT_EQ(registerIt(c.index, &def), VOK_OK);
    def->Release();
    const std::uint64_t calls = Instrumentation::Global().CallCount();
    EXPECT_GE(calls, 3u);
    for (std::uint64_t k = 1; k <= calls; ++k) {
      SCOPED_TRACE("failing host call " + std::to_string(k));
      Instrumentation::Global().Reset();
      Instrumentation::Global().FailCall(k, kHostCode);
      def = kUntouchedUnknown;
      EXPECT_EQ(registerIt(c.index, &def), kHostCode);
      EXPECT_EQ(def, nullptr);
      EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
    }
  }
}

TEST_F(FrameworkTest, AForeignExceptionFromTheHostComesOutAsUnexpected) {
  ThrowingHost host;
  struct Case {
    const char* label;
    VOKRESULT (*call)(IVOKUnknown* host, IVOKUnknown** out);
  };
  const Case cases[] = {
      {"register plug-in", [](IVOKUnknown* h, IVOKUnknown** o) { return Module().RegisterPlugin(h, o); }},
      {"register component 0", [](IVOKUnknown* h, IVOKUnknown** o) { return Module().RegisterComponent(h, 0, o); }},
      {"register component 3", [](IVOKUnknown* h, IVOKUnknown** o) { return Module().RegisterComponent(h, 3, o); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    IVOKUnknown* def = kUntouchedUnknown;
    EXPECT_EQ(c.call(&host, &def), VOK_E_UNEXPECTED);
    EXPECT_EQ(def, nullptr);
  }
}

// --- what the module registers ---------------------------------------------------------------------

TEST_F(FrameworkTest, ThePluginIdentity) {
  IVOKUnknown* raw = nullptr;
  ASSERT_EQ(Module().RegisterPlugin(Host(), &raw), VOK_OK);
  VOKPtr<PluginDefinition> def;
  def.Attach(dynamic_cast<PluginDefinition*>(raw));
  ASSERT_TRUE(def) << "not the definition the host's factory made";
  EXPECT_TRUE(def->initialised);
  EXPECT_EQ(def->uid, ids::kPluginUid);
  EXPECT_EQ(def->versionMajor, 1u);
  EXPECT_EQ(def->versionMinor, 0u);
  EXPECT_EQ(def->fileName, u"ZEL2Clock.zel");
  EXPECT_EQ(def->vendorUid, ids::kVendorUid);
  EXPECT_EQ(def->vendorName, u"Vorbek");
  EXPECT_EQ(def->apiMajor, 4u);
  EXPECT_EQ(def->apiMinor, 1u);
  ASSERT_EQ(def->attributes.All().size(), 1u);
  const Attribute& description = def->attributes.All()[0];
  EXPECT_EQ(description.id, ZELAttr_Description);
  EXPECT_EQ(description.type, VOKTypeID_String);
  EXPECT_TRUE(description.isText);
  EXPECT_EQ(description.text, u"ZEL 2 plugin Clock");
}

TEST_F(FrameworkTest, DefinitionsOfTheCompanionComponents) {
  for (const ComponentIdentity& c : kComponents) {
    if (c.index == 0) continue;  // the effect's definition carries the whole catalogue; tested apart
    SCOPED_TRACE(Utf8(c.name));
    VOKPtr<ComponentDefinition> def = Register(c.index);
    ASSERT_TRUE(def);
    EXPECT_FALSE(def->isEffect) << "made as a plain component definition";
    EXPECT_TRUE(def->initialised);
    EXPECT_EQ(def->uid, c.componentUid);
    EXPECT_EQ(def->kind, c.kind);
    EXPECT_EQ(def->versionMajor, 1u);
    EXPECT_EQ(def->versionMinor, 0u);
    EXPECT_EQ(def->classUid, c.classUid);
    EXPECT_EQ(def->name, c.name);
    if (c.index != 3) {
      EXPECT_TRUE(def->attributes.All().empty());
    }
  }
}

TEST_F(FrameworkTest, TheOverlayCarriesItsTwoTexts) {
  VOKPtr<ComponentDefinition> def = Register(3);
  ASSERT_TRUE(def);
  struct Expected {
    VOKUID id;
    const char16_t* text;
  };
  const Expected expected[] = {{ZELAttr_OverlaySizeText, u"Size of Clock"}, {ZELAttr_OverlayDragText, u"Drag Clock"}};
  const std::vector<Attribute>& all = def->attributes.All();
  ASSERT_EQ(all.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i].id, expected[i].id);
    EXPECT_EQ(all[i].type, VOKTypeID_String);
    EXPECT_TRUE(all[i].isText);
    EXPECT_EQ(all[i].text, expected[i].text);
  }
}

// The exact host calls of each registration: the factory is asked for on every index before
// anything else, and the host-definition interface is asked for only by the plug-in's.
TEST_F(FrameworkTest, TheHostCallsOfEachRegistration) {
  struct Case {
    const char* label;
    int index;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"plug-in", -1,
       {"QueryInterface HostUnknown", "QueryInterface HostUnknown", "DefinitionFactory.CreateInstance",
        "PluginDefinition.InitPlugin", "PluginDefinition.SetAttribute"}},
      {"font chooser", 1,
       {"QueryInterface HostUnknown", "DefinitionFactory.CreateInstance", "ComponentDefinition.InitComponent"}},
      {"update handler", 2,
       {"QueryInterface HostUnknown", "DefinitionFactory.CreateInstance", "ComponentDefinition.InitComponent"}},
      {"overlay", 3,
       {"QueryInterface HostUnknown", "DefinitionFactory.CreateInstance", "ComponentDefinition.InitComponent",
        "ComponentDefinition.SetAttribute", "ComponentDefinition.SetAttribute"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Instrumentation::Global().StartLog();
    IVOKUnknown* def = nullptr;
    const VOKRESULT result = c.index < 0 ? Module().RegisterPlugin(Host(), &def)
                                         : Module().RegisterComponent(Host(), static_cast<std::uint32_t>(c.index), &def);
    EXPECT_EQ(Instrumentation::Global().TakeLog(), c.calls);
    ASSERT_EQ(result, VOK_OK);
    def->Release();
  }
}

TEST_F(FrameworkTest, RegisteringTwiceGivesTwoIndependentEqualDefinitions) {
  for (std::uint32_t index = 1; index < 4; ++index) {
    SCOPED_TRACE(index);
    VOKPtr<ComponentDefinition> first = Register(index);
    VOKPtr<ComponentDefinition> second = Register(index);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(first->uid, second->uid);
    EXPECT_EQ(first->kind, second->kind);
    EXPECT_EQ(first->classUid, second->classUid);
    EXPECT_EQ(first->name, second->name);
    ASSERT_EQ(first->attributes.All().size(), second->attributes.All().size());
    for (std::size_t i = 0; i < first->attributes.All().size(); ++i)
      EXPECT_EQ(first->attributes.All()[i].text, second->attributes.All()[i].text);
    // The module keeps nothing: the host's references are the only ones.
    first.Reset();
    second.Reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_hostObjectsBefore);
  }
}

// --- the four component objects --------------------------------------------------------------------

TEST_F(FrameworkTest, EachClassCreatesItsComponentWithOneIdentity) {
  for (const ComponentIdentity& c : kComponents) {
    SCOPED_TRACE(Utf8(c.name));
    VOKPtr<IVOKClassFactory> factory = Factory(c.classUid);
    ASSERT_TRUE(factory);
    const std::uint32_t hostRefsBefore = HostRefs();
    VOKPtr<IVOKUnknown> face;
    ASSERT_EQ(factory->CreateInstance(Host(), nullptr, c.iid, face.PutVoid()), VOK_OK);
    EXPECT_EQ(HostRefs(), hostRefsBefore + (c.keepsHost ? 1 : 0)) << "the host reference the object keeps";

    // Its own interface again: the same pointer, and the count back where it was afterwards.
    VOKPtr<IVOKUnknown> again;
    ASSERT_EQ(face->QueryInterface(c.iid, again.PutVoid()), VOK_OK);
    EXPECT_EQ(again.Get(), face.Get());
    again.Reset();
    face->AddRef();
    EXPECT_EQ(face->Release(), 1u) << "only the host's reference is left";

    // The identity, asked twice: once through the own interface, once through what came back.
    VOKPtr<IVOKUnknown> identity, identityAgain, ownFromIdentity;
    ASSERT_EQ(face->QueryInterface(IID_IVOKUnknown, identity.PutVoid()), VOK_OK);
    ASSERT_EQ(identity->QueryInterface(IID_IVOKUnknown, identityAgain.PutVoid()), VOK_OK);
    EXPECT_EQ(identity.Get(), identityAgain.Get());
    EXPECT_NE(static_cast<void*>(identity.Get()), static_cast<void*>(face.Get()));
    ASSERT_EQ(identity->QueryInterface(c.iid, ownFromIdentity.PutVoid()), VOK_OK);
    EXPECT_EQ(ownFromIdentity.Get(), face.Get());

    // Exactly two interfaces: none of the other components' and no factory.
    for (const ComponentIdentity& other : kComponents) {
      if (other.index == c.index) continue;
      void* out = kUntouched;
      EXPECT_EQ(face->QueryInterface(other.iid, &out), VOK_E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
    void* out = kUntouched;
    EXPECT_EQ(face->QueryInterface(IID_IVOKClassFactory, &out), VOK_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(identity->QueryInterface(kStrangerUid, &out), VOK_E_NOINTERFACE);
  }
}

TEST_F(FrameworkTest, CreateInstanceRules) {
  struct Case {
    const char* label;
    bool withHost, withOuter;
    bool ownInterface;  ///< else IID_IVOKUnknown
    VOKRESULT expected;
  };
  // With no host every class answers VOK_E_INVALIDARG, the update handler too, whose own set-up
  // would have said VOK_E_POINTER: the factory checks before it creates.
  const Case cases[] = {
      {"null host", false, false, true, VOK_E_INVALIDARG},
      {"null host, as identity", false, false, false, VOK_E_INVALIDARG},
      {"aggregation with the own interface", true, true, true, VOK_CLASS_E_NOAGGREGATION},
  };
  for (const ComponentIdentity& c : kComponents) {
    VOKPtr<IVOKClassFactory> factory = Factory(c.classUid);
    ASSERT_TRUE(factory);
    for (const Case& r : cases) {
      SCOPED_TRACE(Utf8(c.name) + ": " + r.label);
      IVOKUnknown* outer = r.withOuter ? Host() : nullptr;  // any unknown serves as an outer here
      void* out = kUntouched;
      EXPECT_EQ(factory->CreateInstance(r.withHost ? Host() : nullptr, outer, r.ownInterface ? c.iid : IID_IVOKUnknown,
                                        &out),
                r.expected);
      EXPECT_EQ(out, r.withHost ? nullptr : kUntouched);
      EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_E_FAIL) << "only the factory lives";
    }
    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(Host(), nullptr, c.iid, nullptr), VOK_E_INVALIDARG);
    EXPECT_EQ(factory->CreateInstance(Host(), nullptr, kStrangerUid, &out), VOK_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
}

// Aggregated under an outer object, a component hands the outer its private unknown; its own
// interface then counts on the outer, and releasing the private unknown ends it.
TEST_F(FrameworkTest, ComponentsAggregateUnderAnOuterObject) {
  struct Outer final : IVOKUnknown {
    VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override {
      *ppv = nullptr;
      if (!(iid == IID_IVOKUnknown)) return VOK_E_NOINTERFACE;
      AddRef();
      *ppv = this;
      return VOK_OK;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    std::uint32_t refs = 1;
  };
  for (const ComponentIdentity& c : kComponents) {
    SCOPED_TRACE(Utf8(c.name));
    Outer outer;
    VOKPtr<IVOKClassFactory> factory = Factory(c.classUid);
    ASSERT_TRUE(factory);
    VOKPtr<IVOKUnknown> inner;
    ASSERT_EQ(factory->CreateInstance(Host(), &outer, IID_IVOKUnknown, inner.PutVoid()), VOK_OK);
    factory.Reset();
    EXPECT_EQ(outer.refs, 1u) << "the inner object holds no reference to its outer";
    VOKPtr<IVOKUnknown> face;
    ASSERT_EQ(inner->QueryInterface(c.iid, face.PutVoid()), VOK_OK);
    EXPECT_EQ(outer.refs, 2u);
    inner->AddRef();
    EXPECT_EQ(inner->Release(), 1u) << "the inner count did not move";
    VOKPtr<IVOKUnknown> identity;
    ASSERT_EQ(face->QueryInterface(IID_IVOKUnknown, identity.PutVoid()), VOK_OK);
    EXPECT_EQ(identity.Get(), &outer);
    identity.Reset();
    face.Reset();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(Module().CanUnloadNow(Host()), VOK_E_FAIL);
    inner.Reset();
  }
}

// A host finds the plug-in by these four names; anything else exported would leak the plug-in's
// internals into every host that loads it.
// --- the boundary of every operation ---------------------------------------------------------------

TEST_F(FrameworkTest, AFailedFactoryAllocationIsOutOfMemoryThroughTheExport) {
  for (const ComponentIdentity& c : kComponents) {
    SCOPED_TRACE(Utf8(c.name));
    void* out = kUntouched;
    gFailNextNothrowNew = true;
    EXPECT_EQ(Module().GetClassFactory(Host(), c.classUid, IID_IVOKClassFactory, &out), VOK_E_OUTOFMEMORY);
    gFailNextNothrowNew = false;
    EXPECT_EQ(out, nullptr);
    // The component itself, made by a factory that exists.
    VOKPtr<IVOKClassFactory> factory = Factory(c.classUid);
    ASSERT_TRUE(factory);
    out = kUntouched;
    gFailNextNothrowNew = true;
    EXPECT_EQ(factory->CreateInstance(Host(), nullptr, c.iid, &out), VOK_E_OUTOFMEMORY);
    gFailNextNothrowNew = false;
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(FrameworkTest, AnExceptionAtEachBoundaryBecomesItsCode) {
  struct Expected {
    Raise raise;
    VOKRESULT code;        ///< what an operation with a result code returns
    std::int32_t pointer;  ///< what a pointer event returns
  };
  for (const Expected& e : {Expected{Raise::Foreign, VOK_E_UNEXPECTED, 0}, Expected{Raise::OutOfMemory, VOK_E_OUTOFMEMORY, 0}}) {
    SCOPED_TRACE(e.raise == Raise::Foreign ? "foreign exception" : "std::bad_alloc");
    RaisingEffectContext effectContext(e.raise);
    RaisingFrameContext frame(e.raise);
    RaisingRenderContext render(e.raise);
    RaisingOutput output(e.raise);
    RaisingLayoutSource layout(e.raise);
    RaisingOverlayContext overlayContext(e.raise);

    VOKPtr<IZELEffect> effect;
    ASSERT_EQ(Factory(ids::kClassEffect)->CreateInstance(Host(), nullptr, IID_IZELEffect, effect.PutVoid()), VOK_OK);
    EXPECT_EQ(effect->Render(&effectContext, nullptr, nullptr, &frame, nullptr, &render, &output), e.code);

    VOKPtr<IZELUpdateParams> update;
    ASSERT_EQ(Factory(ids::kClassUpdateParams)->CreateInstance(Host(), nullptr, IID_IZELUpdateParams, update.PutVoid()),
              VOK_OK);
    EXPECT_EQ(update->Update(&effectContext, Host(), &render, &layout), e.code);

    VOKPtr<IZELModalUI> chooser;
    ASSERT_EQ(Factory(ids::kClassModalUI)->CreateInstance(Host(), nullptr, IID_IZELModalUI, chooser.PutVoid()), VOK_OK);
    EXPECT_EQ(chooser->DoModal(&effectContext, nullptr, nullptr), e.code);
    // The refused call let go of the dialog: the next one gets as far as the host again.
    EXPECT_EQ(chooser->DoModal(&effectContext, nullptr, nullptr), e.code);

    VOKPtr<IZELGraphicOverlay> overlay;
    ASSERT_EQ(Factory(ids::kClassOverlay)->CreateInstance(Host(), nullptr, IID_IZELGraphicOverlay, overlay.PutVoid()),
              VOK_OK);
    ASSERT_EQ(overlay->Attach(&overlayContext), VOK_OK);
    overlay->Draw(1);  // returns, nothing escapes
    EXPECT_EQ(overlay->PointerDown(0.5, 0.5, 1), e.pointer);
    EXPECT_EQ(overlay->PointerDoubleDown(0.5, 0.5, 1), e.pointer);
    EXPECT_EQ(overlay->PointerDrag(0.5, 0.5, 1), e.pointer);
    EXPECT_EQ(overlay->Detach(), VOK_OK);
    EXPECT_EQ(overlayContext.m_refs, 1u) << "the overlay let go of the context";
  }
}

TEST(ModuleSymbols, ExactlyTheFourExportsAreDefined) {
  if (std::system("command -v nm >/dev/null 2>&1") != 0) GTEST_SKIP() << "nm is not installed";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      ::popen((std::string("nm -D --defined-only '") + ZEL_TEST_PLUGIN + "'").c_str(), "r"), ::pclose);
  ASSERT_TRUE(pipe);
  std::set<std::string> names;
  std::string listing;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    listing += line;
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (const std::size_t space = text.rfind(' '); space != std::string::npos) names.insert(text.substr(space + 1));
  }
  const std::set<std::string> expected = {"VOKCanUnloadNow", "VOKGetClassFactory", "VOKRegisterComponent",
                                          "VOKRegisterPlugin"};
  EXPECT_EQ(names, expected) << listing;
}
