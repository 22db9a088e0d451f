// What the benchmark programs share: the frame cases, the floors, and a summary of ratios.
//
// Every benchmark is named "<what>/<format>/<width>x<height>[/<more>...]", for example
// "composite/RGBA/1920x1080/in_place/digital". The floors of a case are "floor_memcpy/<case>" and
// "floor_memset/<case>": one memcpy and one memset of a whole frame of that format and size, on
// warm buffers (already touched, so no page faults are timed). A program registers the floors next
// to its own benchmarks, so that its ratios come from one run on one machine state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel::bench {

/// The host formats measured: RGB with alpha (4 bytes a pixel) and packed Y'CbCr 4:2:2 (4 bytes a
/// pixel pair). FFmpeg's counterpart of the second one is planar yuv422p, also 2 bytes a pixel.
enum class Format { RGBA, YUV422 };

struct FrameCase {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Format format = Format::RGBA;
};

/// 1920x1080, 3840x2160 and 7680x4320, each in RGBA and 4:2:2.
const std::vector<FrameCase>& FrameCases();

/// "RGBA" or "422".
const char* FormatName(Format format);
/// Bytes per pixel of the format as a whole frame holds it.
std::size_t BytesPerPixel(Format format);
/// Bytes of one whole frame.
std::size_t FrameBytes(const FrameCase& c);
/// "<format>/<width>x<height>", the part of a benchmark name that names its case.
std::string CaseName(const FrameCase& c);

/// A buffer aligned to 64 bytes, filled with `fill` when made, so its pages are mapped before any
/// timing starts.
class WarmBuffer {
 public:
  explicit WarmBuffer(std::size_t bytes, std::uint8_t fill = 0x5A);
  ~WarmBuffer();
  WarmBuffer(const WarmBuffer&) = delete;
  WarmBuffer& operator=(const WarmBuffer&) = delete;

  std::uint8_t* data() { return m_data; }
  std::size_t size() const { return m_size; }

 private:
  std::uint8_t* m_data = nullptr;
  std::size_t m_size = 0;
};

/// Registers "floor_memcpy/<case>" and "floor_memset/<case>" for every frame case.
void RegisterFloors();

/// A rectangle of a frame, [left, right) x [top, bottom) in pixels.
struct PixelRect {
  std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

/// Registers "floor_rect/<case>/<name>": the rows of `rect` read from one frame of the case and
/// written into another, once: the least a render that changes only that rectangle must do.
void RegisterRectFloor(const FrameCase& c, const std::string& name, PixelRect rect);

/// Runs the registered benchmarks (honouring every --benchmark_* flag) and then prints, for each
/// benchmark that is not a floor, its median time and its ratios to the floors of its case. The
/// summary goes to standard output after a console report, to standard error after a JSON or CSV
/// one so that the machine-readable output stays clean. Returns the process exit code.
int RunWithSummary(int argc, char** argv);

}  // namespace zel::bench
