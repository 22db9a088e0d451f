// The preview window's state, shared by the files of zelhost-preview.so: the window and viewer
// (PreviewWindow.cpp), the parameter panel (PreviewPanel.cpp) and the state file that tests read
// (PreviewProbe.cpp). GTK's main thread only.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "interaction/EditSession.h"
#include "media/Frame.h"
#include "media/VideoSource.h"
#include "render/ClockStart.h"
#include "render/FrameRenderer.h"

namespace zelpreview {

struct Preview;

/// One control of the panel and the entry and parameter it stands for.
struct Binding {
  Preview* preview = nullptr;
  zel::host::LayoutEntry* entry = nullptr;
  zel::host::ParameterValue* parameter = nullptr;  ///< null for groups
  std::string path;                                ///< "Group/Label", unique enough to name the entry
  GtkWidget* row = nullptr;                        ///< greyed out with the entry
  GtkWidget* label = nullptr;                      ///< bold while the parameter is keyed
  GtkWidget* control = nullptr;                    ///< the widget that edits the value
  GtkWidget* key = nullptr;                        ///< "key at this frame" toggle
  bool shownKeyed = false;                         ///< the label is bold
};

struct Preview {
  Preview(const char* pluginPath, zel::media::VideoSource source);

  zel::host::Plugin plugin;
  zel::media::VideoSource source;
  /// The frames handed to the effect: RGBA, progressive, turned as the input is shown.
  zel::host::FramePlan frames;
  zel::host::EditSession session;
  zel::host::FrameRenderer renderer;
  zel::host::FrameRenderer::Scratch scratch;
  zel::media::Frame coded;                  ///< the frame as read, before it is turned
  zel::media::Frame* input = nullptr;       ///< the frame on show as the effect sees it (coded or scratch.shown)
  std::int64_t inputIndex = -1;
  std::string inputName;  ///< for the title: the file, or "test pattern"
  std::int64_t lastFrame = 0;  ///< the timeline's end
  double rate = 25;            ///< frames per second
  /// Where the clock starts: --timecode and --datetime (`clockOptions`), else the open project's;
  /// applied again after a project opens, and saved with it.
  zel::host::ClockStartRequest clockOptions;
  zel::host::ClockStartRequest clockRequest;
  zel::host::ClockStart clockStart;  ///< what it set: the time code shown beside the frame number

  std::deque<Binding> bindings;  ///< stable addresses: the signal handlers hold them
  GtkWidget* window = nullptr;
  GtkWidget* viewer = nullptr;
  GtkWidget* status = nullptr;
  GtkWidget* timeline = nullptr;
  GtkWidget* position = nullptr;  ///< frame number and time
  GtkWidget* play = nullptr;
  GtkWidget* stepBack = nullptr;
  GtkWidget* stepForward = nullptr;
  GtkWidget* mode = nullptr;
  GtkWidget* modal = nullptr;
  GtkWidget* save = nullptr;
  GtkWidget* open = nullptr;

  std::string projectPath;  ///< where Save writes; empty: Save asks
  bool dirty = false;       ///< changes since the last save or open
  bool syncing = false;     ///< widgets are being set from the parameters: their signals are echoes
  bool dragging = false;
  bool pointerInside = false;
  std::int32_t overlayMode = 0;

  bool playing = false;
  std::int64_t playStartUs = 0;   ///< monotonic time when play started
  std::int64_t playStartFrame = 0;
  std::uint64_t framesShown = 0;   ///< while playing
  std::uint64_t framesDropped = 0; ///< skipped to keep to the clip's rate
  guint tick = 0;                  ///< the play timer

  std::string lastError;  ///< the last error shown in a dialog
  bool inDialog = false;  ///< a modal dialog of ours or the plug-in's is open
  std::string probeDir;   ///< tests: where the state file goes; empty: none
  guint probeIdle = 0;
};

// PreviewPanel.cpp
/// Builds the panel from the layout tree into `box`.
void BuildPanel(Preview& p, GtkWidget* box);
/// Sets every control from its parameter at the frame on show, greys out the entries that are off,
/// and marks keyed parameters.
void SyncPanel(Preview& p);

// PreviewWindow.cpp
/// After a change the user made: runs `change` (an error goes to the status line), then marks
/// the project changed, syncs the panel and shows the frame again.
void Changed(Preview& p, const std::function<void()>& change);
/// The frame on show.
std::int64_t CurrentFrame(const Preview& p);

// PreviewProbe.cpp
/// Writes the state file soon (once the main loop is idle), when a probe directory is set.
void ScheduleProbe(Preview& p);

}  // namespace zelpreview
