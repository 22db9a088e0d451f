#include "render/FrameRenderer.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

extern "C" {
#include <libavutil/rational.h>
}

#include "render/HostImage.h"

namespace zel::host {

media::FieldOrder FramePlan::ShownOrder(int codedHeight) const {
  if (!turn.flipY || turn.transpose || codedHeight % 2 != 0 || order == media::FieldOrder::Progressive) return order;
  return order == media::FieldOrder::TopFirst ? media::FieldOrder::BottomFirst : media::FieldOrder::TopFirst;
}

std::string TurnText(double clockwise) {
  long degrees = std::lround(clockwise) % 360;
  if (degrees > 180) degrees -= 360;
  if (degrees <= -180) degrees += 360;
  const std::string text = "turned " + std::to_string(std::labs(degrees)) + " degrees";
  return degrees == 180 ? text : text + (degrees > 0 ? " clockwise" : " counterclockwise");
}

FramePlan PlanFrames(const media::SourceInfo& info, media::FrameFormat format, std::optional<media::FieldOrder> order,
                     bool outputTurns) {
  FramePlan plan;
  plan.format = format;
  plan.order = order.value_or(info.fieldOrder);
  if (!outputTurns) return plan;
  const std::string coded = ": the clock is drawn on the picture as coded, and shows turned with it";
  if (info.tilt != 0) {
    plan.note = "the input is shown " + TurnText(info.tilt) + coded;
    return plan;
  }
  const media::Orientation& shown = info.orientation;
  if (shown.identity()) return plan;
  const std::string turned = "the input is shown " + TurnText(shown.rotation());
  if (!media::canTurn(format, shown)) {
    plan.note = turned + ", which --format " + std::string(media::toString(format)) +
                " cannot follow exactly (4:2:2 shares chroma along rows)" + coded + " (--format rgba follows it)";
  } else if (plan.Interlaced() && shown.transpose) {
    plan.note = turned + ", which turns interlaced fields into columns" + coded;
  } else {
    plan.turn = shown;
  }
  return plan;
}

PixelKind PixelKindOf(media::FrameFormat format) {
  switch (format) {
    case media::FrameFormat::Uyvy:
      return PixelKind::Uyvy;
    case media::FrameFormat::Yuy2:
      return PixelKind::Yuy2;
    case media::FrameFormat::Rgba:
      break;
  }
  return PixelKind::Rgba;
}

FrameView ViewOf(media::Frame& frame) {
  return FrameView{frame.data(), static_cast<std::uint32_t>(frame.width()), static_cast<std::uint32_t>(frame.height()),
                   static_cast<std::size_t>(frame.stride()), PixelKindOf(frame.format())};
}

SequenceInfo SequenceOf(const media::SourceInfo& info, const FramePlan& plan, double duration, bool finalRender) {
  const media::Orientation& turn = plan.turn;
  const media::FieldOrder shownOrder = plan.ShownOrder(info.height);
  SequenceInfo sequence;
  sequence.frameRate = info.rate.num > 0 && info.rate.den > 0 ? av_q2d(info.rate) : 25.0;
  sequence.width = static_cast<std::uint32_t>(turn.shownWidth(info.width, info.height));
  sequence.height = static_cast<std::uint32_t>(turn.shownHeight(info.width, info.height));
  const AVRational aspect = info.pixelAspect.num > 0 && info.pixelAspect.den > 0 ? info.pixelAspect : AVRational{1, 1};
  sequence.pixelAspectRatio = av_q2d(turn.transpose ? av_inv_q(aspect) : aspect);
  sequence.duration = duration;
  sequence.fieldLayout = !plan.Interlaced()                            ? ZELFieldLayout_Progressive
                         : shownOrder == media::FieldOrder::TopFirst ? ZELFieldLayout_UpperFirst
                                                                     : ZELFieldLayout_LowerFirst;
  sequence.colorModel = ColorModelOf(PixelKindOf(plan.format));
  sequence.finalRender = finalRender;
  return sequence;
}

FrameRenderer::FrameRenderer(const EffectInstance& instance, const FramePlan& plan)
    : m_instance(instance), m_plan(plan) {
  m_layout.pixelAspectRatio = instance.Sequence().pixelAspectRatio;
  m_interlaceOrder = instance.Sequence().fieldLayout == ZELFieldLayout_LowerFirst ? InterlaceOrder::LowerFirst
                                                                                  : InterlaceOrder::UpperFirst;
}

media::Frame& FrameRenderer::Shown(media::Frame& frame, Scratch& scratch) const {
  if (m_plan.turn.identity()) return frame;
  media::turnToShown(frame, scratch.shown, m_plan.turn);
  return scratch.shown;
}

void FrameRenderer::Render(media::Frame& frame, Scratch& scratch) const {
  const std::int64_t k = frame.index();
  const bool interlaced = m_plan.Interlaced();
  // The rows the effect says it can change are all the write-back needs to keep and compare
  // (a picture shown turned keeps the whole frame: the region is the shown picture's).
  std::optional<media::RowBand> changeable;
  if (frame.native() != nullptr && m_plan.turn.identity()) {
    const auto region = m_instance.RegionAt(static_cast<std::uint32_t>(frame.width()),
                                            static_cast<std::uint32_t>(frame.height()), frame.time(), interlaced,
                                            m_layout);
    if (region) changeable = media::RowBand{region->top, region->bottom};
  }
  scratch.writeBack.before(frame, changeable);
  // A picture shown turned is drawn on turned upright, then turned back, so that the write-back
  // finds the changed pixels in the picture as coded (turning moves pixels, it changes none).
  media::Frame& target = Shown(frame, scratch);
  // In place: the host owns the decoded frame, so the effect may write over its input.
  const FrameView view = ViewOf(target);
  const VOKRESULT rc = interlaced
                           ? m_instance.RenderInterlacedAt(view, view, k, frame.time(), m_interlaceOrder, m_layout)
                           : m_instance.RenderFrameAt(view, view, k, frame.time(), m_layout);
  if (VOKFAILED(rc))
    throw std::runtime_error("the effect failed on frame " + std::to_string(k) + " with " + ResultText(rc));
  if (!m_plan.turn.identity()) media::turnToCoded(target, frame, m_plan.turn);
  scratch.writeBack.after(frame);
  frame.setFieldOrder(m_plan.order);
}

}  // namespace zel::host
