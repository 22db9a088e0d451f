#include "HostFixture.h"

namespace zel::bench {

const std::vector<ClockKind>& ClockKinds() {
  static const std::vector<ClockKind> kinds = {
      {"analog", "0"},
      {"digital", "1"},
      {"led", "2"},
  };
  return kinds;
}

zel::host::Plugin& ThePlugin() {
  static zel::host::Plugin plugin(ZEL_BENCH_PLUGIN_PATH);
  return plugin;
}

zel::host::PixelKind KindOf(Format format) {
  return format == Format::RGBA ? zel::host::PixelKind::Rgba : zel::host::PixelKind::Uyvy;
}

std::unique_ptr<zel::host::EffectInstance> MakeInstance(const FrameCase& c, const ClockKind& clock) {
  zel::host::SequenceInfo sequence;
  sequence.frameRate = 25.0;
  sequence.width = c.width;
  sequence.height = c.height;
  sequence.duration = 1e6;
  sequence.colorModel = zel::host::ColorModelOf(KindOf(c.format));
  auto instance = std::make_unique<zel::host::EffectInstance>(ThePlugin(), sequence);
  instance->SetFromText("Clock Type List", clock.listValue);
  return instance;
}

HostFrame::HostFrame(const FrameCase& c) : m_buffer(FrameBytes(c)) {
  m_view.data = m_buffer.data();
  m_view.width = c.width;
  m_view.height = c.height;
  m_view.kind = KindOf(c.format);
  m_view.stride = zel::host::RowBytesOf(m_view.kind, c.width);
  for (std::uint32_t y = 0; y < c.height; ++y) {
    std::uint8_t* row = m_view.data + y * m_view.stride;
    for (std::size_t i = 0; i < m_view.stride; ++i)
      row[i] = static_cast<std::uint8_t>((i / 4 + y) * 3 + i % 4 * 40);
    if (c.format == Format::RGBA)
      for (std::size_t x = 0; x < c.width; ++x) row[4 * x + 3] = 0xFF;
  }
}

}  // namespace zel::bench
