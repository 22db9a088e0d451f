// Parameter values of the host: keyframes, ranges, the binary access rules of both faces, colour
// triples over their channels, and the call log. Definitions are made here the way a plug-in
// would register them; no plug-in is loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "loading/Instrumentation.h"
#include "parameters/ParameterValue.h"

namespace zel::host {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Range {
  std::optional<double> min, max;
  const VOKUID* tag = &VOKTypeID_Double;  ///< the type the range attributes are tagged with
};

VOKPtr<ParameterDefinition> Definition(const char16_t* name, const VOKUID& type, Range range = {}) {
  auto d = MakeHostObject<ParameterDefinition>(0);
  const VOKUID uid = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, static_cast<std::uint8_t>(name[0])}};
  EXPECT_EQ(VOK_OK, d->InitParameter(uid, name, u"tip", type, 0, 0, 0, nullptr));
  const auto setLimit = [&](const VOKUID& attr, double v) {
    if (*range.tag == VOKTypeID_Integer) {
      const auto i = static_cast<std::uint32_t>(v);
      d->SetAttribute(attr, VOKTypeID_Integer, &i, 4);
    } else if (*range.tag == VOKTypeID_SignedInteger) {
      const auto i = static_cast<std::int32_t>(v);
      d->SetAttribute(attr, VOKTypeID_SignedInteger, &i, 4);
    } else {
      d->SetAttribute(attr, VOKTypeID_Double, &v, 8);
    }
  };
  if (range.min) setLimit(ZELAttr_Minimum, *range.min);
  if (range.max) setLimit(ZELAttr_Maximum, *range.max);
  return d;
}

ParamValue Number(double v) {
  ParamValue p;
  p.num[0] = v;
  return p;
}

VOKPtr<ParameterValue> Make(const char16_t* name, const VOKUID& type, Range range = {}, ParamValue initial = {}) {
  auto d = Definition(name, type, range);
  return MakeHostObject<ParameterValue>(*d.Get(), std::move(initial));
}

double ReadDouble(ParameterValue& p, double t) {
  double v = -1;
  EXPECT_EQ(VOK_OK, p.GetValueAtTime(&t, VOKTypeID_Double, &v, 8));
  return v;
}

std::uint32_t ReadInteger(ParameterValue& p, double t, const VOKUID& type = VOKTypeID_Integer) {
  std::uint32_t v = 0xDEADBEEF;
  EXPECT_EQ(VOK_OK, p.GetValueAtTime(&t, type, &v, 4));
  return v;
}

class ParameterValueTest : public ::testing::Test {
 protected:
  void SetUp() override { Instrumentation::Global().Reset(); }
  void TearDown() override { Instrumentation::Global().Reset(); }
};

// --- keyframes -----------------------------------------------------------------------------------

struct KeyCase {
  double time;
  double expectedDouble;
  std::uint32_t expectedInteger;
};

TEST_F(ParameterValueTest, DoublesMoveLinearlyOtherTypesHoldAndTheEndsHold) {
  auto d = Make(u"D", VOKTypeID_Double);
  auto i = Make(u"I", VOKTypeID_Integer);
  for (auto& [t, v] : {std::pair{10.0, 30.0}, std::pair{0.0, 10.0}, std::pair{20.0, 0.0}}) {  // out of order
    ASSERT_TRUE(d->Set(Number(v), t));
    ASSERT_TRUE(i->Set(Number(v), t));
  }
  const KeyCase cases[] = {
      {-5, 10, 10},   // before the first key the first holds
      {0, 10, 10},    {2.5, 15, 10}, {9.999, 29.998, 10},  // integers hold the previous key
      {10, 30, 30},   {15, 15, 30},  {20, 0, 0},
      {1e9, 0, 0},    // after the last key the last holds
      {kNaN, 10, 10}  // a time that is not a number: the first key
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.time);
    EXPECT_NEAR(ReadDouble(*d.Get(), c.time), c.expectedDouble, 1e-9);
    EXPECT_EQ(ReadInteger(*i.Get(), c.time), c.expectedInteger);
  }
  EXPECT_EQ(d->GetKeyCount(), 3u);
  EXPECT_EQ(d->IsAnimated(), 1);
  double t = -1;
  EXPECT_EQ(d->GetKeyTime(1, &t), VOK_OK);
  EXPECT_EQ(t, 10.0);
  EXPECT_EQ(d->GetKeyTime(3, &t), VOK_E_BADINDEX);
}

TEST_F(ParameterValueTest, SettingAtATimeAddsAKeyOnlyOnceTheParameterIsAnimated) {
  auto p = Make(u"X", VOKTypeID_Double);
  double t = 7, v = 42;
  ASSERT_EQ(p->SetValueAtTime(&t, VOKTypeID_Double, &v, 8), VOK_OK);
  EXPECT_EQ(p->GetKeyCount(), 0u);  // still a constant
  EXPECT_EQ(ReadDouble(*p.Get(), 0), 42);
  ASSERT_TRUE(p->Set(Number(0), 0.0));
  ASSERT_TRUE(p->Set(Number(100), 10.0));
  t = 5;
  v = 0;
  ASSERT_EQ(p->SetValueAtTime(&t, VOKTypeID_Double, &v, 8), VOK_OK);  // replaces the straight line
  EXPECT_EQ(p->GetKeyCount(), 3u);
  EXPECT_EQ(ReadDouble(*p.Get(), 7.5), 50);
  t = 5;
  ASSERT_EQ(p->RemoveKey(&t), VOK_OK);
  EXPECT_EQ(ReadDouble(*p.Get(), 5), 50);
  // Removing every key keeps the value at time 0; a plain SetValue removes them too.
  ASSERT_EQ(p->RemoveAllKeys(), VOK_OK);
  EXPECT_EQ(p->GetKeyCount(), 0u);
  EXPECT_EQ(ReadDouble(*p.Get(), 10), 0);
  ASSERT_TRUE(p->Set(Number(3), 1.0));
  ASSERT_TRUE(p->Set(Number(4), 2.0));
  v = 9;
  ASSERT_EQ(p->SetValue(VOKTypeID_Double, &v, 8), VOK_OK);
  EXPECT_EQ(p->IsAnimated(), 0);
  EXPECT_EQ(ReadDouble(*p.Get(), 1.5), 9);
}

// --- ranges --------------------------------------------------------------------------------------

struct ClampCase {
  const char* what;
  const VOKUID* type;
  Range range;
  double set;
  double expected;
};

TEST_F(ParameterValueTest, NumbersAreClampedIntoTheirRangeAndTheirWidth) {
  const ClampCase cases[] = {
      {"integer above its maximum", &VOKTypeID_Integer, {0.0, 23.0, &VOKTypeID_Integer}, 30, 23},
      {"integer below its minimum", &VOKTypeID_Integer, {1.0, 31.0, &VOKTypeID_Integer}, 0, 1},
      {"integer without a range keeps 32 bits", &VOKTypeID_Integer, {}, 5e9, 4294967295.0},
      {"negative into an unsigned integer", &VOKTypeID_Integer, {}, -3, 0},
      {"integer fractions are cut", &VOKTypeID_Integer, {}, 7.9, 7},
      {"signed below its minimum", &VOKTypeID_SignedInteger, {-500.0, 500.0, &VOKTypeID_SignedInteger}, -1000, -500},
      {"signed without range", &VOKTypeID_SignedInteger, {}, -1e12, -2147483648.0},
      {"double above an integer-tagged maximum", &VOKTypeID_Double, {0.0, 255.0, &VOKTypeID_Integer}, 300.5, 255},
      {"double inside keeps its fraction", &VOKTypeID_Double, {0.0, 100.0}, 33.25, 33.25},
      {"boolean becomes 0 or 1", &VOKTypeID_Boolean, {}, 7, 1},
  };
  for (const ClampCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = Make(u"N", *c.type, c.range);
    ASSERT_TRUE(p->Set(Number(c.set)));
    EXPECT_EQ(p->ValueAt().num[0], c.expected);
  }
}

TEST_F(ParameterValueTest, SetValueClampsAndRefusesNaN) {
  auto p = Make(u"S", VOKTypeID_Double, {0.0, 100.0});
  double v = 250;
  ASSERT_EQ(p->SetValue(VOKTypeID_Double, &v, 8), VOK_OK);
  EXPECT_EQ(ReadDouble(*p.Get(), 0), 100);
  v = kNaN;
  EXPECT_EQ(p->SetValue(VOKTypeID_Double, &v, 8), VOK_E_INVALIDARG);
  EXPECT_EQ(ReadDouble(*p.Get(), 0), 100);
  // The unchecked setter stores anything: it plays a host with no checks.
  p->SetUnchecked(Number(kNaN));
  EXPECT_TRUE(std::isnan(ReadDouble(*p.Get(), 0)));
}

// --- access rules --------------------------------------------------------------------------------

struct AccessCase {
  const char* what;
  const VOKUID* paramType;
  const VOKUID* askType;
  std::uint32_t size;
  VOKRESULT expected;
};

TEST_F(ParameterValueTest, ReadsAndWritesRequireTheTypeAndSize) {
  const AccessCase cases[] = {
      {"double as double", &VOKTypeID_Double, &VOKTypeID_Double, 8, VOK_OK},
      {"double as integer", &VOKTypeID_Double, &VOKTypeID_Integer, 8, VOK_E_INVALIDARG},
      {"double in 4 bytes", &VOKTypeID_Double, &VOKTypeID_Double, 4, VOK_E_INVALIDARG},
      {"integer as signed", &VOKTypeID_Integer, &VOKTypeID_SignedInteger, 4, VOK_E_INVALIDARG},
      {"integer in 8 bytes", &VOKTypeID_Integer, &VOKTypeID_Integer, 8, VOK_E_INVALIDARG},
      {"boolean as boolean", &VOKTypeID_Boolean, &VOKTypeID_Boolean, 4, VOK_OK},
      {"text as string", &VOKTypeID_Text, &VOKTypeID_String, 16, VOK_OK},
      {"text as text, any size", &VOKTypeID_Text, &VOKTypeID_Text, 1, VOK_OK},
      {"text as bytes", &VOKTypeID_Text, &VOKTypeID_ByteArray, 16, VOK_E_INVALIDARG},
  };
  for (const AccessCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = Make(u"A", *c.paramType);
    std::uint8_t buffer[32] = {};
    const double t = 0;
    EXPECT_EQ(p->GetValue(*c.askType, buffer, c.size), c.expected);
    EXPECT_EQ(p->GetValueAtTime(&t, *c.askType, buffer, c.size), c.expected);
    EXPECT_EQ(p->SetValue(*c.askType, buffer, c.size), c.expected);
    EXPECT_EQ(p->SetValueAtTime(&t, *c.askType, buffer, c.size), c.expected);
  }
  auto p = Make(u"P", VOKTypeID_Double);
  double v = 0;
  const double t = 0;
  EXPECT_EQ(p->GetValue(VOKTypeID_Double, nullptr, 8), VOK_E_POINTER);
  EXPECT_EQ(p->GetValueAtTime(nullptr, VOKTypeID_Double, &v, 8), VOK_E_POINTER);
  EXPECT_EQ(p->GetValueAtTime(&t, VOKTypeID_Double, nullptr, 8), VOK_E_POINTER);
  EXPECT_EQ(p->SetValue(VOKTypeID_Double, nullptr, 8), VOK_E_POINTER);
}

TEST_F(ParameterValueTest, TextIsCutAtACharacterAndAlwaysTerminated) {
  ParamValue text;
  text.text = "h\xC3\xA9llo";  // "héllo": five characters, six bytes
  auto p = Make(u"T", VOKTypeID_Text, {}, text);
  VOKUID type{};
  std::uint32_t size = 0;
  ASSERT_EQ(p->GetValueInfo(&type, &size), VOK_OK);
  EXPECT_TRUE(type == VOKTypeID_Text);
  EXPECT_EQ(size, 12u);  // UTF-16 units and the terminator
  struct Cut {
    std::uint32_t size;
    const char* expected;
  };
  for (const Cut& c : {Cut{100, "h\xC3\xA9llo"}, Cut{7, "h\xC3\xA9llo"}, Cut{6, "h\xC3\xA9ll"}, Cut{4, "h\xC3\xA9"},
                       Cut{3, "h"}, Cut{2, "h"}, Cut{1, ""}}) {
    char buffer[100];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(p->GetValue(VOKTypeID_String, buffer, c.size), VOK_OK);
    EXPECT_STREQ(buffer, c.expected) << c.size;
  }
}

TEST_F(ParameterValueTest, ByteArraysKeepTheirSize) {
  ParamValue initial;
  initial.bytes.assign(92, 7);
  auto p = Make(u"B", VOKTypeID_ByteArray, {}, initial);
  std::uint8_t buffer[100] = {};
  EXPECT_EQ(p->GetValue(VOKTypeID_ByteArray, buffer, 91), VOK_E_INVALIDARG);
  EXPECT_EQ(p->SetValue(VOKTypeID_ByteArray, buffer, 93), VOK_E_INVALIDARG);
  ASSERT_EQ(p->SetValue(VOKTypeID_ByteArray, buffer, 92), VOK_OK);
  ParamValue other;
  other.bytes.assign(10, 1);
  EXPECT_FALSE(p->Set(other));
  // A value stored without checks reports its own size, so a reader can refuse it.
  p->SetUnchecked(other);
  std::uint32_t size = 0;
  ASSERT_EQ(p->GetValueInfo(nullptr, &size), VOK_OK);
  EXPECT_EQ(size, 10u);
}

TEST_F(ParameterValueTest, AColourTripleIsAViewOntoItsChannels) {
  const Range channelRange{0.0, 255.0, &VOKTypeID_Integer};
  std::vector<VOKPtr<ParameterValue>> channels;
  for (const char16_t* name : {u"R", u"G", u"B"}) channels.push_back(Make(name, VOKTypeID_Double, channelRange, Number(128)));
  auto def = Definition(u"RGB", VOKTypeID_RGB);
  auto triple = MakeHostObject<ParameterValue>(*def.Get(), ParamValue{}, channels);
  double rgb[3] = {};
  ASSERT_EQ(triple->GetValue(VOKTypeID_RGB, rgb, 24), VOK_OK);
  EXPECT_EQ(rgb[0], 128);
  const double set[3] = {10, 300, 20.5};
  ASSERT_EQ(triple->SetValue(VOKTypeID_RGB, set, 24), VOK_OK);
  EXPECT_EQ(channels[0]->ValueAt().num[0], 10);
  EXPECT_EQ(channels[1]->ValueAt().num[0], 255);  // each channel keeps its own range
  EXPECT_EQ(channels[2]->ValueAt().num[0], 20.5);
  // Keys of the triple are keys of the channels, and move linearly.
  ParamValue a, b;
  a.num = {0, 0, 0};
  b.num = {100, 200, 50};
  ASSERT_TRUE(triple->Set(a, 0.0));
  ASSERT_TRUE(triple->Set(b, 4.0));
  EXPECT_EQ(triple->GetKeyCount(), 2u);
  const double t = 1;
  ASSERT_EQ(triple->GetValueAtTime(&t, VOKTypeID_RGB, rgb, 24), VOK_OK);
  EXPECT_EQ(rgb[0], 25);
  EXPECT_EQ(rgb[1], 50);
  EXPECT_EQ(rgb[2], 12.5);
  EXPECT_EQ(channels[1]->GetKeyCount(), 2u);
}

TEST_F(ParameterValueTest, EnabledStateAndFaces) {
  auto p = Make(u"F", VOKTypeID_SignedInteger);
  EXPECT_EQ(p->GetEnabled(), 1);
  p->SetEnabled(false);
  EXPECT_EQ(p->GetEnabled(), 0);
  // Both faces are one object: the animated face leads back to the untimed one.
  IZELAnimatedParameter* animated = nullptr;
  ASSERT_EQ(static_cast<IZELParameter*>(p.Get())->QueryInterface(IID_IZELAnimatedParameter,
                                                                   reinterpret_cast<void**>(&animated)),
            VOK_OK);
  IZELParameter* plain = nullptr;
  ASSERT_EQ(animated->GetParameter(&plain), VOK_OK);
  EXPECT_EQ(plain, static_cast<IZELParameter*>(p.Get()));
  plain->Release();
  animated->Release();
}

TEST_F(ParameterValueTest, CallsAreLoggedWithTheDisplayNameAndCanBeMadeToFail) {
  auto x = Make(u"X", VOKTypeID_Double);
  double v = 0;
  const double t = 0;
  Instrumentation::Global().StartLog();
  x->GetValueAtTime(&t, VOKTypeID_Double, &v, 8);
  x->GetValue(VOKTypeID_Double, &v, 8);
  x->GetValueInfo(nullptr, nullptr);
  x->GetEnabled();
  EXPECT_EQ(Instrumentation::Global().TakeLog(),
            (std::vector<std::string>{"AnimatedParameter.GetValueAtTime X", "Parameter.GetValue X",
                                      "Parameter.GetValueInfo X", "AnimatedParameter.GetEnabled X"}));
  x->Set(Number(5));
  Instrumentation::Global().FailOperation("AnimatedParameter.GetValueAtTime X", VOK_E_FAIL);
  v = -1;
  EXPECT_EQ(x->GetValueAtTime(&t, VOKTypeID_Double, &v, 8), VOK_E_FAIL);
  EXPECT_EQ(v, -1);  // a failed read writes nothing
  EXPECT_EQ(x->GetValueAtTime(&t, VOKTypeID_Double, &v, 8), VOK_OK);
  EXPECT_EQ(v, 5);
}

}  // namespace
}  // namespace zel::host
