#include "render/RenderContexts.h"

#include "text/Text.h"

#include <cstdio>

namespace zel::host {

ParameterValue* EffectShared::Find(const VOKUID& uid) const {
  for (const auto& p : parameters)
    if (p->Uid() == uid) return p.Get();
  return nullptr;
}

std::int32_t HostFrameContext::GetFrameID() {
  ZEL_HOST_NOTE("FrameContext.GetFrameID");
  return m_frameId;
}

std::int64_t HostFrameContext::GetFrameIndex() {
  ZEL_HOST_NOTE("FrameContext.GetFrameIndex");
  return m_frameIndex;
}

double HostRenderContext::GetTime() {
  ZEL_HOST_NOTE("RenderContext.GetTime");
  return m_time;
}

std::int32_t HostRenderContext::GetRenderedField() {
  ZEL_HOST_NOTE("RenderContext.GetRenderedField");
  return m_field;
}

VOKRESULT HostOutput::GetImage(std::uint32_t index, IZELImage** ppImage) {
  ZEL_HOST_ENTER("Output.GetImage");
  if (ppImage == nullptr) return VOK_E_POINTER;
  *ppImage = nullptr;
  if (index != 0) return VOK_E_BADINDEX;
  m_image->AddRef();
  *ppImage = m_image.Get();
  return VOK_OK;
}

VOKRESULT HostInputLayer::GetImage(std::int32_t frameId, std::int32_t, std::int32_t, IZELImage** ppImage) {
  ZEL_HOST_ENTER("InputLayer.GetImage");
  if (ppImage == nullptr) return VOK_E_POINTER;
  *ppImage = nullptr;
  // A render call holds the input of its own frame only.
  if (frameId != m_frameId) return VOK_E_INVALIDARG;
  m_image->AddRef();
  *ppImage = m_image.Get();
  return VOK_OK;
}

VOKRESULT HostEffectContext::GetHostUnknown(IVOKUnknown** ppHost) {
  ZEL_HOST_ENTER("EffectContext.GetHostUnknown");
  if (ppHost == nullptr) return VOK_E_POINTER;
  *ppHost = m_shared->host.Get();
  if (*ppHost) (*ppHost)->AddRef();
  return VOK_OK;
}

VOKRESULT HostEffectContext::GetInputLayer(std::uint32_t index, IZELInputLayer** ppLayer) {
  ZEL_HOST_ENTER("EffectContext.GetInputLayer");
  if (ppLayer == nullptr) return VOK_E_POINTER;
  *ppLayer = nullptr;
  if (index != 0) return VOK_E_BADINDEX;
  if (!m_input) return VOK_E_FAIL;  // not rendering: no frame to give
  m_input->AddRef();
  *ppLayer = m_input.Get();
  return VOK_OK;
}

std::uint32_t HostEffectContext::GetInputCount() {
  ZEL_HOST_NOTE("EffectContext.GetInputCount");
  return 1;
}

double HostEffectContext::GetFrameRate() {
  ZEL_HOST_NOTE("EffectContext.GetFrameRate");
  return m_sequence.frameRate;
}

void HostEffectContext::GetFrameSize(std::uint32_t* width, std::uint32_t* height) {
  ZEL_HOST_NOTE("EffectContext.GetFrameSize");
  if (width) *width = m_sequence.width;
  if (height) *height = m_sequence.height;
}

double HostEffectContext::GetFrameAspectRatio() {
  ZEL_HOST_NOTE("EffectContext.GetFrameAspectRatio");
  if (m_sequence.height == 0) return 0.0;
  return m_sequence.pixelAspectRatio * m_sequence.width / m_sequence.height;
}

double HostEffectContext::GetPixelAspectRatio() {
  ZEL_HOST_NOTE("EffectContext.GetPixelAspectRatio");
  return m_sequence.pixelAspectRatio;
}

double HostEffectContext::GetDuration() {
  ZEL_HOST_NOTE("EffectContext.GetDuration");
  return m_sequence.duration;
}

std::int32_t HostEffectContext::GetFieldLayout() {
  ZEL_HOST_NOTE("EffectContext.GetFieldLayout");
  return m_sequence.fieldLayout;
}

std::int32_t HostEffectContext::GetColorModel() {
  ZEL_HOST_NOTE("EffectContext.GetColorModel");
  return m_sequence.colorModel;
}

std::uint32_t HostEffectContext::GetParameterCount() {
  ZEL_HOST_NOTE("EffectContext.GetParameterCount");
  return static_cast<std::uint32_t>(m_shared->parameters.size());
}

namespace {
VOKRESULT HandOutParameter(ParameterValue* p, const VOKUID& iid, void** ppv) {
  void* face = nullptr;
  if (iid == IID_IZELParameter || iid == IID_IVOKUnknown)
    face = static_cast<IZELParameter*>(p);
  else if (iid == IID_IZELAnimatedParameter)
    face = static_cast<IZELAnimatedParameter*>(p);
  if (face == nullptr) return VOK_E_NOINTERFACE;
  p->AddRef();
  *ppv = face;
  return VOK_OK;
}
}  // namespace

VOKRESULT HostEffectContext::GetParameterByIndex(std::uint32_t index, const VOKUID& iid, void** ppv) {
  ZEL_HOST_ENTER("EffectContext.GetParameterByIndex");
  if (ppv == nullptr) return VOK_E_POINTER;
  *ppv = nullptr;
  if (index >= m_shared->parameters.size()) return VOK_E_BADINDEX;
  return HandOutParameter(m_shared->parameters[index].Get(), iid, ppv);
}

VOKRESULT HostEffectContext::GetParameterUID(std::uint32_t index, VOKUID* uid) {
  ZEL_HOST_ENTER("EffectContext.GetParameterUID");
  if (uid == nullptr) return VOK_E_POINTER;
  if (index >= m_shared->parameters.size()) return VOK_E_BADINDEX;
  *uid = m_shared->parameters[index]->Uid();
  return VOK_OK;
}

std::int32_t HostEffectContext::IsFinalRender() {
  ZEL_HOST_NOTE("EffectContext.IsFinalRender");
  return m_sequence.finalRender ? 1 : 0;
}

VOKRESULT HostEffectContext::GetEffectUID(VOKUID* uid) {
  ZEL_HOST_ENTER("EffectContext.GetEffectUID");
  if (uid == nullptr) return VOK_E_POINTER;
  *uid = m_shared->effectUid;
  return VOK_OK;
}

VOKRESULT HostEffectContext::GetParameter(const VOKUID& parameterUid, const VOKUID& iid, void** ppv) {
  ParameterValue* p = m_shared->Find(parameterUid);
  ZEL_HOST_ENTER_DETAIL("EffectContext.GetParameter", p ? p->Name() : UidText(parameterUid));
  if (ppv == nullptr) return VOK_E_POINTER;
  *ppv = nullptr;
  if (p == nullptr) return VOK_E_INVALIDARG;
  return HandOutParameter(p, iid, ppv);
}

}  // namespace zel::host
