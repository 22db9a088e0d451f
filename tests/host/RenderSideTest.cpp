// The host's render side: images and pixel formats over a caller's buffer, the render contexts,
// and effect instances of the real plug-in (defaults from its catalogue, look-up by name, values
// read from text). The plug-in is loaded as a module; none of its code is linked in.
#include <gtest/gtest.h>

#include <cstring>

#include "render/EffectInstance.h"
#include "loading/Instrumentation.h"

namespace zel::host {
namespace {

Plugin& ClockPlugin() {
  static Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

// --- images and pixel formats --------------------------------------------------------------------

struct FormatCase {
  PixelKind kind;
  std::int32_t colorModel;
  std::uint32_t offsets[8];  ///< by component index; 0xFFFFFFFF: none
};

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

TEST(HostImageTest, ComponentOffsetsDescribeTheBytesOfEachKind) {
  const FormatCase cases[] = {
      {PixelKind::Rgba, ZELColorModel_RGBA, {0, 1, 2, 3, kNone, kNone, kNone, kNone}},
      {PixelKind::Bgra, ZELColorModel_RGBA, {2, 1, 0, 3, kNone, kNone, kNone, kNone}},
      // UYVY is Cb Y0 Cr Y1; YUY2 is Y0 Cb Y1 Cr.
      {PixelKind::Uyvy, ZELColorModel_YCbCr422_UYVY, {kNone, kNone, kNone, kNone, 1, 3, 0, 2}},
      {PixelKind::Yuy2, ZELColorModel_YCbCr422_YUY2, {kNone, kNone, kNone, kNone, 0, 2, 1, 3}},
  };
  for (const FormatCase& c : cases) {
    for (const bool perPixel : {false, true}) {
      SCOPED_TRACE(static_cast<int>(c.kind));
      ImageLayout layout;
      layout.stepCountsPixels = perPixel;
      auto format = MakeHostObject<HostPixelFormat>(c.kind, layout);
      EXPECT_EQ(format->GetColorModel(), c.colorModel);
      EXPECT_EQ(format->GetComponentCount(), 4u);
      for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(format->GetComponentOffset(i), c.offsets[i]) << i;
      EXPECT_EQ(format->GetComponentOffset(8), kNone);
      const bool pixels = perPixel && IsYuv422(c.kind);
      EXPECT_EQ(format->GetPixelStep(0), pixels ? 2u : 4u);
      EXPECT_EQ(format->GetStepCountsPixels(), pixels ? 1 : 0);
      EXPECT_EQ(format->GetPixelStep(1), 0u);
    }
  }
}

TEST(HostImageTest, RowsFollowTheRowOrder) {
  std::vector<std::uint8_t> memory(5 * 40);
  FrameView view{memory.data(), 7, 5, 40, PixelKind::Uyvy};
  for (const bool bottomUp : {false, true}) {
    ImageLayout layout;
    layout.bottomUp = bottomUp;
    auto image = MakeHostObject<HostImage>(view, layout);
    for (std::uint32_t r = 0; r < 5; ++r)
      EXPECT_EQ(image->GetRowAddress(r, 0), memory.data() + (bottomUp ? 4 - r : r) * 40);
    EXPECT_EQ(image->GetRowAddress(5, 0), nullptr);
    EXPECT_EQ(image->GetRowAddress(0, 1), nullptr);
    EXPECT_EQ(image->GetRowBytes(0), 40u);
    VOKPtr<IZELPixelFormat> format;
    ASSERT_EQ(image->GetPixelFormat(&format), VOK_OK);
    EXPECT_EQ(format->GetRowOrder(), bottomUp ? 1 : 0);
    EXPECT_EQ(image->GetPixelFormat(nullptr), VOK_E_POINTER);
  }
  EXPECT_EQ(RowBytesOf(PixelKind::Uyvy, 7), 16u);  // an odd width ends in a whole pair
}

// --- contexts --------------------------------------------------------------------------------------

TEST(RenderContextTest, TheInputLayerGivesOnlyItsOwnFrame) {
  std::vector<std::uint8_t> memory(16);
  auto image = MakeHostObject<HostImage>(FrameView{memory.data(), 2, 2, 8, PixelKind::Rgba}, ImageLayout{});
  auto layer = MakeHostObject<HostInputLayer>(image, 41);
  VOKPtr<IZELImage> got;
  EXPECT_EQ(layer->GetImage(40, ZELField_Both, 0, &got), VOK_E_INVALIDARG);
  EXPECT_FALSE(got);
  ASSERT_EQ(layer->GetImage(41, ZELField_Both, 0, &got), VOK_OK);
  EXPECT_EQ(got.Get(), static_cast<IZELImage*>(image.Get()));
  auto output = MakeHostObject<HostOutput>(image);
  EXPECT_EQ(output->GetImage(1, &got), VOK_E_BADINDEX);
  EXPECT_FALSE(got);
}

// --- effect instances --------------------------------------------------------------------------------

struct DefaultCase {
  const char* name;
  double expected;
};

TEST(EffectInstanceTest, ParametersStartAtTheCatalogueDefaults) {
  EffectInstance instance(ClockPlugin());
  const DefaultCase cases[] = {
      {"Foreground Red", 128}, {"Foreground Green", 128}, {"Foreground Blue", 128}, {"Background Red", 50},
      {"Background Blue", 50}, {"Foreground Opacity", 100}, {"Background Opacity", 100}, {"X", 50}, {"Y", 50},
      {"Size", 50}, {"Time Speed Factor", 1}, {"Start Time Day", 1}, {"Start Time Month", 1},
      {"Start Time Year", 2010}, {"Start Time Hour", 0}, {"Stop Time Millsecond", 0}, {"Count Down", 0},
      // Lists nobody set report their first item: analog, the first style, left alignment.
      {"the List value", 0}, {"Style List", 1}, {"Alignment List", 2},
  };
  for (const DefaultCase& c : cases) EXPECT_EQ(instance.Get(c.name).ValueAt().num[0], c.expected) << c.name;
  const ParamValue foreground = instance.Get("Foreground RGB Color").ValueAt();
  EXPECT_EQ(foreground.num, (std::array<double, 3>{128, 128, 128}));
  EXPECT_EQ(instance.Get("Background RGB Color").ValueAt().num, (std::array<double, 3>{50, 50, 50}));
  EXPECT_EQ(instance.Get("Start Time").ValueAt().text, "");
  const ParamValue font = instance.Get("PrivateData").ValueAt();
  ASSERT_EQ(font.bytes.size(), 92u);
  std::int32_t height = 0;
  std::memcpy(&height, font.bytes.data(), 4);
  EXPECT_EQ(height, -32);
  EXPECT_EQ(font.bytes[23], 1);  // the character set
  EXPECT_EQ(instance.All().size(), 33u);
}

TEST(EffectInstanceTest, ParametersAreFoundByDisplayNameListBoxOrAnyCase) {
  EffectInstance instance(ClockPlugin());
  const ParameterValue* clockType = instance.Find("the List value");
  ASSERT_NE(clockType, nullptr);
  EXPECT_EQ(instance.Find("Clock Type List"), clockType);
  EXPECT_EQ(instance.Find("clock type LIST"), clockType);
  EXPECT_EQ(instance.Find("Timer Style"), instance.Find("Style List"));
  EXPECT_EQ(instance.Find("x"), instance.Find("X"));
  EXPECT_EQ(instance.Find("Colors"), nullptr);  // a group, not a parameter
  EXPECT_THROW(instance.Get("No Such Thing"), HostError);
}

struct ParseCase {
  const char* name;
  const char* text;
  double expected;         ///< num[0]; ignored when an error is expected
  const char* errorPart;   ///< null: must parse; else a piece of the error message
};

TEST(EffectInstanceTest, ValuesAreReadFromTextAsAUserTypesThem) {
  EffectInstance instance(ClockPlugin());
  const ParseCase cases[] = {
      {"Clock Type List", "LED clock", 2, nullptr},
      {"Clock Type List", "digital clock", 1, nullptr},
      {"Clock Type List", "2", 2, nullptr},
      {"Clock Type List", "3", 0, "not one of its items"},
      {"Alignment List", "Right Alignment", 0, nullptr},
      {"Alignment List", "Left Alignment", 2, nullptr},
      {"Style List", "Free Format", 13, nullptr},
      {"Style List", "0", 0, "not one of its items"},
      {"Start Time Hour", "23", 23, nullptr},
      {"Start Time Hour", "24", 0, "outside its range 0..23"},
      {"Start Time Hour", "1.5", 0, "not a whole number"},
      {"Time Speed Factor", "-500", -500, nullptr},
      {"Time Speed Factor", "-501", 0, "-500..500"},
      {"X", " 12.5 ", 12.5, nullptr},
      {"X", "100.01", 0, "outside its range 0..100"},
      {"X", "abc", 0, "not a number"},
      {"X", "nan", 0, "not a number"},
      {"Foreground Red", "255", 255, nullptr},
      {"Foreground Red", "256", 0, "0..255"},
      {"Count Down", "Yes", 1, nullptr},
      {"Count Down", "off", 0, nullptr},
      {"Count Down", "maybe", 0, "yes/no"},
      {"Foreground RGB Color", "1,2,3", 1, nullptr},
      {"Foreground RGB Color", "1,2", 0, "red,green,blue"},
      {"Background RGB Color", "0,0,300", 0, "Background Blue"},
      {"PrivateData", "00", 0, "92 bytes"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " = " + c.text);
    const ParameterValue& p = instance.Get(c.name);
    if (c.errorPart == nullptr) {
      EXPECT_EQ(instance.Parse(p, c.text).num[0], c.expected);
    } else {
      try {
        instance.Parse(p, c.text);
        ADD_FAILURE() << "no error";
      } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find(c.errorPart), std::string::npos) << e.what();
        // A list is named by its list box ("Clock Type List"), anything else by its display name.
        const ParameterInfo* info = instance.Parameters().Find(p.Uid());
        const bool listBox = info != nullptr && info->isList && info->entry != nullptr && info->entry->name;
        const std::string name = listBox ? std::string(*info->entry->name) : p.Name();
        EXPECT_NE(std::string(e.what()).find("parameter '" + name + "'"), std::string::npos) << e.what();
      }
    }
  }
  const std::string font(184, 'a');
  EXPECT_EQ(instance.Parse(instance.Get("PrivateData"), font).bytes, std::vector<std::uint8_t>(92, 0xAA));
  instance.SetFromText("Start Time", "%H");
  EXPECT_EQ(instance.Get("Start Time").ValueAt().text, "%H");
  instance.SetFromText("Size", "20", 0.0);
  instance.SetFromText("Size", "40", 10.0);
  EXPECT_EQ(instance.Get("Size").ValueAt(5.0).num[0], 30);
  EXPECT_THROW(instance.SetNumber("Size", 101), HostError);
  EXPECT_THROW(instance.SetNumber("Start Time", 1), HostError);
}

TEST(EffectInstanceTest, ContextsGiveParametersAndTheSequence) {
  SequenceInfo sequence;
  sequence.frameRate = 29.97;
  sequence.width = 720;
  sequence.height = 576;
  sequence.pixelAspectRatio = 16.0 / 15.0;
  EffectInstance instance(ClockPlugin(), sequence);
  auto context = instance.MakeContext();
  EXPECT_EQ(context->GetFrameRate(), 29.97);
  EXPECT_NEAR(context->GetFrameAspectRatio(), 4.0 / 3.0, 1e-12);
  EXPECT_EQ(context->GetParameterCount(), 33u);
  VOKPtr<IZELInputLayer> layer;
  EXPECT_EQ(context->GetInputLayer(0, &layer), VOK_E_FAIL);  // nothing is being rendered
  void* p = nullptr;
  const VOKUID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(context->GetParameter(unknown, IID_IZELParameter, &p), VOK_E_INVALIDARG);
  EXPECT_EQ(p, nullptr);
  const VOKUID xUid = instance.Get("X").Uid();
  ASSERT_EQ(context->GetParameter(xUid, IID_IZELAnimatedParameter, &p), VOK_OK);
  auto* animated = static_cast<IZELAnimatedParameter*>(p);
  double x = 0;
  const double t = 0;
  EXPECT_EQ(animated->GetValueAtTime(&t, VOKTypeID_Double, &x, 8), VOK_OK);
  EXPECT_EQ(x, 50);
  animated->Release();
  EXPECT_EQ(context->GetParameter(xUid, IID_IZELOutput, &p), VOK_E_NOINTERFACE);
  VOKPtr<IVOKUnknown> host;
  ASSERT_EQ(context->GetHostUnknown(&host), VOK_OK);
  EXPECT_EQ(host.Get(), ClockPlugin().Host().Unknown());
}

TEST(EffectInstanceTest, UnusableViewsAreRefusedWithoutARender) {
  EffectInstance instance(ClockPlugin());
  std::vector<std::uint8_t> a(64 * 4 * 4), b(64 * 4 * 4);
  const FrameView good{a.data(), 64, 4, 256, PixelKind::Rgba};
  struct Bad {
    const char* what;
    FrameView in, out;
  };
  const Bad cases[] = {
      {"no data", {nullptr, 64, 4, 256, PixelKind::Rgba}, good},
      {"rows too short", {b.data(), 64, 4, 255, PixelKind::Rgba}, good},
      {"no width", {b.data(), 0, 4, 256, PixelKind::Rgba}, good},
      {"other size", {b.data(), 63, 4, 256, PixelKind::Rgba}, good},
      {"other kind", {b.data(), 64, 4, 256, PixelKind::Bgra}, good},
  };
  Instrumentation::Global().Reset();
  Instrumentation::Global().StartLog();
  for (const Bad& c : cases) EXPECT_EQ(instance.Render(c.in, c.out, RenderRequest{}), VOK_E_INVALIDARG) << c.what;
  EXPECT_TRUE(Instrumentation::Global().TakeLog().empty());
  Instrumentation::Global().Reset();
}

}  // namespace
}  // namespace zel::host
