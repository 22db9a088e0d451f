#pragma once
// GIF's 256 colours, chosen for the whole clip as FFmpeg's palettegen and paletteuse filters choose
// and apply them.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

struct AVFilterGraph;
struct AVFilterContext;

namespace zel::media::detail {

/// Turns a clip of RGB24 pictures into paletted (PAL8) ones with one palette made for the clip.
/// As the pictures come, palettegen counts their colours (it keeps a histogram, not the
/// pictures) and each picture goes into an anonymous temporary file, so that memory stays small
/// however long the clip is; at the end the palette is made and every picture is mapped to it,
/// dithered as paletteuse does by default. Timestamps pass through. Throws Error.
class PaletteStage {
public:
  PaletteStage(int width, int height, AVRational timeBase, const std::string& path);
  ~PaletteStage();
  PaletteStage(const PaletteStage&) = delete;
  PaletteStage& operator=(const PaletteStage&) = delete;

  /// Counts an RGB24 picture of the stage's size into the palette and keeps it (with its pts).
  void add(const AVFrame& picture);
  /// Makes the palette and hands every picture, paletted, to `take` in the order added.
  void finish(const std::function<void(AVFrame&)>& take);

private:
  struct GraphDeleter {
    void operator()(AVFilterGraph* g) const;
  };
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  int m_width;
  int m_height;
  AVRational m_timeBase;
  std::string m_path;
  std::unique_ptr<AVFilterGraph, GraphDeleter> m_counting;
  AVFilterContext* m_countIn = nullptr;
  AVFilterContext* m_countOut = nullptr;
  std::unique_ptr<std::FILE, FileCloser> m_kept;  ///< the pictures: pts, then rows of RGB
  std::int64_t m_count = 0;
};

}  // namespace zel::media::detail
