#include "parameters/FlatParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "text/Text.h"

namespace zel::host {

namespace {

/// The hidden parameter that holds the effect's font record.
constexpr const char* kFontRecordParameter = "PrivateData";
/// Numbers are kept to a millionth of the parameter's unit, so that 0.3 of 0..100 is 30 and not
/// 30.000000000000004, as `zelhost --set X=30` would give.
constexpr double kNumberGrain = 1e6;
/// Colour channels arrive as single-precision floats: a thousandth of a channel step hides their
/// rounding (0x80 / 255 as a float is 128.0000076 / 255).
constexpr double kChannelGrain = 1e3;

double Unit(double n) { return std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0); }

double Scaled(double n, double minimum, double maximum, bool integral, double grain) {
  const double v = minimum + Unit(n) * (maximum - minimum);
  return std::clamp(integral ? std::round(v) : std::round(v * grain) / grain, minimum, maximum);
}

double Normalised(double v, double minimum, double maximum) {
  return maximum > minimum ? std::clamp((v - minimum) / (maximum - minimum), 0.0, 1.0) : 0.0;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string RangeText(double minimum, double maximum) {
  return "0 means " + Number(minimum) + ", 1 means " + Number(maximum);
}

std::string ItemList(const ParameterInfo& info) {
  std::string names;
  for (const ListItem& item : info.items) names += (names.empty() ? "" : ", ") + Quoted(item.name);
  return names;
}

FlatParameters::Entry Extra(const char* name, FlatKind kind, FlatParameters::Role role, const char* explanation) {
  FlatParameters::Entry e;
  e.name = name;
  e.kind = kind;
  e.role = role;
  e.explanation = explanation;
  return e;
}

}  // namespace

FlatParameters::FlatParameters(const Catalogue& catalogue, FontReader font) : m_font(std::move(font)) {
  const auto& infos = catalogue.Parameters();
  std::unordered_set<std::size_t> channels;
  for (const ParameterInfo& info : infos) channels.insert(info.components.begin(), info.components.end());

  bool hasX = false, hasY = false;
  for (const ParameterInfo& info : infos) {
    if (info.entry == nullptr || channels.count(info.index) != 0) continue;
    Entry e;
    e.name = info.name;
    e.uid = info.uid;
    const std::string about = info.tooltip.empty() ? info.name : info.tooltip;
    if (!info.components.empty()) {
      e.kind = FlatKind::Colour;
      e.explanation = about + ": red, green and blue from 0 to 1 (0 to 255)";
    } else if (info.isList) {
      e.kind = FlatKind::Text;
      e.isList = true;
      e.explanation = about + ": one of " + ItemList(info);
    } else if (info.kind == ValueKind::Boolean) {
      e.kind = FlatKind::Boolean;
      e.explanation = about;
    } else if (info.kind == ValueKind::Text || info.kind == ValueKind::String) {
      e.kind = FlatKind::Text;
      e.explanation = about;
    } else if (info.kind == ValueKind::Integer || info.kind == ValueKind::SignedInteger ||
               info.kind == ValueKind::Double) {
      const Value* lo = info.attributes.Get(AttributeRole::Minimum);
      const Value* hi = info.attributes.Get(AttributeRole::Maximum);
      if (lo == nullptr || hi == nullptr || !lo->IsNumber() || !hi->IsNumber() || !(hi->number > lo->number)) continue;
      e.kind = FlatKind::Number;
      e.minimum = lo->number;
      e.maximum = hi->number;
      e.integral = info.kind != ValueKind::Double;
      e.explanation = about + ": " + RangeText(e.minimum, e.maximum);
    } else {
      continue;
    }
    hasX = hasX || (e.name == "X" && e.kind == FlatKind::Number);
    hasY = hasY || (e.name == "Y" && e.kind == FlatKind::Number);
    m_entries.push_back(std::move(e));
  }

  if (hasX && hasY) {
    Entry e = Extra(kPosition, FlatKind::Position, Role::Position,
                    "X and Y as one point: 0 is the left or top edge of the frame, 1 the right or bottom");
    m_entries.push_back(std::move(e));
  }
  if (m_font && catalogue.FindByName(kFontRecordParameter) != nullptr) {
    Entry e = Extra(kFont, FlatKind::Text, Role::Font,
                    "Digital clock font: FACE,HEIGHT,WEIGHT,ITALIC,UNDERLINE,STRIKEOUT as zelhost --font takes it");
    m_entries.push_back(std::move(e));
  }
  m_entries.push_back(Extra(kFrameRate, FlatKind::Text, Role::FrameRate,
                            "Frames per second of the stream (25, 30000/1001, 29.97), or auto to detect it from the frame times"));
  m_entries.push_back(Extra(kTimeUnit, FlatKind::Text, Role::TimeUnit,
                            "Unit of the time the program passes: seconds, milliseconds (FFmpeg), or auto to detect it"));
}

FlatInstance::FlatInstance(Plugin& plugin, const FlatParameters& parameters)
    : m_parameters(parameters), m_effect(plugin) {
  const auto& entries = m_parameters.Entries();
  m_texts.resize(entries.size());
  m_refused.resize(entries.size());
  m_read.resize(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const FlatParameters::Entry& e = entries[i];
    if (e.role == FlatParameters::Role::FrameRate || e.role == FlatParameters::Role::TimeUnit) m_texts[i] = "auto";
    if (e.role != FlatParameters::Role::Parameter || e.kind != FlatKind::Text) continue;
    const ParameterValue* p = m_effect.Find(e.uid);
    if (p == nullptr) continue;
    if (e.isList) {
      const ParameterInfo* info = m_effect.Parameters().Find(e.uid);
      const ListItem* item = info ? info->FindItemByValue(static_cast<std::int32_t>(p->ValueAt().num[0])) : nullptr;
      m_texts[i] = item ? item->name : std::to_string(static_cast<std::int32_t>(p->ValueAt().num[0]));
    } else {
      m_texts[i] = p->ValueAt().text;
    }
  }
}

std::optional<std::string> FlatInstance::Set(std::size_t index, const FlatValue& value) {
  const auto& entries = m_parameters.Entries();
  if (index >= entries.size()) return std::nullopt;
  const FlatParameters::Entry& e = entries[index];
  ParameterValue* p = e.role == FlatParameters::Role::Parameter ? m_effect.Find(e.uid) : nullptr;
  // `why` names the parameter already when it comes from EffectInstance::Parse, by its list box's
  // name for a list; the module's user knows it by the name in this list, so that one is said.
  const auto refuse = [&](const std::string& why) -> std::optional<std::string> {
    if (m_refused[index] == value.text) return std::nullopt;
    m_refused[index] = value.text;
    std::string reason = why;
    if (reason.rfind("parameter '", 0) == 0) {
      const std::size_t end = reason.find("': ");
      if (end != std::string::npos) reason.erase(0, end + 3);
    }
    return "parameter " + Quoted(e.name) + ": " + reason + "; keeping " + Quoted(m_texts[index]);
  };
  const auto accept = [&]() -> std::optional<std::string> {
    m_texts[index] = value.text;
    m_refused[index].clear();
    return std::nullopt;
  };

  switch (e.role) {
    case FlatParameters::Role::Parameter:
      if (p == nullptr) return std::nullopt;
      switch (e.kind) {
        case FlatKind::Number: {
          ParamValue v;
          v.num[0] = Scaled(value.number, e.minimum, e.maximum, e.integral, kNumberGrain);
          p->Set(v);
          return std::nullopt;
        }
        case FlatKind::Boolean: {
          ParamValue v;
          v.num[0] = value.number >= 0.5 ? 1 : 0;  // frei0r's rule; a NaN is false
          p->Set(v);
          return std::nullopt;
        }
        case FlatKind::Colour: {
          const auto& channels = p->Channels();
          for (std::size_t c = 0; c < channels.size() && c < 3; ++c) {
            ParamValue v;
            v.num[0] = Scaled(value.colour[c], channels[c]->Minimum().value_or(0), channels[c]->Maximum().value_or(255),
                              false, kChannelGrain);
            channels[c]->Set(v);
          }
          return std::nullopt;
        }
        case FlatKind::Text:
          try {
            p->Set(m_effect.Parse(*p, value.text));
          } catch (const HostError& error) {
            return refuse(error.what());
          }
          return accept();
        case FlatKind::Position:
          return std::nullopt;
      }
      return std::nullopt;
    case FlatParameters::Role::Position:
      for (std::size_t axis = 0; axis < 2; ++axis) {
        const char* name = axis == 0 ? "X" : "Y";
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& x) { return x.name == name; });
        ParameterValue* target = it == entries.end() ? nullptr : m_effect.Find(it->uid);
        if (target == nullptr) continue;
        ParamValue v;
        v.num[0] = Scaled(value.position[axis], it->minimum, it->maximum, it->integral, kNumberGrain);
        target->Set(v);
      }
      return std::nullopt;
    case FlatParameters::Role::Font: {
      ParameterValue* record = m_effect.Find(kFontRecordParameter);
      if (record == nullptr || !m_parameters.Font()) return std::nullopt;
      try {
        ParamValue v;
        v.bytes = m_parameters.Font()(value.text);
        if (!record->Set(v)) return refuse("the font record has another size than the effect's");
      } catch (const std::exception& error) {
        return refuse(Quoted(value.text) + ": " + error.what());
      }
      return accept();
    }
    case FlatParameters::Role::FrameRate: {
      if (const auto unit = ParseTimeUnit(value.text); unit && *unit == TimeUnit::Auto) {
        m_clock.SetRate(std::nullopt);
        return accept();
      }
      const auto rate = ParseFrameRate(value.text);
      if (!rate) return refuse(Quoted(value.text) + " is not auto nor a rate such as 25, 29.97 or 30000/1001");
      m_clock.SetRate(*rate);
      return accept();
    }
    case FlatParameters::Role::TimeUnit: {
      const auto unit = ParseTimeUnit(value.text);
      if (!unit) return refuse(Quoted(value.text) + " is not auto, seconds or milliseconds");
      m_clock.SetUnit(*unit);
      return accept();
    }
  }
  return std::nullopt;
}

double FlatInstance::NumberOf(const FlatParameters::Entry& entry, const ParameterValue& parameter) const {
  return Normalised(parameter.ValueAt().num[0], entry.minimum, entry.maximum);
}

const FlatValue& FlatInstance::Get(std::size_t index) {
  static const FlatValue kNone;
  const auto& entries = m_parameters.Entries();
  if (index >= entries.size()) return kNone;
  const FlatParameters::Entry& e = entries[index];
  FlatValue& v = m_read[index];
  v = FlatValue{};
  if (e.kind == FlatKind::Text) {
    v.text = m_texts[index];
    return v;
  }
  if (e.role == FlatParameters::Role::Position) {
    for (std::size_t axis = 0; axis < 2; ++axis) {
      const char* name = axis == 0 ? "X" : "Y";
      const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& x) { return x.name == name; });
      if (const ParameterValue* p = it == entries.end() ? nullptr : m_effect.Find(it->uid)) v.position[axis] = NumberOf(*it, *p);
    }
    return v;
  }
  const ParameterValue* p = m_effect.Find(e.uid);
  if (p == nullptr) return v;
  switch (e.kind) {
    case FlatKind::Number: v.number = NumberOf(e, *p); break;
    case FlatKind::Boolean: v.number = p->ValueAt().num[0] != 0 ? 1 : 0; break;
    case FlatKind::Colour: {
      const auto& channels = p->Channels();
      for (std::size_t c = 0; c < channels.size() && c < 3; ++c)
        v.colour[c] = Normalised(channels[c]->ValueAt().num[0], channels[c]->Minimum().value_or(0),
                                 channels[c]->Maximum().value_or(255));
      break;
    }
    case FlatKind::Text:
    case FlatKind::Position: break;
  }
  return v;
}

VOKRESULT FlatInstance::Render(const FrameView& in, const FrameView& out, double hostTime) {
  const StreamClock::Tick tick = m_clock.Advance(hostTime);
  SequenceInfo sequence = m_effect.Sequence();
  sequence.frameRate = tick.rate.Value();
  sequence.width = out.width;
  sequence.height = out.height;
  m_effect.SetSequence(sequence);
  RenderRequest request;
  request.time = tick.frame;
  request.frameIndex = static_cast<std::int64_t>(std::floor(tick.frame));
  return m_effect.Render(in, out, request);
}

}  // namespace zel::host
