// A render of a source into a sink: frames read in order on one thread, rendered by a
// FrameRenderer on several at once, written in order again, with a progress line. The slots in
// flight are bounded by threads and by memory, and every slot keeps its frame and its scratch
// from one frame to the next, so a render allocates nothing per frame once it runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "media/ProgressLine.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"
#include "render/FrameRenderer.h"

namespace zel::host {

struct RenderJobOptions {
  int threads = 1;                     ///< frames rendered at once (at least 1)
  std::optional<std::int64_t> count;   ///< frames to render from the source's position; none: to its end
  media::ProgressLine* progress = nullptr;  ///< told of every frame written; may be null
  /// Set by another thread (a signal handler) to stop the render before the next frame is read.
  const std::atomic<bool>* stop = nullptr;
};

struct RenderJobResult {
  std::int64_t written = 0;  ///< frames handed to the sink
  bool stopped = false;      ///< `stop` ended the render; the sink holds an unfinished output
};

/// Runs the render. The source must be at its first frame to render (seeked) and the renderer's
/// instance have its sequence set. Exceptions of any stage are rethrown after every thread has
/// stopped; the sink is not committed (the caller commits a whole render).
RenderJobResult RunRenderJob(media::VideoSource& source, media::VideoSink& sink, const FrameRenderer& renderer,
                             const RenderJobOptions& options);

/// The slots a render of frames of `frameBytes` keeps in flight with `threads` workers: enough to
/// keep reading, rendering and writing busy at once, fewer when frames are large.
std::size_t SlotsFor(std::size_t frameBytes, int threads);

}  // namespace zel::host
