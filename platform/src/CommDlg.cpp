// The font dialog: a host's own picker when it installed one, otherwise the GTK 3 font chooser,
// loaded with dlopen when the dialog first opens so that rendering never pays for GTK.
#include "CommDlg.h"

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "TextConvert.h"
#include "WinNls.h"
#include "ZelPlatformHost.h"

namespace {

struct Picker {
  std::mutex mutex;
  ZelFontPickerProc proc = nullptr;
  void* context = nullptr;
};
Picker& ThePicker() {
  static Picker* p = new Picker;
  return *p;
}

constexpr double kDevicePixelsPerPoint = 96.0 / 72.0;
constexpr double kDefaultPoints = 12.0;
constexpr const char* kDefaultFamily = "Liberation Sans";

/// What the dialog edits of a font record.
struct FontChoice {
  std::string family;  ///< UTF-8
  double points = kDefaultPoints;
  int weight = FW_NORMAL;
  bool italic = false;
};

FontChoice ChoiceFromRecord(const LOGFONTW& lf) {
  FontChoice c;
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(LF_FACESIZE) && lf.lfFaceName[n]) ++n;
  c.family = zel::detail::Utf16ToUtf8(lf.lfFaceName, static_cast<int>(n));
  if (c.family.empty()) c.family = kDefaultFamily;
  // Negative: the character height in pixels; positive: the cell height, taken alike here.
  if (lf.lfHeight != 0) c.points = std::abs(static_cast<double>(lf.lfHeight)) / kDevicePixelsPerPoint;
  c.weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 100, 1000);
  c.italic = lf.lfItalic != 0;
  return c;
}

/// Writes the face name (at most 31 UTF-16 units, a surrogate pair never cut, then zeros),
/// height, weight and italic; every other field stays as it was.
void ApplyChoice(const FontChoice& c, LOGFONTW* lf, INT* pointSizeTenths) {
  WCHAR face[LF_FACESIZE] = {};
  int n = c.family.empty() ? 0
                           : MultiByteToWideChar(CP_UTF8, 0, c.family.data(), static_cast<int>(c.family.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(std::max(n, 0)), u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, c.family.data(), static_cast<int>(c.family.size()), wide.data(), n);
  n = std::min(n, LF_FACESIZE - 1);
  if (n > 0 && wide[static_cast<std::size_t>(n - 1)] >= 0xD800 && wide[static_cast<std::size_t>(n - 1)] <= 0xDBFF) --n;
  if (n > 0) std::copy_n(wide.data(), n, face);
  std::memcpy(lf->lfFaceName, face, sizeof face);
  lf->lfHeight = -static_cast<LONG>(std::lround(c.points * kDevicePixelsPerPoint));
  lf->lfWeight = c.weight;
  lf->lfItalic = c.italic ? 1 : 0;
  if (pointSizeTenths) *pointSizeTenths = static_cast<INT>(std::lround(c.points * 10));
}

// --- GTK 3, reached through dlopen only ---------------------------------------------------------

using GtkWidget = void;
using PangoFontDescription = void;
constexpr int kGtkResponseOk = -5;
constexpr int kPangoScale = 1024;
constexpr int kPangoStyleNormal = 0;
constexpr int kPangoStyleItalic = 2;

struct GtkApi {
  int (*gtk_init_check)(int*, char***);
  GtkWidget* (*gtk_font_chooser_dialog_new)(const char*, void*);
  void (*gtk_font_chooser_set_font_desc)(void*, const PangoFontDescription*);
  PangoFontDescription* (*gtk_font_chooser_get_font_desc)(void*);
  int (*gtk_dialog_run)(void*);
  void (*gtk_widget_realize)(GtkWidget*);
  void (*gtk_widget_destroy)(GtkWidget*);
  void* (*gtk_widget_get_window)(GtkWidget*);
  int (*gtk_events_pending)();
  int (*gtk_main_iteration_do)(int);
  unsigned long (*gdk_x11_window_get_xid)(void*);
  void* (*gdk_window_get_display)(void*);
  Display* (*gdk_x11_display_get_xdisplay)(void*);
  unsigned long (*pango_font_family_get_type)();
  unsigned long (*pango_font_face_get_type)();
  PangoFontDescription* (*pango_font_description_new)();
  void (*pango_font_description_free)(PangoFontDescription*);
  void (*pango_font_description_set_family)(PangoFontDescription*, const char*);
  void (*pango_font_description_set_size)(PangoFontDescription*, int);
  void (*pango_font_description_set_weight)(PangoFontDescription*, int);
  void (*pango_font_description_set_style)(PangoFontDescription*, int);
  const char* (*pango_font_description_get_family)(const PangoFontDescription*);
  int (*pango_font_description_get_size)(const PangoFontDescription*);
  int (*pango_font_description_get_size_is_absolute)(const PangoFontDescription*);
  int (*pango_font_description_get_weight)(const PangoFontDescription*);
  int (*pango_font_description_get_style)(const PangoFontDescription*);
};

template <class F>
bool Bind(void* lib, const char* name, F*& fn) {
  fn = reinterpret_cast<F*>(dlsym(lib, name));
  return fn != nullptr;
}

// GTK 3 once loaded and bound, or null. Loaded with RTLD_GLOBAL (the chooser looks Pango's types
// up by name) and never unloaded. Refused when another GTK major version is in the process.
const GtkApi* LoadGtk() {
  static const GtkApi* api = [] () -> const GtkApi* {
    for (const char* other : {"libgtk-4.so.1", "libgtk-x11-2.0.so.0"}) {
      if (void* h = dlopen(other, RTLD_LAZY | RTLD_NOLOAD)) {
        dlclose(h);  // only drops the reference RTLD_NOLOAD took
        return nullptr;
      }
    }
    void* lib = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (!lib) return nullptr;
    auto* a = new GtkApi{};
    bool ok = Bind(lib, "gtk_init_check", a->gtk_init_check) &&
              Bind(lib, "gtk_font_chooser_dialog_new", a->gtk_font_chooser_dialog_new) &&
              Bind(lib, "gtk_font_chooser_set_font_desc", a->gtk_font_chooser_set_font_desc) &&
              Bind(lib, "gtk_font_chooser_get_font_desc", a->gtk_font_chooser_get_font_desc) &&
              Bind(lib, "gtk_dialog_run", a->gtk_dialog_run) && Bind(lib, "gtk_widget_realize", a->gtk_widget_realize) &&
              Bind(lib, "gtk_widget_destroy", a->gtk_widget_destroy) &&
              Bind(lib, "gtk_widget_get_window", a->gtk_widget_get_window) &&
              Bind(lib, "gtk_events_pending", a->gtk_events_pending) &&
              Bind(lib, "gtk_main_iteration_do", a->gtk_main_iteration_do) &&
              Bind(lib, "pango_font_family_get_type", a->pango_font_family_get_type) &&
              Bind(lib, "pango_font_face_get_type", a->pango_font_face_get_type) &&
              Bind(lib, "pango_font_description_new", a->pango_font_description_new) &&
              Bind(lib, "pango_font_description_free", a->pango_font_description_free) &&
              Bind(lib, "pango_font_description_set_family", a->pango_font_description_set_family) &&
              Bind(lib, "pango_font_description_set_size", a->pango_font_description_set_size) &&
              Bind(lib, "pango_font_description_set_weight", a->pango_font_description_set_weight) &&
              Bind(lib, "pango_font_description_set_style", a->pango_font_description_set_style) &&
              Bind(lib, "pango_font_description_get_family", a->pango_font_description_get_family) &&
              Bind(lib, "pango_font_description_get_size", a->pango_font_description_get_size) &&
              Bind(lib, "pango_font_description_get_size_is_absolute", a->pango_font_description_get_size_is_absolute) &&
              Bind(lib, "pango_font_description_get_weight", a->pango_font_description_get_weight) &&
              Bind(lib, "pango_font_description_get_style", a->pango_font_description_get_style);
    if (!ok) {
      delete a;
      return nullptr;
    }
    // Optional: only needed to make the dialog transient for an X11 owner.
    Bind(lib, "gdk_x11_window_get_xid", a->gdk_x11_window_get_xid);
    Bind(lib, "gdk_window_get_display", a->gdk_window_get_display);
    Bind(lib, "gdk_x11_display_get_xdisplay", a->gdk_x11_display_get_xdisplay);
    // Register Pango's types before the chooser looks them up by name.
    a->pango_font_family_get_type();
    a->pango_font_face_get_type();
    return a;
  }();
  return api;
}

bool OnMainThread() { return static_cast<pid_t>(syscall(SYS_gettid)) == getpid(); }

BOOL RunGtkDialog(HWND owner, FontChoice& choice) {
  // Without a display GTK cannot start; find out before loading it.
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!x || !*x) && (!wayland || !*wayland)) return FALSE;
  if (!OnMainThread()) return FALSE;  // GTK runs on the main thread only
  const GtkApi* gtk = LoadGtk();
  if (!gtk || !gtk->gtk_init_check(nullptr, nullptr)) return FALSE;

  GtkWidget* dialog = gtk->gtk_font_chooser_dialog_new("Font", nullptr);
  if (!dialog) return FALSE;
  PangoFontDescription* desc = gtk->pango_font_description_new();
  gtk->pango_font_description_set_family(desc, choice.family.c_str());
  gtk->pango_font_description_set_size(desc, static_cast<int>(std::lround(choice.points * kPangoScale)));
  gtk->pango_font_description_set_weight(desc, choice.weight);
  gtk->pango_font_description_set_style(desc, choice.italic ? kPangoStyleItalic : kPangoStyleNormal);
  gtk->gtk_font_chooser_set_font_desc(dialog, desc);
  gtk->pango_font_description_free(desc);

  if (owner && gtk->gdk_x11_window_get_xid && gtk->gdk_window_get_display && gtk->gdk_x11_display_get_xdisplay) {
    gtk->gtk_widget_realize(dialog);
    if (void* window = gtk->gtk_widget_get_window(dialog)) {
      Display* display = gtk->gdk_x11_display_get_xdisplay(gtk->gdk_window_get_display(window));
      XSetTransientForHint(display, gtk->gdk_x11_window_get_xid(window),
                           static_cast<Window>(reinterpret_cast<std::uintptr_t>(owner)));
    }
  }

  const int response = gtk->gtk_dialog_run(dialog);
  BOOL confirmed = FALSE;
  if (response == kGtkResponseOk) {
    if (PangoFontDescription* chosen = gtk->gtk_font_chooser_get_font_desc(dialog)) {
      if (const char* family = gtk->pango_font_description_get_family(chosen)) choice.family = family;
      const double size = gtk->pango_font_description_get_size(chosen) / static_cast<double>(kPangoScale);
      if (size > 0)
        choice.points = gtk->pango_font_description_get_size_is_absolute(chosen) ? size / kDevicePixelsPerPoint : size;
      choice.weight = gtk->pango_font_description_get_weight(chosen);
      choice.italic = gtk->pango_font_description_get_style(chosen) != kPangoStyleNormal;
      gtk->pango_font_description_free(chosen);
      confirmed = TRUE;
    }
  }
  gtk->gtk_widget_destroy(dialog);
  while (gtk->gtk_events_pending()) gtk->gtk_main_iteration_do(0);
  return confirmed;
}

}  // namespace

ZEL_PLATFORM_API void ZelSetFontPicker(ZelFontPickerProc picker, void* context) {
  Picker& p = ThePicker();
  std::lock_guard lock(p.mutex);
  p.proc = picker;
  p.context = picker ? context : nullptr;
}

ZEL_PLATFORM_API BOOL ChooseFontW(CHOOSEFONTW* cf) {
  if (!cf || cf->lStructSize != sizeof(CHOOSEFONTW) || !cf->lpLogFont) return FALSE;
  ZelFontPickerProc proc;
  void* context;
  {
    Picker& p = ThePicker();
    std::lock_guard lock(p.mutex);
    proc = p.proc;
    context = p.context;
  }
  LOGFONTW start{};
  start.lfCharSet = cf->lpLogFont->lfCharSet;
  if (cf->Flags & CF_INITTOLOGFONTSTRUCT) start = *cf->lpLogFont;

  if (proc) {
    LOGFONTW edited = start;
    if (!proc(context, cf->hwndOwner, &edited)) return FALSE;
    // The record goes back into a 92-byte parameter: its face name must end within its 32 units.
    std::size_t n = 0;
    while (n < static_cast<std::size_t>(LF_FACESIZE) && edited.lfFaceName[n]) ++n;
    if (n == LF_FACESIZE) {
      n = LF_FACESIZE - 1;
      if (edited.lfFaceName[n - 1] >= 0xD800 && edited.lfFaceName[n - 1] <= 0xDBFF) --n;
      std::fill(edited.lfFaceName + n, edited.lfFaceName + LF_FACESIZE, WCHAR{0});
    }
    cf->iPointSize = static_cast<INT>(std::lround(std::abs(static_cast<double>(edited.lfHeight)) / kDevicePixelsPerPoint * 10));
    *cf->lpLogFont = edited;
    return TRUE;
  }

  FontChoice choice = ChoiceFromRecord(start);
  if (!RunGtkDialog(cf->hwndOwner, choice)) return FALSE;
  LOGFONTW result = *cf->lpLogFont;
  ApplyChoice(choice, &result, &cf->iPointSize);
  *cf->lpLogFont = result;
  return TRUE;
}
