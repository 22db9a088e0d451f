// The class factory and the creation functions it calls.
#pragma once

#include <atomic>
#include <cassert>
#include <new>

#include "CVOKUnknown.h"
#include "VOKResult.h"

/// Creates one object of a component class: (host unknown, outer unknown, interface, out).
using PFNVOKCreate = VOKRESULT (*)(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv);

namespace vok::detail {
/// Allocation that reports failure as null, never by throwing. Tests may make the k-th allocation
/// from now fail (1 = the next one) to reach the out-of-memory paths; 0 switches that off.
void FailAllocationAfter(std::uint32_t k) noexcept;
bool AllocationShouldFail() noexcept;

template <class T>
T* NewObject(IVOKUnknown* outer) noexcept {
  if (AllocationShouldFail()) return nullptr;
  return new (std::nothrow) T(outer);
}
}  // namespace vok::detail

/// The creation function of component class T: constructs it, hands it the host unknown and asks it
/// for `iid`. On any failure the object is gone again and *ppv is null.
template <class T>
VOKRESULT VOKCreateComponent(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
  *ppv = nullptr;
  T* object = vok::detail::NewObject<T>(outer);
  if (object == nullptr) return VOK_E_OUTOFMEMORY;
  object->InternalAddRef();
  const VOKRESULT hostResult = object->SetHostUnknown(host);
  if (VOKFAILED(hostResult)) {
    // Destroyed directly: the one reference is the creation's own and nobody else saw the object.
    delete static_cast<CVOKUnknown*>(object);
    return hostResult;
  }
  const VOKRESULT result = object->InternalQueryInterface(iid, ppv);
  object->InternalRelease();
  return result;
}

class CVOKClassFactory : public IVOKClassFactory, public CVOKUnknown {
 public:
  CVOKClassFactory(IVOKUnknown* outer, PFNVOKCreate create) noexcept : CVOKUnknown(outer), m_pfnCreate(create) {
    assert(m_pfnCreate != nullptr);
  }
  ~CVOKClassFactory() override { m_pfnCreate = nullptr; }

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IVOKClassFactory, IID_IVOKClassFactory)

  VOKRESULT CreateInstance(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) override;

  PFNVOKCreate m_pfnCreate;
};

/// Makes a class factory around `create` and asks it for `iid` into *ppv. VOK_E_INVALIDARG for a
/// null `create` or `ppv`; VOK_E_OUTOFMEMORY; VOK_E_NOINTERFACE (the factory is gone again).
VOKRESULT VOKMakeClassFactory(PFNVOKCreate create, const VOKUID& iid, void** ppv);
