#include "CVOKUnknown.h"

namespace {
std::atomic<std::uint32_t> gLiveObjects{0};
}

CVOKUnknown::CVOKUnknown(IVOKUnknown* outer) noexcept : m_privateUnknown(this) {
  m_outerUnknown = outer != nullptr ? outer : &m_privateUnknown;
  gLiveObjects.fetch_add(1);
}

CVOKUnknown::~CVOKUnknown() { gLiveObjects.fetch_sub(1); }

VOKRESULT CVOKUnknown::SetHostUnknown(IVOKUnknown*) { return VOK_OK; }

void CVOKUnknown::Reserved() {}

VOKRESULT CVOKUnknown::InternalQueryInterface(const VOKUID& iid, void** ppv) {
  *ppv = nullptr;
  if (iid == IID_IVOKUnknown) {
    *ppv = &m_privateUnknown;
    m_privateUnknown.AddRef();
    return VOK_OK;
  }
  return VOK_E_NOINTERFACE;
}

std::uint32_t CVOKUnknown::InternalAddRef() { return m_refCount.fetch_add(1) + 1; }

std::uint32_t CVOKUnknown::InternalRelease() {
  const std::uint32_t count = m_refCount.fetch_sub(1) - 1;
  if (count == 0) delete this;
  return count;
}

std::uint32_t CVOKUnknown::LiveObjectCount() noexcept { return gLiveObjects.load(); }
