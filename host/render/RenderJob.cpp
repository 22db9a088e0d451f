#include "render/RenderJob.h"

#include <malloc.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "media/Pipeline.h"

namespace zel::host {

namespace {

/// Frames in flight are bounded by memory as well as by threads: a 4K RGBA frame is 33 MB.
constexpr std::size_t kSlotMemory = std::size_t{1} << 30;

/// The demuxer and the decoders allocate each packet and picture afresh, megabytes a frame. glibc
/// would map the first of them on their own and, once a few frames in flight are freed together,
/// give the top of its heap back to the kernel, so every frame faulted its pages in again (and had
/// them zeroed): a 1080p Y4M render took 320 faults a frame, a fifth of its time. Kept in the heap
/// they are reused. Process-wide, so set once, by the renders only (never by a module in a host).
void KeepFreedFrameMemory() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest; larger pictures are still mapped
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
  });
}

/// Thrown by the read stage to end the pipeline when the render is asked to stop.
struct StopRequested {};

}  // namespace

std::size_t SlotsFor(std::size_t frameBytes, int threads) {
  const std::size_t n = static_cast<std::size_t>(std::max(threads, 1));
  return std::clamp(kSlotMemory / std::max<std::size_t>(frameBytes, 1), n + 2, 2 * n + 2);
}

RenderJobResult RunRenderJob(media::VideoSource& source, media::VideoSink& sink, const FrameRenderer& renderer,
                             const RenderJobOptions& options) {
  KeepFreedFrameMemory();
  const media::SourceInfo& info = source.info();
  // The whole picture is made where the rows the effect changes are not known in coded rows.
  source.deferPixels(sink.encodesNativePictures() && renderer.MakesRowsOnDemand());

  const media::FrameFormat format = renderer.Plan().format;
  const std::size_t frameBytes =
      static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height) * media::bytesPerPixel(format);
  const std::size_t slots = SlotsFor(frameBytes, options.threads);
  std::vector<media::Frame> frames(slots);
  std::vector<FrameRenderer::Scratch> scratch(slots);

  media::PipelineStages stages;
  stages.read = [&](std::size_t slot, std::int64_t seq) {
    if (options.stop != nullptr && options.stop->load()) throw StopRequested{};
    if (options.count && seq >= *options.count) return false;
    return source.read(frames[slot], format);
  };
  stages.work = [&](std::size_t slot, std::int64_t) { renderer.Render(frames[slot], scratch[slot]); };
  stages.write = [&](std::size_t slot, std::int64_t seq) {
    sink.write(frames[slot]);
    if (options.progress != nullptr) options.progress->update(seq + 1);
  };
  RenderJobResult result;
  try {
    result.written = media::runOrdered(stages, std::max(options.threads, 1), slots);
  } catch (const StopRequested&) {
    result.stopped = true;
  }
  return result;
}

}  // namespace zel::host
