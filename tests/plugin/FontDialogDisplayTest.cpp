// The font chooser with the real GTK dialog: needs an X display (ctest runs it under xvfb-run,
// label "display") and xdotool; skips without them. A thread finds the dialog, notes which window
// owns it and answers it with a real key press, while the plug-in's modal call blocks the main
// thread as it would in an editor.
#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "InteractionHost.h"
#include "WinTypes.h"

using namespace zel::host;
using zel::test::ClockPlugin;

namespace {

bool CanDrive() {
  const char* d = std::getenv("DISPLAY");
  return d && *d && std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

/// Waits for the dialog, reads the window it is transient for, then sends `key` to it.
void AnswerDialog(const char* key, unsigned long* owner) {
  FILE* search = popen("timeout 30 xdotool search --sync --name '^Font$' 2>/dev/null", "r");
  unsigned long id = 0;
  if (search != nullptr) {
    if (std::fscanf(search, "%lu", &id) != 1) id = 0;
    pclose(search);
  }
  if (id == 0) return;
  if (Display* x = XOpenDisplay(nullptr)) {
    Window transientFor = 0;
    if (XGetTransientForHint(x, id, &transientFor)) *owner = transientFor;
    XCloseDisplay(x);
  }
  const std::string command =
      "timeout 30 xdotool windowfocus --sync " + std::to_string(id) + " key " + key + " >/dev/null 2>&1";
  (void)std::system(command.c_str());
}

std::vector<std::uint8_t> Stored(EffectInstance& instance) {
  return instance.Find(zel2clock::kParamPrivateData)->ValueAt().bytes;
}

TEST(FontDialogDisplay, PlugInDialogConfirmsOrCancelsAndIsOwnedByTheMainWindow) {
  if (!CanDrive()) GTEST_SKIP() << "no X display or no xdotool";
  setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus under a bare X server
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(x, nullptr);

  struct {
    const char* name;
    bool mainWindow;
    const char* key;
    bool confirmed;
  } const cases[] = {{"confirmed, owned", true, "Return", true},
                     {"cancelled, owned", true, "Escape", false},
                     {"confirmed, no main window", false, "Return", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window main = 0;
    if (c.mainWindow) {
      main = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 200, 100, 0, 0, 0);
      XClassHint hint;
      hint.res_name = const_cast<char*>("tarsa");
      hint.res_class = const_cast<char*>("TarsaEditorMainWndClass");
      XSetClassHint(x, main, &hint);
      XStoreName(x, main, "Montavia");
      XSync(x, False);
    }
    EffectInstance instance(ClockPlugin());
    const std::vector<std::uint8_t> before = Stored(instance);
    VOKPtr<IZELModalUI> chooser = zel::test::MakeComponent<IZELModalUI>(ZELKind_ModalUI, IID_IZELModalUI);
    VOKPtr<HostEffectContext> context = instance.MakeContext();

    unsigned long owner = 0;
    std::thread driver(AnswerDialog, c.key, &owner);
    EXPECT_EQ(chooser->DoModal(context.Get(), nullptr, nullptr), VOK_OK);
    driver.join();

    EXPECT_EQ(owner, static_cast<unsigned long>(main));
    const std::vector<std::uint8_t> after = Stored(instance);
    ASSERT_EQ(after.size(), sizeof(LOGFONTW));
    if (c.confirmed) {
      LOGFONTW lf;
      std::memcpy(&lf, after.data(), sizeof lf);
      // The default record opens on the stand-in family at its size and comes back chosen.
      EXPECT_EQ(std::u16string(lf.lfFaceName), u"Liberation Sans");
      EXPECT_EQ(lf.lfHeight, -32);
      EXPECT_EQ(lf.lfWeight, FW_NORMAL);
      EXPECT_EQ(lf.lfItalic, 0);
      EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
    } else {
      EXPECT_EQ(after, before);
    }
    if (main) XDestroyWindow(x, main);
    XSync(x, False);
  }
  XCloseDisplay(x);
}

}  // namespace
