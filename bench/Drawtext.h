// FFmpeg's drawtext filter as the yardstick of a whole render: a running time code in Liberation
// Sans on an opaque box, in the clock's default colours, through libavfilter (buffer -> drawtext ->
// buffersink), single-threaded, on every frame case. The text is the share of the frame's height
// the clock's own text takes at its defaults (86 points at 1080 rows, 172 at 2160, 344 at 4320),
// as a user who wants the same time code on the picture would set it. Two cases per frame case:
//   "drawtext/<case>/in_place"  the frame handed in is writable and drawtext draws into it: the
//                               filter's own cost, the counterpart of a render in place;
//   "drawtext/<case>/copy"      the frame handed in is shared, so libavfilter copies it into a
//                               pooled buffer first: the counterpart of a render into a separate
//                               output image.
// bench/compare-drawtext runs `ffmpeg -vf drawtext` end to end with the same options.
#pragma once

namespace zel::bench {

/// Registers the drawtext benchmarks of every frame case.
void RegisterDrawtext();

}  // namespace zel::bench
