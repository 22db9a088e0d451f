// An effect instance: the effect object of a loaded plug-in together with its parameters, as an
// editing host keeps one per use of the effect on a timeline. The command-line renderer, the
// preview and the tests render through it.
//
// Parameters start at the catalogue's defaults (the host conventions of docs/architecture.md): a number at its
// default attribute (integer-tagged defaults of double parameters converted), a list parameter
// that has none at its first item's value, a text or byte array at its default bytes, a colour
// triple as a view onto its three channels.
//
// Rendering: Render() makes a fresh set of contexts, images and input layer for every call and
// shares nothing mutable between calls, so any number of threads may render frames of one
// instance at once (parameter values lock themselves). Do not change the sequence while renders
// run. Frame k renders at time k; an interlaced frame is two calls, the first field at k and the
// second at k + 0.5. A timeline (SetTimeline) changes the time the effect is handed, not these.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "definitions/Catalogue.h"
#include "loading/PluginModule.h"
#include "render/RenderContexts.h"
#include "ZELPluginInterfaces.h"

namespace zel::host {

/// Everything one render call fixes besides the pixels.
struct RenderRequest {
  double time = 0.0;                       ///< render time in frames from the effect's start
  std::int64_t frameIndex = 0;             ///< the frame's index (its identifier is this, clamped to 32 bits)
  std::int32_t field = ZELField_Both;      ///< ZELField_First, _Second or _Both
  ImageLayout layout;                      ///< row order, field layout and processing, aspect ratio, 4:2:2 step
};

/// A rectangle of a frame, [left, right) x [top, bottom) in pixels with row 0 at the top.
struct FrameRegion {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return left >= right || top >= bottom; }
  bool operator==(const FrameRegion&) const = default;
};

/// Which field of an interlaced frame comes first in time.
enum class InterlaceOrder {
  UpperFirst,  ///< the field of row 0 (the top row) first
  LowerFirst,  ///< the field of row 1 first
};

class EffectInstance {
 public:
  /// Makes an instance of the effect of `plugin` (which must outlive it): the catalogue snapshot,
  /// the parameters at their defaults and the effect object through the class factory. Throws
  /// HostError when the plug-in has no effect component or the object cannot be made.
  explicit EffectInstance(Plugin& plugin, const SequenceInfo& sequence = {});
  ~EffectInstance();
  EffectInstance(const EffectInstance&) = delete;
  EffectInstance& operator=(const EffectInstance&) = delete;

  const Catalogue& Parameters() const { return *m_catalogue; }
  IZELEffect* Effect() const { return m_effect.Get(); }
  const SequenceInfo& Sequence() const { return m_sequence; }
  void SetSequence(const SequenceInfo& sequence) { m_sequence = sequence; }
  /// The time the effect is handed for a frame time, and the times its parameter reads stand for
  /// (null: the frame time itself, as DESIGN.md's host conventions have it). Every render and
  /// region call of this instance goes through it; keys stay at frame times. Set while no render runs.
  void SetTimeline(std::shared_ptr<const EffectTimeline> timeline);
  /// `frameTime` through the timeline.
  double EffectTime(double frameTime) const { return m_timeline ? m_timeline->effectTime(frameTime) : frameTime; }

  /// The parameter with display name `name`, else the one shown by a list box of that name
  /// ("Clock Type List"), else the same ignoring case; null when there is none.
  ParameterValue* Find(std::string_view name) const;
  ParameterValue* Find(const VOKUID& uid) const;
  /// As Find, throwing HostError("no parameter named ...") when there is none.
  ParameterValue& Get(std::string_view name) const;
  /// Every parameter in registration order.
  const std::vector<VOKPtr<ParameterValue>>& All() const { return m_shared->parameters; }

  /// Reads `text` as a value of `parameter`: a list takes an item's name (any case) or an item's
  /// value; numbers in decimal; booleans as 1/0, true/false, yes/no, on/off; a colour triple as
  /// "r,g,b"; a byte array in hexadecimal of its exact size; text as it is. Throws HostError that
  /// names the parameter and, for a number outside its range, the range.
  ParamValue Parse(const ParameterValue& parameter, std::string_view text) const;
  /// Parse, then Set: the constant value, or a key at `keyTime` (frames).
  void SetFromText(std::string_view name, std::string_view text, std::optional<double> keyTime = std::nullopt);
  /// Sets a number (or all three numbers of a triple to `value`); throws HostError for a value
  /// outside the range, a NaN, or a parameter that is not a number.
  void SetNumber(std::string_view name, double value, std::optional<double> keyTime = std::nullopt);

  /// Every parameter back at its starting value, keys removed (a host opening another project).
  void ResetToDefaults();

  /// An effect context for work outside a render (the panel, the overlay, a dialog): parameters
  /// and sequence, no input layer. One reference for the caller.
  VOKPtr<HostEffectContext> MakeContext() const;

  /// One render call: `in` and `out` have the same size and kind (they may be the same memory:
  /// in place). Returns the effect's result, or VOK_E_INVALIDARG for unusable views without
  /// calling the effect.
  VOKRESULT Render(const FrameView& in, const FrameView& out, const RenderRequest& request) const;
  /// Frame k of a progressive sequence, at time k.
  VOKRESULT RenderFrame(const FrameView& in, const FrameView& out, std::int64_t k, ImageLayout layout = {}) const;
  /// One field of interlaced frame k, rendered in a call of its own: the first at time k, the
  /// second at k + 0.5. Only that field's rows are written.
  VOKRESULT RenderField(const FrameView& in, const FrameView& out, std::int64_t k, InterlaceOrder order,
                        bool secondField, ImageLayout layout = {}) const;
  /// Both fields of interlaced frame k, first then second; stops at the first failure. In place is
  /// fine: the second call reads the rows the first left alone.
  VOKRESULT RenderInterlaced(const FrameView& in, const FrameView& out, std::int64_t k, InterlaceOrder order,
                             ImageLayout layout = {}) const;
  /// Where a render of a `width` x `height` frame for `request` can change pixels, as the effect
  /// says through its region of definition, cut to the frame (empty: it changes none); nullopt
  /// when the effect does not say, so that the whole frame may change. Renders nothing.
  std::optional<FrameRegion> RegionOf(std::uint32_t width, std::uint32_t height, const RenderRequest& request) const;
  /// RegionOf for what RenderFrameAt (progressive) or RenderInterlacedAt (both fields: the union)
  /// at `time` would render.
  std::optional<FrameRegion> RegionAt(std::uint32_t width, std::uint32_t height, double time, bool interlaced,
                                      ImageLayout layout = {}) const;
  /// The same three for frame k rendered at `time` (frames) rather than at k: a frame of a
  /// variable-rate video renders at its timestamp times the nominal rate.
  VOKRESULT RenderFrameAt(const FrameView& in, const FrameView& out, std::int64_t k, double time,
                          ImageLayout layout = {}) const;
  VOKRESULT RenderFieldAt(const FrameView& in, const FrameView& out, std::int64_t k, double time, InterlaceOrder order,
                          bool secondField, ImageLayout layout = {}) const;
  VOKRESULT RenderInterlacedAt(const FrameView& in, const FrameView& out, std::int64_t k, double time,
                               InterlaceOrder order, ImageLayout layout = {}) const;

 private:
  std::unique_ptr<Catalogue> m_catalogue;
  std::shared_ptr<EffectShared> m_shared;
  VOKPtr<IZELEffect> m_effect;
  SequenceInfo m_sequence;
  std::shared_ptr<const EffectTimeline> m_timeline;
};

/// Whether `view` can be rendered: data, a size, and rows long enough.
bool IsUsable(const FrameView& view);

}  // namespace zel::host
