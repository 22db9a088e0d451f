#include "render/ClockStart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "media/Error.h"
#include "media/RecordingTime.h"
#include "text/Text.h"

namespace zel::host {

namespace {

constexpr const char* kStartFields[] = {"Start Time Hour", "Start Time Minute", "Start Time Second",
                                        "Start Time Millsecond", "Start Time Frame"};
constexpr const char* kDateFields[] = {"Start Time Day", "Start Time Month", "Start Time Year"};
constexpr int kFreeFormatStyle = 13;

double Number(const EffectInstance& instance, const char* name, std::optional<double> time = std::nullopt) {
  return instance.Get(name).ValueAt(time).num[0];
}

/// Whether the user gave `name` a value of their own: keys, or a constant other than its default.
bool SetByUser(const EffectInstance& instance, const char* name) {
  const ParameterValue& p = instance.Get(name);
  if (p.Keyed()) return true;
  const ParameterInfo* info = instance.Parameters().Find(p.Uid());
  const Value* byDefault = info != nullptr ? info->attributes.Get(AttributeRole::Default) : nullptr;
  return byDefault != nullptr && byDefault->IsNumber() && byDefault->number != p.ValueAt().num[0];
}

/// Each value `name` takes: its constant, or the value of each key.
std::vector<double> Values(const EffectInstance& instance, const char* name) {
  const ParameterValue& p = instance.Get(name);
  std::vector<double> values;
  for (const double t : p.KeyTimes()) values.push_back(p.ValueAt(t).num[0]);
  if (values.empty()) values.push_back(p.ValueAt().num[0]);
  return values;
}

/// A speed factor other than 1 or a count down act on the time from the effect's start, which
/// under the label rule is the time code itself: the clock then counts from the start label.
bool CountsFromStart(EffectInstance& instance) {
  ParameterValue& factor = instance.Get("Time Speed Factor");
  const std::vector<double> factors = Values(instance, "Time Speed Factor");
  const bool scaled = factor.GetEnabled() != 0 && std::any_of(factors.begin(), factors.end(), [](double f) { return f != 1; });
  const std::vector<double> down = Values(instance, "Count Down");
  return scaled || std::any_of(down.begin(), down.end(), [](double d) { return d != 0; });
}

/// The list of `names` the user set, for a note ("Start Time Hour, Start Time Frame").
std::string Replaced(const EffectInstance& instance, std::initializer_list<const char*> names) {
  std::string list;
  for (const char* name : names)
    if (SetByUser(instance, name)) list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

/// The effect's shown time in milliseconds at frame k, worked out as the effect works it out for
/// the time and date styles (a stop time holds it), so that the date turns on the frame the hours
/// wrap. Counting down never passes midnight: it halts at the stop time.
std::int64_t ShownMs(EffectInstance& instance, double rate, std::int64_t k) {
  const auto field = [&](const char* name) { return static_cast<std::uint32_t>(Number(instance, name, 0.0)); };
  const auto ms = [](std::uint32_t h, std::uint32_t m, std::uint32_t s) { return ((h * 60u + m) * 60u + s) * 1000u; };
  const std::int64_t start = std::int64_t{ms(field("Start Time Hour"), field("Start Time Minute"),
                                             field("Start Time Second"))} + field("Start Time Millsecond");
  const std::int64_t stop = std::int64_t{ms(field("Stop Time Hour"), field("Stop Time Minute"), field("Stop Time Second"))} +
                            field("Stop Time Millsecond");
  const auto t = static_cast<double>(k);
  double clock = instance.EffectTime(t);
  if (instance.Get("Time Speed Factor").GetEnabled() != 0) {
    const double factor = Number(instance, "Time Speed Factor", t);
    clock = factor >= 0 ? clock * factor : clock / -factor;
  }
  const double elapsed = std::trunc(clock * 1000.0 / rate);
  if (!std::isfinite(elapsed)) return start;
  const std::int64_t value = start + static_cast<std::int64_t>(std::clamp(elapsed, -2147483648.0, 2147483647.0));
  return stop != 0 && value >= stop ? stop : value;
}

std::string DateText(const media::RecordingTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return text;
}

void SetField(EffectInstance& instance, const char* name, double value, std::optional<double> key,
              const std::string& where) {
  try {
    instance.SetNumber(name, value, key);
  } catch (const HostError& e) {
    throw ClockStartError(where + ": " + e.what());
  }
}

}  // namespace

std::string ClockStart::LabelOf(std::int64_t k) const {
  return clock ? media::toString({clock->start.rate, clock->start.frame + k}) : std::string();
}

ClockStart ApplyClockStart(EffectInstance& instance, const ClockStartRequest& request, const media::SourceInfo& info,
                           std::int64_t lastFrame) {
  ClockStart result;
  const std::string file = info.path.empty() ? "the test pattern" : Quoted(info.path);

  if (!request.timeCode.empty()) {
    std::string where = request.timeCodeWhere;
    std::string text = request.timeCode;
    if (request.timeCode == "source") {
      if (!info.timeCode)
        throw ClockStartError(request.timeCodeWhere + ": " + file +
                              " has no time code (no tmcd track, time code tag or time code in its pictures)");
      text = info.timeCode->text;
      where = info.timeCode->where + " of " + file;
    }
    media::EffectClock clock;
    try {
      clock.start = media::parseTimeCode(text, info.rate);
    } catch (const media::Error& e) {
      if (request.timeCode == "source")
        throw ClockStartError(request.timeCodeWhere + ": the time code " + Quoted(text) + " in " + where + ": " + e.what());
      throw ClockStartError(request.timeCodeWhere + ": " + e.what());
    }
    clock.labels = !CountsFromStart(instance);
    if (const std::string replaced = Replaced(instance, {kStartFields[0], kStartFields[1], kStartFields[2],
                                                         kStartFields[3], kStartFields[4]});
        !replaced.empty())
      result.notes.push_back(request.timeCodeWhere + " sets the start of the clock; not used: " + replaced);
    const media::TimeCodeLabel fields = clock.startFields();
    const int values[] = {fields.hours, fields.minutes, fields.seconds, 0, fields.frames};
    for (std::size_t i = 0; i < std::size(kStartFields); ++i)
      SetField(instance, kStartFields[i], values[i], std::nullopt, request.timeCodeWhere);
    SequenceInfo sequence = instance.Sequence();
    sequence.frameRate = clock.rate();
    instance.SetSequence(sequence);
    if (clock.labels) {
      instance.SetTimeline(std::make_shared<EffectTimeline>(EffectTimeline{
          [clock](double t) { return clock.effectTime(t); }, [clock](double t) { return clock.frameTime(t); }}));
    } else {
      instance.SetTimeline(nullptr);
    }
    result.summary = "time code " + media::toString(clock.start) + " (" + where + ")" +
                     (clock.labels ? "" : ", counted from there as the speed factor and count down say");
    result.clock = clock;
  }

  if (!request.dateTime.empty()) {
    media::RecordingTime when;
    try {
      when = request.dateTime == "source" ? media::recordingTimeOf(info.recorded, info.path)
                                          : media::parseDateTime(request.dateTime);
    } catch (const media::Error& e) {
      throw ClockStartError(request.dateTimeWhere + ": " + e.what());
    }
    if (request.dateTime != "source") when.where = request.dateTimeWhere + ", " + when.where;
    const bool timeOfDay = request.timeCode.empty();
    std::string replaced = Replaced(instance, {kDateFields[0], kDateFields[1], kDateFields[2]});
    if (timeOfDay) {
      const std::string times =
          Replaced(instance, {kStartFields[0], kStartFields[1], kStartFields[2], kStartFields[3], kStartFields[4]});
      replaced += (replaced.empty() || times.empty() ? "" : ", ") + times;
    }
    if (!replaced.empty())
      result.notes.push_back(request.dateTimeWhere + " sets the start of the clock; not used: " + replaced);
    if (timeOfDay) {
      const int values[] = {when.hour, when.minute, when.second, when.millisecond, 0};
      for (std::size_t i = 0; i < std::size(kStartFields); ++i)
        SetField(instance, kStartFields[i], values[i], std::nullopt, request.dateTimeWhere);
    }
    // The date as keys: the recording's day from the first frame, the next one from the first
    // frame past each midnight (the effect's hours wrap, its date fields stay as they are).
    const double rate = instance.Sequence().frameRate;
    const std::vector<std::int64_t> turns =
        rate > 0 ? media::midnights([&](std::int64_t k) { return ShownMs(instance, rate, k); }, lastFrame)
                 : std::vector<std::int64_t>{};
    for (const char* name : kDateFields) instance.Get(name).Set(instance.Get(name).ValueAt());  // drops the keys
    for (std::size_t day = 0; day <= turns.size(); ++day) {
      const media::RecordingTime date = media::addDays(when, static_cast<int>(day));
      const std::optional<double> key = turns.empty() ? std::nullopt : std::optional<double>(day == 0 ? 0 : turns[day - 1]);
      SetField(instance, "Start Time Day", date.day, key, request.dateTimeWhere);
      SetField(instance, "Start Time Month", date.month, key, request.dateTimeWhere);
      SetField(instance, "Start Time Year", date.year, key, request.dateTimeWhere);
    }
    result.summary += (result.summary.empty() ? "" : "; ") + std::string(timeOfDay ? "date and time " : "date ") +
                      (timeOfDay ? DateText(when) : DateText(when).substr(0, 10)) + " (" + when.where + ")";
  }
  return result;
}

std::optional<std::string> UnshownStartTimeText(const EffectInstance& instance) {
  const ParameterValue* text = instance.Find("Start Time");
  const ParameterValue* style = instance.Find("Style List");
  if (text == nullptr || style == nullptr) return std::nullopt;
  bool set = !text->ValueAt().text.empty();
  for (const double t : text->KeyTimes()) set = set || !text->ValueAt(t).text.empty();
  if (!set) return std::nullopt;
  const std::vector<double> styles = Values(instance, "Style List");
  if (std::find(styles.begin(), styles.end(), kFreeFormatStyle) != styles.end()) return std::nullopt;
  return std::string("the \"Start Time\" text is shown only by the \"Free Format\" style (--set \"Style List=Free "
                     "Format\"); with this style it is not shown");
}

}  // namespace zel::host
