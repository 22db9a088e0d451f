#include "components/ZEL2Clock_UpdateParams.h"

#include <span>

#include "time/ClockTime.h"
#include "definition/Parameters.h"
#include "VOKPtr.h"
#include "VOKResult.h"
#include "ZELDefinitions.h"

namespace {

using namespace zel2clock;

/// One step of a branch: the panel entry (by its layout UID) and the state it is switched to.
struct PanelSwitch {
  const VOKUID& layout;
  std::int32_t on;
};

constexpr std::int32_t kOn = 1;
constexpr std::int32_t kOff = 0;

// The five branches, each in the order the panel is switched. The order is part of the behaviour:
// a host that redraws on every switch shows the entries appear and vanish in this sequence, and a
// failing switch leaves exactly the earlier ones done.

/// Clock styles ("hh:mm:ss.fff" to "ss.f"), and 0 when no style could be read.
const PanelSwitch kClockStyles[] = {
    {kLayoutControlStopHour, kOn},         {kLayoutControlStopMinute, kOn},   {kLayoutControlStopSecond, kOn},
    {kLayoutControlStopMillisecond, kOn},  {kLayoutControlStartMillisecond, kOn},
    {kLayoutControlStartFrame, kOff},      {kLayoutControlStopFrame, kOff},   {kLayoutControlStartDay, kOff},
    {kLayoutControlStartMonth, kOff},      {kLayoutControlStartYear, kOff},   {kLayoutTextStartTime, kOff},
};
/// "TC hh:mm:ss:ff".
const PanelSwitch kTimeCode[] = {
    {kLayoutControlStartMillisecond, kOff}, {kLayoutControlStartFrame, kOn},    {kLayoutControlStopFrame, kOff},
    {kLayoutControlStopHour, kOff},         {kLayoutControlStopMinute, kOff},   {kLayoutControlStopSecond, kOff},
    {kLayoutControlStopMillisecond, kOff},  {kLayoutControlStartDay, kOff},     {kLayoutControlStartMonth, kOff},
    {kLayoutControlStartYear, kOff},        {kLayoutTextStartTime, kOff},
};
/// The two date styles.
const PanelSwitch kDates[] = {
    {kLayoutControlStartMillisecond, kOff}, {kLayoutControlStartFrame, kOff},   {kLayoutControlStopFrame, kOff},
    {kLayoutControlStartDay, kOn},          {kLayoutControlStartMonth, kOn},    {kLayoutControlStartYear, kOn},
    {kLayoutControlStopHour, kOn},          {kLayoutControlStopMinute, kOn},    {kLayoutControlStopSecond, kOn},
    {kLayoutControlStopMillisecond, kOn},   {kLayoutTextStartTime, kOff},
};
/// "Free Format": the only style that shows the text field.
const PanelSwitch kFreeFormat[] = {
    {kLayoutControlStartMillisecond, kOff}, {kLayoutControlStartFrame, kOff},   {kLayoutControlStopHour, kOn},
    {kLayoutControlStopMinute, kOn},        {kLayoutControlStopSecond, kOn},    {kLayoutControlStopMillisecond, kOn},
    {kLayoutControlStopFrame, kOff},        {kLayoutControlStartDay, kOn},      {kLayoutControlStartMonth, kOn},
    {kLayoutControlStartYear, kOn},         {kLayoutTextStartTime, kOn},
};
/// The two frame counters.
const PanelSwitch kFrameCounters[] = {
    {kLayoutControlStartMillisecond, kOff}, {kLayoutControlStartFrame, kOn},    {kLayoutControlStopHour, kOff},
    {kLayoutControlStopMinute, kOff},       {kLayoutControlStopSecond, kOff},   {kLayoutControlStopMillisecond, kOff},
    {kLayoutControlStopFrame, kOff},        {kLayoutControlStartDay, kOff},     {kLayoutControlStartMonth, kOff},
    {kLayoutControlStartYear, kOff},        {kLayoutTextStartTime, kOff},
};

constexpr std::size_t kSwitchedEntries = 11;
static_assert(std::size(kClockStyles) == kSwitchedEntries && std::size(kTimeCode) == kSwitchedEntries &&
              std::size(kDates) == kSwitchedEntries && std::size(kFreeFormat) == kSwitchedEntries &&
              std::size(kFrameCounters) == kSwitchedEntries);

constexpr auto kStyleTimeCode = static_cast<std::uint32_t>(TimerStyle::TimeCode);
constexpr auto kStyleFreeFormat = static_cast<std::uint32_t>(TimerStyle::FreeFormat);
constexpr auto kLastStyle = static_cast<std::uint32_t>(TimerStyle::FrameField);

/// The branch for a timer style value; empty above the last style, where nothing is switched.
std::span<const PanelSwitch> SwitchesFor(std::uint32_t style) {
  if (style > kLastStyle) return {};
  if (style < kStyleTimeCode) return kClockStyles;
  if (style == kStyleTimeCode) return kTimeCode;
  if (style < kStyleFreeFormat) return kDates;
  if (style == kStyleFreeFormat) return kFreeFormat;
  return kFrameCounters;
}

}  // namespace

VOKRESULT ZEL2Clock_UpdateParams::Update(IZELEffectContext* effectContext, IVOKUnknown* changed,
                                         IZELRenderContext* renderContext, IZELLayoutSource* layoutSource) {
  return VOKBoundary([&] {
    if (effectContext == nullptr || changed == nullptr || renderContext == nullptr || layoutSource == nullptr)
      return VOK_E_POINTER;
    const double renderTime = renderContext->GetTime();

    const ParameterRow& style = kParameters[param::TimerStyle];
    VOKPtr<IZELAnimatedParameter> pliststyleparam;
    VOKCheck(effectContext->GetParameter(style.uid, IID_IZELAnimatedParameter, pliststyleparam.PutVoid()));
    // A style the host cannot deliver is no error: 0 takes the branch of the clock styles.
    std::uint32_t liststyleval = 0;
    if (pliststyleparam)
      (void)pliststyleparam->GetValueAtTime(&renderTime, *style.type, &liststyleval, sizeof liststyleval);

    VOKPtr<IZELLayoutEntry> pLayout;
    for (const PanelSwitch& step : SwitchesFor(liststyleval)) {
      VOKCheck(layoutSource->GetLayoutEntry(step.layout, &pLayout));
      // A host that reports success without an entry is answered as a null pointer, not followed.
      if (!pLayout) VOKCheck(VOK_E_POINTER);
      VOKCheck(pLayout->Enable(step.on));
    }
    return VOK_OK;
  });
}
