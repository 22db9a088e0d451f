// The overlay through the host's viewer: sequences of presses, drags, releases and draws at any
// point (NaN, infinities, far outside the frame), in any overlay mode, with any tolerance, buttons,
// viewer size and time, between which the clock's position, size and type take hostile values.
#include <memory>
#include <vector>

#include "interaction/EditSession.h"
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

// Loads the plug-in before the first input, so that libFuzzer counts its coverage from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zel::fuzz::ClockPlugin();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // One session for the run (making one per input costs more than the input); every input starts
  // from the same state: parameters at their defaults, time 0, a new viewer, no drag under way.
  static const SequenceInfo sequence;
  static EditSession session(zel::fuzz::ClockPlugin(), sequence);
  static const std::vector<ParamValue> defaults = [] {
    std::vector<ParamValue> values;
    for (const auto& p : session.Instance().All()) values.push_back(p->ValueAt());
    return values;
  }();
  for (std::size_t i = 0; i < defaults.size(); ++i) session.Instance().All()[i]->SetUnchecked(defaults[i]);
  session.SetTime(0);
  OverlayContext& viewer =
      session.OpenViewer(in.ConsumeIntegralInRange<int>(1, 400), in.ConsumeIntegralInRange<int>(1, 300));
  IZELGraphicOverlay& overlay = *session.Overlay();
  overlay.PointerUp(0, 0, 0);

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
