// The plug-in as a host drives it, for the benchmarks: the real ZEL2Clock.zel loaded through
// zel::host::Plugin, an effect instance per frame case and clock type with every other parameter
// at its default, and frames in the host's formats over warm memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "render/EffectInstance.h"
#include "render/HostImage.h"

namespace zel::bench {

/// A clock type by its benchmark name and the value of its item in "Clock Type List".
struct ClockKind {
  const char* name;       ///< "analog", "digital", "led"
  const char* listValue;  ///< "0", "1", "2"
};

const std::vector<ClockKind>& ClockKinds();

/// The plug-in built beside the benchmarks, loaded and registered once for the process.
zel::host::Plugin& ThePlugin();

/// The host's pixel kind of a format: RGBA, or packed 4:2:2 in UYVY order.
zel::host::PixelKind KindOf(Format format);

/// An effect instance for a 25 fps sequence of the case's size and format, drawing `clock`.
std::unique_ptr<zel::host::EffectInstance> MakeInstance(const FrameCase& c, const ClockKind& clock);

/// A frame of the case in warm memory, rows packed, filled with a smooth opaque pattern.
class HostFrame {
 public:
  explicit HostFrame(const FrameCase& c);
  const zel::host::FrameView& View() const { return m_view; }
  std::uint8_t* Data() { return m_buffer.data(); }
  std::size_t Bytes() const { return m_buffer.size(); }

 private:
  WarmBuffer m_buffer;
  zel::host::FrameView m_view;
};

}  // namespace zel::bench
