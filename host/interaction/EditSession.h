// What an editing host does around one effect instance while the user works on it: it keeps the
// parameter panel, calls the plug-in's update handler after every parameter change (so the panel
// follows the timer style), shows a frame in a viewer with the plug-in's overlay on top and routes
// pointer events to the overlay, and runs the plug-in's modal dialog.
//
// Threads: the user-interface thread only (the overlay, the handler and the dialog are called
// from it, as the contract requires). Renders of the instance may run elsewhere.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "render/EffectInstance.h"
#include "interaction/LayoutSource.h"
#include "interaction/OverlayContext.h"

namespace zel::host {

class EditSession {
 public:
  /// An instance of `plugin`'s effect (the plug-in must outlive the session), its panel with every
  /// entry on, and the update handler, which runs once at once so that the panel starts in the
  /// state the default timer style asks for. Throws HostError as EffectInstance does, or when the
  /// update handler cannot be made.
  explicit EditSession(Plugin& plugin, const SequenceInfo& sequence = {});
  ~EditSession();
  EditSession(const EditSession&) = delete;
  EditSession& operator=(const EditSession&) = delete;

  EffectInstance& Instance() { return m_instance; }
  const EffectInstance& Instance() const { return m_instance; }
  LayoutSource& Panel() { return *m_panel.Get(); }
  /// Whether the plug-in offers an update handler, an overlay, a modal dialog.
  bool HasUpdateHandler() const { return static_cast<bool>(m_updater); }
  bool HasOverlay() const;
  bool HasModalUI() const;

  /// The frame on show (time in frames; frame index = the time truncated).
  double Time() const { return m_time; }
  void SetTime(double time);

  // --- parameter changes: each runs the update handler afterwards and returns its result --------
  /// As EffectInstance::SetFromText / SetNumber (which throw HostError for bad input).
  VOKRESULT SetFromText(std::string_view name, std::string_view text, std::optional<double> keyTime = std::nullopt);
  VOKRESULT SetNumber(std::string_view name, double value, std::optional<double> keyTime = std::nullopt);
  /// Sets `parameter` directly (false from ParameterValue::Set: nothing changed, no update call).
  VOKRESULT Set(ParameterValue& parameter, const ParamValue& value, std::optional<double> keyTime = std::nullopt);
  /// Tells the session that parameters changed by another way (`changed` may be null: unknown);
  /// calls the update handler at the time on show. VOK_OK when there is no handler.
  VOKRESULT ParametersChanged(ParameterValue* changed);
  /// The result of the last update call.
  VOKRESULT LastUpdateResult() const { return m_lastUpdate; }

  // --- viewer and overlay ----------------------------------------------------------------------
  /// Makes (or remakes) the viewer: width x height pixels with the frame fitted into it, and the
  /// overlay attached to it. Throws HostError when the plug-in has no overlay.
  OverlayContext& OpenViewer(int width, int height);
  /// The viewer, or null before OpenViewer.
  OverlayContext* Viewer() { return m_viewer.Get(); }
  IZELGraphicOverlay* Overlay() { return m_overlay.Get(); }
  /// Renders the frame on show from `input` (BGRA or RGBA, the sequence's size) and puts it into
  /// the viewer, scaled to its placement, over an opaque grey; then the overlay draws. Returns the
  /// render's result (the viewer shows the input when the render fails).
  VOKRESULT ShowFrame(const FrameView& input, bool highlighted = false);
  /// What ShowFrame showed last, at the frame's own size, before scaling: the rendered frame, or
  /// the input when the render failed (then valid while that input lives). Empty before the first.
  FrameView LastFrame() const { return m_frameView; }
  /// The overlay's draw on the viewer as it is now.
  void DrawOverlay(bool highlighted);
  /// Pointer events at a viewer pixel, mapped to frame-relative units first. A drag that the
  /// overlay handled counts as a parameter change.
  std::int32_t PointerDown(double px, double py, std::int32_t buttons = 1);
  std::int32_t PointerDrag(double px, double py, std::int32_t buttons = 1);
  std::int32_t PointerUp(double px, double py, std::int32_t buttons = 1);

  // --- modal dialog ----------------------------------------------------------------------------
  /// Runs the plug-in's modal dialog on the instance and, when it returns, counts it as a
  /// parameter change. Returns the dialog's result; VOK_E_NOTIMPL when the plug-in has none.
  VOKRESULT RunModalUI();

 private:
  void RefreshViewerContexts();
  void FrameToViewer(double px, double py, double* x, double* y) const;

  EffectInstance m_instance;
  Plugin& m_plugin;
  VOKPtr<LayoutSource> m_panel;
  VOKPtr<IZELUpdateParams> m_updater;
  VOKPtr<IZELGraphicOverlay> m_overlay;
  VOKPtr<OverlayContext> m_viewer;
  std::vector<std::uint8_t> m_frame;  ///< the last rendered frame (BGRA), reused
  FrameView m_frameView{};            ///< what m_frame holds
  std::vector<std::uint32_t> m_columns;  ///< ShowFrame's source column per viewer column, reused
  double m_time = 0;
  VOKRESULT m_lastUpdate = VOK_OK;
};

}  // namespace zel::host
