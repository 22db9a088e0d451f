// Window look-up: windows a host registered, then the X server's top-level windows.
#include "WinUser.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TextConvert.h"
#include "ZelPlatformHost.h"

namespace {

// Names compare case-insensitively, as on the platform (ASCII letters fold).
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

struct Registered {
  std::string className, windowName;  ///< UTF-8
  HWND window;
};
struct Registry {
  std::mutex mutex;
  std::vector<Registered> windows;
};
Registry& Windows() {
  static Registry* r = new Registry;
  return *r;
}

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};

// Windows vanish while we walk the tree; their errors are expected, not fatal.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class XWindowSearch {
 public:
  XWindowSearch(Display* display, const std::string* className, const std::string* windowName)
      : m_display(display), m_className(className), m_windowName(windowName) {
    m_netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    m_utf8 = XInternAtom(display, "UTF8_STRING", False);
    m_clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
  }

  Window Find() {
    const Window root = DefaultRootWindow(m_display);
    // A window manager lists its clients; without one, walk the tree (frames wrap clients a few
    // levels down).
    for (Window w : ClientList(root))
      if (Matches(w)) return w;
    return Walk(root, 0);
  }

 private:
  static constexpr int kMaxDepth = 4;

  std::vector<Window> ClientList(Window root) {
    std::vector<Window> out;
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, root, m_clientList, 0, 1 << 16, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
      if (type == XA_WINDOW && format == 32) {
        auto* ids = reinterpret_cast<unsigned long*>(data);
        out.assign(ids, ids + count);
      }
      XFree(data);
    }
    return out;
  }

  Window Walk(Window parent, int depth) {
    Window rootReturn, parentReturn, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(m_display, parent, &rootReturn, &parentReturn, &children, &n)) return 0;
    std::unique_ptr<Window, int (*)(void*)> owner(children, XFree);
    for (unsigned i = n; i-- > 0;)  // topmost first
      if (Matches(children[i])) return children[i];
    if (depth + 1 < kMaxDepth)
      for (unsigned i = n; i-- > 0;)
        if (Window w = Walk(children[i], depth + 1)) return w;
    return 0;
  }

  std::string Title(Window w) {
    std::string title;
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, w, m_netWmName, 0, 1024, False, m_utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (type == m_utf8 && format == 8) title.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
      if (!title.empty()) return title;
    }
    char* name = nullptr;
    if (XFetchName(m_display, w, &name) && name) {
      title = name;
      XFree(name);
    }
    return title;
  }

  bool Matches(Window w) {
    if (m_className) {
      XClassHint hint{};
      if (!XGetClassHint(m_display, w, &hint)) return false;
      bool same = (hint.res_class && SameName(hint.res_class, *m_className)) ||
                  (hint.res_name && SameName(hint.res_name, *m_className));
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
      if (!same) return false;
    }
    if (m_windowName && !SameName(Title(w), *m_windowName)) return false;
    return true;
  }

  Display* m_display;
  const std::string* m_className;
  const std::string* m_windowName;
  Atom m_netWmName, m_utf8, m_clientList;
};

}  // namespace

ZEL_PLATFORM_API void ZelRegisterWindow(LPCWSTR className, LPCWSTR windowName, HWND window) {
  const std::string cls = className ? zel::detail::Utf16ToUtf8(className, -1) : std::string();
  const std::string title = windowName ? zel::detail::Utf16ToUtf8(windowName, -1) : std::string();
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.windows, [&](const Registered& w) { return w.className == cls && w.windowName == title; });
  if (window) r.windows.push_back({cls, title, window});
}

ZEL_PLATFORM_API HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  std::string cls, title;
  if (className) cls = zel::detail::Utf16ToUtf8(className, -1);
  if (windowName) title = zel::detail::Utf16ToUtf8(windowName, -1);
  {
    auto& r = Windows();
    std::lock_guard lock(r.mutex);
    for (const Registered& w : r.windows)
      if ((!className || SameName(w.className, cls)) && (!windowName || SameName(w.windowName, title))) return w.window;
  }

  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  std::unique_ptr<Display, DisplayCloser> x(XOpenDisplay(nullptr));
  if (!x) return nullptr;
  // The handler is process-wide in Xlib: installed only for the walk, the previous one restored.
  XErrorHandler previous = XSetErrorHandler(IgnoreXError);
  Window found = XWindowSearch(x.get(), className ? &cls : nullptr, windowName ? &title : nullptr).Find();
  XSync(x.get(), False);
  XSetErrorHandler(previous);
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(found));
}
