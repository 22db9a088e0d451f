// The preview window (built into zelhost-preview.so): a GTK 3 window over an EditSession, where a
// person sets up the effect and keeps the result as a project file that `zelhost render
// --project` reads.
//
// Left, the parameter panel (PreviewPanel.cpp). Right, the viewer: the frame on show rendered with
// the effect, scaled into the viewer with the frame's pixel aspect, and the plug-in's overlay drawn
// on top; presses, drags and releases go to the overlay. Below it the overlay's mode (named by the
// texts of the overlay's definition), the plug-in's modal dialog, the project buttons, and the
// timeline: scrub, play and pause at the clip's rate, step a frame either way.
//
// Keys (not while typing in a field): Space play/pause, Left/Right a frame back/forward,
// Home/End the first/last frame, Ctrl+S save, Ctrl+Shift+S save as, Ctrl+O open, Ctrl+W close.
#include "PreviewWindow.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "Preview.h"
#include "media/Orientation.h"
#include "settings/ParameterSettings.h"
#include "settings/ProjectFile.h"
#include "text/Text.h"
#include "ZelPlatformHost.h"

namespace zelpreview {

using namespace zel::host;

namespace {

// The editor's main window, as a plug-in's dialog looks it up for its owner.
constexpr char16_t kMainWindowClass[] = u"TarsaEditorMainWndClass";
constexpr char16_t kMainWindowTitle[] = u"Montavia";

/// The clip as a viewer shows it (a phone clip shown turned a quarter has its sides swapped), one
/// frame at a time, in RGBA.
FramePlan PreviewFrames(const zel::media::SourceInfo& info) {
  return PlanFrames(info, zel::media::FrameFormat::Rgba, zel::media::FieldOrder::Progressive, /*outputTurns=*/true);
}

}  // namespace

Preview::Preview(const char* pluginPath, zel::media::VideoSource src)
    : plugin(pluginPath),
      source(std::move(src)),
      frames(PreviewFrames(source.info())),
      session(plugin, SequenceOf(source.info(), frames,
                                 source.info().frameCount > 0 ? static_cast<double>(source.info().frameCount) : 250.0,
                                 /*finalRender=*/false)),
      renderer(session.Instance(), frames) {
  const SequenceInfo& seq = session.Instance().Sequence();
  lastFrame = std::max<std::int64_t>(0, static_cast<std::int64_t>(seq.duration) - 1);
  rate = seq.frameRate;
}

std::int64_t CurrentFrame(const Preview& p) { return static_cast<std::int64_t>(std::floor(p.session.Time())); }

namespace {

// --- messages -------------------------------------------------------------------------------------

void ShowStatus(Preview& p, const std::string& text) {
  if (p.status) gtk_label_set_text(GTK_LABEL(p.status), text.c_str());
}

/// An error the user must see: a dialog over the window (and the terminal, for scripts).
void ShowError(Preview& p, const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "zelhost preview: %s: %s\n", what.c_str(), detail.c_str());
  p.lastError = what + ": " + detail;
  ScheduleProbe(p);
  if (p.window == nullptr) return;
  GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(p.window), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE,
                                        "%s", what.c_str());
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d), "%s", detail.c_str());
  gtk_window_set_title(GTK_WINDOW(d), "zelhost preview: error");
  p.inDialog = true;
  ScheduleProbe(p);
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
  p.inDialog = false;
  ScheduleProbe(p);
}

void UpdateTitle(Preview& p) {
  if (p.window == nullptr) return;
  const std::string project =
      p.projectPath.empty() ? "Untitled" : std::filesystem::path(p.projectPath).filename().string();
  const std::string title = (p.dirty ? "*" : "") + project + " (" + p.inputName + ") - zelhost preview";
  gtk_window_set_title(GTK_WINDOW(p.window), title.c_str());
}

void MarkDirty(Preview& p, bool dirty) {
  p.dirty = dirty;
  UpdateTitle(p);
}

// --- frames ---------------------------------------------------------------------------------------

/// Reads input frame k: the next frame in order without a seek (playing), else a seek. The
/// frame is turned upright as the input is shown, and the effect works on it so.
void LoadInput(Preview& p, std::int64_t k) {
  if (k == p.inputIndex && p.input != nullptr) return;
  bool ok = false;
  try {
    if (p.inputIndex < 0 || k != p.inputIndex + 1) p.source.seek(k);
    ok = p.source.read(p.coded, zel::media::FrameFormat::Rgba);
  } catch (const std::exception& e) {
    ShowStatus(p, std::string("cannot read frame ") + std::to_string(k) + ": " + e.what());
  }
  if (!ok && p.input == nullptr) {
    p.source.seek(0);
    p.source.read(p.coded, zel::media::FrameFormat::Rgba);
  }
  if (!p.coded.empty()) p.input = &p.renderer.Shown(p.coded, p.scratch);
  p.inputIndex = ok ? k : -1;
}

std::string TimeText(double seconds) {
  const auto ms = static_cast<std::int64_t>(std::llround(seconds * 1000));
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

/// Renders the frame on show into the viewer, with the overlay on top.
void Redraw(Preview& p) {
  const std::int64_t k = CurrentFrame(p);
  LoadInput(p, k);
  if (p.input == nullptr) return;
  const VOKRESULT r = p.session.ShowFrame(ViewOf(*p.input), p.pointerInside);
  if (VOKFAILED(r)) ShowStatus(p, "render failed: " + ResultText(r));
  if (p.position) {
    const std::string label = p.clockStart.LabelOf(k);
    const std::string text = "frame " + std::to_string(k) + " of " + std::to_string(p.lastFrame + 1) + "   " +
                             TimeText(static_cast<double>(k) / p.rate) + (label.empty() ? "" : "   TC " + label);
    gtk_label_set_text(GTK_LABEL(p.position), text.c_str());
  }
  if (p.viewer) gtk_widget_queue_draw(p.viewer);
  ScheduleProbe(p);
}

/// Shows frame k (clamped to the clip): the timeline follows, the update handler runs at the new
/// time, and the panel shows the values there.
void GoTo(Preview& p, std::int64_t k) {
  k = std::clamp<std::int64_t>(k, 0, p.lastFrame);
  p.session.SetTime(static_cast<double>(k));
  if (p.timeline) {
    p.syncing = true;
    gtk_range_set_value(GTK_RANGE(p.timeline), static_cast<double>(k));
    p.syncing = false;
  }
  (void)p.session.ParametersChanged(nullptr);
  SyncPanel(p);
  Redraw(p);
}

}  // namespace

void Changed(Preview& p, const std::function<void()>& change) {
  if (p.syncing) return;
  try {
    change();
    MarkDirty(p, true);
  } catch (const std::exception& e) {
    ShowStatus(p, e.what());
  }
  SyncPanel(p);
  Redraw(p);
}

namespace {

// --- playing --------------------------------------------------------------------------------------

gboolean OnTick(gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (!p.playing) return G_SOURCE_CONTINUE;
  // The frame due now: frames the renderer could not keep up with are dropped, so the clock of
  // the clip never drifts from the wall clock.
  const double elapsed = static_cast<double>(g_get_monotonic_time() - p.playStartUs) / 1e6;
  std::int64_t due = p.playStartFrame + static_cast<std::int64_t>(std::floor(elapsed * p.rate));
  if (due > p.lastFrame) {  // play loops
    p.playStartFrame = 0;
    p.playStartUs = g_get_monotonic_time();
    due = 0;
  }
  const std::int64_t shown = CurrentFrame(p);
  if (due != shown) {
    if (due > shown + 1) p.framesDropped += static_cast<std::uint64_t>(due - shown - 1);
    ++p.framesShown;
    GoTo(p, due);
  }
  return G_SOURCE_CONTINUE;
}

void SetPlaying(Preview& p, bool playing) {
  p.playing = playing;
  if (playing) {
    if (CurrentFrame(p) >= p.lastFrame) GoTo(p, 0);
    p.playStartFrame = CurrentFrame(p);
    p.playStartUs = g_get_monotonic_time();
    p.framesShown = p.framesDropped = 0;
    // A timer of its own rather than the widget's frame clock, which does not tick everywhere (a
    // bare X server); twice per frame, so that a frame is late by half its time at most.
    const auto interval = static_cast<guint>(std::clamp(500.0 / p.rate, 1.0, 100.0));
    // Below GTK's redraw, so that every frame shown is also painted.
    if (p.tick == 0) p.tick = g_timeout_add_full(G_PRIORITY_DEFAULT_IDLE, interval, OnTick, &p, nullptr);
  } else if (p.tick != 0) {
    g_source_remove(p.tick);
    p.tick = 0;
  }
  if (p.play) gtk_button_set_label(GTK_BUTTON(p.play), playing ? "Pause" : "Play");
  ScheduleProbe(p);
}

void Step(Preview& p, std::int64_t by) {
  SetPlaying(p, false);
  GoTo(p, CurrentFrame(p) + by);
}

void OnPlay(GtkButton*, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  SetPlaying(p, !p.playing);
}
void OnStepBack(GtkButton*, gpointer data) { Step(*static_cast<Preview*>(data), -1); }
void OnStepForward(GtkButton*, gpointer data) { Step(*static_cast<Preview*>(data), +1); }

void OnTimeline(GtkRange* range, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (p.syncing) return;
  SetPlaying(p, false);
  GoTo(p, static_cast<std::int64_t>(std::lround(gtk_range_get_value(range))));
}

// --- viewer ---------------------------------------------------------------------------------------

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  OverlayContext* viewer = p.session.Viewer();
  if (viewer == nullptr) return FALSE;
  ViewerSurface& s = viewer->Surface();
  // Opaque B, G, R, A pixels are already what Cairo's premultiplied ARGB32 holds.
  cairo_surface_t* image = cairo_image_surface_create_for_data(s.Bits(), CAIRO_FORMAT_ARGB32, s.Width(), s.Height(),
                                                               static_cast<int>(s.Stride()));
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(image);
  return TRUE;
}

/// The viewer follows the size of its widget: the frame is fitted anew and the overlay attached to
/// the new viewer.
void OnViewerSize(GtkWidget*, GdkRectangle* a, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  OverlayContext* viewer = p.session.Viewer();
  if (a->width < 1 || a->height < 1 || (viewer && viewer->Surface().Width() == a->width &&
                                        viewer->Surface().Height() == a->height))
    return;
  try {
    p.session.OpenViewer(a->width, a->height).SetOverlayMode(p.overlayMode);
  } catch (const std::exception& e) {
    ShowStatus(p, e.what());
    return;
  }
  Redraw(p);
}

gboolean OnPress(GtkWidget* w, GdkEventButton* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  gtk_widget_grab_focus(w);
  if (ev->button != 1 || ev->type != GDK_BUTTON_PRESS) return FALSE;
  SetPlaying(p, false);
  p.dragging = p.session.PointerDown(ev->x, ev->y, 1) != 0;
  Redraw(p);
  return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (!p.dragging) return FALSE;
  if (p.session.PointerDrag(ev->x, ev->y, 1) != 0) MarkDirty(p, true);
  SyncPanel(p);
  Redraw(p);
  return TRUE;
}

gboolean OnRelease(GtkWidget*, GdkEventButton* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (ev->button != 1) return FALSE;
  p.session.PointerUp(ev->x, ev->y, 1);
  p.dragging = false;
  Redraw(p);
  return TRUE;
}

gboolean OnCrossing(GtkWidget*, GdkEventCrossing* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  p.pointerInside = ev->type == GDK_ENTER_NOTIFY;
  Redraw(p);
  return FALSE;
}

void OnMode(GtkComboBox* combo, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  p.overlayMode = gtk_combo_box_get_active(combo) == 1 ? ZELOverlayMode_Drag : ZELOverlayMode_Handles;
  if (OverlayContext* v = p.session.Viewer()) v->SetOverlayMode(p.overlayMode);
  Redraw(p);
}

void OnModal(GtkButton*, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  SetPlaying(p, false);
  // The dialog writes whatever it edits through the parameters; the project tells what changed.
  const std::string before = zel::host::ProjectText(p.session.Instance());
  p.inDialog = true;
  ScheduleProbe(p);
  const VOKRESULT r = p.session.RunModalUI();
  p.inDialog = false;
  if (VOKFAILED(r)) ShowStatus(p, "dialog failed: " + ResultText(r));
  if (zel::host::ProjectText(p.session.Instance()) != before) MarkDirty(p, true);
  SyncPanel(p);
  Redraw(p);
}

// --- project files --------------------------------------------------------------------------------

GtkFileFilter* ProjectFilter() {
  GtkFileFilter* f = gtk_file_filter_new();
  gtk_file_filter_set_name(f, "Projects (*.json)");
  gtk_file_filter_add_pattern(f, "*.json");
  return f;
}

/// The path the user picks in a file dialog; empty when cancelled.
std::string AskPath(Preview& p, bool save) {
  GtkWidget* d = gtk_file_chooser_dialog_new(save ? "Save project" : "Open project", GTK_WINDOW(p.window),
                                             save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                             "_Cancel", GTK_RESPONSE_CANCEL, save ? "_Save" : "_Open",
                                             GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(d), ProjectFilter());
  if (save) {
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(d), TRUE);
    if (p.projectPath.empty())
      gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(d), "clock.json");
    else
      gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(d), p.projectPath.c_str());
  }
  p.inDialog = true;
  ScheduleProbe(p);
  std::string path;
  if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
      path = name;
      g_free(name);
    }
  }
  gtk_widget_destroy(d);
  p.inDialog = false;
  ScheduleProbe(p);
  return path;
}

/// Saves to the project's file (asking for one first when there is none, or always with
/// `ask`). True when saved.
bool Save(Preview& p, bool ask) {
  std::string path = p.projectPath;
  if (ask || path.empty()) path = AskPath(p, true);
  if (path.empty()) return false;
  try {
    zel::host::WriteProject(p.session.Instance(), path, p.clockRequest.timeCode, p.clockRequest.dateTime);
  } catch (const std::exception& e) {
    ShowError(p, "The project was not saved", e.what());
    return false;
  }
  p.projectPath = path;
  MarkDirty(p, false);
  ShowStatus(p, "saved " + path);
  ScheduleProbe(p);
  return true;
}

/// With unsaved changes: asks whether to save them first. False when the user cancels (or the
/// save fails), so that nothing is lost.
bool MayDiscard(Preview& p, const char* doing) {
  if (!p.dirty) return true;
  const std::string name =
      p.projectPath.empty() ? "Untitled" : std::filesystem::path(p.projectPath).filename().string();
  GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(p.window), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                                        "Save the changes to \"%s\" before %s?", name.c_str(), doing);
  gtk_window_set_title(GTK_WINDOW(d), "zelhost preview: unsaved changes");
  gtk_dialog_add_buttons(GTK_DIALOG(d), "_Don't save", GTK_RESPONSE_REJECT, "_Cancel", GTK_RESPONSE_CANCEL, "_Save",
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
  p.inDialog = true;
  ScheduleProbe(p);
  const int answer = gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
  p.inDialog = false;
  ScheduleProbe(p);
  if (answer == GTK_RESPONSE_REJECT) return true;
  if (answer == GTK_RESPONSE_ACCEPT) return Save(p, false);
  return false;
}

/// The clock's start as asked (--timecode, --datetime) over the parameters as they are now.
void StartClock(Preview& p) {
  p.clockStart = zel::host::ApplyClockStart(p.session.Instance(), p.clockRequest, p.source.info(), p.lastFrame);
}

/// Reads `path` and, when the whole of it applies to a fresh instance, replaces the current setup
/// with it. On any error the current setup stays as it was. Returns the error, or "".
std::string LoadProject(Preview& p, const std::string& path) {
  try {
    const zel::host::Project project = zel::host::ReadProject(path);
    {
      EffectInstance trial(p.plugin, p.session.Instance().Sequence());
      zel::host::ApplyProject(trial, project, path);
    }
    p.session.Instance().ResetToDefaults();
    zel::host::ApplyProject(p.session.Instance(), project, path);
    p.clockRequest = p.clockOptions;
    if (p.clockRequest.timeCode.empty()) {
      p.clockRequest.timeCode = project.timeCode;
      p.clockRequest.timeCodeWhere = "project, timecode '" + project.timeCode + "'";
    }
    if (p.clockRequest.dateTime.empty()) {
      p.clockRequest.dateTime = project.dateTime;
      p.clockRequest.dateTimeWhere = "project, datetime '" + project.dateTime + "'";
    }
    StartClock(p);
  } catch (const std::exception& e) {
    return e.what();
  }
  p.projectPath = path;
  (void)p.session.ParametersChanged(nullptr);
  return {};
}

void Open(Preview& p) {
  SetPlaying(p, false);
  if (!MayDiscard(p, "opening another project")) return;
  const std::string path = AskPath(p, false);
  if (path.empty()) return;
  if (const std::string error = LoadProject(p, path); !error.empty()) {
    ShowError(p, "The project was not opened", error);
    return;
  }
  MarkDirty(p, false);
  SyncPanel(p);
  Redraw(p);
}

void OnSave(GtkButton*, gpointer data) { Save(*static_cast<Preview*>(data), false); }
void OnOpen(GtkButton*, gpointer data) { Open(*static_cast<Preview*>(data)); }

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  SetPlaying(p, false);
  return MayDiscard(p, "closing") ? FALSE : TRUE;
}

void OnDestroy(GtkWidget*, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (p.tick != 0) g_source_remove(p.tick);
  p.playing = false;
  p.tick = 0;
  p.window = p.viewer = p.status = p.timeline = p.position = p.play = nullptr;
  gtk_main_quit();
}

// --- keys -----------------------------------------------------------------------------------------

gboolean OnKey(GtkWidget* window, GdkEventKey* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  const guint mods = ev->state & gtk_accelerator_get_default_mod_mask();
  const bool ctrl = mods == GDK_CONTROL_MASK, ctrlShift = mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  const guint key = gdk_keyval_to_lower(ev->keyval);
  if (ctrl && key == GDK_KEY_s) return Save(p, false), TRUE;
  if (ctrlShift && key == GDK_KEY_s) return Save(p, true), TRUE;
  if (ctrl && key == GDK_KEY_o) return Open(p), TRUE;
  if (ctrl && (key == GDK_KEY_w || key == GDK_KEY_q)) {
    if (!OnDelete(window, nullptr, &p)) gtk_widget_destroy(window);
    return TRUE;
  }
  // Plain keys belong to a field being typed in.
  if (mods != 0 || GTK_IS_EDITABLE(gtk_window_get_focus(GTK_WINDOW(window)))) return FALSE;
  switch (ev->keyval) {
    case GDK_KEY_space:
      SetPlaying(p, !p.playing);
      return TRUE;
    case GDK_KEY_Left:
      Step(p, -1);
      return TRUE;
    case GDK_KEY_Right:
      Step(p, +1);
      return TRUE;
    case GDK_KEY_Home:
      Step(p, -CurrentFrame(p));
      return TRUE;
    case GDK_KEY_End:
      Step(p, p.lastFrame - CurrentFrame(p));
      return TRUE;
    default:
      return FALSE;
  }
}

// --- the window -----------------------------------------------------------------------------------

std::string AttributeText(const ComponentDefinition* c, const VOKUID& id, const char* fallback) {
  if (c != nullptr)
    if (const Attribute* a = c->attributes.Find(id); a && a->isText) return ToUtf8(a->text);
  return fallback;
}

GtkWidget* Button(const char* label, const char* tip, GCallback handler, Preview& p, GtkWidget* box) {
  GtkWidget* b = gtk_button_new_with_label(label);
  if (tip) gtk_widget_set_tooltip_text(b, tip);
  g_signal_connect(b, "clicked", handler, &p);
  gtk_box_pack_start(GTK_BOX(box), b, FALSE, FALSE, 0);
  return b;
}

void BuildWindow(Preview& p, int viewerWidth, int viewerHeight) {
  p.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_role(GTK_WINDOW(p.window), "zelhost-preview");
  g_signal_connect(p.window, "delete-event", G_CALLBACK(OnDelete), &p);
  g_signal_connect(p.window, "destroy", G_CALLBACK(OnDestroy), &p);
  g_signal_connect(p.window, "key-press-event", G_CALLBACK(OnKey), &p);

  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(top), 8);
  gtk_container_add(GTK_CONTAINER(p.window), top);

  // The panel shows whole where the screen is tall enough, and scrolls where it is not.
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_size_request(scroller, 400, -1);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller), TRUE);
  GdkRectangle work{0, 0, 1280, 800};
  if (GdkMonitor* m = gdk_display_get_primary_monitor(gdk_display_get_default())) gdk_monitor_get_workarea(m, &work);
  gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller), std::max(300, work.height - 80));
  GtkWidget* panel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_add(GTK_CONTAINER(scroller), panel);
  gtk_box_pack_start(GTK_BOX(top), scroller, FALSE, TRUE, 0);
  BuildPanel(p, panel);

  GtkWidget* right = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_box_pack_start(GTK_BOX(top), right, TRUE, TRUE, 0);
  p.viewer = gtk_drawing_area_new();
  gtk_widget_set_size_request(p.viewer, viewerWidth, viewerHeight);
  gtk_widget_set_can_focus(p.viewer, TRUE);
  gtk_widget_set_hexpand(p.viewer, TRUE);
  gtk_widget_set_vexpand(p.viewer, TRUE);
  gtk_widget_add_events(p.viewer, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_KEY_PRESS_MASK);
  g_signal_connect(p.viewer, "draw", G_CALLBACK(OnDraw), &p);
  g_signal_connect(p.viewer, "size-allocate", G_CALLBACK(OnViewerSize), &p);
  g_signal_connect(p.viewer, "button-press-event", G_CALLBACK(OnPress), &p);
  g_signal_connect(p.viewer, "motion-notify-event", G_CALLBACK(OnMotion), &p);
  g_signal_connect(p.viewer, "button-release-event", G_CALLBACK(OnRelease), &p);
  g_signal_connect(p.viewer, "enter-notify-event", G_CALLBACK(OnCrossing), &p);
  g_signal_connect(p.viewer, "leave-notify-event", G_CALLBACK(OnCrossing), &p);
  gtk_box_pack_start(GTK_BOX(right), p.viewer, TRUE, TRUE, 0);

  GtkWidget* transport = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  p.stepBack = Button("\u25C0 Frame", "A frame back (Left)", G_CALLBACK(OnStepBack), p, transport);
  p.play = Button("Play", "Play or pause at the clip's rate (Space)", G_CALLBACK(OnPlay), p, transport);
  p.stepForward = Button("Frame \u25B6", "A frame forward (Right)", G_CALLBACK(OnStepForward), p, transport);
  p.position = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(transport), p.position, FALSE, FALSE, 6);
  gtk_box_pack_start(GTK_BOX(right), transport, FALSE, FALSE, 0);

  p.timeline = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, std::max<double>(1, p.lastFrame), 1);
  gtk_scale_set_draw_value(GTK_SCALE(p.timeline), FALSE);
  gtk_widget_set_can_focus(p.timeline, FALSE);  // Left and Right step frames wherever the focus is
  gtk_range_set_value(GTK_RANGE(p.timeline), p.session.Time());
  g_signal_connect(p.timeline, "value-changed", G_CALLBACK(OnTimeline), &p);
  gtk_box_pack_start(GTK_BOX(right), p.timeline, FALSE, FALSE, 0);

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  const ComponentDefinition* overlay = p.plugin.ComponentOfKind(ZELKind_Overlay);
  p.mode = gtk_combo_box_text_new();
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(p.mode),
                                 AttributeText(overlay, ZELAttr_OverlaySizeText, "Handles").c_str());
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(p.mode),
                                 AttributeText(overlay, ZELAttr_OverlayDragText, "Drag").c_str());
  gtk_combo_box_set_active(GTK_COMBO_BOX(p.mode), p.overlayMode == ZELOverlayMode_Drag ? 1 : 0);
  gtk_widget_set_tooltip_text(p.mode, "How a drag on the viewer changes the clock");
  g_signal_connect(p.mode, "changed", G_CALLBACK(OnMode), &p);
  gtk_box_pack_start(GTK_BOX(bar), p.mode, FALSE, FALSE, 0);
  if (const ComponentDefinition* modal = p.plugin.ComponentOfKind(ZELKind_ModalUI))
    p.modal = Button(ToUtf8(modal->name).c_str(), nullptr, G_CALLBACK(OnModal), p, bar);
  p.open = Button("Open\u2026", "Open a project (Ctrl+O)", G_CALLBACK(OnOpen), p, bar);
  p.save = Button("Save", "Save the project (Ctrl+S; Ctrl+Shift+S saves as)", G_CALLBACK(OnSave), p, bar);
  gtk_box_pack_start(GTK_BOX(right), bar, FALSE, FALSE, 0);

  p.status = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(p.status), 0);
  gtk_label_set_ellipsize(GTK_LABEL(p.status), PANGO_ELLIPSIZE_END);
  gtk_box_pack_start(GTK_BOX(right), p.status, FALSE, FALSE, 0);
  UpdateTitle(p);
}

/// Writes the viewer's pixels as a PNG.
bool WriteSnapshot(Preview& p, const char* path) {
  ViewerSurface& s = p.session.Viewer()->Surface();
  cairo_surface_t* image = cairo_image_surface_create_for_data(s.Bits(), CAIRO_FORMAT_ARGB32, s.Width(), s.Height(),
                                                               static_cast<int>(s.Stride()));
  const bool ok = cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  return ok;
}

int Fail(ZelPreviewOptions* o, const std::string& message) {
  if (o->error && o->errorSize > 0) std::snprintf(o->error, static_cast<std::size_t>(o->errorSize), "%s", message.c_str());
  return 1;
}

}  // namespace
}  // namespace zelpreview

extern "C" __attribute__((visibility("default"))) int ZelPreviewMain(ZelPreviewOptions* o) {
  using namespace zelpreview;
  try {
    const bool window = o->snapshot == nullptr;
    // In the window a bad input or project is said in a dialog and the preview starts without it;
    // a snapshot has nobody to show a dialog to and fails.
    std::vector<std::pair<std::string, std::string>> errors;
    std::string inputName = o->input ? std::filesystem::path(o->input).filename().string() : "test pattern";
    auto source = [&] {
      if (o->input == nullptr) return zel::media::VideoSource::testPattern();
      try {
        return zel::media::VideoSource::open(o->input);
      } catch (const std::exception& e) {
        if (!window) throw;
        errors.emplace_back("The input was not opened", e.what());
        inputName = "test pattern";
        return zel::media::VideoSource::testPattern();
      }
    }();
    Preview p(o->plugin, std::move(source));
    p.inputName = inputName;
    p.probeDir = o->probe ? o->probe : "";
    if (o->project != nullptr) {
      std::error_code ec;
      if (window && !std::filesystem::exists(o->project, ec)) {
        p.projectPath = o->project;  // a new project, saved there
      } else if (std::string error = LoadProject(p, o->project); !error.empty()) {
        if (!window) return Fail(o, error);
        errors.emplace_back("The project was not opened", error);
      }
    }
    // --set as zelhost render takes it (NAME=VALUE or NAME@FRAME=VALUE), after the project.
    for (std::int32_t i = 0; i < o->settingCount; ++i) {
      zel::host::ApplySetting(p.session.Instance(), zel::host::ParseSetOption(o->settings[i]));
      p.dirty = true;
    }
    // Then where the clock starts, as zelhost render does it.
    const auto text = [](const char* t) { return std::string(t != nullptr ? t : ""); };
    p.clockOptions = {text(o->timeCode), text(o->dateTime), "--timecode '" + text(o->timeCode) + "'",
                      "--datetime '" + text(o->dateTime) + "'"};
    if (o->timeCode != nullptr) {
      p.clockRequest.timeCode = p.clockOptions.timeCode;
      p.clockRequest.timeCodeWhere = p.clockOptions.timeCodeWhere;
    }
    if (o->dateTime != nullptr) {
      p.clockRequest.dateTime = p.clockOptions.dateTime;
      p.clockRequest.dateTimeWhere = p.clockOptions.dateTimeWhere;
    }
    try {
      StartClock(p);
    } catch (const zel::host::ClockStartError& e) {
      Fail(o, e.what());
      return 2;
    }
    p.session.SetTime(std::clamp<double>(std::floor(o->time), 0, static_cast<double>(p.lastFrame)));
    p.overlayMode = o->dragMode ? ZELOverlayMode_Drag : ZELOverlayMode_Handles;
    p.session.OpenViewer(o->viewerWidth, o->viewerHeight).SetOverlayMode(p.overlayMode);
    (void)p.session.ParametersChanged(nullptr);

    if (!window) {
      // No window needed: the viewer's pixels are the host's own.
      Redraw(p);
      if (!WriteSnapshot(p, o->snapshot)) return Fail(o, std::string("cannot write '") + o->snapshot + "'");
      return 0;
    }
    if (!gtk_init_check(nullptr, nullptr)) return Fail(o, "no display: the preview needs a desktop session");
    BuildWindow(p, o->viewerWidth, o->viewerHeight);
    GoTo(p, CurrentFrame(p));
    gtk_widget_show_all(p.window);
    gtk_widget_grab_focus(p.viewer);
    // This window stands in for the editor's main window, which a plug-in's dialog looks up as its
    // owner by the editor's class and title.
    gtk_widget_realize(p.window);
    const auto xid = GDK_IS_X11_WINDOW(gtk_widget_get_window(p.window))
                         ? gdk_x11_window_get_xid(gtk_widget_get_window(p.window))
                         : 0;
    if (xid != 0)
      ZelRegisterWindow(kMainWindowClass, kMainWindowTitle, reinterpret_cast<HWND>(static_cast<std::uintptr_t>(xid)));
    ScheduleProbe(p);
    for (const auto& [what, detail] : errors) ShowError(p, what, detail);
    gtk_main();
    ZelRegisterWindow(kMainWindowClass, kMainWindowTitle, nullptr);
    if (p.probeIdle != 0) g_source_remove(p.probeIdle);
    return 0;
  } catch (const std::exception& e) {
    return Fail(o, e.what());
  }
}
