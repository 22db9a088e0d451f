// The free-format clock text alone: any "Start Time" bytes of any length, with any directives,
// expanded at any shown time and date. The text must stay terminated inside its buffer.
#include <cstring>
#include <string>

#include "time/ClockTime.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  zel2clock::ClockTimeInputs inputs;
  inputs.clockType = in.ConsumeIntegralInRange<std::int32_t>(1, 2);
  inputs.timerStyle = static_cast<std::int32_t>(zel2clock::TimerStyle::FreeFormat);
  inputs.clockTime = zel::fuzz::HostileDouble(in);
  inputs.frameRate = zel::fuzz::HostileDouble(in);
  inputs.startHour = in.ConsumeIntegral<std::uint32_t>();
  inputs.startMinute = in.ConsumeIntegral<std::uint32_t>();
  inputs.startSecond = in.ConsumeIntegral<std::uint32_t>();
  inputs.startMillisecond = in.ConsumeIntegral<std::uint32_t>();
  inputs.startDay = in.ConsumeIntegral<std::int32_t>();
  inputs.startMonth = in.ConsumeIntegral<std::int32_t>();
  inputs.startYear = in.ConsumeIntegral<std::int32_t>();
  inputs.countDown = in.ConsumeBool();
  // The text as the host delivers it: a buffer of its own size, terminated or not.
  const std::string text = in.ConsumeRemainingBytesAsString();
  inputs.startTimeText = text.data();
  inputs.startTimeTextSize = text.size();

  char16_t line[zel2clock::kClockTextCapacity];
  std::memset(line, 0xAB, sizeof line);
  zel2clock::FormatClockText(inputs, zel2clock::ComputeShownTime(inputs), line);
  if (std::char_traits<char16_t>::find(line, zel2clock::kClockTextCapacity, u'\0') == nullptr) __builtin_trap();
  return 0;
}
