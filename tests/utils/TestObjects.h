// Objects the framework tests build on: a counting fake unknown that notices misuse, and a small
// component class of the tests' own, built on CVOKUnknown exactly as the plug-in's classes are.
#pragma once

#include <cstdint>

#include "CVOKClassFactory.h"
#include "VOKPtr.h"

namespace vok::test {

/// An IVOKUnknown that counts every AddRef and Release and never frees itself, so a test can read
/// the counts after the fact. It is born with one reference (the test's own); a call after the
/// count reached zero marks it misused. QueryInterface answers IID_IVOKUnknown with itself.
class FakeUnknown final : public IVOKUnknown {
 public:
  VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override {
    ++queries;
    if (ppv == nullptr) return VOK_E_POINTER;
    *ppv = nullptr;
    if (!(iid == IID_IVOKUnknown)) return VOK_E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IVOKUnknown*>(this);
    return VOK_OK;
  }
  std::uint32_t AddRef() override {
    ++addRefs;
    if (refs == 0) misused = true;
    return ++refs;
  }
  std::uint32_t Release() override {
    ++releases;
    if (refs == 0) {
      misused = true;
      return 0;
    }
    return --refs;
  }

  /// Forgets the calls so far (the count itself stays).
  void ClearCalls() { queries = addRefs = releases = 0; }

  std::uint32_t refs = 1;
  int addRefs = 0;
  int releases = 0;
  int queries = 0;
  bool misused = false;
};

/// The tests' own component interface.
class ITestThing : public IVOKUnknown {
 public:
  virtual int Value() = 0;

 protected:
  ~ITestThing() = default;
};
inline constexpr VOKUID IID_ITestThing = {0x5A1D0C3E, 0x2B44, 0x4F0A, {0x9E, 0x61, 0x13, 0x7C, 0x42, 0xD8, 0x0B, 0x95}};
/// An interface no test class offers.
inline constexpr VOKUID IID_ITestOther = {0x5A1D0C3E, 0x2B44, 0x4F0A, {0x9E, 0x61, 0x13, 0x7C, 0x42, 0xD8, 0x0B, 0x96}};

/// A component like the effect: keeps a reference to the host unknown, refuses a null one.
class CTestThing : public ITestThing, public CVOKUnknown {
 public:
  explicit CTestThing(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) { ++s_constructed; }
  ~CTestThing() override { ++s_destroyed; }

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(ITestThing, IID_ITestThing)

  VOKRESULT SetHostUnknown(IVOKUnknown* host) override {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_host = host;
    return VOK_OK;
  }
  int Value() override { return 42; }

  /// The object's own count, read without changing it (through the private unknown).
  std::uint32_t RefCount() {
    GetPrivateUnknown()->AddRef();
    return GetPrivateUnknown()->Release();
  }

  static inline int s_constructed = 0;
  static inline int s_destroyed = 0;

  VOKPtr<IVOKUnknown> m_host;
};

/// A component whose set-up takes the host's reference and then fails with `kCode`, so that the
/// creation function must destroy it through its full destructor.
template <VOKRESULT kCode>
class CFailingThing final : public CTestThing {
 public:
  explicit CFailingThing(IVOKUnknown* outer) noexcept : CTestThing(outer) {}
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override {
    m_host = host;
    return kCode;
  }
};

/// A component like the update handler: requires a host unknown (else VOK_E_POINTER), keeps none.
class CPointerCheckingThing final : public CTestThing {
 public:
  explicit CPointerCheckingThing(IVOKUnknown* outer) noexcept : CTestThing(outer) {}
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override { return host ? VOK_OK : VOK_E_POINTER; }
};

/// A creation function that counts its calls, for the rules a factory checks before it calls one.
template <class T>
struct CountingCreate {
  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    ++s_calls;
    return VOKCreateComponent<T>(host, outer, iid, ppv);
  }
  static inline int s_calls = 0;
};

/// The reference count of a non-aggregated object as seen through any of its pointers.
inline std::uint32_t CountThrough(IVOKUnknown* p) {
  p->AddRef();
  return p->Release();
}

/// A pointer value no call may leave behind, to tell "untouched" from "nulled".
inline void* const kUntouched = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A50));

}  // namespace vok::test
