// The preview window (built into zelhost-preview.so): a GTK 3 window over an EditSession.
//
// Left, the parameter panel built from the plug-in's layout tree: groups as frames, number
// controls as spin buttons, check boxes, list boxes as combo boxes, text fields as entries; an
// entry the plug-in's update handler switches off is hidden. Right, the viewer (the rendered
// frame with the overlay drawn by the plug-in; mouse presses and drags go to the overlay), the
// overlay's mode, a timeline, and a button for the plug-in's modal dialog.
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "EditSession.h"
#include "Preview.h"
#include "Text.h"
#include "ZelPlatformHost.h"
#include "media/VideoSource.h"

namespace {

using namespace zel::host;

/// One control of the panel and the entry and parameter it stands for.
struct Binding {
  struct Preview* preview = nullptr;
  LayoutEntry* entry = nullptr;
  ParameterValue* parameter = nullptr;  ///< null for groups
  GtkWidget* row = nullptr;             ///< shown or hidden with the entry
  GtkWidget* control = nullptr;         ///< the widget that edits the value
};

struct Preview {
  explicit Preview(const ZelPreviewOptions& o)
      : plugin(o.plugin),
        source(o.input ? zel::media::VideoSource::open(o.input) : zel::media::VideoSource::testPattern()),
        session(plugin, SequenceOf(source.info())) {}

  static SequenceInfo SequenceOf(const zel::media::SourceInfo& info) {
    SequenceInfo s;
    s.width = static_cast<std::uint32_t>(info.width);
    s.height = static_cast<std::uint32_t>(info.height);
    s.frameRate = info.rate.den != 0 ? static_cast<double>(info.rate.num) / info.rate.den : 25.0;
    s.pixelAspectRatio = info.pixelAspect.den != 0 && info.pixelAspect.num != 0
                             ? static_cast<double>(info.pixelAspect.num) / info.pixelAspect.den
                             : 1.0;
    s.duration = info.frameCount > 0 ? static_cast<double>(info.frameCount) : 250.0;
    s.finalRender = false;
    return s;
  }

  Plugin plugin;
  zel::media::VideoSource source;
  zel::media::Frame input;
  std::int64_t inputIndex = -1;
  EditSession session;
  std::deque<Binding> bindings;  ///< stable addresses: the signal handlers hold them
  GtkWidget* window = nullptr;
  GtkWidget* viewer = nullptr;
  GtkWidget* status = nullptr;
  bool syncing = false;  ///< widgets are being set from the parameters: their signals are echoes
  bool dragging = false;
  bool pointerInside = false;
};

// --- frames ---------------------------------------------------------------------------------------

/// Renders the frame on show into the viewer, with the overlay on top.
void Redraw(Preview& p) {
  const auto k = static_cast<std::int64_t>(std::floor(p.session.Time()));
  if (k != p.inputIndex || p.input.empty()) {
    p.source.seek(k);
    if (!p.source.read(p.input, zel::media::FrameFormat::Rgba)) {
      p.source.seek(0);
      p.source.read(p.input, zel::media::FrameFormat::Rgba);
    }
    p.inputIndex = k;
  }
  FrameView view{p.input.data(), static_cast<std::uint32_t>(p.input.width()),
                 static_cast<std::uint32_t>(p.input.height()), static_cast<std::size_t>(p.input.stride()),
                 PixelKind::Rgba};
  const VOKRESULT r = p.session.ShowFrame(view, p.pointerInside);
  if (p.status) {
    const std::string text = VOKSUCCEEDED(r) ? "frame " + std::to_string(k) : "render failed: " + ResultText(r);
    gtk_label_set_text(GTK_LABEL(p.status), text.c_str());
  }
  if (p.viewer) gtk_widget_queue_draw(p.viewer);
}

// --- panel ----------------------------------------------------------------------------------------

/// Shows the entries that are on, and sets every control from its parameter at the time on show.
void SyncPanel(Preview& p) {
  p.syncing = true;
  const double t = p.session.Time();
  for (Binding& b : p.bindings) {
    gtk_widget_set_visible(b.row, b.entry->On());
    if (b.parameter == nullptr || b.control == nullptr) continue;
    const ParamValue v = b.parameter->ValueAt(t);
    if (GTK_IS_SPIN_BUTTON(b.control)) {
      gtk_spin_button_set_value(GTK_SPIN_BUTTON(b.control), v.num[0]);
    } else if (GTK_IS_CHECK_BUTTON(b.control)) {
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b.control), v.num[0] != 0);
    } else if (GTK_IS_COMBO_BOX(b.control)) {
      const ParameterInfo* info = b.entry->Parameter();
      int active = -1;
      for (std::size_t i = 0; info && i < info->items.size(); ++i)
        if (info->items[i].value == static_cast<std::int32_t>(v.num[0])) {
          active = static_cast<int>(i);
          break;
        }
      gtk_combo_box_set_active(GTK_COMBO_BOX(b.control), active);
    } else if (GTK_IS_ENTRY(b.control)) {
      if (std::strcmp(gtk_entry_get_text(GTK_ENTRY(b.control)), v.text.c_str()) != 0)
        gtk_entry_set_text(GTK_ENTRY(b.control), v.text.c_str());
    }
  }
  p.syncing = false;
}

/// After the user changed a value: the session has run the update handler; show its result.
void Changed(Preview& p, const std::function<void()>& change) {
  if (p.syncing) return;
  try {
    change();
  } catch (const std::exception& e) {
    if (p.status) gtk_label_set_text(GTK_LABEL(p.status), e.what());
  }
  SyncPanel(p);
  Redraw(p);
}

void OnSpin(GtkSpinButton* spin, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const double v = gtk_spin_button_get_value(spin);
  Changed(*b.preview, [&] { b.preview->session.SetNumber(b.parameter->Name(), v); });
}

void OnToggle(GtkToggleButton* toggle, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const double v = gtk_toggle_button_get_active(toggle) ? 1 : 0;
  Changed(*b.preview, [&] { b.preview->session.SetNumber(b.parameter->Name(), v); });
}

void OnCombo(GtkComboBox* combo, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const int index = gtk_combo_box_get_active(combo);
  const ParameterInfo* info = b.entry->Parameter();
  if (index < 0 || info == nullptr || static_cast<std::size_t>(index) >= info->items.size()) return;
  const std::string value = std::to_string(info->items[static_cast<std::size_t>(index)].value);
  Changed(*b.preview, [&] { b.preview->session.SetFromText(b.parameter->Name(), value); });
}

void OnEntry(GtkEntry* entry, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const std::string text = gtk_entry_get_text(entry);
  Changed(*b.preview, [&] { b.preview->session.SetFromText(b.parameter->Name(), text); });
}

GtkWidget* LabelledRow(const std::string& label, GtkWidget* control) {
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* text = gtk_label_new(label.c_str());
  gtk_label_set_xalign(GTK_LABEL(text), 0);
  gtk_widget_set_size_request(text, 150, -1);
  gtk_box_pack_start(GTK_BOX(row), text, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), control, TRUE, TRUE, 0);
  return row;
}

void AddEntries(Preview& p, const std::vector<LayoutEntry*>& entries, GtkWidget* box);

/// The widget of one panel entry, packed into `box`.
void AddEntry(Preview& p, LayoutEntry& e, GtkWidget* box) {
  const LayoutNode& node = e.Node();
  Binding& b = p.bindings.emplace_back();
  b.preview = &p;
  b.entry = &e;
  if (const ParameterInfo* info = e.Parameter()) b.parameter = p.session.Instance().Find(info->uid);

  switch (node.kind) {
    case LayoutKind::ListItem:  // the list box shows its items
      p.bindings.pop_back();
      return;
    case LayoutKind::Group:
    case LayoutKind::Color:
    case LayoutKind::Unknown: {
      // Groups and colour controls hold their children; a colour's channels edit it.
      b.row = gtk_frame_new(e.Label().c_str());
      GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
      gtk_container_set_border_width(GTK_CONTAINER(inner), 6);
      gtk_container_add(GTK_CONTAINER(b.row), inner);
      gtk_box_pack_start(GTK_BOX(box), b.row, FALSE, FALSE, 2);
      AddEntries(p, e.Children(), inner);
      return;
    }
    case LayoutKind::CheckBox:
      b.control = gtk_check_button_new_with_label(e.Label().c_str());
      b.row = b.control;
      if (b.parameter) g_signal_connect(b.control, "toggled", G_CALLBACK(OnToggle), &b);
      break;
    case LayoutKind::ListBox: {
      b.control = gtk_combo_box_text_new();
      if (const ParameterInfo* info = e.Parameter())
        for (const ListItem& item : info->items)
          gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(b.control), item.name.c_str());
      b.row = LabelledRow(e.Label(), b.control);
      if (b.parameter) g_signal_connect(b.control, "changed", G_CALLBACK(OnCombo), &b);
      break;
    }
    case LayoutKind::TextField:
      b.control = gtk_entry_new();
      b.row = LabelledRow(e.Label(), b.control);
      if (b.parameter) g_signal_connect(b.control, "activate", G_CALLBACK(OnEntry), &b);
      break;
    case LayoutKind::Parameter: {
      const double lo = b.parameter && b.parameter->Minimum() ? *b.parameter->Minimum() : -1e9;
      const double hi = b.parameter && b.parameter->Maximum() ? *b.parameter->Maximum() : 1e9;
      const ParameterInfo* info = e.Parameter();
      const Value* inc = info ? info->attributes.Get(AttributeRole::Increment) : nullptr;
      const double step = inc && inc->IsNumber() && inc->number > 0 ? inc->number : 1.0;
      b.control = gtk_spin_button_new_with_range(lo, hi, step);
      const bool isDouble = b.parameter && b.parameter->Kind() == ValueKind::Double;
      gtk_spin_button_set_digits(GTK_SPIN_BUTTON(b.control), isDouble ? 2 : 0);
      b.row = LabelledRow(e.Label(), b.control);
      if (b.parameter) g_signal_connect(b.control, "value-changed", G_CALLBACK(OnSpin), &b);
      AddEntries(p, e.Children(), box);
      break;
    }
  }
  gtk_box_pack_start(GTK_BOX(box), b.row, FALSE, FALSE, 2);
}

void AddEntries(Preview& p, const std::vector<LayoutEntry*>& entries, GtkWidget* box) {
  for (LayoutEntry* e : entries) AddEntry(p, *e, box);
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

gboolean OnPress(GtkWidget*, GdkEventButton* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (ev->button != 1 || ev->type != GDK_BUTTON_PRESS) return FALSE;
  p.dragging = p.session.PointerDown(ev->x, ev->y, 1) != 0;
  Redraw(p);
  return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* ev, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (!p.dragging) return FALSE;
  p.session.PointerDrag(ev->x, ev->y, 1);
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

void OnTimeline(GtkRange* range, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  p.session.SetTime(gtk_range_get_value(range));
  // Animated parameters show their value at the new time; the panel follows the style there.
  p.session.ParametersChanged(nullptr);
  SyncPanel(p);
  Redraw(p);
}

void OnMode(GtkComboBox* combo, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  if (OverlayContext* v = p.session.Viewer())
    v->SetOverlayMode(gtk_combo_box_get_active(combo) == 1 ? ZELOverlayMode_Drag : ZELOverlayMode_Handles);
  Redraw(p);
}

void OnModal(GtkButton*, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  const VOKRESULT r = p.session.RunModalUI();
  if (VOKFAILED(r) && p.status) gtk_label_set_text(GTK_LABEL(p.status), ("dialog failed: " + ResultText(r)).c_str());
  SyncPanel(p);
  Redraw(p);
}

std::string AttributeText(const ComponentDefinition* c, const VOKUID& id, const char* fallback) {
  if (c != nullptr)
    if (const Attribute* a = c->attributes.Find(id); a && a->isText) return ToUtf8(a->text);
  return fallback;
}

void BuildWindow(Preview& p) {
  p.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  const std::string title = "zelhost preview: " + ToUtf8(p.plugin.Definition().fileName);
  gtk_window_set_title(GTK_WINDOW(p.window), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(p.window), -1, 720);
  g_signal_connect(p.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(top), 8);
  gtk_container_add(GTK_CONTAINER(p.window), top);

  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_size_request(scroller, 360, -1);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  GtkWidget* panel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_add(GTK_CONTAINER(scroller), panel);
  gtk_box_pack_start(GTK_BOX(top), scroller, FALSE, TRUE, 0);
  AddEntries(p, p.session.Panel().TopLevel(), panel);

  GtkWidget* right = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_box_pack_start(GTK_BOX(top), right, TRUE, TRUE, 0);
  OverlayContext* viewer = p.session.Viewer();
  p.viewer = gtk_drawing_area_new();
  gtk_widget_set_size_request(p.viewer, viewer->Surface().Width(), viewer->Surface().Height());
  gtk_widget_add_events(p.viewer, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
  g_signal_connect(p.viewer, "draw", G_CALLBACK(OnDraw), &p);
  g_signal_connect(p.viewer, "button-press-event", G_CALLBACK(OnPress), &p);
  g_signal_connect(p.viewer, "motion-notify-event", G_CALLBACK(OnMotion), &p);
  g_signal_connect(p.viewer, "button-release-event", G_CALLBACK(OnRelease), &p);
  g_signal_connect(p.viewer, "enter-notify-event", G_CALLBACK(OnCrossing), &p);
  g_signal_connect(p.viewer, "leave-notify-event", G_CALLBACK(OnCrossing), &p);
  gtk_box_pack_start(GTK_BOX(right), p.viewer, FALSE, FALSE, 0);

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  const ComponentDefinition* overlay = p.plugin.ComponentOfKind(ZELKind_Overlay);
  GtkWidget* mode = gtk_combo_box_text_new();
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(mode),
                                 AttributeText(overlay, ZELAttr_OverlaySizeText, "Handles").c_str());
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(mode), AttributeText(overlay, ZELAttr_OverlayDragText, "Drag").c_str());
  gtk_combo_box_set_active(GTK_COMBO_BOX(mode), viewer->GetOverlayMode() == ZELOverlayMode_Drag ? 1 : 0);
  g_signal_connect(mode, "changed", G_CALLBACK(OnMode), &p);
  gtk_box_pack_start(GTK_BOX(bar), mode, FALSE, FALSE, 0);
  if (const ComponentDefinition* modal = p.plugin.ComponentOfKind(ZELKind_ModalUI)) {
    GtkWidget* button = gtk_button_new_with_label(ToUtf8(modal->name).c_str());
    g_signal_connect(button, "clicked", G_CALLBACK(OnModal), &p);
    gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
  }
  p.status = gtk_label_new("");
  gtk_box_pack_end(GTK_BOX(bar), p.status, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(right), bar, FALSE, FALSE, 0);

  const double last = std::max(1.0, p.session.Instance().Sequence().duration - 1);
  GtkWidget* timeline = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, last, 1);
  gtk_scale_set_digits(GTK_SCALE(timeline), 0);
  gtk_range_set_value(GTK_RANGE(timeline), p.session.Time());
  g_signal_connect(timeline, "value-changed", G_CALLBACK(OnTimeline), &p);
  gtk_box_pack_start(GTK_BOX(right), timeline, FALSE, FALSE, 0);
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

extern "C" __attribute__((visibility("default"))) int ZelPreviewMain(ZelPreviewOptions* o) {
  try {
    Preview p(*o);
    for (std::int32_t i = 0; i < o->settingCount; ++i) {
      const std::string s = o->settings[i];
      const auto eq = s.find('=');
      if (eq == std::string::npos) return Fail(o, "--set '" + s + "': expected NAME=VALUE");
      p.session.SetFromText(s.substr(0, eq), s.substr(eq + 1));
    }
    p.session.SetTime(o->time);
    OverlayContext& viewer = p.session.OpenViewer(o->viewerWidth, o->viewerHeight);
    viewer.SetOverlayMode(o->dragMode ? ZELOverlayMode_Drag : ZELOverlayMode_Handles);
    (void)p.session.ParametersChanged(nullptr);

    if (o->snapshot != nullptr) {
      // No window needed: the viewer's pixels are the host's own.
      Redraw(p);
      if (!WriteSnapshot(p, o->snapshot)) return Fail(o, std::string("cannot write '") + o->snapshot + "'");
      return 0;
    }
    if (!gtk_init_check(nullptr, nullptr)) return Fail(o, "no display: the preview needs a desktop session");
    BuildWindow(p);
    SyncPanel(p);
    Redraw(p);
    gtk_widget_show_all(p.window);
    SyncPanel(p);  // show_all showed the entries that are off as well
    // This window stands in for the editor's main window, which a plug-in's dialog looks up as its
    // owner by the editor's class and title.
    const auto xid = GDK_IS_X11_WINDOW(gtk_widget_get_window(p.window))
                         ? gdk_x11_window_get_xid(gtk_widget_get_window(p.window))
                         : 0;
    if (xid != 0)
      ZelRegisterWindow(u"TarsaEditorMainWndClass", u"Montavia",
                        reinterpret_cast<HWND>(static_cast<std::uintptr_t>(xid)));
    gtk_main();
    ZelRegisterWindow(u"TarsaEditorMainWndClass", u"Montavia", nullptr);
    return 0;
  } catch (const std::exception& e) {
    return Fail(o, e.what());
  }
}
