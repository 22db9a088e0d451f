// CVOKUnknown: identity, reference counting through every pointer an object hands out, aggregation
// under an outer object, and the live-object count.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TestObjects.h"

using namespace vok::test;

namespace {

/// Every test starts and must end with the same number of live objects.
class CVOKUnknownTest : public ::testing::Test {
 protected:
  void SetUp() override { m_liveBefore = CVOKUnknown::LiveObjectCount(); }
  void TearDown() override {
    vok::detail::FailAllocationAfter(0);
    EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore) << "objects left alive";
    EXPECT_FALSE(m_host.misused);
  }

  /// A new non-aggregated CTestThing as ITestThing, owning the one reference.
  VOKPtr<ITestThing> MakeThing() {
    VOKPtr<ITestThing> thing;
    EXPECT_EQ(VOKCreateComponent<CTestThing>(&m_host, nullptr, IID_ITestThing, thing.PutVoid()), VOK_OK);
    return thing;
  }

  std::uint32_t m_liveBefore = 0;
  FakeUnknown m_host;
};

CTestThing* ObjectOf(ITestThing* face) { return static_cast<CTestThing*>(face); }

}  // namespace

TEST_F(CVOKUnknownTest, ThePrivateUnknownIsTheIdentity) {
  VOKPtr<ITestThing> thing = MakeThing();
  VOKPtr<IVOKUnknown> first, second;
  ASSERT_EQ(thing->QueryInterface(IID_IVOKUnknown, first.PutVoid()), VOK_OK);
  ASSERT_EQ(first->QueryInterface(IID_IVOKUnknown, second.PutVoid()), VOK_OK);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(first.Get(), ObjectOf(thing.Get())->GetPrivateUnknown());
  // The identity is not the object's own interface pointer, though both reach one object.
  EXPECT_NE(static_cast<void*>(first.Get()), static_cast<void*>(thing.Get()));
  VOKPtr<ITestThing> again;
  ASSERT_EQ(second->QueryInterface(IID_ITestThing, again.PutVoid()), VOK_OK);
  EXPECT_EQ(again.Get(), thing.Get());
  EXPECT_EQ(again->Value(), 42);
}

TEST_F(CVOKUnknownTest, ANewObjectHandsOverExactlyOneReference) {
  VOKPtr<ITestThing> thing = MakeThing();
  EXPECT_EQ(ObjectOf(thing.Get())->RefCount(), 1u);
  // The object keeps the host it was given, with a reference of its own.
  EXPECT_EQ(m_host.refs, 2u);
  thing.Reset();
  EXPECT_EQ(m_host.refs, 1u);
}

// A query and its release, through either pointer and for either interface, leave the count where
// it was: not aggregated, the object counts once, in its own count.
TEST_F(CVOKUnknownTest, QueryThenReleaseLeavesTheCountWhereItWas) {
  struct Case {
    const char* label;
    bool throughIdentity;  ///< ask the private unknown rather than the own interface
    VOKUID iid;
  };
  const Case cases[] = {
      {"own interface through the own interface", false, IID_ITestThing},
      {"identity through the own interface", false, IID_IVOKUnknown},
      {"own interface through the identity", true, IID_ITestThing},
      {"identity through the identity", true, IID_IVOKUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    VOKPtr<ITestThing> thing = MakeThing();
    CTestThing* object = ObjectOf(thing.Get());
    IVOKUnknown* asked = c.throughIdentity ? object->GetPrivateUnknown() : static_cast<IVOKUnknown*>(thing.Get());
    void* got = nullptr;
    ASSERT_EQ(asked->QueryInterface(c.iid, &got), VOK_OK);
    EXPECT_EQ(object->RefCount(), 2u);
    EXPECT_EQ(CountThrough(thing.Get()), 2u) << "every pointer sees the one count";
    static_cast<IVOKUnknown*>(got)->Release();
    EXPECT_EQ(object->RefCount(), 1u);
  }
}

TEST_F(CVOKUnknownTest, UnknownInterfaceNullsTheOutPointerAndAddsNothing) {
  VOKPtr<ITestThing> thing = MakeThing();
  CTestThing* object = ObjectOf(thing.Get());
  struct Case {
    const char* label;
    IVOKUnknown* asked;
  };
  const Case cases[] = {{"own interface", thing.Get()}, {"identity", object->GetPrivateUnknown()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    void* got = kUntouched;
    EXPECT_EQ(c.asked->QueryInterface(IID_ITestOther, &got), VOK_E_NOINTERFACE);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(object->RefCount(), 1u);
  }
  EXPECT_EQ(object->InternalQueryInterface(IID_ITestThing, nullptr), VOK_E_INVALIDARG);
}

TEST_F(CVOKUnknownTest, TheLastReleaseDestroysTheObjectAtOnce) {
  const int destroyedBefore = CTestThing::s_destroyed;
  const std::uint32_t liveBefore = CVOKUnknown::LiveObjectCount();
  ITestThing* thing = MakeThing().Detach();
  EXPECT_EQ(CVOKUnknown::LiveObjectCount(), liveBefore + 1);
  thing->AddRef();
  EXPECT_EQ(thing->Release(), 1u);
  EXPECT_EQ(CTestThing::s_destroyed, destroyedBefore);
  EXPECT_EQ(thing->Release(), 0u);
  EXPECT_EQ(CTestThing::s_destroyed, destroyedBefore + 1);
  EXPECT_EQ(CVOKUnknown::LiveObjectCount(), liveBefore);
}

// Aggregated under an outer object, the inner object's own interface counts on the outer; only
// the private unknown, which the outer holds, reaches the inner count.
TEST_F(CVOKUnknownTest, AnAggregatedObjectCountsOnItsOuter) {
  FakeUnknown outer;
  VOKPtr<IVOKUnknown> inner;
  ASSERT_EQ(VOKCreateComponent<CTestThing>(&m_host, &outer, IID_IVOKUnknown, inner.PutVoid()), VOK_OK);
  // Creating it touched the outer not at all: it holds no reference to its outer.
  EXPECT_EQ(outer.addRefs, 0);
  EXPECT_EQ(outer.releases, 0);
  EXPECT_EQ(CountThrough(inner.Get()), 1u);

  ITestThing* face = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&face)), VOK_OK);
  EXPECT_EQ(outer.addRefs, 1) << "the own interface's reference goes to the outer";
  EXPECT_EQ(CountThrough(inner.Get()), 1u) << "the inner count did not move";

  struct Case {
    const char* label;
    std::uint32_t (*op)(ITestThing*);
    int outerAddRefs, outerReleases;
  };
  const Case cases[] = {
      {"AddRef", [](ITestThing* f) { return f->AddRef(); }, 1, 0},
      {"Release", [](ITestThing* f) { return f->Release(); }, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    outer.ClearCalls();
    c.op(face);
    EXPECT_EQ(outer.addRefs, c.outerAddRefs);
    EXPECT_EQ(outer.releases, c.outerReleases);
    EXPECT_EQ(CountThrough(inner.Get()), 1u);
  }

  // Asked through the own interface, the identity is the outer object's.
  outer.ClearCalls();
  void* identity = nullptr;
  ASSERT_EQ(face->QueryInterface(IID_IVOKUnknown, &identity), VOK_OK);
  EXPECT_EQ(identity, static_cast<IVOKUnknown*>(&outer));
  EXPECT_EQ(outer.queries, 1);
  static_cast<IVOKUnknown*>(identity)->Release();

  face->Release();  // the reference the query gave, back to the outer
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_FALSE(outer.misused);
  inner.Reset();  // the outer lets go of the inner: it dies
}

// Reference counts change atomically: concurrent AddRef/Release pairs from several threads leave
// exactly the count they started from.
TEST_F(CVOKUnknownTest, CountsStayExactUnderConcurrentUse) {
  VOKPtr<ITestThing> thing = MakeThing();
  ITestThing* shared = thing.Get();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared] {
      for (int i = 0; i < 20000; ++i) {
        shared->AddRef();
        shared->Release();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ObjectOf(shared)->RefCount(), 1u);
}

TEST_F(CVOKUnknownTest, TheLiveCountFollowsEveryObject) {
  const std::uint32_t before = CVOKUnknown::LiveObjectCount();
  std::vector<VOKPtr<ITestThing>> things;
  for (std::uint32_t n = 1; n <= 3; ++n) {
    things.push_back(MakeThing());
    EXPECT_EQ(CVOKUnknown::LiveObjectCount(), before + n);
  }
  for (std::uint32_t n = 3; n >= 1; --n) {
    things.pop_back();
    EXPECT_EQ(CVOKUnknown::LiveObjectCount(), before + n - 1);
  }
}

TEST_F(CVOKUnknownTest, TheBaseSetUpIgnoresItsArgument) {
  VOKPtr<IVOKClassFactory> face;
  ASSERT_EQ(VOKMakeClassFactory(&VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, face.PutVoid()), VOK_OK);
  auto* factory = static_cast<CVOKClassFactory*>(face.Get());
  // The factory keeps the base version: anything, null included, is fine and nothing is kept.
  EXPECT_EQ(factory->SetHostUnknown(nullptr), VOK_OK);
  EXPECT_EQ(factory->SetHostUnknown(&m_host), VOK_OK);
  EXPECT_EQ(m_host.addRefs, 0);
}
