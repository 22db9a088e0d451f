// Window look-up and the font dialog without a display: windows a host registered, a host's own
// font picker, and the refusals when nothing can be shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "CommDlg.h"
#include "WinUser.h"
#include "ZelPlatformHost.h"

namespace {

// Hides the display for the scope, so that these tests mean the same on any machine.
class NoDisplay {
 public:
  NoDisplay() {
    for (int i = 0; i < 2; ++i) {
      if (const char* v = std::getenv(kNames[i])) m_saved[i] = v;
      unsetenv(kNames[i]);
    }
  }
  ~NoDisplay() {
    for (int i = 0; i < 2; ++i)
      if (m_saved[i]) setenv(kNames[i], m_saved[i]->c_str(), 1);
  }

 private:
  static constexpr const char* kNames[2] = {"DISPLAY", "WAYLAND_DISPLAY"};
  std::optional<std::string> m_saved[2];
};

HWND Handle(std::uintptr_t v) { return reinterpret_cast<HWND>(v); }

TEST(FindWindow, RegisteredWindowsAnswerByClassAndTitle) {
  NoDisplay noDisplay;
  EXPECT_EQ(nullptr, FindWindowW(u"TarsaEditorMainWndClass", u"Montavia"));
  ZelRegisterWindow(u"TarsaEditorMainWndClass", u"Montavia", Handle(0x4200001));
  struct Case {
    const char16_t* cls;
    const char16_t* title;
    std::uintptr_t found;
  } cases[] = {
      {u"TarsaEditorMainWndClass", u"Montavia", 0x4200001},
      {u"tarsaeditormainwndclass", u"MONTAVIA", 0x4200001},  // case-insensitive
      {nullptr, u"Montavia", 0x4200001},
      {u"TarsaEditorMainWndClass", nullptr, 0x4200001},
      {u"TarsaEditorMainWndClass", u"Montavia 2", 0},
      {u"OtherClass", u"Montavia", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Handle(c.found), FindWindowW(c.cls, c.title));
  ZelRegisterWindow(u"TarsaEditorMainWndClass", u"Montavia", nullptr);
  EXPECT_EQ(nullptr, FindWindowW(u"TarsaEditorMainWndClass", u"Montavia"));
}

struct PickerLog {
  int calls = 0;
  HWND owner = nullptr;
  LOGFONTW seen{};
  bool confirm = true;
  void (*edit)(LOGFONTW*) = nullptr;
};

BOOL Pick(void* context, HWND owner, LOGFONTW* font) {
  auto* log = static_cast<PickerLog*>(context);
  ++log->calls;
  log->owner = owner;
  log->seen = *font;
  if (log->edit) log->edit(font);
  return log->confirm ? TRUE : FALSE;
}

LOGFONTW DefaultRecord() {
  LOGFONTW lf{};
  lf.lfHeight = -32;
  lf.lfCharSet = DEFAULT_CHARSET;
  return lf;
}

CHOOSEFONTW Dialog(LOGFONTW* lf, HWND owner = nullptr) {
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = owner;
  cf.lpLogFont = lf;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
  return cf;
}

TEST(ChooseFont, HostPickerEditsTheRecordAndConfirmsOrCancels) {
  PickerLog log;
  ZelSetFontPicker(Pick, &log);
  log.edit = [](LOGFONTW* f) {
    std::memcpy(f->lfFaceName, u"Liberation Serif", sizeof u"Liberation Serif");
    f->lfHeight = -48;
    f->lfWeight = FW_BOLD;
  };
  LOGFONTW lf = DefaultRecord();
  CHOOSEFONTW cf = Dialog(&lf, Handle(0x77));
  EXPECT_TRUE(ChooseFontW(&cf));
  EXPECT_EQ(1, log.calls);
  EXPECT_EQ(Handle(0x77), log.owner);
  EXPECT_EQ(-32, log.seen.lfHeight);  // it starts from the record
  EXPECT_EQ(std::u16string(u"Liberation Serif"), std::u16string(lf.lfFaceName));
  EXPECT_EQ(-48, lf.lfHeight);
  EXPECT_EQ(FW_BOLD, lf.lfWeight);
  EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
  EXPECT_EQ(360, cf.iPointSize);  // 48 px = 36 pt

  log.confirm = false;
  const LOGFONTW before = lf;
  EXPECT_FALSE(ChooseFontW(&cf));
  EXPECT_EQ(0, std::memcmp(&before, &lf, sizeof lf));
  ZelSetFontPicker(nullptr, nullptr);
}

TEST(ChooseFont, FaceNameComesBackTerminatedWithin32Units) {
  PickerLog log;
  ZelSetFontPicker(Pick, &log);
  log.edit = [](LOGFONTW* f) {
    for (WCHAR& c : f->lfFaceName) c = u'N';
    f->lfFaceName[30] = 0xD83D;  // a high surrogate whose pair would not fit
    f->lfFaceName[31] = 0xDD50;
  };
  LOGFONTW lf = DefaultRecord();
  CHOOSEFONTW cf = Dialog(&lf);
  EXPECT_TRUE(ChooseFontW(&cf));
  EXPECT_EQ(std::u16string(30, u'N'), std::u16string(lf.lfFaceName));
  EXPECT_EQ(0, lf.lfFaceName[31]);
  ZelSetFontPicker(nullptr, nullptr);
}

TEST(ChooseFont, RefusesBadArgumentsAndFailsWithoutADisplay) {
  NoDisplay noDisplay;
  LOGFONTW lf = DefaultRecord();
  const LOGFONTW before = lf;
  CHOOSEFONTW cf = Dialog(&lf);
  EXPECT_FALSE(ChooseFontW(&cf));  // no picker, no display: the dialog "fails" like a cancel
  EXPECT_EQ(0, std::memcmp(&before, &lf, sizeof lf));
  cf.lStructSize = 60;
  EXPECT_FALSE(ChooseFontW(&cf));
  cf.lStructSize = sizeof cf;
  cf.lpLogFont = nullptr;
  EXPECT_FALSE(ChooseFontW(&cf));
  EXPECT_FALSE(ChooseFontW(nullptr));
}

}  // namespace
