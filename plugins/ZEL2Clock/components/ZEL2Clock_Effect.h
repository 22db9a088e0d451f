// The clock effect: the object the host calls once per output frame or field.
#pragma once

#include "CVOKClassFactory.h"
#include "VOKPtr.h"
#include "ZELPluginInterfaces.h"

class ZEL2Clock_Effect : public IZELEffect, public CVOKUnknown {
 public:
  explicit ZEL2Clock_Effect(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) {}
  ~ZEL2Clock_Effect() override = default;

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IZELEffect, IID_IZELEffect)

  /// Keeps a reference to the host unknown; null is VOK_E_INVALIDARG.
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override;

  VOKRESULT QueryCapabilities(IZELEffectContext*, const void*, void*) override { return VOK_E_NOTIMPL; }
  VOKRESULT InitInstance(IZELEffectContext* context) override { return context ? VOK_OK : VOK_E_INVALIDARG; }
  VOKRESULT BeginSequence(IZELEffectContext*, std::int64_t) override { return VOK_OK; }
  VOKRESULT PrepareFrame(IZELEffectContext*, IZELFrameContext*, IZELRenderContext*) override { return VOK_OK; }
  VOKRESULT IsIdentity(IZELEffectContext*, IZELRenderContext*, std::int32_t*) override { return VOK_OK; }
  VOKRESULT Render(IZELEffectContext* effectContext, IVOKUnknown* inputs, IVOKUnknown* parameters,
                   IZELFrameContext* frameContext, IVOKUnknown* reserved, IZELRenderContext* renderContext,
                   IZELOutput* output) override;
  VOKRESULT FinishFrame(IZELEffectContext*, IZELFrameContext*, IZELRenderContext*) override { return VOK_OK; }
  /// Fills the ZELRegion `region` with the rectangle the clock of the render context's time covers;
  /// VOK_OK whether or not it could.
  VOKRESULT GetRegionOfDefinition(IZELEffectContext* effectContext, IZELRenderContext* renderContext,
                                  void* region) override;
  VOKRESULT EndSequence(IZELEffectContext*, std::int64_t) override { return VOK_OK; }

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<ZEL2Clock_Effect>(host, outer, iid, ppv);
  }

 private:
  VOKPtr<IVOKUnknown> m_hostUnknown;
};
