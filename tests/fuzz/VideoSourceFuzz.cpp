// Media input: VideoSource::open and read on arbitrary bytes, saved under the name of each
// container the tests use (the name decides between a still picture and a video, and is the
// demuxer's first hint). Bad bytes must end in media::Error; a few frames are read in a format
// the input picks, and sometimes a seek.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "media/Error.h"
#include "media/VideoSource.h"

namespace {

/// A folder of this process's own, removed when the process ends.
struct ScratchFolder {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("zel-fuzz-media-" + std::to_string(getpid()));
  ScratchFolder() { std::filesystem::create_directories(path); }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

/// A file of this process's own, rewritten for every input.
std::string InputPath(const char* extension) {
  static const ScratchFolder folder;
  return (folder.path / (std::string("input.") + extension)).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zel::media;
  if (size < 2) return 0;
  constexpr const char* kExtensions[] = {"mp4", "mkv", "mov", "y4m", "png"};
  const std::uint8_t control = data[0];
  const std::string path = InputPath(kExtensions[(control & 7) % 5]);
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  constexpr FrameFormat kFormats[] = {FrameFormat::Rgba, FrameFormat::Uyvy, FrameFormat::Yuy2};
  const FrameFormat format = kFormats[((control >> 3) & 3) % 3];
  try {
    SourceOptions options;
    // A small still or video is read at its own size; sometimes scaled, as --size does.
    if (control & 0x20) options.size = Size{64, 48};
    options.frameCount = 3;
    VideoSource source = VideoSource::open(path, options);
    if (control & 0x40) source.seek(1);
    Frame frame;
    for (int i = 0; i < 4 && source.read(frame, format); ++i) {
    }
  } catch (const Error&) {
  }
  return 0;
}
