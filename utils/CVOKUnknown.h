// CVOKUnknown: the base of every component class. Reference counting, interface lookup and
// aggregation under an outer object, plus the module-wide count of live objects that decides
// whether the module may be unloaded.
//
// A component class derives first from its interface, then from CVOKUnknown, and puts
// VOK_DELEGATING_UNKNOWN() in its body: the three base operations of its interface then forward to
// the outer unknown (the object's own PrivateUnknown when it is not aggregated).
#pragma once

#include <atomic>
#include <cstdint>

#include "VOKBase.h"

class CVOKUnknown {
 public:
  /// `outer` null: the object stands alone; else it is aggregated under `outer` (no reference held).
  explicit CVOKUnknown(IVOKUnknown* outer) noexcept;
  virtual ~CVOKUnknown();
  CVOKUnknown(const CVOKUnknown&) = delete;
  CVOKUnknown& operator=(const CVOKUnknown&) = delete;

  /// Called once right after construction; the base ignores `host` and succeeds.
  virtual VOKRESULT SetHostUnknown(IVOKUnknown* host);
  /// Kept for the layout of the original class table; nothing calls it.
  virtual void Reserved();
  /// IID_IVOKUnknown yields the private unknown with a reference; anything else VOK_E_NOINTERFACE.
  virtual VOKRESULT InternalQueryInterface(const VOKUID& iid, void** ppv);
  virtual std::uint32_t InternalAddRef();
  /// Destroys the object when the count reaches 0.
  virtual std::uint32_t InternalRelease();

  /// The object's identity: the pointer handed out for IID_IVOKUnknown.
  IVOKUnknown* GetPrivateUnknown() noexcept { return &m_privateUnknown; }
  IVOKUnknown* GetOuterUnknown() const noexcept { return m_outerUnknown; }

  /// Component objects and class factories of this module alive right now.
  static std::uint32_t LiveObjectCount() noexcept;

 protected:
  class PrivateUnknown final : public IVOKUnknown {
   public:
    explicit PrivateUnknown(CVOKUnknown* owner) noexcept : m_owner(owner) {}
    VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override { return m_owner->InternalQueryInterface(iid, ppv); }
    std::uint32_t AddRef() override { return m_owner->InternalAddRef(); }
    std::uint32_t Release() override { return m_owner->InternalRelease(); }

   private:
    CVOKUnknown* m_owner;
  };

  std::atomic<std::uint32_t> m_refCount{0};
  IVOKUnknown* m_outerUnknown = nullptr;  ///< never null after construction; holds no reference
  PrivateUnknown m_privateUnknown;
};

/// The three base operations of a component's own interface, forwarded to the outer unknown.
#define VOK_DELEGATING_UNKNOWN()                                                                            \
  VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override { return m_outerUnknown->QueryInterface(iid, ppv); } \
  std::uint32_t AddRef() override { return m_outerUnknown->AddRef(); }                                      \
  std::uint32_t Release() override { return m_outerUnknown->Release(); }

/// The interface lookup every component class has: its own interface `Iface` (with `iid`) or the
/// base lookup. A null out-pointer is VOK_E_INVALIDARG.
#define VOK_INTERFACE_LOOKUP(Iface, iidOwn)                                       \
  VOKRESULT InternalQueryInterface(const VOKUID& iid, void** ppv) override {       \
    if (ppv == nullptr) return VOK_E_INVALIDARG;                                   \
    if (iid == (iidOwn)) {                                                         \
      *ppv = static_cast<Iface*>(this);                                            \
      static_cast<Iface*>(this)->AddRef();                                         \
      return VOK_OK;                                                               \
    }                                                                              \
    return CVOKUnknown::InternalQueryInterface(iid, ppv);                          \
  }
