// What the effect suites share: the real plug-in loaded once through the host, effect instances
// over it, pictures in every pixel kind, and renders that return the output bytes. Nothing of the
// plug-in's code is linked in; only its UID constants name parameters.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "render/EffectInstance.h"
#include "loading/Instrumentation.h"
#include "definition/PluginIds.h"
#include "loading/PluginModule.h"

namespace zel::test {

/// The plug-in, loaded and registered once for the whole run.
inline host::Plugin& EffectPlugin() {
  static host::Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

/// A fresh instance at the catalogue's defaults, 30 frames per second unless told otherwise.
inline std::unique_ptr<host::EffectInstance> MakeInstance(double frameRate = 30.0) {
  host::SequenceInfo sequence;
  sequence.frameRate = frameRate;
  return std::make_unique<host::EffectInstance>(EffectPlugin(), sequence);
}

/// A picture that owns its bytes. Rows are padded by `pad` bytes so that a render that writes
/// past a row's pixels shows up.
struct Picture {
  std::vector<std::uint8_t> bytes;
  host::FrameView view;

  Picture(std::uint32_t width, std::uint32_t height, host::PixelKind kind, std::size_t pad = 8) {
    view.width = width;
    view.height = height;
    view.kind = kind;
    view.stride = host::RowBytesOf(kind, width) + pad;
    bytes.assign(view.stride * height, 0);
    view.data = bytes.data();
  }
  Picture(const Picture& other) : bytes(other.bytes), view(other.view) { view.data = bytes.data(); }
  Picture& operator=(const Picture&) = delete;

  std::uint8_t* Row(std::uint32_t y) { return bytes.data() + y * view.stride; }
  const std::uint8_t* Row(std::uint32_t y) const { return bytes.data() + y * view.stride; }
  /// Bytes of row y that belong to pixels (the padding left out).
  std::vector<std::uint8_t> RowPixels(std::uint32_t y) const {
    return {Row(y), Row(y) + host::RowBytesOf(view.kind, view.width)};
  }
  /// Fills every byte with a pattern that differs from byte to byte and row to row, so that a
  /// copy in the wrong place shows.
  void FillPattern(std::uint32_t seed = 1) {
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(x >> 24);
    }
  }
  void Fill(std::uint8_t value) { std::fill(bytes.begin(), bytes.end(), value); }
};

/// Writes an RGBA picture as a PPM (alpha dropped), for looking at a render while debugging.
inline void WritePpm(const Picture& p, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << p.view.width << " " << p.view.height << "\n255\n";
  for (std::uint32_t y = 0; y < p.view.height; ++y)
    for (std::uint32_t x = 0; x < p.view.width; ++x) f.write(reinterpret_cast<const char*>(p.Row(y) + x * 4), 3);
}

/// Resets the instrumentation around every test: faults and logs never leak into the next one.
class EffectTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Instrumentation::Global().Reset(); }
  void TearDown() override { host::Instrumentation::Global().Reset(); }
};

}  // namespace zel::test
