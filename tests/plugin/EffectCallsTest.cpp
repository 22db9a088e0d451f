// The render operation's host calls through the real host: their order in the call log, the way
// each parameter is read, and a sweep that makes each call of a render fail in turn.
#include <string_view>

#include "EffectTestHost.h"
#include "definition/Parameters.h"

namespace zel::test {
namespace {

using host::Instrumentation;
using host::ParamValue;
using host::PixelKind;

constexpr VOKRESULT kInjected = static_cast<VOKRESULT>(0x8ABC0042u);

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsParameterCall(const std::string& entry) {
  return StartsWith(entry, "EffectContext.GetParameter ") || StartsWith(entry, "Parameter.") ||
         StartsWith(entry, "AnimatedParameter.") || StartsWith(entry, "QueryInterface Parameter ");
}

std::vector<std::string> LogOf(const std::function<void()>& action) {
  Instrumentation::Global().StartLog();
  action();
  return Instrumentation::Global().TakeLog();
}

// The display name of a parameter row as the call log spells it.
std::string NameOf(const zel2clock::ParameterRow& row) { return std::string(row.name, row.name + std::char_traits<char16_t>::length(row.name)); }

std::vector<std::string> ExpectedParameterLog(bool freeFormatText) {
  // How each parameter is read, in the order the render reads them: the plug-in's own table.
  using zel2clock::Read;
  std::vector<std::string> log;
  for (const std::size_t index : zel2clock::kReadOrder) {
    const zel2clock::ParameterRow& r = zel2clock::kParameters[index];
    const std::string name = NameOf(r);
    log.push_back("EffectContext.GetParameter " + name);
    if (r.read == Read::AtTime || r.read == Read::AtTimeEnabled) {
      log.push_back("QueryInterface Parameter " + name);
      log.push_back("AnimatedParameter.GetValueAtTime " + name);
      if (r.read == Read::AtTimeEnabled) log.push_back("AnimatedParameter.GetEnabled " + name);
    } else {
      log.push_back("Parameter.GetValue " + name);
    }
  }
  log.push_back("EffectContext.GetParameter PrivateData");
  log.push_back("Parameter.GetValueInfo PrivateData");
  log.push_back("Parameter.GetValue PrivateData");
  if (freeFormatText) {
    log.push_back("EffectContext.GetParameter Start Time");
    log.push_back("Parameter.GetValue Start Time");
  }
  return log;
}

TEST_F(EffectTest, CallLogShowsEveryParameterReadAsTabled) {
  struct Case {
    const char* type;
    const char* style;
    bool text;
  };
  for (const Case& c : {Case{"Analog Clock", "13", false}, Case{"Digital Clock", "13", true},
                        Case{"LED clock", "Free Format", true}, Case{"LED clock", "1", false}}) {
    SCOPED_TRACE(std::string(c.type) + " style " + c.style);
    auto instance = MakeInstance();
    instance->SetFromText("Clock Type List", c.type);
    instance->SetFromText("Style List", c.style);
    Picture input(32, 8, PixelKind::Rgba), out(32, 8, PixelKind::Rgba);
    const auto log = LogOf([&] { EXPECT_EQ(VOK_OK, instance->RenderFrame(input.view, out.view, 3)); });
    std::vector<std::string> reads;
    for (const auto& entry : log)
      if (IsParameterCall(entry)) reads.push_back(entry);
    EXPECT_EQ(reads, ExpectedParameterLog(c.text));
  }
}

TEST_F(EffectTest, CallLogFollowsTheStepsOfTheRender) {
  auto instance = MakeInstance();
  Picture input(4, 3, PixelKind::Rgba), out(4, 3, PixelKind::Rgba);
  const auto log = LogOf([&] { EXPECT_EQ(VOK_OK, instance->RenderFrame(input.view, out.view, 3)); });
  const std::vector<std::string> head = {
      "Output.GetImage",        "Image.GetFieldLayout",       "QueryInterface HostUnknown",
      "FrameContext.GetFrameID", "RenderContext.GetRenderedField", "RenderContext.GetTime",
      "RenderContext.GetTime",  "EffectContext.GetFrameRate", "Image.GetWidth",
      "Image.GetHeight",        "Image.GetPixelFormat",       "PixelFormat.GetRowOrder",
      "EffectContext.GetInputLayer", "InputLayer.GetImage",   "Image.GetPixelAspectRatio",
      "EffectContext.GetParameter Foreground Red"};
  ASSERT_GE(log.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + head.size()), head);
  // After the parameters: the pixel format once, then one row address per image and row.
  std::vector<std::string> tail = {"PixelFormat.GetColorModel", "PixelFormat.GetComponentCount",
                                   "PixelFormat.GetComponentOffset", "PixelFormat.GetComponentOffset",
                                   "PixelFormat.GetComponentOffset", "PixelFormat.GetComponentOffset",
                                   "PixelFormat.GetPixelStep"};
  for (int row = 0; row < 3; ++row)
    for (int image = 0; image < 2; ++image) tail.push_back("Image.GetRowAddress");
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(log.end() - tail.size(), log.end()), tail);
}

TEST_F(EffectTest, FieldRenderAsksForFieldProcessingAndStartingField) {
  auto instance = MakeInstance();
  Picture input(4, 6, PixelKind::Uyvy), out(4, 6, PixelKind::Uyvy);
  const auto log = LogOf([&] {
    EXPECT_EQ(VOK_OK, instance->RenderField(input.view, out.view, 3, host::InterlaceOrder::UpperFirst, true));
  });
  const auto at = std::find(log.begin(), log.end(), "Image.GetPixelAspectRatio");
  ASSERT_LE(at + 3, log.end());
  EXPECT_EQ(*(at + 1), "Image.GetFieldProcessing");
  EXPECT_EQ(*(at + 2), "Image.GetStartingField");
  EXPECT_EQ(std::count(log.begin(), log.end(), "PixelFormat.GetStepCountsPixels"), 1);
  // Three rows of the second field, two images each.
  EXPECT_EQ(std::count(log.begin(), log.end(), "Image.GetRowAddress"), 6);
}

// --- the sweep -------------------------------------------------------------------------------------

/// Calls whose failure the render returns as its own result, writing nothing.
bool IsCheckedCall(const std::string& op) {
  return op == "Output.GetImage" || op == "Image.GetPixelFormat" || op == "EffectContext.GetInputLayer" ||
         op == "InputLayer.GetImage" || StartsWith(op, "EffectContext.GetParameter ") ||
         StartsWith(op, "QueryInterface Parameter ") || op == "Parameter.GetValueInfo PrivateData" ||
         op == "Parameter.GetValue PrivateData" || op == "Parameter.GetValue Start Time";
}

/// The individual value reads: a failure leaves the value at its start, and the render goes on.
std::optional<std::string> UncheckedReadOf(const std::string& op) {
  for (std::string_view prefix : {"AnimatedParameter.GetValueAtTime ", "Parameter.GetValue "})
    if (StartsWith(op, prefix)) return op.substr(prefix.size());
  return std::nullopt;
}

struct SweepCase {
  const char* what;
  PixelKind kind;
  const char* clockType;
  const char* style;
  bool field;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.what; }

class RenderFaultSweep : public EffectTest, public ::testing::WithParamInterface<SweepCase> {
 protected:
  VOKRESULT Render(const host::EffectInstance& instance, const Picture& input, Picture& out) const {
    const SweepCase& c = GetParam();
    if (c.field) return instance.RenderField(input.view, out.view, 75, host::InterlaceOrder::LowerFirst, false);
    return instance.RenderFrame(input.view, out.view, 75);
  }
};

TEST_P(RenderFaultSweep, EachFailingCallIsReturnedOrLeavesItsValueAtTheStart) {
  const SweepCase& c = GetParam();
  auto instance = MakeInstance();
  instance->SetFromText("Clock Type List", c.clockType);
  instance->SetFromText("Style List", c.style);
  instance->SetFromText("Start Time", "%M:%S");
  instance->SetFromText("Start Time Minute", "7");
  instance->SetFromText("Count Down", "1");
  instance->SetFromText("Size", "90");
  instance->SetFromText("Time Speed Factor", "-3");
  Picture input(48, 14, c.kind);
  input.FillPattern(51);
  Picture sentinel(48, 14, c.kind);
  sentinel.FillPattern(52);

  Picture baseline(sentinel);
  const auto log = LogOf([&] { ASSERT_EQ(VOK_OK, Render(*instance, input, baseline)); });
  ASSERT_GT(log.size(), 100u);
  const std::int64_t liveBefore = Instrumentation::LiveHostObjects();

  int checked = 0, unchecked = 0, console = 0, ignored = 0;
  for (std::size_t k = 1; k <= log.size(); ++k) {
    const std::string& op = log[k - 1];
    SCOPED_TRACE("call " + std::to_string(k) + ": " + op);
    Instrumentation::Global().Reset();
    Instrumentation::Global().FailCall(k, kInjected);
    Picture out(sentinel);
    const VOKRESULT result = Render(*instance, input, out);
    Instrumentation::Global().Reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), liveBefore);

    if (op == "QueryInterface HostUnknown") {
      ++console;
      EXPECT_EQ(result, VOK_E_UNEXPECTED);
      EXPECT_EQ(out.bytes, sentinel.bytes);
    } else if (IsCheckedCall(op)) {
      ++checked;
      EXPECT_EQ(result, kInjected);
      EXPECT_EQ(out.bytes, sentinel.bytes);
    } else if (const auto name = UncheckedReadOf(op)) {
      ++unchecked;
      EXPECT_EQ(result, VOK_OK);
      // The value the host did not deliver is the starting value 0: the same frame as a host
      // that delivers 0.
      host::ParameterValue& parameter = instance->Get(*name);
      const ParamValue kept = parameter.ValueAt();
      parameter.SetUnchecked(ParamValue{});
      Picture expected(sentinel);
      EXPECT_EQ(VOK_OK, Render(*instance, input, expected));
      parameter.SetUnchecked(kept);
      EXPECT_EQ(out.bytes, expected.bytes);
    } else {
      // Calls that cannot report a failure: nothing changes.
      ++ignored;
      EXPECT_EQ(result, VOK_OK);
      EXPECT_EQ(out.bytes, baseline.bytes);
    }
  }
  EXPECT_EQ(console, 1);
  EXPECT_GE(checked, 29 + 25 + 4 + 3);  // objects, animated faces, images and layer, font record
  EXPECT_EQ(unchecked, 29);
  EXPECT_GT(ignored, 20);

  instance.reset();
  EXPECT_EQ(EffectPlugin().Module().CanUnloadNow(EffectPlugin().Host().Unknown()), VOK_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, RenderFaultSweep,
    ::testing::Values(SweepCase{"digital free format, RGBA", PixelKind::Rgba, "Digital Clock", "Free Format", false},
                      SweepCase{"LED, YUY2, one field", PixelKind::Yuy2, "LED clock", "mm:ss.f", true},
                      SweepCase{"analog, UYVY", PixelKind::Uyvy, "Analog Clock", "1", false}),
    [](const auto& info) { return std::to_string(info.index); });

// --- boundary conditions of the operation ------------------------------------------------------------

TEST_F(EffectTest, AMissingConsoleFailsTheRenderBeforeAnythingIsWritten) {
  auto instance = MakeInstance();
  Picture input(16, 8, PixelKind::Rgba);
  input.FillPattern(1);
  Picture out(16, 8, PixelKind::Rgba);
  out.FillPattern(2);
  const Picture before = out;
  const std::int64_t liveBefore = Instrumentation::LiveHostObjects();
  Instrumentation::Global().RefuseInterface(IID_IZELConsole, VOK_E_NOINTERFACE);
  EXPECT_EQ(instance->RenderFrame(input.view, out.view, 0), VOK_E_UNEXPECTED);
  EXPECT_EQ(out.bytes, before.bytes);
  EXPECT_EQ(Instrumentation::LiveHostObjects(), liveBefore);
}

TEST_F(EffectTest, NullContextArgumentsAreRefused) {
  auto instance = MakeInstance();
  Picture picture(8, 8, PixelKind::Rgba);
  auto image = host::MakeHostObject<host::HostImage>(picture.view, host::ImageLayout{});
  auto layer = host::MakeHostObject<host::HostInputLayer>(image, 0);
  auto effect = host::MakeHostObject<host::HostEffectContext>(
      std::make_shared<host::EffectShared>(), host::SequenceInfo{}, layer);
  auto frame = host::MakeHostObject<host::HostFrameContext>(0, 0);
  auto render = host::MakeHostObject<host::HostRenderContext>(0.0, ZELField_Both);
  auto output = host::MakeHostObject<host::HostOutput>(image);
  IZELEffect* e = instance->Effect();
  EXPECT_EQ(e->Render(nullptr, nullptr, nullptr, frame.Get(), nullptr, render.Get(), output.Get()), VOK_E_POINTER);
  EXPECT_EQ(e->Render(effect.Get(), nullptr, nullptr, nullptr, nullptr, render.Get(), output.Get()), VOK_E_POINTER);
  EXPECT_EQ(e->Render(effect.Get(), nullptr, nullptr, frame.Get(), nullptr, nullptr, output.Get()), VOK_E_POINTER);
  EXPECT_EQ(e->Render(effect.Get(), nullptr, nullptr, frame.Get(), nullptr, render.Get(), nullptr), VOK_E_POINTER);
}

TEST_F(EffectTest, AnEffectContextWithoutParametersFailsWithTheHostsCode) {
  // A host that does not know the parameters answers VOK_E_INVALIDARG; the render passes it on.
  auto instance = MakeInstance();
  Picture input(8, 8, PixelKind::Rgba);
  input.FillPattern(1);
  Picture out(8, 8, PixelKind::Rgba);
  const Picture before = out;
  auto image = host::MakeHostObject<host::HostImage>(out.view, host::ImageLayout{});
  auto inputImage = host::MakeHostObject<host::HostImage>(input.view, host::ImageLayout{});
  auto layer = host::MakeHostObject<host::HostInputLayer>(inputImage, 0);
  auto shared = std::make_shared<host::EffectShared>();
  shared->host = EffectPlugin().Host().Unknown();
  auto effect = host::MakeHostObject<host::HostEffectContext>(shared, host::SequenceInfo{}, layer);
  auto frame = host::MakeHostObject<host::HostFrameContext>(0, 0);
  auto render = host::MakeHostObject<host::HostRenderContext>(0.0, ZELField_Both);
  auto output = host::MakeHostObject<host::HostOutput>(image);
  EXPECT_EQ(instance->Effect()->Render(effect.Get(), nullptr, nullptr, frame.Get(), nullptr, render.Get(),
                                       output.Get()),
            VOK_E_INVALIDARG);
  EXPECT_EQ(out.bytes, before.bytes);
}

TEST_F(EffectTest, TheOtherOperationsAnswerTheirFixedCodes) {
  auto instance = MakeInstance();
  IZELEffect* e = instance->Effect();
  auto context = instance->MakeContext();
  std::int32_t identity = 0;
  EXPECT_EQ(e->QueryCapabilities(context.Get(), nullptr, nullptr), VOK_E_NOTIMPL);
  EXPECT_EQ(e->InitInstance(context.Get()), VOK_OK);
  EXPECT_EQ(e->InitInstance(nullptr), VOK_E_INVALIDARG);
  EXPECT_EQ(e->BeginSequence(context.Get(), 10), VOK_OK);
  EXPECT_EQ(e->PrepareFrame(context.Get(), nullptr, nullptr), VOK_OK);
  EXPECT_EQ(e->IsIdentity(context.Get(), nullptr, &identity), VOK_OK);
  EXPECT_EQ(e->FinishFrame(context.Get(), nullptr, nullptr), VOK_OK);
  EXPECT_EQ(e->GetRegionOfDefinition(context.Get(), nullptr, nullptr), VOK_OK);
  EXPECT_EQ(e->EndSequence(context.Get(), 10), VOK_OK);
}

}  // namespace
}  // namespace zel::test
