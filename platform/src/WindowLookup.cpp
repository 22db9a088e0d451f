// FindWindowW over Xlib, and the windows a host registers itself.
//
// Top-level windows are found through the window manager's _NET_CLIENT_LIST when it keeps one;
// otherwise (no window manager, as under Xvfb) by walking the window tree from the root a few
// levels down, since window managers wrap clients in frames. A window matches when its WM_CLASS
// class or instance equals the class name (ignoring case) and its title (_NET_WM_NAME as UTF-8,
// else WM_NAME) equals the window name.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TextConvert.h"
#include "WinUser.h"
#include "ZelPlatformHost.h"

namespace {

struct Registered {
  std::optional<std::u16string> className, title;
  HWND window;
};

std::mutex gRegistryMutex;
std::vector<Registered>& Registry() {
  static auto* registry = new std::vector<Registered>;  // never destroyed: hosts may call late
  return *registry;
}

std::optional<std::u16string> Key(LPCWSTR text) {
  if (text == nullptr) return std::nullopt;
  return std::u16string(text);
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// --- X11 ------------------------------------------------------------------------------------------

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;
struct XFreer {
  void operator()(void* p) const { XFree(p); }
};

/// Windows may vanish while they are walked; their errors are expected and ignored.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class ErrorHandlerScope {
 public:
  ErrorHandlerScope() : m_previous(XSetErrorHandler(&IgnoreXError)) {}
  ~ErrorHandlerScope() { XSetErrorHandler(m_previous); }
  ErrorHandlerScope(const ErrorHandlerScope&) = delete;
  ErrorHandlerScope& operator=(const ErrorHandlerScope&) = delete;

 private:
  XErrorHandler m_previous;
};

/// Walking deeper than a window manager's frames finds only a client's own child windows.
constexpr int kMaxDepth = 3;

class Matcher {
 public:
  Matcher(Display* display, LPCWSTR className, LPCWSTR title)
      : m_display(display),
        m_netWmName(XInternAtom(display, "_NET_WM_NAME", False)),
        m_utf8(XInternAtom(display, "UTF8_STRING", False)) {
    if (className) m_className = zel::detail::Utf16ToUtf8(className, -1);
    if (title) m_title = zel::detail::Utf16ToUtf8(title, -1);
  }

  bool Matches(Window w) const { return ClassMatches(w) && TitleMatches(w); }

 private:
  bool ClassMatches(Window w) const {
    if (!m_className) return true;
    XClassHint hint{};
    if (!XGetClassHint(m_display, w, &hint)) return false;
    const bool match = (hint.res_name && EqualsIgnoringCase(hint.res_name, *m_className)) ||
                       (hint.res_class && EqualsIgnoringCase(hint.res_class, *m_className));
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
  }

  bool TitleMatches(Window w) const {
    if (!m_title) return true;
    if (auto title = Title(w)) return *title == *m_title;
    return false;
  }

  std::optional<std::string> Title(Window w) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, w, m_netWmName, 0, 4096, False, m_utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
      std::unique_ptr<unsigned char, XFreer> owned(data);
      if (type == m_utf8 && format == 8) return std::string(reinterpret_cast<char*>(data), count);
    }
    char* name = nullptr;
    if (XFetchName(m_display, w, &name) && name != nullptr) {
      std::unique_ptr<char, XFreer> owned(name);
      return std::string(name);
    }
    return std::nullopt;
  }

  Display* m_display;
  Atom m_netWmName, m_utf8;
  std::optional<std::string> m_className, m_title;
};

Window FromClientList(Display* display, const Matcher& matcher) {
  const Atom list = XInternAtom(display, "_NET_CLIENT_LIST", True);
  if (list == None) return None;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, DefaultRootWindow(display), list, 0, 65536, False, XA_WINDOW, &type, &format,
                         &count, &after, &data) != Success ||
      data == nullptr)
    return None;
  std::unique_ptr<unsigned char, XFreer> owned(data);
  if (type != XA_WINDOW || format != 32) return None;
  const auto* windows = reinterpret_cast<const unsigned long*>(data);  // format 32 arrives as longs
  for (unsigned long i = 0; i < count; ++i)
    if (matcher.Matches(windows[i])) return windows[i];
  return None;
}

Window FromTree(Display* display, Window parent, const Matcher& matcher, int depth) {
  Window root = None, up = None, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count) || children == nullptr) return None;
  std::unique_ptr<Window, XFreer> owned(children);
  // Topmost first, as the platform searches in z-order.
  for (unsigned int i = count; i-- > 0;)
    if (matcher.Matches(children[i])) return children[i];
  if (depth + 1 >= kMaxDepth) return None;
  for (unsigned int i = count; i-- > 0;)
    if (Window found = FromTree(display, children[i], matcher, depth + 1)) return found;
  return None;
}

}  // namespace

ZEL_PLATFORM_API HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  {
    std::lock_guard lock(gRegistryMutex);
    for (const Registered& r : Registry()) {
      const bool classOk = className == nullptr || (r.className && EqualsIgnoringCase(*r.className, className));
      const bool titleOk = windowName == nullptr || (r.title && *r.title == windowName);
      if (classOk && titleOk) return r.window;
    }
  }
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return nullptr;
  const ErrorHandlerScope errors;
  const Matcher matcher(display.get(), className, windowName);
  Window found = FromClientList(display.get(), matcher);
  if (found == None) found = FromTree(display.get(), DefaultRootWindow(display.get()), matcher, 0);
  // Let the errors of windows that vanished arrive while the handler still ignores them.
  XSync(display.get(), False);
  return found == None ? nullptr : reinterpret_cast<HWND>(static_cast<std::uintptr_t>(found));
}

ZEL_PLATFORM_API void ZelRegisterWindow(LPCWSTR className, LPCWSTR windowName, HWND window) {
  std::lock_guard lock(gRegistryMutex);
  std::vector<Registered>& registry = Registry();
  const auto classKey = Key(className), titleKey = Key(windowName);
  std::erase_if(registry, [&](const Registered& r) { return r.className == classKey && r.title == titleKey; });
  if (window != nullptr) registry.push_back({classKey, titleKey, window});
}
