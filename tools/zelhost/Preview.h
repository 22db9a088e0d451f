// The contract between zelhost and its preview module (zelhost-preview.so, beside zelhost): the
// desktop window lives in a module of its own so that the command-line tools never load GTK.
// Plain C types only: the two sides are built together but meet through dlsym.
#pragma once

#include <cstdint>

extern "C" {

struct ZelPreviewOptions {
  const char* plugin;          ///< the plug-in file
  const char* input;           ///< a video, picture or sequence; null for the built-in test pattern
  const char* snapshot;        ///< when set: draw the viewer once into this PNG and quit
  const char* project;         ///< a project file to open (and save to); may not exist yet
  const char* probe;           ///< tests: a folder for the window's state file; null for none
  const char* const* settings; ///< "NAME=VALUE" parameter settings, `settingCount` of them
  std::int32_t settingCount;
  double time;                 ///< the frame shown first
  std::int32_t viewerWidth;    ///< viewer size in pixels
  std::int32_t viewerHeight;
  std::int32_t dragMode;       ///< start in the overlay's drag mode instead of its handle mode
  const char* timeCode;        ///< --timecode: "source" or HH:MM:SS:FF; null for none
  const char* dateTime;        ///< --datetime: "source" or ISO 8601; null for none
  char* error;                 ///< out: what went wrong, for a non-zero result (buffer of errorSize)
  std::int32_t errorSize;
};

/// Runs the preview until its window closes (or, with a snapshot, until the PNG is written).
/// 0 on success; 1 when something failed, 2 when a --timecode or --datetime cannot be met (the
/// message is in `error`).
using PFN_ZelPreviewMain = int (*)(ZelPreviewOptions* options);
inline constexpr const char* kZelPreviewMainName = "ZelPreviewMain";
inline constexpr const char* kZelPreviewModuleName = "zelhost-preview.so";
}
