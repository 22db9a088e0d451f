// The font chooser under failing host calls: each call of a confirmed and of a cancelled dialog
// fails in turn with several codes. What must hold: the call returns that code, no dialog opens
// when the failure comes before it, the stored font record stays byte for byte, and no host object
// is left alive.
#include <algorithm>
#include <cstring>

#include "CommDlg.h"
#include "SweepSupport.h"
#include "ZelPlatformHost.h"
#include "../plugin/InteractionHost.h"

using namespace zel::host;
using zel::test::CallsOf;
using zel::test::ClockPlugin;
using zel::test::kSweepCodes;

namespace {

const bool kTally = zel::test::RegisterSweepTally("font chooser");

struct Picker {
  bool confirm = true;
  int shown = 0;
  static BOOL Proc(void* context, HWND, LOGFONTW* font) {
    auto* self = static_cast<Picker*>(context);
    ++self->shown;
    font->lfHeight = -57;
    font->lfWeight = 700;
    return self->confirm ? TRUE : FALSE;
  }
};

class FontChooserSweepTest : public zel::test::InstrumentedTest {
 protected:
  void SetUp() override {
    InstrumentedTest::SetUp();
    ZelSetFontPicker(&Picker::Proc, &m_picker);
    ClockPlugin();
    m_live = Instrumentation::LiveHostObjects();
    m_instance = std::make_unique<EffectInstance>(ClockPlugin());
    m_chooser = zel::test::MakeComponent<IZELModalUI>(ZELKind_ModalUI, IID_IZELModalUI);
    ASSERT_TRUE(m_chooser);
  }
  void TearDown() override {
    ZelSetFontPicker(nullptr, nullptr);
    m_chooser.Reset();
    m_instance.reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_live);
    InstrumentedTest::TearDown();
  }
  std::vector<std::uint8_t> Stored() { return m_instance->Get("PrivateData").ValueAt().bytes; }
  VOKRESULT Run() {
    VOKPtr<HostEffectContext> context = m_instance->MakeContext();
    return m_chooser->DoModal(context.Get(), nullptr, nullptr);
  }

  Picker m_picker;
  std::int64_t m_live = 0;
  std::unique_ptr<EffectInstance> m_instance;
  VOKPtr<IZELModalUI> m_chooser;
};

TEST_F(FontChooserSweepTest, EachFailingCallIsReturnedAndTheRecordKept) {
  const auto stored = Stored();
  std::uint64_t swept = 0;
  for (bool confirm : {true, false}) {
    SCOPED_TRACE(confirm ? "confirmed" : "cancelled");
    m_picker.confirm = confirm;
    std::vector<std::string> calls;
    {
      auto original = m_instance->Get("PrivateData").ValueAt();
      calls = CallsOf([&] { ASSERT_EQ(Run(), VOK_OK); });
      m_instance->Get("PrivateData").SetUnchecked(original);
    }
    ASSERT_FALSE(calls.empty());
    const auto dialogAt = std::find(calls.begin(), calls.end(), "Parameter.SetValue PrivateData");
    for (std::size_t k = 1; k <= calls.size(); ++k) {
      for (VOKRESULT code : kSweepCodes) {
        SCOPED_TRACE("call " + std::to_string(k) + " " + calls[k - 1] + ", code " + std::to_string(code));
        m_picker.shown = 0;
        Instrumentation::Global().Reset();
        Instrumentation::Global().FailCall(k, code);
        const VOKRESULT result = Run();
        Instrumentation::Global().Reset();
        ++swept;
        EXPECT_EQ(result, code);
        EXPECT_EQ(Stored(), stored);
        // Only the write comes after the dialog.
        const bool afterDialog = confirm && calls.begin() + static_cast<std::ptrdiff_t>(k - 1) == dialogAt;
        EXPECT_EQ(m_picker.shown, afterDialog ? 1 : 0);
      }
    }
  }
  zel::test::CountSwept(swept);
  // Nothing stayed claimed: the next call works.
  m_picker.confirm = true;
  EXPECT_EQ(Run(), VOK_OK);
  EXPECT_NE(Stored(), stored);
}

}  // namespace
