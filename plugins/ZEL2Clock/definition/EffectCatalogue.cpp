// The effect definition (component index 0): the 33 parameters (described in Parameters.h), the
// list items, the panel tree, input, output, colour models and the companion links. The content
// lives in tables; BuildEffectDefinition walks them in the order the definition is registered,
// which is also the order in which the host sees parameters made and attributes set.
#include <array>
#include <cstddef>
#include <span>

#include "drawing/DigitalClock.h"
#include "definition/Parameters.h"
#include "definition/PluginIds.h"
#include "definition/Registration.h"
#include "VOKPtr.h"
#include "VOKResult.h"
#include "ZELRender.h"

namespace zel2clock {
namespace {

// --- list items ---------------------------------------------------------------------------------

/// A list item: name and tooltip are the same text; the value is what the host reports when the
/// item is chosen.
struct ItemRow {
  VOKUID uid;
  const VOKCHAR* name;
  bool hasValue;
  std::int32_t value;
};

// "Right Alignment" carries no value, so choosing it reports 0 (kDigitalAlignRight); "Left
// Alignment" is made with 0 and set to kDigitalAlignLeft once all three exist (see the build).
constexpr ItemRow kAlignmentItems[] = {
    {kLayoutAlignmentItems[0], u"Left Alignment", true, 0},
    {kLayoutAlignmentItems[1], u"Center", true, kDigitalAlignCenter},
    {kLayoutAlignmentItems[2], u"Right Alignment", false, 0},
};
static_assert(kDigitalAlignRight == 0);
constexpr std::int32_t kLeftAlignmentValue = kDigitalAlignLeft;

constexpr ItemRow Clock(const VOKUID& uid, const VOKCHAR* name, ClockType type) {
  return {uid, name, true, static_cast<std::int32_t>(type)};
}
constexpr ItemRow kClockTypeItems[] = {
    Clock(kLayoutClockTypeItems[0], u"Analog Clock", ClockType::Analog),
    Clock(kLayoutClockTypeItems[1], u"Digital Clock", ClockType::Digital),
    Clock(kLayoutClockTypeItems[2], u"LED clock", ClockType::Led),
};

constexpr ItemRow Style(const VOKUID& uid, const VOKCHAR* name, TimerStyle style) {
  return {uid, name, true, static_cast<std::int32_t>(style)};
}
constexpr ItemRow kTimerStyleItems[] = {
    Style(kLayoutTimerStyleItems[0], u"hh:mm:ss.fff", TimerStyle::HmsMillis),
    Style(kLayoutTimerStyleItems[1], u"hh:mm:ss.ff", TimerStyle::HmsHundredths),
    Style(kLayoutTimerStyleItems[2], u"hh:mm:ss.f", TimerStyle::HmsTenths),
    Style(kLayoutTimerStyleItems[3], u"hh:mm:ss", TimerStyle::Hms),
    Style(kLayoutTimerStyleItems[4], u"hh:mm", TimerStyle::Hm),
    Style(kLayoutTimerStyleItems[5], u"mm:ss", TimerStyle::MinSec),
    Style(kLayoutTimerStyleItems[6], u"mm", TimerStyle::Min),
    Style(kLayoutTimerStyleItems[7], u"mm:ss.f", TimerStyle::MinSecTenths),
    Style(kLayoutTimerStyleItems[8], u"ss.f", TimerStyle::SecTenths),
    Style(kLayoutTimerStyleItems[9], u"TC hh:mm:ss:ff", TimerStyle::TimeCode),
    Style(kLayoutTimerStyleItems[10], u"dd.mm.yy hh:mm:ss", TimerStyle::DayMonthYear),
    Style(kLayoutTimerStyleItems[11], u"mm/dd/yy hh:mm:ss", TimerStyle::MonthDayYear),
    Style(kLayoutTimerStyleItems[12], u"Free Format", TimerStyle::FreeFormat),
    Style(kLayoutTimerStyleItems[13], u"Frame Counter", TimerStyle::FrameCounter),
    Style(kLayoutTimerStyleItems[14], u"Frame Counter with Field", TimerStyle::FrameField),
};
static_assert(std::size(kAlignmentItems) == 3 && std::size(kClockTypeItems) == 3 && std::size(kTimerStyleItems) == 15);

// --- panel entries ------------------------------------------------------------------------------

enum class Kind { Group, Control, CheckBox, ListBox, Colour, TextField };

/// Panel entry indices, in the order of kEntries.
namespace entry {
enum : std::size_t {
  DigitalClockAlignment, Alignment,
  ForegroundRed, ForegroundGreen, ForegroundBlue, ForegroundColor, ForegroundOpacity,
  BackgroundRed, BackgroundGreen, BackgroundBlue, BackgroundColor, BackgroundOpacity,
  ClockType,
  PositionSize, X, Y, Size,
  Time, StartTime, StartHour, StartMinute, StartSecond, StartMillisecond, StartFrame, StartDay, StartMonth,
  StartYear, StopTime, StopHour, StopMinute, StopSecond, StopMillisecond, StopFrame, CountDown, TimeSpeedFactor,
  Colors, TimerStyleGroup, TimerStyleList, StartTimeText,
  Count,
  Top = Count  ///< parent of the top-level entries
};
}  // namespace entry

constexpr std::size_t kNoParameter = param::Count;

/// One panel entry (list items are in the item tables). Children are the rows naming it as their
/// parent, in table order.
struct EntryRow {
  VOKUID uid;
  const VOKCHAR* name;     ///< null: unnamed
  const VOKCHAR* tooltip;  ///< null: unnamed
  Kind kind;
  std::size_t parameter;   ///< index into kParameters, or kNoParameter
  std::size_t parent;      ///< index into kEntries, or entry::Top
  std::span<const ItemRow> items{};  ///< a list box's items
};

constexpr EntryRow Unnamed(const VOKUID& uid, std::size_t parameter, std::size_t parent) {
  return {uid, nullptr, nullptr, Kind::Control, parameter, parent};
}

constexpr EntryRow kEntries[] = {
    {kLayoutGroupDigitalClockAlignment, u"Digital Clock Alignment", u"Digital Clock Alignment", Kind::Group,
     kNoParameter, entry::Top},
    {kLayoutListAlignment, u"Alignment", u"Alignment", Kind::ListBox, param::AlignmentList,
     entry::DigitalClockAlignment, kAlignmentItems},
    {kLayoutControlForegroundRed, u"Foreground Red", u"Foreground layout red", Kind::Control, param::ForegroundRed,
     entry::ForegroundColor},
    {kLayoutControlForegroundGreen, u"Foreground Green", u"Foreground layout green", Kind::Control,
     param::ForegroundGreen, entry::ForegroundColor},
    {kLayoutControlForegroundBlue, u"Foreground Blue", u"Foreground layout blue", Kind::Control, param::ForegroundBlue,
     entry::ForegroundColor},
    {kLayoutColorForeground, u"Foreground Color(RGB)", u"Foreground layout def", Kind::Colour, param::ForegroundRGB,
     entry::Colors},
    {kLayoutControlForegroundOpacity, u"Foreground Opacity", u"Foreground Opacity", Kind::Control,
     param::ForegroundOpacity, entry::Colors},
    {kLayoutControlBackgroundRed, u"Background Red", u"Background layout red", Kind::Control, param::BackgroundRed,
     entry::BackgroundColor},
    {kLayoutControlBackgroundGreen, u"Background Green", u"Background layout green", Kind::Control,
     param::BackgroundGreen, entry::BackgroundColor},
    {kLayoutControlBackgroundBlue, u"Background Blue", u"Background layout blue", Kind::Control, param::BackgroundBlue,
     entry::BackgroundColor},
    {kLayoutColorBackground, u"Background Color(RGB)", u"Background layout def", Kind::Colour, param::BackgroundRGB,
     entry::Colors},
    {kLayoutControlBackgroundOpacity, u"Background Opacity", u"Background Opacity", Kind::Control,
     param::BackgroundOpacity, entry::Colors},
    {kLayoutListClockType, u"Clock Type List", u"Clock Type List", Kind::ListBox, param::ClockType, entry::Top,
     kClockTypeItems},
    {kLayoutGroupPositionSize, u"Position/Size", u"Determine Position and Size", Kind::Group, kNoParameter,
     entry::Top},
    Unnamed(kLayoutControlX, param::X, entry::PositionSize),
    Unnamed(kLayoutControlY, param::Y, entry::PositionSize),
    Unnamed(kLayoutControlSize, param::Size, entry::PositionSize),
    {kLayoutGroupTime, u"Time", u"Set Time", Kind::Group, kNoParameter, entry::Top},
    {kLayoutGroupStartTime, u"Start Time", u"Set Start Time", Kind::Group, kNoParameter, entry::Time},
    Unnamed(kLayoutControlStartHour, param::StartHour, entry::StartTime),
    Unnamed(kLayoutControlStartMinute, param::StartMinute, entry::StartTime),
    Unnamed(kLayoutControlStartSecond, param::StartSecond, entry::StartTime),
    Unnamed(kLayoutControlStartMillisecond, param::StartMillisecond, entry::StartTime),
    Unnamed(kLayoutControlStartFrame, param::StartFrame, entry::StartTime),
    Unnamed(kLayoutControlStartDay, param::StartDay, entry::StartTime),
    Unnamed(kLayoutControlStartMonth, param::StartMonth, entry::StartTime),
    Unnamed(kLayoutControlStartYear, param::StartYear, entry::StartTime),
    {kLayoutGroupStopTime, u"Stop Time", u"Set Stop Time", Kind::Group, kNoParameter, entry::Time},
    Unnamed(kLayoutControlStopHour, param::StopHour, entry::StopTime),
    Unnamed(kLayoutControlStopMinute, param::StopMinute, entry::StopTime),
    Unnamed(kLayoutControlStopSecond, param::StopSecond, entry::StopTime),
    Unnamed(kLayoutControlStopMillisecond, param::StopMillisecond, entry::StopTime),
    Unnamed(kLayoutControlStopFrame, param::StopFrame, entry::StopTime),
    {kLayoutCheckCountDown, nullptr, nullptr, Kind::CheckBox, param::CountDown, entry::Time},
    Unnamed(kLayoutControlTimeSpeedFactor, param::TimeSpeedFactor, entry::Time),
    {kLayoutGroupColors, u"Colors", u"Set Fore- and Background Color", Kind::Group, kNoParameter, entry::Top},
    {kLayoutGroupTimerStyle, u"Timer Style", u"Set Timerstyle", Kind::Group, kNoParameter, entry::Top},
    {kLayoutListTimerStyle, u"Timer Style", u"Timer Style", Kind::ListBox, param::TimerStyle, entry::TimerStyleGroup,
     kTimerStyleItems},
    {kLayoutTextStartTime, u"Start Time", u"Start Time", Kind::TextField, param::StartTimeText,
     entry::TimerStyleGroup},
};
static_assert(std::size(kEntries) == entry::Count);

/// Every parameter but "PrivateData" has exactly one panel entry.
constexpr bool EachParameterShownOnce() {
  for (std::size_t p = 0; p < param::Count; ++p) {
    std::size_t shown = 0;
    for (const EntryRow& e : kEntries) shown += e.parameter == p ? 1 : 0;
    if (shown != (p == param::PrivateData ? 0u : 1u)) return false;
  }
  return true;
}
static_assert(EachParameterShownOnce());

/// Only groups, list boxes and colour controls have children, and every entry reaches the top
/// through its parents: the tree has no cycle, so building a group ends.
constexpr bool IsTree() {
  for (std::size_t i = 0; i < std::size(kEntries); ++i) {
    const std::size_t parent = kEntries[i].parent;
    if (parent != entry::Top && kEntries[parent].kind != Kind::Group && kEntries[parent].kind != Kind::ListBox &&
        kEntries[parent].kind != Kind::Colour)
      return false;
    std::size_t at = i, steps = 0;
    while (at != entry::Top && steps++ <= entry::Count) at = kEntries[at].parent;
    if (at != entry::Top) return false;
  }
  return true;
}
static_assert(IsTree());

// --- colour controls ----------------------------------------------------------------------------

/// One colour block: its channel, triple and opacity parameters, its colour control with the
/// control's RGB-triple attributes (set in the order default, minimum, maximum, UI remap when
/// present, increment), and its opacity control.
struct ColourRow {
  std::size_t firstParameter, lastParameter;
  std::size_t colour, opacity;  ///< entries
  std::array<double, 3> defaultValue, minimum, maximum;
  bool hasRemap;
  std::array<double, 3> remap, increment;
};

constexpr ColourRow kColours[] = {
    {param::ForegroundRed, param::ForegroundOpacity, entry::ForegroundColor, entry::ForegroundOpacity,
     {0, 0, 0}, {0, 0, 0}, {255, 255, 255}, true, {1, 1, 1}, {1, 1, 1}},
    {param::BackgroundRed, param::BackgroundOpacity, entry::BackgroundColor, entry::BackgroundOpacity,
     {255, 255, 255}, {0, 0, 0}, {255, 255, 255}, false, {}, {1, 1, 1}},
};

// --- the builder --------------------------------------------------------------------------------

constexpr std::int32_t kColourModels[] = {ZELColorModel_YCbCr422_YUY2, ZELColorModel_YCbCr422_UYVY,
                                          ZELColorModel_RGBA};
constexpr std::int32_t kColourModelFlags = 1;  ///< 8 bits per component
constexpr std::uint32_t kBReal = 1;

/// Holds every definition made during one build. The effect definition is detached at the end;
/// everything else is released when the builder goes, on success (the host holds what was added)
/// and on a raised failure alike.
class EffectBuilder {
 public:
  explicit EffectBuilder(IZELDefinitionFactory* factory) : m_factory(factory) {}

  void Build(IVOKUnknown** ppDef);

 private:
  template <class T>
  void Create(const VOKUID& clsid, const VOKUID& iid, VOKPtr<T>& out) {
    VOKCheck(m_factory->CreateInstance(clsid, nullptr, iid, out.PutVoid()));
  }

  void MakeParameters(std::size_t first, std::size_t last);
  void MakeItems(std::span<const ItemRow> items);
  void MakeEntry(std::size_t e);
  /// Adds the already-made children of `e` (its items, or the rows naming it as parent).
  void AddChildren(std::size_t e);
  /// Makes group `e`, then makes and adds each child in turn (sub-groups the same way).
  void BuildGroup(std::size_t e);
  void SetColourRanges(const ColourRow& row);
  void SetDefaultFontRecord(IZELParameterDefinition* parameter);

  IZELDefinitionFactory* m_factory;
  VOKPtr<IZELEffectDefinition> m_effect;  // pEffectDef
  std::array<VOKPtr<IZELParameterDefinition>, param::Count> m_parameters;
  std::array<VOKPtr<IZELLayoutDefinition>, entry::Count> m_entries;
  std::array<VOKPtr<IZELLayoutDefinition>, std::size(kTimerStyleItems)> m_items;  ///< the list being made
};

void EffectBuilder::MakeParameters(std::size_t first, std::size_t last) {
  for (std::size_t i = first; i <= last; ++i) {
    const ParameterRow& row = kParameters[i];
    VOKPtr<IZELParameterDefinition>& p = m_parameters[i];
    Create(CLSID_ZELParameterDefinition, IID_IZELParameterDefinition, p);
    std::array<IZELParameterDefinition*, 3> channels{};
    for (std::uint32_t c = 0; c < row.channelCount; ++c) channels[c] = m_parameters[row.channels[c]].Get();
    VOKCheck(p->InitParameter(row.uid, row.name, row.tooltip, *row.type, 0, 0, row.channelCount,
                              row.channelCount ? channels.data() : nullptr));
    const double values[] = {row.defaultValue, row.minimum, row.maximum, row.increment, row.remap};
    const VOKUID* ids[] = {&ZELAttr_Default, &ZELAttr_Minimum, &ZELAttr_Maximum, &ZELAttr_Increment, &ZELAttr_UIRemap};
    for (unsigned a = 0; a < 5; ++a) {
      if ((row.attributes & (1u << a)) == 0) continue;
      switch (row.tag) {
        case Tag::Integer:
        case Tag::SignedInteger:
        case Tag::Boolean: {
          const std::int32_t v = static_cast<std::int32_t>(values[a]);
          const VOKUID& type = row.tag == Tag::Integer         ? VOKTypeID_Integer
                               : row.tag == Tag::SignedInteger ? VOKTypeID_SignedInteger
                                                               : VOKTypeID_Boolean;
          VOKCheck(p->SetAttribute(*ids[a], type, &v, sizeof v));
          break;
        }
        case Tag::Double:
          VOKCheck(p->SetAttribute(*ids[a], VOKTypeID_Double, &values[a], sizeof(double)));
          break;
        case Tag::Text:
          VOKCheck(p->SetAttribute(*ids[a], VOKTypeID_Text, u"", VOK_TEXT_SIZE));
          break;
        case Tag::Bytes:
          SetDefaultFontRecord(p.Get());
          break;
        case Tag::None:
          break;
      }
    }
  }
}

void EffectBuilder::SetDefaultFontRecord(IZELParameterDefinition* parameter) {
  // Made afresh in every build (not shared module state), so that two registrations on two
  // threads cannot tear each other's record.
  LOGFONTW record{};
  record.lfHeight = kDefaultFontHeight;
  record.lfCharSet = DEFAULT_CHARSET;
  VOKCheck(parameter->SetAttribute(ZELAttr_Default, VOKTypeID_ByteArray, &record, sizeof record));
}

void EffectBuilder::MakeItems(std::span<const ItemRow> items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    VOKPtr<IZELLayoutDefinition>& item = m_items[i];
    Create(CLSID_ZELLayoutDefinition, IID_IZELLayoutDefinition, item);
    VOKCheck(item->InitLayout(items[i].uid, items[i].name, items[i].name, &ZELLayout_ListItem, nullptr));
    if (items[i].hasValue)
      VOKCheck(item->SetAttribute(ZELAttr_Default, VOKTypeID_Integer, &items[i].value, sizeof(std::int32_t)));
  }
}

void EffectBuilder::MakeEntry(std::size_t e) {
  static constexpr const VOKUID* kKindUids[] = {nullptr,          &ZELLayout_Parameter, &ZELLayout_CheckBox,
                                                &ZELLayout_ListBox, &ZELLayout_Color,   &ZELLayout_TextField};
  const EntryRow& row = kEntries[e];
  Create(CLSID_ZELLayoutDefinition, IID_IZELLayoutDefinition, m_entries[e]);
  IZELParameterDefinition* parameter = row.parameter == kNoParameter ? nullptr : m_parameters[row.parameter].Get();
  VOKCheck(m_entries[e]->InitLayout(row.uid, row.name, row.tooltip, kKindUids[static_cast<std::size_t>(row.kind)],
                                    parameter));
}

void EffectBuilder::AddChildren(std::size_t e) {
  for (std::size_t i = 0; i < kEntries[e].items.size(); ++i) VOKCheck(m_entries[e]->AddChild(m_items[i].Get()));
  for (std::size_t c = 0; c < entry::Count; ++c)
    if (kEntries[c].parent == e) VOKCheck(m_entries[e]->AddChild(m_entries[c].Get()));
}

void EffectBuilder::BuildGroup(std::size_t e) {
  MakeEntry(e);
  for (std::size_t c = 0; c < entry::Count; ++c) {
    if (kEntries[c].parent != e) continue;
    if (kEntries[c].kind == Kind::Group) {
      BuildGroup(c);
    } else {
      MakeEntry(c);
    }
    VOKCheck(m_entries[e]->AddChild(m_entries[c].Get()));
  }
}

void EffectBuilder::SetColourRanges(const ColourRow& row) {
  IZELLayoutDefinition* colour = m_entries[row.colour].Get();
  const std::uint32_t size = sizeof row.defaultValue;
  VOKCheck(colour->SetAttribute(ZELAttr_Default, VOKTypeID_RGB, row.defaultValue.data(), size));
  VOKCheck(colour->SetAttribute(ZELAttr_Minimum, VOKTypeID_RGB, row.minimum.data(), size));
  VOKCheck(colour->SetAttribute(ZELAttr_Maximum, VOKTypeID_RGB, row.maximum.data(), size));
  if (row.hasRemap) VOKCheck(colour->SetAttribute(ZELAttr_UIRemap, VOKTypeID_RGB, row.remap.data(), size));
  VOKCheck(colour->SetAttribute(ZELAttr_Increment, VOKTypeID_RGB, row.increment.data(), size));
}

void EffectBuilder::Build(IVOKUnknown** ppDef) {
  const ComponentRow& self = kComponentTable[0];
  Create(CLSID_ZELEffectDefinition, IID_IZELEffectDefinition, m_effect);
  VOKCheck(m_effect->InitComponent(self.componentUid, self.kind, kVersionMajor, kVersionMinor, self.classUid, self.name));
  VOKCheck(m_effect->SetAttribute(ZELAttr_EffectText, VOKTypeID_String, u"ZEL2Vorbek", VOK_TEXT_SIZE));
  VOKCheck(m_effect->SetAttribute(ZELAttr_OverlayLink, VOKTypeID_UID, &kComponentOverlay, sizeof(VOKUID)));
  VOKCheck(m_effect->SetAttribute(ZELAttr_ModalUILink, VOKTypeID_UID, &kComponentModalUI, sizeof(VOKUID)));

  // Alignment. The host keeps the last value set on an item.
  MakeItems(kAlignmentItems);
  VOKCheck(m_items[0]->SetAttribute(ZELAttr_Default, VOKTypeID_Integer, &kLeftAlignmentValue, sizeof(std::int32_t)));
  MakeParameters(param::AlignmentList, param::AlignmentList);
  MakeEntry(entry::Alignment);
  AddChildren(entry::Alignment);
  MakeEntry(entry::DigitalClockAlignment);
  AddChildren(entry::DigitalClockAlignment);
  VOKCheck(m_effect->AddLayout(m_entries[entry::DigitalClockAlignment].Get()));

  // Colours: channels, triple and opacity, then their controls. They go into "Colors" later.
  for (const ColourRow& colour : kColours) {
    MakeParameters(colour.firstParameter, colour.lastParameter);
    for (std::size_t c = 0; c < entry::Count; ++c)
      if (kEntries[c].parent == colour.colour) MakeEntry(c);
    MakeEntry(colour.colour);
    AddChildren(colour.colour);
    SetColourRanges(colour);
    MakeEntry(colour.opacity);
  }

  // Clock type.
  MakeItems(kClockTypeItems);
  MakeParameters(param::ClockType, param::ClockType);
  MakeEntry(entry::ClockType);
  AddChildren(entry::ClockType);

  // Position and size.
  MakeParameters(param::X, param::Size);
  BuildGroup(entry::PositionSize);
  VOKCheck(m_effect->AddLayout(m_entries[entry::ClockType].Get()));
  VOKCheck(m_effect->AddLayout(m_entries[entry::PositionSize].Get()));

  // Time.
  MakeParameters(param::TimeSpeedFactor, param::CountDown);
  BuildGroup(entry::Time);
  VOKCheck(m_effect->AddLayout(m_entries[entry::Time].Get()));

  // Timer style, then the colour group, then the timer style group with the start-time text.
  MakeItems(kTimerStyleItems);
  MakeParameters(param::TimerStyle, param::TimerStyle);
  MakeEntry(entry::TimerStyleList);
  AddChildren(entry::TimerStyleList);
  MakeEntry(entry::Colors);
  AddChildren(entry::Colors);
  VOKCheck(m_effect->AddLayout(m_entries[entry::Colors].Get()));
  MakeEntry(entry::TimerStyleGroup);
  VOKCheck(m_entries[entry::TimerStyleGroup]->AddChild(m_entries[entry::TimerStyleList].Get()));
  MakeParameters(param::StartTimeText, param::StartTimeText);
  MakeEntry(entry::StartTimeText);
  VOKCheck(m_entries[entry::TimerStyleGroup]->AddChild(m_entries[entry::StartTimeText].Get()));
  VOKCheck(m_effect->AddLayout(m_entries[entry::TimerStyleGroup].Get()));

  // Ports, colour models, flags, the update handler.
  VOKCheck(m_effect->DeclareInput(kInputUid, u"Input", nullptr));
  VOKCheck(m_effect->DeclareOutput(kOutputUid, u"Output", nullptr));
  for (std::int32_t model : kColourModels) VOKCheck(m_effect->DeclareColorModel(model, kColourModelFlags, nullptr));
  VOKCheck(m_effect->SetAttribute(ZELAttr_Real, VOKTypeID_Boolean, &kBReal, sizeof kBReal));
  VOKCheck(m_effect->SetAttribute(ZELAttr_UpdateParamsLink, VOKTypeID_UID, &kComponentUpdateParams, sizeof(VOKUID)));

  // The hidden font record.
  MakeParameters(param::PrivateData, param::PrivateData);
  VOKCheck(m_effect->AddParameter(m_parameters[param::PrivateData].Get()));

  *ppDef = m_effect.Detach();
}

}  // namespace

void BuildEffectDefinition(IZELDefinitionFactory* factory, IVOKUnknown** ppDef) {
  EffectBuilder builder(factory);
  builder.Build(ppDef);
}

}  // namespace zel2clock
