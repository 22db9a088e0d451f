// The base of every host object handed to a plug-in: atomic reference counting, interface lookup
// over the faces the object lists, the live-host-object count, and QueryInterface logged and
// open to fault injection like every other host call.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "loading/Instrumentation.h"
#include "VOKBase.h"
#include "VOKPtr.h"
#include "ZELDefinitions.h"
#include "ZELInteraction.h"
#include "ZELRender.h"

namespace zel::host {

/// The interface UID of host interface I.
template <class I>
constexpr VOKUID IidOf();
#define ZEL_HOST_IID(I) \
  template <>           \
  constexpr VOKUID IidOf<I>() { return IID_##I; }
ZEL_HOST_IID(IVOKUnknown)
ZEL_HOST_IID(IZELHostDefinition)
ZEL_HOST_IID(IZELDefinitionFactory)
ZEL_HOST_IID(IZELPluginDefinition)
ZEL_HOST_IID(IZELComponentDefinition)
ZEL_HOST_IID(IZELEffectDefinition)
ZEL_HOST_IID(IZELParameterDefinition)
ZEL_HOST_IID(IZELLayoutDefinition)
ZEL_HOST_IID(IZELEffectContext)
ZEL_HOST_IID(IZELFrameContext)
ZEL_HOST_IID(IZELRenderContext)
ZEL_HOST_IID(IZELOutput)
ZEL_HOST_IID(IZELInputLayer)
ZEL_HOST_IID(IZELImage)
ZEL_HOST_IID(IZELPixelFormat)
ZEL_HOST_IID(IZELParameter)
ZEL_HOST_IID(IZELAnimatedParameter)
ZEL_HOST_IID(IZELConsole)
ZEL_HOST_IID(IZELLayoutSource)
ZEL_HOST_IID(IZELLayoutEntry)
ZEL_HOST_IID(IZELOverlayContext)
#undef ZEL_HOST_IID

/// Makes a host object; the returned pointer owns the one reference it is born with.
template <class T, class... Args>
VOKPtr<T> MakeHostObject(Args&&... args) {
  VOKPtr<T> p;
  p.Attach(new T(std::forward<Args>(args)...));
  return p;
}

/// `Primary` is the face handed out for IID_IVOKUnknown; `Faces` lists every interface the object
/// implements directly. A derived class answers further interface UIDs (a base interface such as
/// IZELComponentDefinition of an effect definition) by overriding FindFace.
template <class Primary, class... Faces>
class HostObject : public Primary, public Faces... {
 public:
  HostObject() noexcept { Instrumentation::ObjectMade(); }
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override {
    // Nulled before fault injection can strike, so an injected failure looks like a real one.
    if (ppv != nullptr) *ppv = nullptr;
    ZEL_HOST_ENTER_DETAIL("QueryInterface", std::string(ObjectName()));
    if (ppv == nullptr) return VOK_E_POINTER;
    void* face = LookupFace(iid);
    if (face == nullptr) return VOK_E_NOINTERFACE;
    AddRef();
    *ppv = face;
    return VOK_OK;
  }
  std::uint32_t AddRef() override { return m_refs.fetch_add(1) + 1; }
  std::uint32_t Release() override {
    const std::uint32_t count = m_refs.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
  }

  /// The face for `iid` without a reference, the log or faults: for the host's own use.
  void* LookupFace(const VOKUID& iid) {
    return iid == IID_IVOKUnknown ? static_cast<IVOKUnknown*>(static_cast<Primary*>(this)) : FindFace(iid);
  }
  /// The object as its primary face, with no reference added.
  Primary* Face() noexcept { return this; }

 protected:
  virtual ~HostObject() { Instrumentation::ObjectGone(); }
  /// Name used in the call log for QueryInterface on this object.
  virtual const char* ObjectName() const { return "Object"; }
  /// The face for `iid`, or null. Covers Primary and Faces by their IID traits.
  virtual void* FindFace(const VOKUID& iid) {
    void* found = nullptr;
    ((found == nullptr && iid == IidOf<Primary>() ? found = static_cast<Primary*>(this) : nullptr), ...,
     (found == nullptr && iid == IidOf<Faces>() ? found = static_cast<Faces*>(this) : nullptr));
    return found;
  }

 private:
  std::atomic<std::uint32_t> m_refs{1};  ///< born with the creator's reference
};

}  // namespace zel::host
