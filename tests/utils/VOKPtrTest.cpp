// VOKPtr against a counting fake: every operation's exact effect on the counts of what it held and
// what it takes, and every reference handed back in the end.
#include <gtest/gtest.h>

#include <utility>

#include "TestObjects.h"

using vok::test::FakeUnknown;
using Ptr = VOKPtr<IVOKUnknown>;

namespace {

enum class Holds { Nothing, A, B };

IVOKUnknown* Expected(Holds h, FakeUnknown& a, FakeUnknown& b) {
  return h == Holds::A ? &a : h == Holds::B ? &b : nullptr;
}

struct PtrCase {
  const char* label;
  Holds pStart, qStart;  ///< what the two pointers hold before the operation
  /// The operation on p and q. Returns a pointer whose reference it handed to the caller (Detach),
  /// which the harness releases after counting; else null.
  IVOKUnknown* (*op)(Ptr& p, Ptr& q, FakeUnknown& a, FakeUnknown& b);
  int aAddRefs, aReleases, bAddRefs, bReleases;  ///< calls the operation made
  Holds pAfter, qAfter;
};

/// A callee that fills an out-parameter with `b`, carrying the reference it hands over.
void FillWith(IVOKUnknown** out, FakeUnknown& b) {
  b.AddRef();
  *out = &b;
}

const PtrCase kPtrCases[] = {
    {"empty construction", Holds::Nothing, Holds::Nothing,
     [](Ptr&, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr empty;
       EXPECT_EQ(empty.Get(), nullptr);
       return nullptr;
     },
     0, 0, 0, 0, Holds::Nothing, Holds::Nothing},
    {"construction from a raw pointer adds one", Holds::Nothing, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown& a, FakeUnknown&) -> IVOKUnknown* {
       p = Ptr(&a);
       return nullptr;
     },
     1, 0, 0, 0, Holds::A, Holds::Nothing},
    {"construction from null adds nothing", Holds::Nothing, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr fromNull(nullptr);
       p = std::move(fromNull);
       return nullptr;
     },
     0, 0, 0, 0, Holds::Nothing, Holds::Nothing},
    {"destruction releases", Holds::Nothing, Holds::Nothing,
     [](Ptr&, Ptr&, FakeUnknown& a, FakeUnknown&) -> IVOKUnknown* {
       { Ptr scoped(&a); }
       return nullptr;
     },
     1, 1, 0, 0, Holds::Nothing, Holds::Nothing},
    {"raw assignment releases the old and adds the new", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown& b) -> IVOKUnknown* {
       p = &b;
       return nullptr;
     },
     0, 1, 1, 0, Holds::B, Holds::Nothing},
    {"raw assignment of null releases", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p = static_cast<IVOKUnknown*>(nullptr);
       return nullptr;
     },
     0, 1, 0, 0, Holds::Nothing, Holds::Nothing},
    {"raw self-assignment keeps the object alive", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p = p.Get();
       return nullptr;
     },
     1, 1, 0, 0, Holds::A, Holds::Nothing},
    {"self copy-assignment keeps the object alive", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr& alias = p;
       p = alias;
       return nullptr;
     },
     1, 1, 0, 0, Holds::A, Holds::Nothing},
    {"self move-assignment changes nothing", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr& alias = p;
       p = std::move(alias);
       return nullptr;
     },
     0, 0, 0, 0, Holds::A, Holds::Nothing},
    {"copy construction adds one", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr& q, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr copy(p);
       q = std::move(copy);
       return nullptr;
     },
     1, 0, 0, 0, Holds::A, Holds::A},
    {"copy assignment releases the old and adds the new", Holds::A, Holds::B,
     [](Ptr& p, Ptr& q, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p = q;
       return nullptr;
     },
     0, 1, 1, 0, Holds::B, Holds::B},
    {"move construction changes no count and empties the source", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr& q, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       Ptr moved(std::move(p));
       EXPECT_EQ(p.Get(), nullptr);
       q.Attach(moved.Detach());
       return nullptr;
     },
     0, 0, 0, 0, Holds::Nothing, Holds::A},
    {"move assignment releases only the old", Holds::A, Holds::B,
     [](Ptr& p, Ptr& q, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p = std::move(q);
       return nullptr;
     },
     0, 1, 0, 0, Holds::B, Holds::Nothing},
    {"out-parameter address releases first", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown& a, FakeUnknown&) -> IVOKUnknown* {
       IVOKUnknown** out = &p;
       EXPECT_EQ(a.releases, 1) << "released before the callee runs";
       EXPECT_EQ(*out, nullptr);
       return nullptr;
     },
     0, 1, 0, 0, Holds::Nothing, Holds::Nothing},
    {"out-parameter filled by a callee is owned without an extra reference", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown& b) -> IVOKUnknown* {
       FillWith(&p, b);
       return nullptr;
     },
     0, 1, 1, 0, Holds::B, Holds::Nothing},
    {"void out-parameter releases first too", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown& a, FakeUnknown& b) -> IVOKUnknown* {
       void** out = p.PutVoid();
       EXPECT_EQ(a.releases, 1);
       b.AddRef();
       *out = static_cast<IVOKUnknown*>(&b);
       return nullptr;
     },
     0, 1, 1, 0, Holds::B, Holds::Nothing},
    {"out-parameter of an empty pointer releases nothing", Holds::Nothing, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown& b) -> IVOKUnknown* {
       FillWith(&p, b);
       return nullptr;
     },
     0, 0, 1, 0, Holds::B, Holds::Nothing},
    {"detach hands the reference over without releasing", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* { return p.Detach(); }, 0, 0, 0, 0,
     Holds::Nothing, Holds::Nothing},
    {"attach takes a reference without adding one and releases the old", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown& b) -> IVOKUnknown* {
       b.AddRef();  // the reference the caller hands over
       p.Attach(&b);
       return nullptr;
     },
     0, 1, 1, 0, Holds::B, Holds::Nothing},
    {"attach of the pointer already held keeps exactly one reference", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown& a, FakeUnknown&) -> IVOKUnknown* {
       a.AddRef();
       p.Attach(&a);
       return nullptr;
     },
     1, 1, 0, 0, Holds::A, Holds::Nothing},
    {"reset releases and empties", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p.Reset();
       return nullptr;
     },
     0, 1, 0, 0, Holds::Nothing, Holds::Nothing},
    {"reset of an empty pointer does nothing", Holds::Nothing, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown&, FakeUnknown&) -> IVOKUnknown* {
       p.Reset();
       return nullptr;
     },
     0, 0, 0, 0, Holds::Nothing, Holds::Nothing},
    {"reading and testing change no count", Holds::A, Holds::Nothing,
     [](Ptr& p, Ptr&, FakeUnknown& a, FakeUnknown&) -> IVOKUnknown* {
       EXPECT_TRUE(p);
       EXPECT_EQ(p.Get(), &a);
       EXPECT_EQ(p.operator->(), &a);
       return nullptr;
     },
     0, 0, 0, 0, Holds::A, Holds::Nothing},
};

}  // namespace

TEST(VOKPtr, EachOperationChangesExactlyTheCountsItStates) {
  for (const PtrCase& c : kPtrCases) {
    SCOPED_TRACE(c.label);
    FakeUnknown a, b;
    IVOKUnknown* handedOut = nullptr;
    {
      Ptr p(Expected(c.pStart, a, b));
      Ptr q(Expected(c.qStart, a, b));
      a.ClearCalls();
      b.ClearCalls();
      handedOut = c.op(p, q, a, b);
      EXPECT_EQ(a.addRefs, c.aAddRefs);
      EXPECT_EQ(a.releases, c.aReleases);
      EXPECT_EQ(b.addRefs, c.bAddRefs);
      EXPECT_EQ(b.releases, c.bReleases);
      EXPECT_EQ(p.Get(), Expected(c.pAfter, a, b));
      EXPECT_EQ(q.Get(), Expected(c.qAfter, a, b));
    }
    if (handedOut != nullptr) handedOut->Release();
    // Whatever the operation did, every reference taken has been given back, none twice.
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 1u);
    EXPECT_FALSE(a.misused);
    EXPECT_FALSE(b.misused);
  }
}

// The one reference the pointer holds is the only thing keeping an object alive: a
// self-assignment that released before adding would touch a dead object.
TEST(VOKPtr, SelfAssignmentOfTheLastReferenceNeverDropsToZero) {
  FakeUnknown a;
  Ptr p;
  p.Attach(&a);  // the pointer now owns a's only reference
  p = p.Get();
  EXPECT_EQ(a.refs, 1u);
  Ptr& alias = p;
  p = alias;
  EXPECT_EQ(a.refs, 1u);
  EXPECT_FALSE(a.misused);
  IVOKUnknown* last = p.Detach();
  EXPECT_EQ(last, &a);
  EXPECT_EQ(a.refs, 1u);
  last->Release();
  EXPECT_EQ(a.refs, 0u);
}
