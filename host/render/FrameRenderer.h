// The way of one decoded frame through the host, the same for every front end that renders files
// (zelhost render, the preview, the benches):
//
//   region of definition -> working picture -> turn to shown -> effect render -> turn back -> write-back
//
// The effect sees the picture as a viewer shows the output (a phone clip's rotation kept in the
// output: the clock upright), in the working format the front end chose, with the sequence that
// SequenceOf describes. Only the rows the effect says it can change are made and compared; what it
// changed is written back into the decoded picture, so everything else reaches the encoder as it
// was decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "media/Frame.h"
#include "media/NativePicture.h"
#include "media/Orientation.h"
#include "media/VideoSource.h"
#include "render/EffectInstance.h"

namespace zel::host {

/// How the frames of one source are handed to the effect. Made once per render by PlanFrames.
struct FramePlan {
  media::FrameFormat format = media::FrameFormat::Rgba;      ///< the working format
  media::FieldOrder order = media::FieldOrder::Progressive;  ///< of the picture as coded
  /// From the picture as coded to the one the effect draws on; identity: drawn on as coded.
  media::Orientation turn;
  /// Why the picture is drawn on as coded although the output shows it turned; empty otherwise.
  std::string note;

  bool Interlaced() const { return order != media::FieldOrder::Progressive; }
  /// The field order the effect sees on the turned picture: a picture turned upside down with an
  /// even number of rows has its top field at the bottom.
  media::FieldOrder ShownOrder(int codedHeight) const;
};

/// The plan for frames of `info` worked on in `format` with field order `order` (none: the
/// source's own). `outputTurns`: the output keeps the display matrix, so a viewer shows it turned
/// as the input is shown; the effect then draws on the picture as shown wherever that can be done
/// exactly, and `note` says why where it cannot.
FramePlan PlanFrames(const media::SourceInfo& info, media::FrameFormat format,
                     std::optional<media::FieldOrder> order, bool outputTurns);

/// The sequence the effect sees for frames of `info` handed over as `plan` says: the shown size,
/// pixel shape and field order, the source's rate, `duration` frames.
SequenceInfo SequenceOf(const media::SourceInfo& info, const FramePlan& plan, double duration, bool finalRender);

/// The host's pixel kind of a working format.
PixelKind PixelKindOf(media::FrameFormat format);
/// The host image over a working frame's pixels.
FrameView ViewOf(media::Frame& frame);

/// "turned 90 degrees counterclockwise" for an angle clockwise in degrees: the direction of the
/// smaller turn, so that a number reads as ffprobe's rotation does.
std::string TurnText(double clockwise);

/// Renders frames of one source through one effect instance, as its FramePlan says. Const and
/// shareable between threads: each frame in flight brings its own Scratch.
class FrameRenderer {
 public:
  /// What one frame in flight needs besides its pixels, kept from frame to frame.
  struct Scratch {
    media::NativeWriteBack writeBack;  ///< the changed pixels back into the decoded picture
    media::Frame shown;                ///< the picture turned as shown, when the plan turns it
  };

  /// `instance` must outlive the renderer and have its sequence set (SequenceOf).
  FrameRenderer(const EffectInstance& instance, const FramePlan& plan);

  /// Whether a source may leave the working picture unmade until the write-back asks for rows:
  /// true when the picture is drawn on as coded, so the region of definition names coded rows.
  bool MakesRowsOnDemand() const { return m_plan.turn.identity(); }
  const FramePlan& Plan() const { return m_plan; }

  /// Renders `frame` in place the whole way, at its own time: the effect's result written back
  /// into its decoded picture (when it has one) and its field order set as planned. Throws
  /// std::runtime_error naming the frame when the effect fails.
  void Render(media::Frame& frame, Scratch& scratch) const;

  /// For a viewer: the frame as the effect sees it (turned as shown), unrendered. The result is
  /// `frame` itself or `scratch.shown`.
  media::Frame& Shown(media::Frame& frame, Scratch& scratch) const;

 private:
  const EffectInstance& m_instance;
  FramePlan m_plan;
  ImageLayout m_layout;
  InterlaceOrder m_interlaceOrder = InterlaceOrder::UpperFirst;
};

}  // namespace zel::host
