// Creation functions, the class factory maker and CreateInstance: the result code of every failure,
// what each leaves in the out-pointer, and that a failure leaves nothing alive.
#include <gtest/gtest.h>

#include "TestObjects.h"

using namespace vok::test;

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x887A0005u);  // some host's own failure code

/// Every case must end with the same live objects and the host's reference count back to one.
class FactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_liveBefore = CVOKUnknown::LiveObjectCount();
    m_existingBefore = CTestThing::s_constructed - CTestThing::s_destroyed;
  }
  void TearDown() override {
    vok::detail::FailAllocationAfter(0);
    ExpectNothingLeft();
  }
  void ExpectNothingLeft() {
    EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore) << "objects left alive";
    EXPECT_EQ(CTestThing::s_constructed - CTestThing::s_destroyed, m_existingBefore);
    EXPECT_EQ(m_host.refs, 1u) << "host references not given back";
    EXPECT_FALSE(m_host.misused);
  }

  std::uint32_t m_liveBefore = 0;
  int m_existingBefore = 0;
  FakeUnknown m_host;
};

enum class Out { Untouched, Null, Set };

void ExpectOut(void* value, Out expected) {
  switch (expected) {
    case Out::Untouched:
      EXPECT_EQ(value, kUntouched);
      break;
    case Out::Null:
      EXPECT_EQ(value, nullptr);
      break;
    case Out::Set:
      EXPECT_NE(value, nullptr);
      EXPECT_NE(value, kUntouched);
      break;
  }
}

}  // namespace

TEST_F(FactoryTest, CreationFunctionOutcomes) {
  struct Case {
    const char* label;
    PFNVOKCreate create;
    bool withHost;
    VOKUID iid;
    std::uint32_t failAllocation;  ///< 1: the object's allocation fails
    VOKRESULT expected;
    bool constructed;  ///< an object was built (and, on failure, destroyed again)
  };
  const Case cases[] = {
      {"own interface", &VOKCreateComponent<CTestThing>, true, IID_ITestThing, 0, VOK_OK, true},
      {"identity", &VOKCreateComponent<CTestThing>, true, IID_IVOKUnknown, 0, VOK_OK, true},
      {"allocation fails", &VOKCreateComponent<CTestThing>, true, IID_ITestThing, 1, VOK_E_OUTOFMEMORY, false},
      {"set-up refuses a null host", &VOKCreateComponent<CTestThing>, false, IID_ITestThing, 0, VOK_E_INVALIDARG, true},
      {"set-up fails with a host's code after taking the host", &VOKCreateComponent<CFailingThing<kHostCode>>, true,
       IID_ITestThing, 0, kHostCode, true},
      {"set-up fails with VOK_E_POINTER", &VOKCreateComponent<CPointerCheckingThing>, false, IID_ITestThing, 0,
       VOK_E_POINTER, true},
      {"interface the class does not offer", &VOKCreateComponent<CTestThing>, true, IID_ITestOther, 0,
       VOK_E_NOINTERFACE, true},
      {"class factory interface asked of a component", &VOKCreateComponent<CTestThing>, true, IID_IVOKClassFactory, 0,
       VOK_E_NOINTERFACE, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const int constructedBefore = CTestThing::s_constructed;
    vok::detail::FailAllocationAfter(c.failAllocation);
    void* out = kUntouched;
    EXPECT_EQ(c.create(c.withHost ? &m_host : nullptr, nullptr, c.iid, &out), c.expected);
    EXPECT_EQ(CTestThing::s_constructed - constructedBefore, c.constructed ? 1 : 0);
    if (VOKSUCCEEDED(c.expected)) {
      ExpectOut(out, Out::Set);
      EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore + 1);
      EXPECT_EQ(CountThrough(static_cast<IVOKUnknown*>(out)), 1u) << "the caller holds the one reference";
      static_cast<IVOKUnknown*>(out)->Release();
    } else {
      ExpectOut(out, Out::Null);
    }
    ExpectNothingLeft();
  }
}

TEST_F(FactoryTest, ClassFactoryMakerOutcomes) {
  struct Case {
    const char* label;
    PFNVOKCreate create;
    VOKUID iid;
    bool withOut;
    std::uint32_t failAllocation;
    VOKRESULT expected;
    Out out;
  };
  const Case cases[] = {
      {"as class factory", &VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, true, 0, VOK_OK, Out::Set},
      {"as identity", &VOKCreateComponent<CTestThing>, IID_IVOKUnknown, true, 0, VOK_OK, Out::Set},
      {"no creation function", nullptr, IID_IVOKClassFactory, true, 0, VOK_E_INVALIDARG, Out::Untouched},
      {"no out-pointer", &VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, false, 0, VOK_E_INVALIDARG,
       Out::Untouched},
      {"allocation fails", &VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, true, 1, VOK_E_OUTOFMEMORY,
       Out::Null},
      {"interface a factory does not offer", &VOKCreateComponent<CTestThing>, IID_ITestThing, true, 0,
       VOK_E_NOINTERFACE, Out::Null},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    vok::detail::FailAllocationAfter(c.failAllocation);
    void* out = kUntouched;
    EXPECT_EQ(VOKMakeClassFactory(c.create, c.iid, c.withOut ? &out : nullptr), c.expected);
    ExpectOut(out, c.out);
    if (c.out == Out::Set) {
      auto* made = static_cast<IVOKUnknown*>(out);
      EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore + 1) << "a factory counts as a live object";
      EXPECT_EQ(CountThrough(made), 1u);
      VOKPtr<IVOKClassFactory> factory;
      EXPECT_EQ(made->QueryInterface(IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
      factory.Reset();
      made->Release();
    }
    ExpectNothingLeft();
  }
}

TEST_F(FactoryTest, CreateInstanceChecksItsArgumentsBeforeCreating) {
  using Plain = CountingCreate<CTestThing>;
  using PointerChecking = CountingCreate<CPointerCheckingThing>;
  FakeUnknown outer;
  struct Case {
    const char* label;
    PFNVOKCreate create;
    int* calls;
    bool withHost, withOuter, withOut;
    VOKUID iid;
    VOKRESULT expected;
    Out out;
  };
  const Case cases[] = {
      {"own interface", &Plain::Create, &Plain::s_calls, true, false, true, IID_ITestThing, VOK_OK, Out::Set},
      {"null host", &Plain::Create, &Plain::s_calls, false, false, true, IID_ITestThing, VOK_E_INVALIDARG,
       Out::Untouched},
      {"null out-pointer", &Plain::Create, &Plain::s_calls, true, false, false, IID_ITestThing, VOK_E_INVALIDARG,
       Out::Untouched},
      {"null host for a class whose set-up says VOK_E_POINTER", &PointerChecking::Create, &PointerChecking::s_calls,
       false, false, true, IID_ITestThing, VOK_E_INVALIDARG, Out::Untouched},
      {"aggregation with the own interface", &Plain::Create, &Plain::s_calls, true, true, true, IID_ITestThing,
       VOK_CLASS_E_NOAGGREGATION, Out::Null},
      {"aggregation with an interface nobody offers", &Plain::Create, &Plain::s_calls, true, true, true, IID_ITestOther,
       VOK_CLASS_E_NOAGGREGATION, Out::Null},
      {"aggregation as the identity", &Plain::Create, &Plain::s_calls, true, true, true, IID_IVOKUnknown, VOK_OK,
       Out::Set},
      {"interface the class does not offer", &Plain::Create, &Plain::s_calls, true, false, true, IID_ITestOther,
       VOK_E_NOINTERFACE, Out::Null},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    VOKPtr<IVOKClassFactory> factory;
    ASSERT_EQ(VOKMakeClassFactory(c.create, IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
    const int callsBefore = *c.calls;
    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(c.withHost ? &m_host : nullptr, c.withOuter ? &outer : nullptr, c.iid,
                                      c.withOut ? &out : nullptr),
              c.expected);
    // The creation function runs only once every argument check has passed.
    EXPECT_EQ(*c.calls - callsBefore, c.out == Out::Set || c.expected == VOK_E_NOINTERFACE ? 1 : 0);
    ExpectOut(out, c.out);
    if (c.out == Out::Set) static_cast<IVOKUnknown*>(out)->Release();
    factory.Reset();
    EXPECT_EQ(outer.refs, 1u);
    ExpectNothingLeft();
  }
}

// The same class set up directly gives its own code for a null host; the factory's check above
// answers first, whatever the class would have said.
TEST_F(FactoryTest, ThePointerCheckingClassOnItsOwnSaysPointer) {
  void* out = kUntouched;
  EXPECT_EQ(VOKCreateComponent<CPointerCheckingThing>(nullptr, nullptr, IID_ITestThing, &out), VOK_E_POINTER);
  EXPECT_EQ(out, nullptr);
}

TEST_F(FactoryTest, ObjectsOutliveTheirFactory) {
  VOKPtr<IVOKClassFactory> factory;
  ASSERT_EQ(VOKMakeClassFactory(&VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, factory.PutVoid()), VOK_OK);
  VOKPtr<ITestThing> thing;
  ASSERT_EQ(factory->CreateInstance(&m_host, nullptr, IID_ITestThing, thing.PutVoid()), VOK_OK);
  EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore + 2);
  factory.Reset();
  EXPECT_EQ(CVOKUnknown::LiveObjectCount(), m_liveBefore + 1);
  EXPECT_EQ(thing->Value(), 42);
  thing.Reset();
}

// A factory whose creation function was lost is a programming error that a checking build stops
// at; a build without assertions must still answer VOK_E_UNEXPECTED rather than call through null.
TEST_F(FactoryTest, AFactoryWithoutCreationFunctionAnswersUnexpected) {
#ifndef NDEBUG
  GTEST_SKIP() << "assertions stop this in a checking build";
#else
  VOKPtr<IVOKClassFactory> face;
  ASSERT_EQ(VOKMakeClassFactory(&VOKCreateComponent<CTestThing>, IID_IVOKClassFactory, face.PutVoid()), VOK_OK);
  static_cast<CVOKClassFactory*>(face.Get())->m_pfnCreate = nullptr;
  void* out = kUntouched;
  EXPECT_EQ(face->CreateInstance(&m_host, nullptr, IID_ITestThing, &out), VOK_E_UNEXPECTED);
  EXPECT_EQ(out, kUntouched);
#endif
}
