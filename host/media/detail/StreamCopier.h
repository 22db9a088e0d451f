#pragma once
// The rest of an input carried into an output beside the rendered video: audio, subtitle and data
// streams, the file's metadata and chapters, the video stream's metadata and rotation.

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/VideoSink.h"

namespace zel::media::detail {

class AudioReencoder;
class SubtitleConverter;

/// True when the muxer writes a video stream's display matrix (media::takesDisplayMatrix).
bool takesDisplayMatrix(const AVOutputFormat& format);

/// Reads the input a second time, next to the decoder of its video, and writes every packet of
/// the streams it keeps into the output's muxer, in step with the video: pump() is called with
/// the output time the video has reached, so the muxer interleaves without holding much. At the
/// end every stream keeps its whole length (sound, subtitles and data after the last frame), or
/// is cut where the video ends. Audio the container does not take is decoded and encoded again to
/// the container's usual audio codec, text subtitles converted to its own text subtitles. What
/// cannot be kept is named in lost(); what was changed in notes().
class StreamCopier {
public:
  /// Opens `from.path` and, before the muxer's header is written, adds an output stream for every
  /// stream kept, with its metadata and disposition; copies the file's metadata and chapters and
  /// the metadata and display matrix of the input's video stream onto `video`. Throws Error.
  StreamCopier(const CopyFrom& from, AVFormatContext& muxer, AVStream& video, const std::string& outputPath);
  ~StreamCopier();
  StreamCopier(const StreamCopier&) = delete;
  StreamCopier& operator=(const StreamCopier&) = delete;

  /// Earliest start, as a timestamp in `timeBase`, of the streams kept (the input's clock): a
  /// whole render puts output time 0 there, so that a stream's lead-in or late start stays.
  std::int64_t earliestStart(AVRational timeBase) const;
  /// Output time 0 is `origin` (in `timeBase`, on the input's clock); with `trim`, what comes
  /// before it is dropped. Called once, before the first pump().
  void start(std::int64_t origin, AVRational timeBase, bool trim);
  /// Writes the packets up to `seconds` of output time.
  void pump(double seconds);
  /// Writes what is left before `end` seconds of output time (infinity: everything to the end of
  /// the input; the end of the video to cut there), drops the rest and flushes the encoders. With
  /// `measureCut`, the input is read to its end and cut() says how long each stream ran on.
  void finish(double end, bool measureCut = false);

  /// What is not kept; whole after finish(), which adds the cues of converted subtitles that did
  /// not convert.
  const std::vector<std::string>& lost() const { return m_lost; }
  const std::vector<std::string>& notes() const { return m_notes; }
  /// After finish() with `measureCut`: what was dropped past the end ("3.02 s of stream 1 (audio,
  /// aac)", a stream each), empty where nothing ran on.
  const std::string& cut() const { return m_cut; }

private:
  struct Track;

  void addStream(unsigned index, const AVOutputFormat& format);
  void copyVideoSide(AVStream& video, const AVOutputFormat& format);
  void copyChapters(double origin);
  bool writePacket(AVPacket& packet, double limit);
  void emit(Track& track, AVPacket& packet, AVRational base);
  void write(AVPacket& packet);

  std::string m_path;
  std::string m_output;
  CopyFrom m_from;
  AVFormatContext& m_muxer;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> m_input;
  std::vector<Track> m_tracks;  ///< by input stream index
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> m_packet;
  int m_videoIndex = -1;
  bool m_started = false;
  bool m_pending = false;  ///< m_packet holds a packet read but not yet written
  bool m_done = false;
  bool m_trim = false;
  bool m_measureCut = false;  ///< finish() reads on to measure what is cut
  double m_origin = 0;  ///< seconds on the input's clock that become output time 0
  double m_end = 1e300;  ///< output seconds past which nothing is written (known at finish)
  std::vector<std::string> m_lost;
  std::vector<std::string> m_notes;
  std::string m_cut;
};

}  // namespace zel::media::detail
