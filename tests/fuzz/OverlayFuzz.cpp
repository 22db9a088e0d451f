// The overlay through the host's viewer: sequences of presses, drags, releases and draws at any
// point (NaN, infinities, far outside the frame), in any overlay mode, with any tolerance, buttons,
// viewer size and time, between which the clock's position, size and type take hostile values.
#include <memory>

#include "EditSession.h"
#include "FuzzSupport.h"

namespace {

using namespace zel::host;
using zel::fuzz::HostileDouble;

void SetHostile(EditSession& session, const char* name, FuzzedDataProvider& in) {
  ParamValue v;
  v.num[0] = HostileDouble(in);
  session.Instance().Get(name).SetUnchecked(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  SequenceInfo sequence;
  sequence.width = in.ConsumeIntegralInRange<std::uint32_t>(1, 4096);
  sequence.height = in.ConsumeIntegralInRange<std::uint32_t>(1, 4096);
  sequence.pixelAspectRatio = in.ConsumeBool() ? 1.0 : HostileDouble(in);
  EditSession session(zel::fuzz::ClockPlugin(), sequence);
  OverlayContext& viewer =
      session.OpenViewer(in.ConsumeIntegralInRange<int>(1, 400), in.ConsumeIntegralInRange<int>(1, 300));
  IZELGraphicOverlay& overlay = *session.Overlay();

  for (int steps = 0; steps < 64 && in.remaining_bytes() > 0; ++steps) {
    const std::int32_t buttons = in.ConsumeBool() ? 1 : in.ConsumeIntegral<std::int32_t>();
    switch (in.ConsumeIntegralInRange<int>(0, 10)) {
      case 0:
        overlay.PointerDown(HostileDouble(in), HostileDouble(in), buttons);
        break;
      case 1:
        overlay.PointerDrag(HostileDouble(in), HostileDouble(in), buttons);
        break;
      case 2:
        overlay.PointerUp(HostileDouble(in), HostileDouble(in), buttons);
        break;
      case 3: {
        // Through the viewer's own mapping, at viewer pixels.
        const double px = in.ConsumeIntegralInRange<int>(-1000, 1000), py = in.ConsumeIntegralInRange<int>(-1000, 1000);
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
          case 0: session.PointerDown(px, py, buttons); break;
          case 1: session.PointerDrag(px, py, buttons); break;
          default: session.PointerUp(px, py, buttons); break;
        }
        break;
      }
      case 4:
        viewer.SetOverlayMode(in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(0, 3)
                                               : in.ConsumeIntegral<std::int32_t>());
        break;
      case 5:
        viewer.SetToleranceScale(in.ConsumeIntegral<std::uint16_t>());
        break;
      case 6:
        overlay.Draw(in.ConsumeIntegralInRange<std::int32_t>(-1, 2));
        break;
      case 7:
        session.SetTime(in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 1000) : HostileDouble(in));
        break;
      case 8: {
        constexpr const char* kNames[] = {"X", "Y", "Size", "the List value"};
        SetHostile(session, kNames[in.ConsumeIntegralInRange<int>(0, 3)], in);
        break;
      }
      case 9:
        viewer.SetPointer(HostileDouble(in), HostileDouble(in), in.ConsumeBool(), in.ConsumeIntegral<std::int32_t>());
        break;
      default:
        viewer.FitFrame(sequence.width, sequence.height, HostileDouble(in));
        break;
    }
  }
  return 0;
}
