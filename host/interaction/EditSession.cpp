#include "interaction/EditSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zel::host {

namespace {

/// Makes an object of the component of `kind` that the effect links to, as interface I; empty
/// when the plug-in has no such component.
template <class I>
VOKPtr<I> MakeCompanion(Plugin& plugin, const VOKUID& kind, const VOKUID& iid) {
  VOKPtr<I> result;
  const ComponentDefinition* component = plugin.ComponentOfKind(kind);
  if (component == nullptr) return result;
  VOKPtr<IVOKUnknown> object = plugin.CreateObject(*component, iid);
  // CreateObject asked for `iid`: the pointer it holds is that interface's face.
  result.Attach(static_cast<I*>(object.Detach()));
  return result;
}

/// The grey the viewer shows around a frame that does not fill it.
constexpr std::uint8_t kViewerGrey = 0x40;

}  // namespace

EditSession::EditSession(Plugin& plugin, const SequenceInfo& sequence)
    : m_instance(plugin, sequence), m_plugin(plugin) {
  const ComponentDefinition* effect = plugin.Effect();
  if (effect == nullptr) throw HostError("the plug-in has no effect component");
  m_panel = LayoutSource::Build(*effect);
  m_updater = MakeCompanion<IZELUpdateParams>(plugin, ZELKind_UpdateParams, IID_IZELUpdateParams);
  (void)ParametersChanged(nullptr);
}

EditSession::~EditSession() {
  if (m_overlay) m_overlay->Detach();
}

bool EditSession::HasOverlay() const { return m_plugin.ComponentOfKind(ZELKind_Overlay) != nullptr; }
bool EditSession::HasModalUI() const { return m_plugin.ComponentOfKind(ZELKind_ModalUI) != nullptr; }

void EditSession::SetTime(double time) {
  m_time = time;
  RefreshViewerContexts();
}

VOKRESULT EditSession::SetFromText(std::string_view name, std::string_view text, std::optional<double> keyTime) {
  m_instance.SetFromText(name, text, keyTime);
  return ParametersChanged(m_instance.Find(name));
}

VOKRESULT EditSession::SetNumber(std::string_view name, double value, std::optional<double> keyTime) {
  m_instance.SetNumber(name, value, keyTime);
  return ParametersChanged(m_instance.Find(name));
}

VOKRESULT EditSession::Set(ParameterValue& parameter, const ParamValue& value, std::optional<double> keyTime) {
  if (!parameter.Set(value, keyTime)) return VOK_E_INVALIDARG;
  return ParametersChanged(&parameter);
}

VOKRESULT EditSession::ParametersChanged(ParameterValue* changed) {
  if (!m_updater) return m_lastUpdate = VOK_OK;
  VOKPtr<HostEffectContext> context = m_instance.MakeContext();
  auto render = MakeHostObject<HostRenderContext>(m_instance.EffectTime(m_time), ZELField_Both);
  // The handler only needs to know that something changed; when the host does not know what, the
  // instance itself stands for the change.
  IVOKUnknown* what = changed != nullptr ? static_cast<IVOKUnknown*>(static_cast<IZELParameter*>(changed))
                                         : static_cast<IVOKUnknown*>(context.Get());
  m_lastUpdate = m_updater->Update(context.Get(), what, render.Get(), m_panel.Get());
  return m_lastUpdate;
}

// --- viewer ---------------------------------------------------------------------------------------

OverlayContext& EditSession::OpenViewer(int width, int height) {
  if (!m_overlay) m_overlay = MakeCompanion<IZELGraphicOverlay>(m_plugin, ZELKind_Overlay, IID_IZELGraphicOverlay);
  if (!m_overlay) throw HostError("the plug-in has no overlay");
  if (m_viewer) m_overlay->Detach();
  const SequenceInfo& seq = m_instance.Sequence();
  m_viewer = MakeHostObject<OverlayContext>(width, height, seq.width, seq.height, seq.pixelAspectRatio);
  RefreshViewerContexts();
  const VOKRESULT attached = m_overlay->Attach(m_viewer.Get());
  if (VOKFAILED(attached)) throw HostError("the overlay refused the viewer: " + ResultText(attached));
  return *m_viewer.Get();
}

void EditSession::RefreshViewerContexts() {
  if (!m_viewer) return;
  const double index = std::isfinite(m_time) ? std::floor(m_time) : 0.0;
  const auto frameIndex = static_cast<std::int64_t>(std::clamp(index, -2147483648.0, 2147483647.0));
  VOKPtr<HostEffectContext> effect = m_instance.MakeContext();
  auto frame = MakeHostObject<HostFrameContext>(static_cast<std::int32_t>(frameIndex), frameIndex);
  auto render = MakeHostObject<HostRenderContext>(m_instance.EffectTime(m_time), ZELField_Both);
  m_viewer->SetContexts(effect.Get(), frame.Get(), render.Get());
}

VOKRESULT EditSession::ShowFrame(const FrameView& input, bool highlighted) {
  if (!m_viewer) throw HostError("no viewer: open one first");
  if (input.kind != PixelKind::Bgra && input.kind != PixelKind::Rgba)
    throw HostError("the viewer shows RGBA or BGRA frames only");
  const std::size_t stride = std::size_t{input.width} * 4;
  m_frame.resize(stride * input.height);
  FrameView out{m_frame.data(), input.width, input.height, stride, input.kind};
  RenderRequest request;
  request.time = m_time;
  request.frameIndex = static_cast<std::int64_t>(std::isfinite(m_time) ? std::floor(m_time) : 0.0);
  request.layout.pixelAspectRatio = m_instance.Sequence().pixelAspectRatio;
  const VOKRESULT rendered = m_instance.Render(input, out, request);
  const FrameView& shown = VOKSUCCEEDED(rendered) ? out : input;
  m_frameView = shown;

  // Nearest-neighbour scaling into the placement; the viewer is small, the frame already made.
  ViewerSurface& surface = m_viewer->Surface();
  surface.Fill(kViewerGrey, kViewerGrey, kViewerGrey, 0xFF);
  const FramePlacement& p = m_viewer->Placement();
  const int x0 = std::max(0, static_cast<int>(std::ceil(p.originX)));
  const int y0 = std::max(0, static_cast<int>(std::ceil(p.originY)));
  const int x1 = std::min(surface.Width(), static_cast<int>(std::floor(p.originX + p.width)));
  const int y1 = std::min(surface.Height(), static_cast<int>(std::floor(p.originY + p.height)));
  const bool swap = shown.kind == PixelKind::Rgba;
  // The source column of every viewer column, worked out once per frame rather than per pixel.
  m_columns.clear();
  for (int x = x0; x < x1 && p.width > 0; ++x)
    m_columns.push_back(std::min<std::uint32_t>(static_cast<std::uint32_t>((x - p.originX) / p.width * shown.width),
                                                shown.width - 1));
  for (int y = y0; y < y1 && p.height > 0 && p.width > 0; ++y) {
    const auto sy = std::min<std::uint32_t>(static_cast<std::uint32_t>((y - p.originY) / p.height * shown.height),
                                            shown.height - 1);
    const std::uint8_t* src = shown.data + sy * shown.stride;
    std::uint8_t* d = surface.Bits() + static_cast<std::size_t>(y) * surface.Stride() + static_cast<std::size_t>(x0) * 4;
    for (const std::uint32_t sx : m_columns) {
      const std::uint8_t* s = src + std::size_t{sx} * 4;
      d[0] = swap ? s[2] : s[0];
      d[1] = s[1];
      d[2] = swap ? s[0] : s[2];
      d[3] = 0xFF;
      d += 4;
    }
  }
  DrawOverlay(highlighted);
  return rendered;
}

void EditSession::DrawOverlay(bool highlighted) {
  if (m_overlay && m_viewer) m_overlay->Draw(highlighted ? 1 : 0);
}

void EditSession::FrameToViewer(double px, double py, double* x, double* y) const {
  const FramePlacement& p = m_viewer->Placement();
  *x = p.width > 0 ? (px - p.originX) / p.width : 0.0;
  *y = p.height > 0 ? (py - p.originY) / p.height : 0.0;
}

std::int32_t EditSession::PointerDown(double px, double py, std::int32_t buttons) {
  if (!m_overlay || !m_viewer) return 0;
  double x = 0, y = 0;
  FrameToViewer(px, py, &x, &y);
  m_viewer->SetPointer(x, y, true, 0);
  return m_overlay->PointerDown(x, y, buttons);
}

std::int32_t EditSession::PointerDrag(double px, double py, std::int32_t buttons) {
  if (!m_overlay || !m_viewer) return 0;
  double x = 0, y = 0;
  FrameToViewer(px, py, &x, &y);
  m_viewer->SetPointer(x, y, true, 0);
  const std::int32_t handled = m_overlay->PointerDrag(x, y, buttons);
  if (handled != 0) (void)ParametersChanged(nullptr);
  return handled;
}

std::int32_t EditSession::PointerUp(double px, double py, std::int32_t buttons) {
  if (!m_overlay || !m_viewer) return 0;
  double x = 0, y = 0;
  FrameToViewer(px, py, &x, &y);
  m_viewer->SetPointer(x, y, true, 0);
  return m_overlay->PointerUp(x, y, buttons);
}

VOKRESULT EditSession::RunModalUI() {
  VOKPtr<IZELModalUI> dialog = MakeCompanion<IZELModalUI>(m_plugin, ZELKind_ModalUI, IID_IZELModalUI);
  if (!dialog) return VOK_E_NOTIMPL;
  VOKPtr<HostEffectContext> context = m_instance.MakeContext();
  const VOKRESULT result = dialog->DoModal(context.Get(), nullptr, nullptr);
  // The dialog wrote whatever it edits through the parameters; which ones, the host cannot tell.
  (void)ParametersChanged(nullptr);
  return result;
}

}  // namespace zel::host
