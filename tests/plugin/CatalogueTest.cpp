// The effect definition the module registers for component index 0, compared whole with the
// catalogue written out below: every parameter with its type, tooltip and attributes (value, type
// tag and order), every list item and the value the host reports for it, the panel tree, the
// "PrivateData" default record, input, output, colour models and the effect's own attributes.
// The module is loaded through the real host; none of its code is linked in. Only its UID
// constants are shared.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "definitions/Catalogue.h"
#include "loading/Instrumentation.h"
#include "definition/PluginIds.h"
#include "loading/PluginModule.h"
#include "text/Text.h"

using namespace zel::host;
namespace ids = zel2clock;

namespace {

PluginModule& Module() {
  static PluginModule module(ZEL_TEST_PLUGIN);
  return module;
}

// --- the expected catalogue ----------------------------------------------------------------------

/// One attribute as the host must have received it: UID, type tag and the exact bytes (text as
/// UTF-16 without its terminator).
struct Attr {
  VOKUID id;
  VOKUID type;
  std::vector<std::uint8_t> bytes;
  std::u16string text;
  bool isText = false;
};

template <class T>
Attr Raw(const VOKUID& id, const VOKUID& type, const T& value) {
  Attr a{id, type, std::vector<std::uint8_t>(sizeof(T)), {}, false};
  std::memcpy(a.bytes.data(), &value, sizeof(T));
  return a;
}
Attr I32(const VOKUID& id, std::int32_t v) { return Raw(id, VOKTypeID_Integer, v); }
Attr S32(const VOKUID& id, std::int32_t v) { return Raw(id, VOKTypeID_SignedInteger, v); }
Attr F64(const VOKUID& id, double v) { return Raw(id, VOKTypeID_Double, v); }
Attr Bool(const VOKUID& id, std::uint32_t v) { return Raw(id, VOKTypeID_Boolean, v); }
Attr Rgb(const VOKUID& id, double r, double g, double b) {
  const double triple[3] = {r, g, b};
  return Raw(id, VOKTypeID_RGB, triple);
}
Attr Text(const VOKUID& id, const VOKUID& type, std::u16string text) { return {id, type, {}, std::move(text), true}; }

const VOKUID& kDef = ZELAttr_Default;
const VOKUID& kMin = ZELAttr_Minimum;
const VOKUID& kMax = ZELAttr_Maximum;
const VOKUID& kInc = ZELAttr_Increment;
const VOKUID& kRemap = ZELAttr_UIRemap;

/// Integer-tagged default, minimum, maximum, increment and (when given) UI remap.
std::vector<Attr> IntRange(std::int32_t def, std::int32_t min, std::int32_t max, std::int32_t inc,
                           std::optional<std::int32_t> remap = std::nullopt) {
  std::vector<Attr> a = {I32(kDef, def), I32(kMin, min), I32(kMax, max), I32(kInc, inc)};
  if (remap) a.push_back(I32(kRemap, *remap));
  return a;
}

/// The "PrivateData" default: a 92-byte font record, zero but for the height -32 (bytes 0..3,
/// little-endian) and the character set 1 (byte 23).
std::vector<std::uint8_t> DefaultFontRecord() {
  std::vector<std::uint8_t> bytes(92, 0);
  bytes[0] = 0xE0;
  bytes[1] = bytes[2] = bytes[3] = 0xFF;
  bytes[23] = 1;
  return bytes;
}

struct ExpectedParameter {
  VOKUID uid;
  std::u16string name, tooltip;
  VOKUID type;
  std::vector<Attr> attributes;
  std::vector<int> components;  ///< 1-based catalogue numbers, red, green, blue
};

const std::vector<ExpectedParameter>& ExpectedParameters() {
  static const std::vector<ExpectedParameter> rows = {
      {ids::kParamAlignmentList, u"Alignment List", u"Alignment List", VOKTypeID_Integer, {}, {}},
      {ids::kParamForegroundRed, u"Foreground Red", u"Adjust Foreground Red Channel", VOKTypeID_Double,
       IntRange(128, 0, 255, 1, 1), {}},
      {ids::kParamForegroundGreen, u"Foreground Green", u"Adjust Foreground Green Channel", VOKTypeID_Double,
       IntRange(128, 0, 255, 1, 1), {}},
      {ids::kParamForegroundBlue, u"Foreground Blue", u"Adjust Foreground Blue Channel", VOKTypeID_Double,
       IntRange(128, 0, 255, 1, 1), {}},
      {ids::kParamForegroundRGB, u"Foreground RGB Color", u"Adjust Foreground RGB Color", VOKTypeID_RGB, {}, {2, 3, 4}},
      {ids::kParamForegroundOpacity, u"Foreground Opacity", u"Adjust Foreground Opacity", VOKTypeID_Double,
       IntRange(100, 0, 100, 1, 1), {}},
      {ids::kParamBackgroundRed, u"Background Red", u"Adjust Background Red Channel", VOKTypeID_Double,
       IntRange(50, 0, 255, 1, 1), {}},
      {ids::kParamBackgroundGreen, u"Background Green", u"Adjust Background Green Channel", VOKTypeID_Double,
       IntRange(50, 0, 255, 1, 1), {}},
      {ids::kParamBackgroundBlue, u"Background Blue", u"Adjust Background Blue Channel", VOKTypeID_Double,
       IntRange(50, 0, 255, 1, 1), {}},
      {ids::kParamBackgroundRGB, u"Background RGB Color", u"Adjust Background RGB Color", VOKTypeID_RGB, {}, {7, 8, 9}},
      {ids::kParamBackgroundOpacity, u"Background Opacity", u"Background Opacity", VOKTypeID_Double,
       IntRange(100, 0, 100, 1, 1), {}},
      {ids::kParamClockType, u"the List value", u"list value", VOKTypeID_Integer, {}, {}},
      {ids::kParamX, u"X", u"Adjust X", VOKTypeID_Double,
       {F64(kDef, 50.0), F64(kMin, 0.0), F64(kMax, 100.0), F64(kInc, 0.05)}, {}},
      {ids::kParamY, u"Y", u"Adjust Y", VOKTypeID_Double,
       {F64(kDef, 50.0), F64(kMin, 0.0), F64(kMax, 100.0), F64(kInc, 0.05)}, {}},
      {ids::kParamSize, u"Size", u"Adjust Size", VOKTypeID_Double,
       {F64(kDef, 50.0), F64(kMin, 0.0), F64(kMax, 100.0), F64(kInc, 0.05)}, {}},
      {ids::kParamTimeSpeedFactor, u"Time Speed Factor",
       u"Set Time Speed Factor (negative = divide, positive = multiply", VOKTypeID_SignedInteger,
       {S32(kDef, 1), S32(kMin, -500), S32(kMax, 500), S32(kInc, 1)}, {}},
      {ids::kParamStartHour, u"Start Time Hour", u"Set Start Time Hour", VOKTypeID_Integer, IntRange(0, 0, 23, 1), {}},
      {ids::kParamStartMinute, u"Start Time Minute", u"Set Start Time Minute", VOKTypeID_Integer,
       IntRange(0, 0, 59, 1), {}},
      {ids::kParamStartSecond, u"Start Time Second", u"Set Start Time Second", VOKTypeID_Integer,
       IntRange(0, 0, 59, 1), {}},
      {ids::kParamStartMillisecond, u"Start Time Millsecond", u"Set Start Time Millisecond", VOKTypeID_Integer,
       IntRange(0, 0, 999, 1), {}},
      {ids::kParamStartFrame, u"Start Time Frame", u"Set Start Time Frame", VOKTypeID_Integer, IntRange(0, 0, 59, 1), {}},
      {ids::kParamStartDay, u"Start Time Day", u"Set Start Time Day", VOKTypeID_Integer, IntRange(1, 1, 31, 1), {}},
      {ids::kParamStartMonth, u"Start Time Month", u"Set Start Time Month", VOKTypeID_Integer, IntRange(1, 1, 12, 1), {}},
      {ids::kParamStartYear, u"Start Time Year", u"Set Start Time Year", VOKTypeID_Integer,
       IntRange(2010, 1970, 2099, 1), {}},
      {ids::kParamStopHour, u"Stop Time Hour", u"Set Stop Time Hour", VOKTypeID_Integer, IntRange(0, 0, 23, 1), {}},
      {ids::kParamStopMinute, u"Stop Time Minute", u"Set Stop Time Minute", VOKTypeID_Integer, IntRange(0, 0, 59, 1), {}},
      {ids::kParamStopSecond, u"Stop Time Second", u"Set Stop Time Second", VOKTypeID_Integer, IntRange(0, 0, 59, 1), {}},
      {ids::kParamStopMillisecond, u"Stop Time Millsecond", u"Set Stop Time Millisecond", VOKTypeID_Integer,
       IntRange(0, 0, 999, 1), {}},
      {ids::kParamStopFrame, u"Stop Time Frame", u"Set Stop Time Frame", VOKTypeID_Integer, IntRange(0, 0, 59, 1), {}},
      {ids::kParamCountDown, u"Count Down", u"Set Count Down", VOKTypeID_Boolean, {Bool(kDef, 0)}, {}},
      {ids::kParamTimerStyle, u"Style List", u"Style List", VOKTypeID_Integer, {}, {}},
      {ids::kParamStartTimeText, u"Start Time", u"Start Time text", VOKTypeID_Text,
       {Text(kDef, VOKTypeID_Text, u"")}, {}},
      {ids::kParamPrivateData, u"PrivateData", u"PrivateData parameter", VOKTypeID_ByteArray,
       {Attr{kDef, VOKTypeID_ByteArray, DefaultFontRecord(), {}, false}}, {}},
  };
  return rows;
}

/// One panel entry; `parameter` is the 1-based catalogue number (0: none); a null name or tooltip
/// is an unnamed entry; no kind is a group.
struct ExpectedEntry {
  VOKUID uid;
  const char16_t* name;
  const char16_t* tooltip;
  std::optional<VOKUID> kind;
  int parameter;
  std::vector<Attr> attributes;
  std::vector<ExpectedEntry> children;
  std::optional<std::int32_t> reported;  ///< a list item's reported value
};

ExpectedEntry Group(const VOKUID& uid, const char16_t* name, const char16_t* tooltip,
                    std::vector<ExpectedEntry> children) {
  return {uid, name, tooltip, std::nullopt, 0, {}, std::move(children), std::nullopt};
}
ExpectedEntry Control(const VOKUID& uid, int parameter, const char16_t* name = nullptr,
                      const char16_t* tooltip = nullptr) {
  return {uid, name, tooltip, ZELLayout_Parameter, parameter, {}, {}, std::nullopt};
}
ExpectedEntry Item(const VOKUID& uid, const char16_t* name, std::optional<std::int32_t> value) {
  std::vector<Attr> attributes;
  if (value) attributes.push_back(I32(kDef, *value));
  return {uid, name, name, ZELLayout_ListItem, 0, std::move(attributes), {}, value.value_or(0)};
}
ExpectedEntry ListBox(const VOKUID& uid, const char16_t* name, int parameter, std::vector<ExpectedEntry> items) {
  return {uid, name, name, ZELLayout_ListBox, parameter, {}, std::move(items), std::nullopt};
}

const std::vector<ExpectedEntry>& ExpectedPanel() {
  static const std::vector<ExpectedEntry> top = [] {
    const auto& a = ids::kLayoutAlignmentItems;
    const auto& c = ids::kLayoutClockTypeItems;
    const auto& t = ids::kLayoutTimerStyleItems;
    std::vector<ExpectedEntry> panel;
    panel.push_back(Group(ids::kLayoutGroupDigitalClockAlignment, u"Digital Clock Alignment", u"Digital Clock Alignment",
                          {ListBox(ids::kLayoutListAlignment, u"Alignment", 1,
                                   {Item(a[0], u"Left Alignment", 2), Item(a[1], u"Center", 1),
                                    Item(a[2], u"Right Alignment", std::nullopt)})}));
    panel.push_back(ListBox(ids::kLayoutListClockType, u"Clock Type List", 12,
                            {Item(c[0], u"Analog Clock", 0), Item(c[1], u"Digital Clock", 1),
                             Item(c[2], u"LED clock", 2)}));
    panel.push_back(Group(ids::kLayoutGroupPositionSize, u"Position/Size", u"Determine Position and Size",
                          {Control(ids::kLayoutControlX, 13), Control(ids::kLayoutControlY, 14),
                           Control(ids::kLayoutControlSize, 15)}));
    panel.push_back(Group(
        ids::kLayoutGroupTime, u"Time", u"Set Time",
        {Group(ids::kLayoutGroupStartTime, u"Start Time", u"Set Start Time",
               {Control(ids::kLayoutControlStartHour, 17), Control(ids::kLayoutControlStartMinute, 18),
                Control(ids::kLayoutControlStartSecond, 19), Control(ids::kLayoutControlStartMillisecond, 20),
                Control(ids::kLayoutControlStartFrame, 21), Control(ids::kLayoutControlStartDay, 22),
                Control(ids::kLayoutControlStartMonth, 23), Control(ids::kLayoutControlStartYear, 24)}),
         Group(ids::kLayoutGroupStopTime, u"Stop Time", u"Set Stop Time",
               {Control(ids::kLayoutControlStopHour, 25), Control(ids::kLayoutControlStopMinute, 26),
                Control(ids::kLayoutControlStopSecond, 27), Control(ids::kLayoutControlStopMillisecond, 28),
                Control(ids::kLayoutControlStopFrame, 29)}),
         ExpectedEntry{ids::kLayoutCheckCountDown, nullptr, nullptr, ZELLayout_CheckBox, 30, {}, {}, std::nullopt},
         Control(ids::kLayoutControlTimeSpeedFactor, 16)}));
    ExpectedEntry foreground{ids::kLayoutColorForeground, u"Foreground Color(RGB)", u"Foreground layout def",
                             ZELLayout_Color, 5,
                             {Rgb(kDef, 0, 0, 0), Rgb(kMin, 0, 0, 0), Rgb(kMax, 255, 255, 255), Rgb(kRemap, 1, 1, 1),
                              Rgb(kInc, 1, 1, 1)},
                             {Control(ids::kLayoutControlForegroundRed, 2, u"Foreground Red", u"Foreground layout red"),
                              Control(ids::kLayoutControlForegroundGreen, 3, u"Foreground Green",
                                      u"Foreground layout green"),
                              Control(ids::kLayoutControlForegroundBlue, 4, u"Foreground Blue",
                                      u"Foreground layout blue")},
                             std::nullopt};
    ExpectedEntry background{ids::kLayoutColorBackground, u"Background Color(RGB)", u"Background layout def",
                             ZELLayout_Color, 10,
                             {Rgb(kDef, 255, 255, 255), Rgb(kMin, 0, 0, 0), Rgb(kMax, 255, 255, 255),
                              Rgb(kInc, 1, 1, 1)},
                             {Control(ids::kLayoutControlBackgroundRed, 7, u"Background Red", u"Background layout red"),
                              Control(ids::kLayoutControlBackgroundGreen, 8, u"Background Green",
                                      u"Background layout green"),
                              Control(ids::kLayoutControlBackgroundBlue, 9, u"Background Blue",
                                      u"Background layout blue")},
                             std::nullopt};
    panel.push_back(Group(ids::kLayoutGroupColors, u"Colors", u"Set Fore- and Background Color",
                          {foreground,
                           Control(ids::kLayoutControlForegroundOpacity, 6, u"Foreground Opacity",
                                   u"Foreground Opacity"),
                           background,
                           Control(ids::kLayoutControlBackgroundOpacity, 11, u"Background Opacity",
                                   u"Background Opacity")}));
    const char16_t* styles[15] = {u"hh:mm:ss.fff",       u"hh:mm:ss.ff",       u"hh:mm:ss.f",    u"hh:mm:ss",
                                  u"hh:mm",              u"mm:ss",             u"mm",            u"mm:ss.f",
                                  u"ss.f",               u"TC hh:mm:ss:ff",    u"dd.mm.yy hh:mm:ss",
                                  u"mm/dd/yy hh:mm:ss",  u"Free Format",       u"Frame Counter",
                                  u"Frame Counter with Field"};
    std::vector<ExpectedEntry> styleItems;
    for (int i = 0; i < 15; ++i) styleItems.push_back(Item(t[i], styles[i], i + 1));
    panel.push_back(Group(ids::kLayoutGroupTimerStyle, u"Timer Style", u"Set Timerstyle",
                          {ListBox(ids::kLayoutListTimerStyle, u"Timer Style", 31, std::move(styleItems)),
                           ExpectedEntry{ids::kLayoutTextStartTime, u"Start Time", u"Start Time", ZELLayout_TextField,
                                         32, {}, {}, std::nullopt}}));
    return panel;
  }();
  return top;
}

// --- comparing ------------------------------------------------------------------------------------

std::string Name(const std::u16string& text) { return ToUtf8(text); }

void ExpectAttributes(const AttributeList& actual, const std::vector<Attr>& expected) {
  ASSERT_EQ(actual.All().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("attribute " + std::to_string(i));
    const Attribute& a = actual.All()[i];
    EXPECT_TRUE(a.id == expected[i].id) << UidText(a.id);
    EXPECT_TRUE(a.type == expected[i].type) << UidText(a.type);
    EXPECT_EQ(a.isText, expected[i].isText);
    if (expected[i].isText) {
      EXPECT_EQ(Name(a.text), Name(expected[i].text));
    } else {
      EXPECT_EQ(a.bytes, expected[i].bytes);
    }
  }
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_host = MakeHostObject<HostUnknown>();
    IVOKUnknown* def = nullptr;
    ASSERT_EQ(Module().RegisterComponent(m_host->Unknown(), 0, &def), VOK_OK);
    m_effect.Attach(dynamic_cast<ComponentDefinition*>(def));
    ASSERT_TRUE(m_effect);
    m_parameters = m_effect->Parameters();
  }

  /// The catalogue number (1-based) of `p` among the registered parameters, or 0.
  int NumberOf(const ParameterDefinition* p) const {
    for (std::size_t i = 0; i < m_parameters.size(); ++i)
      if (m_parameters[i] == p) return static_cast<int>(i) + 1;
    return 0;
  }

  void ExpectEntry(const LayoutDefinition& actual, const ExpectedEntry& expected) {
    SCOPED_TRACE(expected.name ? Name(expected.name) : "unnamed entry for parameter " +
                                                          std::to_string(expected.parameter));
    EXPECT_TRUE(actual.initialised);
    EXPECT_TRUE(actual.uid == expected.uid) << UidText(actual.uid);
    EXPECT_EQ(actual.name.has_value(), expected.name != nullptr);
    if (expected.name && actual.name) {
      EXPECT_EQ(Name(*actual.name), Name(expected.name));
    }
    EXPECT_EQ(actual.tooltip.has_value(), expected.tooltip != nullptr);
    if (expected.tooltip && actual.tooltip) {
      EXPECT_EQ(Name(*actual.tooltip), Name(expected.tooltip));
    }
    EXPECT_EQ(actual.kind.has_value(), expected.kind.has_value());
    if (actual.kind && expected.kind) {
      EXPECT_TRUE(*actual.kind == *expected.kind) << UidText(*actual.kind);
    }
    EXPECT_EQ(NumberOf(actual.parameter.Get()), expected.parameter);
    ExpectAttributes(actual.attributes, expected.attributes);
    ASSERT_EQ(actual.children.size(), expected.children.size());
    for (std::size_t i = 0; i < expected.children.size(); ++i) ExpectEntry(*actual.children[i].Get(), expected.children[i]);
  }

  VOKPtr<HostUnknown> m_host;
  VOKPtr<ComponentDefinition> m_effect;
  std::vector<ParameterDefinition*> m_parameters;
};

}  // namespace

// --- the whole definition as the host received it ---------------------------------------------------

TEST_F(CatalogueTest, TheEffectsIdentityAttributesAndPorts) {
  const ComponentDefinition& e = *m_effect.Get();
  EXPECT_TRUE(e.isEffect);
  EXPECT_TRUE(e.uid == ids::kComponentEffect);
  EXPECT_TRUE(e.kind == ZELKind_Effect);
  EXPECT_TRUE(e.classUid == ids::kClassEffect);
  EXPECT_EQ(e.versionMajor, 1u);
  EXPECT_EQ(e.versionMinor, 0u);
  EXPECT_EQ(Name(e.name), "ZEL2Clock");
  ExpectAttributes(e.attributes, {Text(ZELAttr_EffectText, VOKTypeID_String, u"ZEL2Vorbek"),
                                  Raw(ZELAttr_OverlayLink, VOKTypeID_UID, ids::kComponentOverlay),
                                  Raw(ZELAttr_ModalUILink, VOKTypeID_UID, ids::kComponentModalUI),
                                  Bool(ZELAttr_Real, 1),
                                  Raw(ZELAttr_UpdateParamsLink, VOKTypeID_UID, ids::kComponentUpdateParams)});
  ASSERT_EQ(e.inputs.size(), 1u);
  EXPECT_TRUE(e.inputs[0].uid == ids::kInputUid);
  EXPECT_EQ(Name(e.inputs[0].name), "Input");
  ASSERT_EQ(e.outputs.size(), 1u);
  EXPECT_TRUE(e.outputs[0].uid == ids::kOutputUid);
  EXPECT_EQ(Name(e.outputs[0].name), "Output");
  const std::pair<int, int> models[] = {{4, 1}, {3, 1}, {2, 1}};
  ASSERT_EQ(e.colorModels.size(), std::size(models));
  for (std::size_t i = 0; i < std::size(models); ++i) {
    EXPECT_EQ(e.colorModels[i].model, models[i].first);
    EXPECT_EQ(e.colorModels[i].flags, models[i].second);
  }
}

TEST_F(CatalogueTest, EveryParameterWithItsTypeTooltipAndAttributes) {
  const auto& expected = ExpectedParameters();
  ASSERT_EQ(expected.size(), 33u);
  ASSERT_EQ(m_parameters.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("parameter " + std::to_string(i + 1) + " " + Name(expected[i].name));
    const ParameterDefinition& p = *m_parameters[i];
    EXPECT_TRUE(p.initialised);
    EXPECT_TRUE(p.uid == expected[i].uid) << UidText(p.uid);
    EXPECT_EQ(Name(p.name), Name(expected[i].name));
    EXPECT_EQ(Name(p.tooltip), Name(expected[i].tooltip));
    EXPECT_TRUE(p.type == expected[i].type) << UidText(p.type);
    EXPECT_EQ(p.flags, 0u);
    EXPECT_EQ(p.reserved, 0u);
    std::vector<int> components;
    for (const auto& c : p.components) components.push_back(NumberOf(c.Get()));
    EXPECT_EQ(components, expected[i].components);
    ExpectAttributes(p.attributes, expected[i].attributes);
  }
}

TEST_F(CatalogueTest, ThePanelTreeEntryByEntry) {
  const auto& expected = ExpectedPanel();
  ASSERT_EQ(m_effect->layouts.size(), 6u);
  for (std::size_t i = 0; i < expected.size(); ++i) ExpectEntry(*m_effect->layouts[i].Get(), expected[i]);
  // Only "PrivateData" is added on its own; every other parameter has a panel entry.
  ASSERT_EQ(m_effect->extraParameters.size(), 1u);
  EXPECT_EQ(NumberOf(m_effect->extraParameters[0].Get()), 33);
}

// --- what the host offers its users ---------------------------------------------------------------------

TEST_F(CatalogueTest, TheSixTopLevelEntriesInPanelOrder) {
  const Catalogue catalogue(*m_effect.Get());
  const char* const names[] = {"Digital Clock Alignment", "Clock Type List", "Position/Size", "Time", "Colors",
                               "Timer Style"};
  const LayoutKind kinds[] = {LayoutKind::Group, LayoutKind::ListBox, LayoutKind::Group,
                              LayoutKind::Group, LayoutKind::Group,   LayoutKind::Group};
  ASSERT_EQ(catalogue.Layout().size(), std::size(names));
  for (std::size_t i = 0; i < std::size(names); ++i) {
    EXPECT_EQ(catalogue.Layout()[i].name.value_or("?"), names[i]);
    EXPECT_EQ(catalogue.Layout()[i].kind, kinds[i]);
  }
}

TEST_F(CatalogueTest, ListItemsReportTheirValues) {
  const Catalogue catalogue(*m_effect.Get());
  struct Case {
    const char* list;
    std::vector<std::pair<const char*, std::int32_t>> items;
  };
  const Case cases[] = {
      {"Alignment List", {{"Left Alignment", 2}, {"Center", 1}, {"Right Alignment", 0}}},
      {"the List value", {{"Analog Clock", 0}, {"Digital Clock", 1}, {"LED clock", 2}}},
      {"Style List",
       {{"hh:mm:ss.fff", 1}, {"hh:mm:ss.ff", 2}, {"hh:mm:ss.f", 3}, {"hh:mm:ss", 4}, {"hh:mm", 5}, {"mm:ss", 6},
        {"mm", 7}, {"mm:ss.f", 8}, {"ss.f", 9}, {"TC hh:mm:ss:ff", 10}, {"dd.mm.yy hh:mm:ss", 11},
        {"mm/dd/yy hh:mm:ss", 12}, {"Free Format", 13}, {"Frame Counter", 14}, {"Frame Counter with Field", 15}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    const ParameterInfo* p = catalogue.FindByName(c.list);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isList);
    // List parameters carry no default of their own.
    EXPECT_EQ(p->attributes.Get(AttributeRole::Default), nullptr);
    ASSERT_EQ(p->items.size(), c.items.size());
    for (std::size_t i = 0; i < c.items.size(); ++i) {
      EXPECT_EQ(p->items[i].name, c.items[i].first);
      EXPECT_EQ(p->items[i].value, c.items[i].second);
    }
  }
  const ParameterInfo* alignment = catalogue.FindByName("Alignment List");
  ASSERT_NE(alignment, nullptr);
  EXPECT_FALSE(alignment->FindItem("Right Alignment")->hasValue);
  EXPECT_EQ(alignment->FindItemByValue(0)->name, "Right Alignment");
}

TEST_F(CatalogueTest, ParametersAreFoundByUidAndByName) {
  const Catalogue catalogue(*m_effect.Get());
  const auto& expected = ExpectedParameters();
  ASSERT_EQ(catalogue.Parameters().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(Name(expected[i].name));
    const ParameterInfo* byUid = catalogue.Find(expected[i].uid);
    ASSERT_NE(byUid, nullptr);
    EXPECT_EQ(byUid->index, i);
    EXPECT_EQ(catalogue.FindByName(Name(expected[i].name)), byUid);
    // Every parameter but "PrivateData" is shown by a panel entry.
    EXPECT_EQ(byUid->entry == nullptr, expected[i].uid == ids::kParamPrivateData);
  }
  // A list parameter also answers to the name of its list box.
  const struct {
    const char* box;
    const char* parameter;
  } aliases[] = {{"Clock Type List", "the List value"}, {"Alignment", "Alignment List"}, {"Timer Style", "Style List"}};
  for (const auto& a : aliases) {
    const ParameterInfo* p = catalogue.FindByName(a.box);
    ASSERT_NE(p, nullptr) << a.box;
    EXPECT_EQ(p->name, a.parameter);
  }
  // A display name wins over a panel entry of the same name: "Start Time" is the text parameter.
  EXPECT_EQ(catalogue.FindByName("Start Time")->kind, ValueKind::Text);
  EXPECT_EQ(catalogue.FindByName("No Such Parameter"), nullptr);
}

TEST_F(CatalogueTest, ChannelRangesAreReadAsTaggedWhileTheParameterIsDouble) {
  const Catalogue catalogue(*m_effect.Get());
  struct Case {
    const char* name;
    ValueKind declared, tagged;
    double def, min, max;
  };
  const Case cases[] = {
      {"Foreground Red", ValueKind::Double, ValueKind::Integer, 128, 0, 255},
      {"Background Opacity", ValueKind::Double, ValueKind::Integer, 100, 0, 100},
      {"X", ValueKind::Double, ValueKind::Double, 50, 0, 100},
      {"Time Speed Factor", ValueKind::SignedInteger, ValueKind::SignedInteger, 1, -500, 500},
      {"Start Time Year", ValueKind::Integer, ValueKind::Integer, 2010, 1970, 2099},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParameterInfo* p = catalogue.FindByName(c.name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, c.declared);
    ASSERT_TRUE(p->attributes.defaultValue && p->attributes.minimum && p->attributes.maximum);
    EXPECT_EQ(p->attributes.defaultValue->kind, c.tagged);
    EXPECT_EQ(p->attributes.defaultValue->number, c.def);
    EXPECT_EQ(p->attributes.minimum->number, c.min);
    EXPECT_EQ(p->attributes.maximum->number, c.max);
  }
  const ParameterInfo* rgb = catalogue.FindByName("Background RGB Color");
  ASSERT_NE(rgb, nullptr);
  ASSERT_EQ(rgb->components.size(), 3u);
  EXPECT_EQ(catalogue.Parameters()[rgb->components[0]].name, "Background Red");
  EXPECT_EQ(catalogue.Parameters()[rgb->components[2]].name, "Background Blue");
  const LayoutNode* colour = catalogue.FindEntry(ids::kLayoutColorBackground);
  ASSERT_NE(colour, nullptr);
  ASSERT_TRUE(colour->attributes.defaultValue.has_value());
  EXPECT_EQ(colour->attributes.defaultValue->rgb, (std::array<double, 3>{255, 255, 255}));
  EXPECT_EQ(colour->attributes.remap, std::nullopt);
}

// The alignment item "Left Alignment" is made with the value 0 and given 2 only after "Right
// Alignment" exists; the host keeps the first position and the last value.
TEST_F(CatalogueTest, LeftAlignmentIsGivenTwoAfterRightAlignmentIsMade) {
  Instrumentation::Global().StartLog();
  IVOKUnknown* def = nullptr;
  ASSERT_EQ(Module().RegisterComponent(m_host->Unknown(), 0, &def), VOK_OK);
  def->Release();
  const auto log = Instrumentation::Global().TakeLog();
  std::vector<std::size_t> leftValues;
  std::size_t rightMade = 0, listMade = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i] == "LayoutDefinition.SetAttribute Left Alignment") leftValues.push_back(i);
    if (log[i] == "LayoutDefinition.InitLayout Right Alignment") rightMade = i;
    if (log[i] == "ParameterDefinition.InitParameter Alignment List") listMade = i;
  }
  ASSERT_EQ(leftValues.size(), 2u);
  EXPECT_LT(leftValues[0], rightMade);
  EXPECT_GT(leftValues[1], rightMade);
  EXPECT_LT(leftValues[1], listMade);
}

// The build order seen from the host: which parameter, entry or declaration comes when.
TEST_F(CatalogueTest, TheHostSeesTheBuildInOrder) {
  Instrumentation::Global().StartLog();
  IVOKUnknown* def = nullptr;
  ASSERT_EQ(Module().RegisterComponent(m_host->Unknown(), 0, &def), VOK_OK);
  def->Release();
  const auto log = Instrumentation::Global().TakeLog();
  auto at = [&](const std::string& line) {
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log[i] == line) return static_cast<long>(i);
    ADD_FAILURE() << "no call " << line;
    return -1L;
  };
  // Each line must come after the one before it.
  const char* const order[] = {
      "EffectDefinition.InitComponent",
      "LayoutDefinition.InitLayout Left Alignment",
      "ParameterDefinition.InitParameter Alignment List",
      "LayoutDefinition.InitLayout Digital Clock Alignment",
      "EffectDefinition.AddLayout",
      "ParameterDefinition.InitParameter Foreground Red",
      "ParameterDefinition.InitParameter Foreground Opacity",
      "LayoutDefinition.InitLayout Foreground Red",
      "LayoutDefinition.InitLayout Foreground Color(RGB)",
      "LayoutDefinition.InitLayout Foreground Opacity",
      "ParameterDefinition.InitParameter Background Red",
      "LayoutDefinition.InitLayout Analog Clock",
      "ParameterDefinition.InitParameter the List value",
      "LayoutDefinition.InitLayout Clock Type List",
      "ParameterDefinition.InitParameter X",
      "LayoutDefinition.InitLayout Position/Size",
      "ParameterDefinition.InitParameter Time Speed Factor",
      "ParameterDefinition.InitParameter Count Down",
      "LayoutDefinition.InitLayout Time",
      "LayoutDefinition.InitLayout hh:mm:ss.fff",
      "ParameterDefinition.InitParameter Style List",
      "LayoutDefinition.InitLayout Colors",
      "ParameterDefinition.InitParameter Start Time",
      "EffectDefinition.DeclareInput",
      "EffectDefinition.DeclareOutput",
      "EffectDefinition.DeclareColorModel",
      "ParameterDefinition.InitParameter PrivateData",
      "EffectDefinition.AddParameter",
  };
  long previous = -1;
  for (const char* line : order) {
    SCOPED_TRACE(line);
    const long now = at(line);
    EXPECT_GT(now, previous);
    previous = now;
  }
}
