// The font chooser through the real host: the loaded plug-in's modal component edits the
// "PrivateData" font record of a host effect instance. The dialog is the host's own font picker,
// handed to the platform library the plug-in and the host share; the GTK dialog itself is driven
// in FontDialogDisplayTest.
#include <dlfcn.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CommDlg.h"
#include "InteractionHost.h"
#include "ZelPlatformHost.h"

using namespace zel::host;
using namespace zel2clock;
using zel::test::ClockPlugin;

namespace {
/// Every dialog description the module handed to the platform, in call order.
std::vector<CHOOSEFONTW> gDialogs;
}  // namespace

// The platform's font dialog, seen on its way: the test program exports this definition, so the
// loaded module's call reaches it before the platform library's own, which it then calls.
extern "C" BOOL ChooseFontW(CHOOSEFONTW* cf) {
  gDialogs.push_back(*cf);
  using Platform = BOOL (*)(CHOOSEFONTW*);
  static const auto platform = reinterpret_cast<Platform>(dlsym(RTLD_NEXT, "ChooseFontW"));
  return platform(cf);
}

namespace {

constexpr VOKRESULT kHostCode = static_cast<VOKRESULT>(0x80070005u);
constexpr const char16_t* kMainClass = u"TarsaEditorMainWndClass";
constexpr const char16_t* kMainTitle = u"Montavia";

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const LOGFONTW& lf) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&lf);
  return Bytes(p, p + sizeof lf);
}

LOGFONTW Record(const char16_t* face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0) {
  LOGFONTW lf;
  std::memset(&lf, 0, sizeof lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  for (int i = 0; face[i] != 0 && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
  return lf;
}

/// The picker the test installs: what it was shown, and what it answers.
struct Picker {
  std::function<BOOL(HWND, LOGFONTW*)> answer;
  std::vector<Bytes> shown;  ///< the record each call started from
  std::vector<HWND> owners;

  static BOOL Proc(void* context, HWND owner, LOGFONTW* font) {
    auto* self = static_cast<Picker*>(context);
    self->shown.push_back(BytesOf(*font));
    self->owners.push_back(owner);
    return self->answer ? self->answer(owner, font) : FALSE;
  }
};

/// Confirms `lf`: the dialog leaves it in the record.
std::function<BOOL(HWND, LOGFONTW*)> Choose(const LOGFONTW& lf) {
  return [lf](HWND, LOGFONTW* font) {
    *font = lf;
    return TRUE;
  };
}

class FontChooserTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    ZelSetFontPicker(&Picker::Proc, &m_picker);
    m_instance = std::make_unique<EffectInstance>(ClockPlugin());
    m_chooser = zel::test::MakeComponent<IZELModalUI>(ZELKind_ModalUI, IID_IZELModalUI);
    ASSERT_TRUE(m_chooser);
  }
  void TearDown() override {
    ZelSetFontPicker(nullptr, nullptr);
    ZelRegisterWindow(kMainClass, kMainTitle, nullptr);
    m_chooser.Reset();
    m_instance.reset();
    InstrumentedTest::TearDown();
  }

  ParameterValue& PrivateData() { return *m_instance->Find(kParamPrivateData); }
  Bytes Stored() { return PrivateData().ValueAt().bytes; }
  void Store(const LOGFONTW& lf) {
    ParamValue v;
    v.bytes = BytesOf(lf);
    ASSERT_TRUE(PrivateData().Set(v));
  }
  VOKRESULT Run(IZELModalUI* chooser = nullptr) {
    VOKPtr<HostEffectContext> context = m_instance->MakeContext();
    return (chooser ? chooser : m_chooser.Get())->DoModal(context.Get(), nullptr, nullptr);
  }
  /// The writes of "PrivateData" in the call log.
  static std::size_t Writes(const std::vector<std::string>& log) {
    std::size_t n = 0;
    for (const std::string& line : log) n += line == "Parameter.SetValue PrivateData";
    return n;
  }

  Picker m_picker;
  std::unique_ptr<EffectInstance> m_instance;
  VOKPtr<IZELModalUI> m_chooser;
};

TEST_F(FontChooserTest, ConfirmWritesTheRecordTheDialogReturns) {
  LOGFONTW defaults = Record(u"", -32, 0);
  const Bytes initial = Stored();
  ASSERT_EQ(initial, BytesOf(defaults));  // height -32, default character set, empty face name

  struct {
    const char* name;
    LOGFONTW chosen;
  } const cases[] = {
      {"serif, bold, italic", Record(u"Liberation Serif", -48, FW_BOLD, 1)},
      {"31 units of face name", Record(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde", -13)},
      {"unchanged", Record(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde", -13)},
  };
  Bytes before = initial;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_picker.answer = Choose(c.chosen);
    Instrumentation::Global().StartLog();
    EXPECT_EQ(Run(), VOK_OK);
    // Written even when the choice equals what was stored: the dialog confirmed.
    EXPECT_EQ(Writes(Instrumentation::Global().TakeLog()), 1u);
    ASSERT_FALSE(m_picker.shown.empty());
    EXPECT_EQ(m_picker.shown.back(), before);
    EXPECT_EQ(Stored(), BytesOf(c.chosen));
    before = Stored();
  }
}

TEST_F(FontChooserTest, DialogOpensOnTheStoredRecordWithScreenFontFlags) {
  // What the plug-in hands the dialog, seen by a picker that checks the record it edits.
  Store(Record(u"Liberation Mono", -20, FW_BOLD));
  m_picker.answer = [](HWND, LOGFONTW* font) {
    EXPECT_EQ(font->lfHeight, -20);
    EXPECT_EQ(font->lfWeight, FW_BOLD);
    EXPECT_EQ(std::u16string(font->lfFaceName), u"Liberation Mono");
    return FALSE;
  };
  EXPECT_EQ(Run(), VOK_OK);
  ASSERT_EQ(m_picker.shown.size(), 1u);
}

TEST_F(FontChooserTest, CancelLeavesTheParameterByteForByte) {
  // A record with every byte set, so that any stray write shows.
  LOGFONTW odd;
  std::memset(&odd, 0xA5, sizeof odd);
  odd.lfFaceName[LF_FACESIZE - 1] = 0;
  Store(odd);
  const Bytes before = Stored();
  m_picker.answer = [](HWND, LOGFONTW* font) {
    *font = Record(u"Liberation Serif", -99);  // the dialog changed its copy, then the user cancelled
    return FALSE;
  };
  Instrumentation::Global().StartLog();
  EXPECT_EQ(Run(), VOK_OK);
  EXPECT_EQ(Writes(Instrumentation::Global().TakeLog()), 0u);
  EXPECT_EQ(Stored(), before);
}

TEST_F(FontChooserTest, HostFailureEndsTheCallWithItsCode) {
  struct {
    const char* operation;
    bool dialogShown;
  } const cases[] = {{"EffectContext.GetParameter", false},
                     {"Parameter.GetValueInfo", false},
                     {"Parameter.GetValue", false},
                     {"Parameter.SetValue", true}};
  const LOGFONTW stored = Record(u"Liberation Sans", -30);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    Store(stored);
    m_picker.shown.clear();
    m_picker.answer = Choose(Record(u"Liberation Serif", -40));
    Instrumentation::Global().FailOperation(c.operation, kHostCode);
    EXPECT_EQ(Run(), kHostCode);
    Instrumentation::Global().Reset();
    EXPECT_EQ(m_picker.shown.size(), c.dialogShown ? 1u : 0u);
    EXPECT_EQ(Stored(), BytesOf(stored));
  }
  // The failed calls left nothing claimed: the next one works.
  EXPECT_EQ(Run(), VOK_OK);
  EXPECT_EQ(Stored(), BytesOf(Record(u"Liberation Serif", -40)));
  EXPECT_EQ(m_chooser->DoModal(nullptr, nullptr, nullptr), VOK_E_POINTER);
}

TEST_F(FontChooserTest, EveryCallStartsFromTheStoredValue) {
  const LOGFONTW a = Record(u"Liberation Serif", -40);
  const LOGFONTW b = Record(u"Liberation Mono", -22, FW_BOLD);
  // First call confirms a; the host then changes the parameter to b; the second call shows b.
  m_picker.answer = Choose(a);
  ASSERT_EQ(Run(), VOK_OK);
  Store(b);
  m_picker.answer = [](HWND, LOGFONTW* font) {
    *font = Record(u"Scribbled", -1);  // edited, then cancelled
    return FALSE;
  };
  ASSERT_EQ(Run(), VOK_OK);
  // A third call, from another chooser object, starts from b again, not from the cancelled edit.
  VOKPtr<IZELModalUI> other = zel::test::MakeComponent<IZELModalUI>(ZELKind_ModalUI, IID_IZELModalUI);
  ASSERT_EQ(Run(other.Get()), VOK_OK);
  ASSERT_EQ(m_picker.shown.size(), 3u);
  EXPECT_EQ(m_picker.shown[1], BytesOf(b));
  EXPECT_EQ(m_picker.shown[2], BytesOf(b));
  EXPECT_EQ(Stored(), BytesOf(b));
}

TEST_F(FontChooserTest, DialogIsOwnedByTheMainWindowWhenThereIsOne) {
  const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x4A00007));
  struct {
    const char* name;
    const char16_t* className;
    const char16_t* title;
    HWND expected;
  } const cases[] = {{"none registered", nullptr, nullptr, nullptr},
                     {"class and title match", kMainClass, kMainTitle, window},
                     {"title differs", kMainClass, u"Montavia 2", nullptr},
                     {"class differs", u"OtherClass", kMainTitle, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.className) ZelRegisterWindow(c.className, c.title, window);
    m_picker.owners.clear();
    EXPECT_EQ(Run(), VOK_OK);
    ASSERT_EQ(m_picker.owners.size(), 1u);  // opened in every case, owned or not
    EXPECT_EQ(m_picker.owners[0], c.expected);
    if (c.className) ZelRegisterWindow(c.className, c.title, nullptr);
  }
}

TEST_F(FontChooserTest, TheDialogIsDescribedExactly) {
  const LOGFONTW chosen = Record(u"Liberation Mono", -20, FW_BOLD);
  m_picker.answer = Choose(chosen);
  gDialogs.clear();
  EXPECT_EQ(Run(), VOK_OK);
  ASSERT_EQ(gDialogs.size(), 1u);
  const CHOOSEFONTW& cf = gDialogs[0];
  EXPECT_EQ(cf.lStructSize, sizeof(CHOOSEFONTW));
  EXPECT_EQ(cf.Flags, 0x41u) << "screen fonts, starting from the record";
  EXPECT_EQ(cf.hwndOwner, nullptr) << "no main window registered";
  EXPECT_NE(cf.lpLogFont, nullptr);
  EXPECT_EQ(cf.hDC, nullptr);
  EXPECT_EQ(cf.iPointSize, 0);
  EXPECT_EQ(cf.rgbColors, 0u);
  EXPECT_EQ(cf.lCustData, 0);
  EXPECT_EQ(cf.lpfnHook, nullptr);
  EXPECT_EQ(cf.lpTemplateName, nullptr);
  EXPECT_EQ(cf.hInstance, nullptr);
  EXPECT_EQ(cf.lpszStyle, nullptr);
  EXPECT_EQ(cf.nFontType, 0);
  EXPECT_EQ(cf.nSizeMin, 0);
  EXPECT_EQ(cf.nSizeMax, 0);
  EXPECT_EQ(Stored(), BytesOf(chosen));
}

TEST_F(FontChooserTest, SecondCallWhileTheDialogIsOpenIsRefused) {
  const LOGFONTW outer = Record(u"Liberation Serif", -40, FW_BOLD);
  VOKPtr<IZELModalUI> other = zel::test::MakeComponent<IZELModalUI>(ZELKind_ModalUI, IID_IZELModalUI);
  VOKRESULT nested[2] = {VOK_OK, VOK_OK};
  // While the dialog is open, the host's event loop calls a chooser again (this one and another).
  m_picker.answer = [&](HWND, LOGFONTW* font) {
    *font = outer;
    nested[0] = Run();
    nested[1] = Run(other.Get());
    return TRUE;
  };
  EXPECT_EQ(Run(), VOK_OK);
  // Refused as "in use", not with the code that means "may not be unloaded yet".
  EXPECT_EQ(nested[0], kFontDialogBusy);
  EXPECT_EQ(nested[1], kFontDialogBusy);
  EXPECT_NE(kFontDialogBusy, VOK_E_FAIL);
  EXPECT_EQ(m_picker.shown.size(), 1u);
  // The record the first dialog returned is what was written, untouched by the refused calls.
  EXPECT_EQ(Stored(), BytesOf(outer));
  // Once closed, the chooser opens again.
  m_picker.answer = nullptr;
  EXPECT_EQ(Run(), VOK_OK);
  EXPECT_EQ(m_picker.shown.size(), 2u);
}

// --- the choice reaches the render ----------------------------------------------------------------

/// A 640x360 frame of the digital clock, rendered by `instance` at frame 0.
Bytes RenderDigital(EffectInstance& instance) {
  constexpr std::uint32_t w = 640, h = 360;
  Bytes in(std::size_t{w} * h * 4, 0x20), out(in.size(), 0);
  FrameView input{in.data(), w, h, std::size_t{w} * 4, PixelKind::Rgba};
  FrameView output{out.data(), w, h, std::size_t{w} * 4, PixelKind::Rgba};
  EXPECT_EQ(instance.RenderFrame(input, output, 0), VOK_OK);
  return out;
}

TEST_F(FontChooserTest, NextRenderDrawsTheDigitalClockInTheChosenFace) {
  SequenceInfo sequence;
  sequence.width = 640;
  sequence.height = 360;
  EditSession session(ClockPlugin(), sequence);
  session.SetFromText("Clock Type List", "Digital Clock");
  const Bytes defaultFace = RenderDigital(session.Instance());

  const LOGFONTW chosen = Record(u"Liberation Mono", -32, FW_BOLD);
  m_picker.answer = Choose(chosen);
  ASSERT_EQ(session.RunModalUI(), VOK_OK);
  const Bytes chosenFace = RenderDigital(session.Instance());
  EXPECT_NE(chosenFace, defaultFace);

  // The same as a render with that record set directly.
  EffectInstance direct(ClockPlugin(), sequence);
  direct.SetFromText("Clock Type List", "Digital Clock");
  ParamValue v;
  v.bytes = BytesOf(chosen);
  ASSERT_TRUE(direct.Find(kParamPrivateData)->Set(v));
  EXPECT_EQ(RenderDigital(direct), chosenFace);
}

}  // namespace
