#include "CVOKClassFactory.h"

namespace vok::detail {
namespace {
std::atomic<std::uint32_t> gFailAfter{0};
}

void FailAllocationAfter(std::uint32_t k) noexcept { gFailAfter.store(k); }

bool AllocationShouldFail() noexcept {
  std::uint32_t k = gFailAfter.load();
  while (k != 0) {
    if (gFailAfter.compare_exchange_weak(k, k - 1)) return k == 1;
  }
  return false;
}
}  // namespace vok::detail

VOKRESULT CVOKClassFactory::CreateInstance(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
  assert(m_pfnCreate != nullptr);
  if (m_pfnCreate == nullptr) return VOK_E_UNEXPECTED;
  if (host == nullptr || ppv == nullptr) return VOK_E_INVALIDARG;
  *ppv = nullptr;
  if (outer != nullptr && !(iid == IID_IVOKUnknown)) return VOK_CLASS_E_NOAGGREGATION;
  return m_pfnCreate(host, outer, iid, ppv);
}

VOKRESULT VOKMakeClassFactory(PFNVOKCreate create, const VOKUID& iid, void** ppv) {
  if (create == nullptr || ppv == nullptr) return VOK_E_INVALIDARG;
  *ppv = nullptr;
  CVOKClassFactory* factory = nullptr;
  if (!vok::detail::AllocationShouldFail()) factory = new (std::nothrow) CVOKClassFactory(nullptr, create);
  if (factory == nullptr) return VOK_E_OUTOFMEMORY;
  IVOKClassFactory* face = factory;
  face->AddRef();
  const VOKRESULT result = face->QueryInterface(iid, ppv);
  face->Release();
  return result;
}
