// The preview's parameter panel, built from the plug-in's layout tree and never written by hand:
// groups as frames, number parameters as spin buttons with their range and increment, check
// boxes, list boxes as combo boxes of their items, text fields as entries, and a colour button
// for each colour control above its channels. Entries the update handler switches off stay in
// place, greyed out, so that the panel does not jump when the timer style changes. Each parameter
// row has a key toggle: on sets a key at the frame on show, off removes it; a keyed parameter's
// name is bold, and changes to it set a key at the frame on show.
#include <cmath>
#include <cstring>

#include "PreviewWindow.h"

namespace zelpreview {

namespace {

using namespace zel::host;

/// A key at the frame on show when the parameter is animated, else the constant value.
std::optional<double> KeyTime(const Binding& b) {
  return b.parameter != nullptr && b.parameter->Keyed() ? std::optional<double>(b.preview->session.Time())
                                                        : std::nullopt;
}

void OnSpin(GtkSpinButton* spin, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const double v = gtk_spin_button_get_value(spin);
  Changed(*b.preview, [&] { b.preview->session.SetNumber(b.parameter->Name(), v, KeyTime(b)); });
}

void OnToggle(GtkToggleButton* toggle, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const double v = gtk_toggle_button_get_active(toggle) ? 1 : 0;
  Changed(*b.preview, [&] { b.preview->session.SetNumber(b.parameter->Name(), v, KeyTime(b)); });
}

void OnCombo(GtkComboBox* combo, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const int index = gtk_combo_box_get_active(combo);
  const ParameterInfo* info = b.entry->Parameter();
  if (index < 0 || info == nullptr || static_cast<std::size_t>(index) >= info->items.size()) return;
  const std::string value = std::to_string(info->items[static_cast<std::size_t>(index)].value);
  Changed(*b.preview, [&] { b.preview->session.SetFromText(b.parameter->Name(), value, KeyTime(b)); });
}

void CommitEntry(Binding& b) {
  const std::string text = gtk_entry_get_text(GTK_ENTRY(b.control));
  if (text == b.parameter->ValueAt(b.preview->session.Time()).text) return;
  Changed(*b.preview, [&] { b.preview->session.SetFromText(b.parameter->Name(), text, KeyTime(b)); });
}

void OnEntry(GtkEntry*, gpointer data) { CommitEntry(*static_cast<Binding*>(data)); }

gboolean OnEntryFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
  CommitEntry(*static_cast<Binding*>(data));
  return FALSE;
}

void OnColour(GtkColorButton* button, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  GdkRGBA c{};
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(button), &c);
  const auto channel = [](double x) { return std::to_string(std::lround(x * 255)); };
  const std::string text = channel(c.red) + "," + channel(c.green) + "," + channel(c.blue);
  Changed(*b.preview, [&] { b.preview->session.SetFromText(b.parameter->Name(), text, KeyTime(b)); });
}

void OnKey(GtkToggleButton* toggle, gpointer data) {
  auto& b = *static_cast<Binding*>(data);
  const bool on = gtk_toggle_button_get_active(toggle);
  Changed(*b.preview, [&] {
    const double t = b.preview->session.Time();
    if (on) {
      // The value on show becomes a key; the first key animates the parameter.
      if (!b.parameter->Set(b.parameter->ValueAt(t), t)) throw HostError("cannot set a key on '" + b.parameter->Name() + "'");
    } else {
      b.parameter->RemoveKeyAt(t);
    }
    (void)b.preview->session.ParametersChanged(b.parameter);
  });
}

GtkWidget* Row(Binding& b, const std::string& label, GtkWidget* control) {
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  if (!label.empty()) {
    b.label = gtk_label_new(label.c_str());
    gtk_label_set_xalign(GTK_LABEL(b.label), 0);
    gtk_widget_set_size_request(b.label, 150, -1);
    gtk_box_pack_start(GTK_BOX(row), b.label, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(row), control, TRUE, TRUE, 0);
  if (b.parameter != nullptr) {
    b.key = gtk_toggle_button_new_with_label("\u25C6");
    gtk_widget_set_tooltip_text(b.key, "Key at this frame: on sets a key with the value on show, off removes it");
    gtk_widget_set_name(b.key, ("key:" + b.path).c_str());
    g_signal_connect(b.key, "toggled", G_CALLBACK(OnKey), &b);
    gtk_box_pack_end(GTK_BOX(row), b.key, FALSE, FALSE, 0);
  }
  return row;
}

void AddEntries(Preview& p, const std::vector<LayoutEntry*>& entries, GtkWidget* box, const std::string& parent);

/// The widget of one panel entry, packed into `box`.
void AddEntry(Preview& p, LayoutEntry& e, GtkWidget* box, const std::string& parent) {
  const LayoutNode& node = e.Node();
  if (node.kind == LayoutKind::ListItem) return;  // the list box shows its items
  Binding& b = p.bindings.emplace_back();
  b.preview = &p;
  b.entry = &e;
  b.path = parent.empty() ? e.Label() : parent + "/" + e.Label();
  if (const ParameterInfo* info = e.Parameter()) b.parameter = p.session.Instance().Find(info->uid);

  switch (node.kind) {
    case LayoutKind::ListItem:
      return;
    case LayoutKind::Group:
    case LayoutKind::Color:
    case LayoutKind::Unknown: {
      // Groups and colour controls hold their children; a colour's channels edit it too.
      b.row = gtk_frame_new(e.Label().c_str());
      GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
      gtk_container_set_border_width(GTK_CONTAINER(inner), 6);
      gtk_container_add(GTK_CONTAINER(b.row), inner);
      gtk_box_pack_start(GTK_BOX(box), b.row, FALSE, FALSE, 2);
      if (b.parameter != nullptr && b.parameter->Kind() == ValueKind::Rgb) {
        b.control = gtk_color_button_new();
        gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(b.control), FALSE);
        gtk_color_button_set_title(GTK_COLOR_BUTTON(b.control), e.Label().c_str());
        g_signal_connect(b.control, "color-set", G_CALLBACK(OnColour), &b);
        gtk_box_pack_start(GTK_BOX(inner), Row(b, "Colour", b.control), FALSE, FALSE, 0);
      }
      AddEntries(p, e.Children(), inner, b.path);
      return;
    }
    case LayoutKind::CheckBox:
      b.control = gtk_check_button_new_with_label(e.Label().c_str());
      b.row = Row(b, "", b.control);
      if (b.parameter) g_signal_connect(b.control, "toggled", G_CALLBACK(OnToggle), &b);
      break;
    case LayoutKind::ListBox: {
      b.control = gtk_combo_box_text_new();
      if (const ParameterInfo* info = e.Parameter())
        for (const ListItem& item : info->items)
          gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(b.control), item.name.c_str());
      b.row = Row(b, e.Label(), b.control);
      if (b.parameter) g_signal_connect(b.control, "changed", G_CALLBACK(OnCombo), &b);
      break;
    }
    case LayoutKind::TextField:
      b.control = gtk_entry_new();
      b.row = Row(b, e.Label(), b.control);
      if (b.parameter) {
        g_signal_connect(b.control, "activate", G_CALLBACK(OnEntry), &b);
        g_signal_connect(b.control, "focus-out-event", G_CALLBACK(OnEntryFocusOut), &b);
      }
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
      b.row = Row(b, e.Label(), b.control);
      if (b.parameter) g_signal_connect(b.control, "value-changed", G_CALLBACK(OnSpin), &b);
      gtk_box_pack_start(GTK_BOX(box), b.row, FALSE, FALSE, 2);
      AddEntries(p, e.Children(), box, b.path);
      return;
    }
  }
  gtk_box_pack_start(GTK_BOX(box), b.row, FALSE, FALSE, 2);
}

void AddEntries(Preview& p, const std::vector<LayoutEntry*>& entries, GtkWidget* box, const std::string& parent) {
  for (LayoutEntry* e : entries) AddEntry(p, *e, box, parent);
}

// Each setter only when the value differs: the panel is synced on every frame while playing, and
// every set value costs GTK a new layout.
void SyncControl(Binding& b, const ParamValue& v) {
  if (GTK_IS_SPIN_BUTTON(b.control)) {
    if (gtk_spin_button_get_value(GTK_SPIN_BUTTON(b.control)) != v.num[0])
      gtk_spin_button_set_value(GTK_SPIN_BUTTON(b.control), v.num[0]);
  } else if (GTK_IS_COLOR_BUTTON(b.control)) {
    const GdkRGBA c{v.num[0] / 255, v.num[1] / 255, v.num[2] / 255, 1.0};
    GdkRGBA now{};
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(b.control), &now);
    if (!gdk_rgba_equal(&now, &c)) gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(b.control), &c);
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
    // Not while the user types into it.
    if (!gtk_widget_has_focus(b.control) && std::strcmp(gtk_entry_get_text(GTK_ENTRY(b.control)), v.text.c_str()) != 0)
      gtk_entry_set_text(GTK_ENTRY(b.control), v.text.c_str());
  }
}

}  // namespace

void BuildPanel(Preview& p, GtkWidget* box) { AddEntries(p, p.session.Panel().TopLevel(), box, ""); }

void SyncPanel(Preview& p) {
  p.syncing = true;
  const double t = p.session.Time();
  for (Binding& b : p.bindings) {
    if (b.row) gtk_widget_set_sensitive(b.row, b.entry->On());
    if (b.parameter == nullptr) continue;
    if (b.control) SyncControl(b, b.parameter->ValueAt(t));
    const bool keyed = b.parameter->Keyed();
    if (b.label && keyed != b.shownKeyed) {
      b.shownKeyed = keyed;
      gchar* markup = g_markup_printf_escaped(keyed ? "<b>%s</b>" : "%s", b.entry->Label().c_str());
      gtk_label_set_markup(GTK_LABEL(b.label), markup);
      g_free(markup);
    }
    if (b.key) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b.key), b.parameter->HasKeyAt(t));
  }
  p.syncing = false;
}

}  // namespace zelpreview
