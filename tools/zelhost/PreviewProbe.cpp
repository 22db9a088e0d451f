// The preview's state file, for tests that drive the window with real input events and must see
// what it shows (`zelhost preview --probe DIR`). Whenever the window settles after a change it
// writes, each file complete before it is renamed into place:
//   DIR/frame.png   the frame on show as rendered, at the frame's own size, before the viewer
//                   scales it (opaque RGB); not rewritten while playing;
//   DIR/state.json  {"serial", "title", "dirty", "project", "frame", "position", "playing",
//                   "framesShown", "framesDropped", "inDialog", "error", "windowId",
//                   "viewer": {x, y, w, h, "frame": {x, y, w, h}} (the frame's placement),
//                   "widgets": {name: {x, y, w, h}} in root-window pixels,
//                   "entries": {path: {"sensitive", "value", "keyed", "keyHere", "control", "key"}}}.
// "value" is what the panel's control shows. state.json is written after frame.png, so a test
// that sees a serial sees a frame at least as new.
#include <cairo.h>
#include <gdk/gdkx.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "PreviewWindow.h"

namespace zelpreview {

namespace {

using Json = nlohmann::ordered_json;

Json Rect(GtkWidget* w) {
  if (w == nullptr || !gtk_widget_get_mapped(w)) return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(w);
  GdkWindow* window = gtk_widget_get_window(top);
  if (window == nullptr) return nullptr;
  int ox = 0, oy = 0, x = 0, y = 0;
  gdk_window_get_origin(window, &ox, &oy);
  gtk_widget_translate_coordinates(w, top, 0, 0, &x, &y);
  GtkAllocation a{};
  gtk_widget_get_allocation(w, &a);
  return Json{{"x", ox + x}, {"y", oy + y}, {"w", a.width}, {"h", a.height}};
}

Json ControlValue(const Binding& b) {
  GtkWidget* c = b.control;
  if (c == nullptr) return nullptr;
  if (GTK_IS_SPIN_BUTTON(c)) return gtk_spin_button_get_value(GTK_SPIN_BUTTON(c));
  if (GTK_IS_COLOR_BUTTON(c)) {
    GdkRGBA rgba{};
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(c), &rgba);
    return Json::array({rgba.red * 255, rgba.green * 255, rgba.blue * 255});
  }
  if (GTK_IS_CHECK_BUTTON(c)) return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c)) != 0;
  if (GTK_IS_COMBO_BOX_TEXT(c)) {
    gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(c));
    Json v = text ? Json(text) : Json(nullptr);
    g_free(text);
    return v;
  }
  if (GTK_IS_ENTRY(c)) return gtk_entry_get_text(GTK_ENTRY(c));
  return nullptr;
}

bool WriteAtomically(const std::string& path, const std::string& text) {
  const std::string pending = path + ".new";
  FILE* f = std::fopen(pending.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok && std::rename(pending.c_str(), path.c_str()) == 0;
}

void WriteFrame(Preview& p, const std::string& path) {
  const zel::host::FrameView f = p.session.LastFrame();
  if (f.data == nullptr || f.width == 0) return;
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(f.width), static_cast<int>(f.height));
  const int stride = cairo_image_surface_get_stride(image);
  unsigned char* dst = cairo_image_surface_get_data(image);
  const bool rgba = f.kind == zel::host::PixelKind::Rgba;
  for (std::uint32_t y = 0; y < f.height; ++y)
    for (std::uint32_t x = 0; x < f.width; ++x) {
      const std::uint8_t* s = f.data + y * f.stride + x * 4;
      unsigned char* d = dst + y * stride + x * 4;
      d[0] = rgba ? s[2] : s[0];
      d[1] = s[1];
      d[2] = rgba ? s[0] : s[2];
      d[3] = 0xFF;
    }
  cairo_surface_mark_dirty(image);
  const std::string pending = path + ".new.png";
  if (cairo_surface_write_to_png(image, pending.c_str()) == CAIRO_STATUS_SUCCESS) std::rename(pending.c_str(), path.c_str());
  cairo_surface_destroy(image);
}

void WriteProbe(Preview& p) {
  static std::uint64_t serial = 0;
  if (p.window == nullptr) return;
  // Not while playing: encoding every frame would make the test's own cost drop frames.
  if (!p.playing) WriteFrame(p, p.probeDir + "/frame.png");

  Json state = Json::object();
  state["serial"] = ++serial;
  state["title"] = gtk_window_get_title(GTK_WINDOW(p.window));
  state["dirty"] = p.dirty;
  state["project"] = p.projectPath;
  state["frame"] = CurrentFrame(p);
  state["position"] = p.position ? gtk_label_get_text(GTK_LABEL(p.position)) : "";
  state["playing"] = p.playing;
  state["framesShown"] = p.framesShown;
  state["framesDropped"] = p.framesDropped;
  state["inDialog"] = p.inDialog;
  state["error"] = p.lastError;
  GdkWindow* w = gtk_widget_get_window(p.window);
  state["windowId"] = w && GDK_IS_X11_WINDOW(w) ? static_cast<std::uint64_t>(gdk_x11_window_get_xid(w)) : 0;

  Json viewer = Rect(p.viewer);
  if (!viewer.is_null())
    if (zel::host::OverlayContext* v = p.session.Viewer()) {
      const zel::host::FramePlacement& pl = v->Placement();
      viewer["frame"] = Json{{"x", pl.originX}, {"y", pl.originY}, {"w", pl.width}, {"h", pl.height}};
    }
  state["viewer"] = viewer;
  state["widgets"] = Json{{"play", Rect(p.play)},     {"stepBack", Rect(p.stepBack)}, {"stepForward", Rect(p.stepForward)},
                          {"timeline", Rect(p.timeline)}, {"mode", Rect(p.mode)},         {"modal", Rect(p.modal)},
                          {"open", Rect(p.open)},     {"save", Rect(p.save)}};
  Json entries = Json::object();
  for (const Binding& b : p.bindings) {
    Json e = Json::object();
    e["sensitive"] = b.row ? gtk_widget_is_sensitive(b.row) != 0 : true;
    if (b.parameter) {
      e["value"] = ControlValue(b);
      e["keyed"] = b.parameter->Keyed();
      e["keyHere"] = b.parameter->HasKeyAt(p.session.Time());
      e["control"] = Rect(b.control);
      e["key"] = Rect(b.key);
    }
    entries[b.path] = std::move(e);
  }
  state["entries"] = std::move(entries);
  WriteAtomically(p.probeDir + "/state.json", state.dump(1));
}

gboolean OnProbeIdle(gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  p.probeIdle = 0;
  WriteProbe(p);
  return G_SOURCE_REMOVE;
}

}  // namespace

void ScheduleProbe(Preview& p) {
  if (p.probeDir.empty() || p.probeIdle != 0) return;
  p.probeIdle = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, OnProbeIdle, &p, nullptr);
}

}  // namespace zelpreview
