// Needs an X display (ctest runs it under xvfb-run, label "display"); skips without one.
// FindWindowW against real X windows, and the GTK font dialog driven by real key presses.
#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "CommDlg.h"
#include "WinUser.h"

namespace {

bool HaveDisplay() {
  const char* d = std::getenv("DISPLAY");
  return d && *d;
}

TEST(DisplayFindWindow, FindsAnXWindowByClassAndTitle) {
  if (!HaveDisplay()) GTEST_SKIP() << "no X display";
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(nullptr, x);
  Window w = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 100, 100, 0, 0, 0);
  XClassHint hint;
  hint.res_name = const_cast<char*>("zelmain");
  hint.res_class = const_cast<char*>("ZelTestMainWndClass");
  XSetClassHint(x, w, &hint);
  XStoreName(x, w, "Montavia Test");
  XSync(x, False);
  const HWND expected = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(w));
  EXPECT_EQ(expected, FindWindowW(u"ZelTestMainWndClass", u"Montavia Test"));
  EXPECT_EQ(expected, FindWindowW(u"zelmain", u"montavia test"));
  EXPECT_EQ(expected, FindWindowW(nullptr, u"Montavia Test"));
  EXPECT_EQ(nullptr, FindWindowW(u"ZelTestMainWndClass", u"Other"));
  EXPECT_EQ(nullptr, FindWindowW(u"NoClass", u"Montavia Test"));
  XDestroyWindow(x, w);
  XCloseDisplay(x);
}

struct KeyCase {
  const char* key;
  BOOL confirmed;
};

TEST(DisplayChooseFont, GtkDialogConfirmsWithReturnAndCancelsWithEscape) {
  if (!HaveDisplay()) GTEST_SKIP() << "no X display";
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
  // No accessibility bus under a bare X server: its D-Bus client would only add start-up time.
  setenv("NO_AT_BRIDGE", "1", 1);
  const KeyCase cases[] = {{"Return", TRUE}, {"Escape", FALSE}};
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.key);
    LOGFONTW lf{};
    lf.lfHeight = -32;
    lf.lfCharSet = DEFAULT_CHARSET;
    const LOGFONTW before = lf;
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.lpLogFont = &lf;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    // Without a window manager the dialog must be focused before it takes keys.
    const std::string command =
        std::string("timeout 30 xdotool search --sync --name '^Font$' windowfocus --sync key ") + c.key + " >/dev/null 2>&1";
    std::thread driver([command] { (void)std::system(command.c_str()); });
    const BOOL result = ChooseFontW(&cf);
    driver.join();
    EXPECT_EQ(c.confirmed, result);
    if (c.confirmed) {
      // The default record opens on the stand-in family at 24 pt and comes back as it went in.
      EXPECT_EQ(std::u16string(u"Liberation Sans"), std::u16string(lf.lfFaceName));
      EXPECT_EQ(-32, lf.lfHeight);
      EXPECT_EQ(FW_NORMAL, lf.lfWeight);
      EXPECT_EQ(0, lf.lfItalic);
      EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
      EXPECT_EQ(240, cf.iPointSize);
    } else {
      EXPECT_EQ(0, std::memcmp(&before, &lf, sizeof lf));
    }
  }
}

}  // namespace
