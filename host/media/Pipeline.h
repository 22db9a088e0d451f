#pragma once
// Frames read in order, worked on by several threads at once, and written in order again.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zel::media {

/// The three stages of a job over a stream of items (frames), numbered 0, 1, 2, ... The caller
/// keeps a set of reusable slots (say, an input and an output Frame each) and the stages name
/// the slot they act on, so no memory moves or gets allocated per item.
struct PipelineStages {
  /// Fills slot `slot` with item `seq`. Called on one thread, for seq 0, 1, 2, ... in turn;
  /// returns false when there are no more items (the slot is then left unused).
  std::function<bool(std::size_t slot, std::int64_t seq)> read;
  /// Works on a filled slot. Called on several threads at once, never twice at a time for one
  /// slot; must be safe to run concurrently for different slots.
  std::function<void(std::size_t slot, std::int64_t seq)> work;
  /// Takes a worked slot. Called on the thread that called runOrdered, for seq 0, 1, 2, ... in
  /// order; the slot is reused for a later item once this returns.
  std::function<void(std::size_t slot, std::int64_t seq)> write;
};

/// A render over it, with N threads and slots of {input Frame, output Frame}:
///   read:  source.read(slots[i].input, format)        (the decoder runs on one thread)
///   work:  render slots[i].input into slots[i].output (N at once)
///   write: sink.write(slots[i].output); progress.update(seq + 1)
/// Memory stays bounded by the slot count however far the workers could run ahead.
///
/// Runs the stages until read() says there are no more items, with `threads` worker threads
/// (at least 1) and `slots` slots in flight (at least 1; 2 x threads + 2 keeps reading, working
/// and writing busy at once). Returns the number of items written. When a stage throws, the
/// others stop taking new items, every thread is joined, and the first exception is rethrown
/// here; items after the failing one are not written.
std::int64_t runOrdered(const PipelineStages& stages, int threads, std::size_t slots);

}  // namespace zel::media
