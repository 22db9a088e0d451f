// The result check and the boundary: a raised code comes back out unchanged, an allocation failure
// as VOK_E_OUTOFMEMORY, anything else as VOK_E_UNEXPECTED, and references held in VOKPtr locals
// are given back on every way out.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "TestObjects.h"
#include "VOKResult.h"

using vok::test::FakeUnknown;

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070057u);

struct BoundaryCase {
  const char* label;
  VOKRESULT (*body)();
  VOKRESULT expected;
};

const BoundaryCase kBoundaryCases[] = {
    {"success", [] { return VOK_OK; }, VOK_OK},
    {"informational success passes through", [] { return VOKRESULT{1}; }, 1},
    {"returned failure passes through", [] { return VOK_E_FAIL; }, VOK_E_FAIL},
    {"raised plug-in code", [] { VOKCheck(VOK_E_NOINTERFACE); return VOK_OK; }, VOK_E_NOINTERFACE},
    {"raised host code, unchanged", [] { VOKCheck(kHostCode); return VOK_OK; }, kHostCode},
    {"raised from a nested call",
     [] {
       auto deep = [] { VOKCheck(VOK_E_BADINDEX); };
       deep();
       return VOK_OK;
     },
     VOK_E_BADINDEX},
    {"a non-negative check raises nothing", [] { VOKCheck(VOKRESULT{1}); VOKCheck(VOK_OK); return VOK_OK; }, VOK_OK},
    {"foreign standard exception", []() -> VOKRESULT { throw std::runtime_error("boom"); }, VOK_E_UNEXPECTED},
    {"allocation failure", []() -> VOKRESULT { throw std::bad_alloc(); }, VOK_E_OUTOFMEMORY},
    {"allocation failure of an array", []() -> VOKRESULT { throw std::bad_array_new_length(); }, VOK_E_OUTOFMEMORY},
    {"foreign integer of another type", []() -> VOKRESULT { throw static_cast<long>(VOK_E_FAIL); }, VOK_E_UNEXPECTED},
    {"foreign unsigned code", []() -> VOKRESULT { throw 0x80000008u; }, VOK_E_UNEXPECTED},
    {"foreign string", []() -> VOKRESULT { throw std::string("boom"); }, VOK_E_UNEXPECTED},
};

}  // namespace

TEST(VOKBoundary, RaisedCodesAndForeignExceptions) {
  for (const BoundaryCase& c : kBoundaryCases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(VOKBoundary(c.body), c.expected);
  }
}

TEST(VOKBoundary, LocalsAreReleasedOnEveryWayOut) {
  struct Case {
    const char* label;
    int how;  ///< 0 return, 1 raise a code, 2 throw a foreign exception
    VOKRESULT expected;
  };
  const Case cases[] = {
      {"return", 0, VOK_OK}, {"raised code", 1, VOK_E_POINTER}, {"foreign exception", 2, VOK_E_UNEXPECTED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FakeUnknown held;
    const VOKRESULT result = VOKBoundary([&] {
      VOKPtr<IVOKUnknown> first(&held);
      VOKPtr<IVOKUnknown> second;
      VOKCheck(first->QueryInterface(IID_IVOKUnknown, second.PutVoid()));
      if (c.how == 1) VOKCheck(VOK_E_POINTER);
      if (c.how == 2) throw std::logic_error("foreign");
      return VOK_OK;
    });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(held.refs, 1u);
    EXPECT_EQ(held.addRefs, held.releases);
  }
}

TEST(VOKBoundary, TheResultlessFormGivesItsFallbackOnAnyException) {
  struct Case {
    const char* label;
    int (*body)();
    int expected;
  };
  const Case cases[] = {
      {"normal return", [] { return 7; }, 7},
      {"raised code", [] { VOKCheck(VOK_E_FAIL); return 7; }, -1},
      {"foreign exception", []() -> int { throw std::runtime_error("boom"); }, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(VOKBoundaryOr(-1, c.body), c.expected);
  }
}
