// One parameter of an effect instance: its value in the parameter's own type, its keyframes, its
// range and its enabled flag. One object answers both the untimed face (IZELParameter) and the
// timed face (IZELAnimatedParameter) that a plug-in reads and writes.
//
// Values by type (the value-type UID the parameter was registered with):
//   integer, signed integer, boolean: 4 bytes; double: 8; RGB triple: 24 (three doubles);
//   UID: 16; text: UTF-8 on the wire of GetValue, UTF-16 size in GetValueInfo; byte array: the
//   size of its default.
// An RGB triple that names channel parameters is a view onto them: reading it reads the channels,
// writing it writes them.
//
// Keyframes: doubles (and the doubles of an RGB triple) move linearly between keys; every other
// type holds the value of the key at or before the time; before the first key the first key's
// value holds, after the last the last one's. Without keys the parameter has one constant value.
//
// Threads: any number of readers at once (renders on several threads); writers take the lock.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "definitions/Catalogue.h"
#include "definitions/Definitions.h"

namespace zel::host {

/// One value of a parameter. Numbers (all four numeric kinds) sit in num[0]; an RGB triple in
/// num[0..2]; text in `text` (UTF-8); UIDs and byte arrays in `bytes`.
struct ParamValue {
  std::array<double, 3> num{};
  std::string text;
  std::vector<std::uint8_t> bytes;
};

/// How the times a plug-in reads and writes parameters at (the render time it is handed) stand
/// for the host's frame times, at which keys are kept: a host that hands the effect another time
/// than the frame's (a file's time code, docs/timecode.md) maps between the two here, so that keys
/// set at frames stay at those frames. Without one the two are the same.
struct EffectTimeline {
  std::function<double(double)> effectTime;  ///< frame time -> the time the effect is handed
  std::function<double(double)> frameTime;   ///< the inverse
};

class ParameterValue final : public HostObject<IZELParameter, IZELAnimatedParameter> {
 public:
  /// A parameter of `definition`'s type starting at `initial`. `channels` (three, red, green,
  /// blue) make an RGB triple a view onto them; the object keeps a reference to each.
  ParameterValue(const ParameterDefinition& definition, ParamValue initial,
                 std::vector<VOKPtr<ParameterValue>> channels = {});

  // IZELParameter
  VOKRESULT GetValueInfo(VOKUID* type, std::uint32_t* size) override;
  VOKRESULT GetValue(const VOKUID& type, void* buffer, std::uint32_t size) override;
  VOKRESULT SetValue(const VOKUID& type, const void* data, std::uint32_t size) override;
  // IZELAnimatedParameter
  VOKRESULT GetParameter(IZELParameter** ppParameter) override;
  std::uint32_t GetKeyCount() override;
  VOKRESULT GetKeyTime(std::uint32_t index, double* time) override;
  VOKRESULT RemoveKey(const double* time) override;
  VOKRESULT RemoveAllKeys() override;
  std::int32_t IsAnimated() override;
  VOKRESULT GetValueAtTime(const double* time, const VOKUID& type, void* buffer, std::uint32_t size) override;
  VOKRESULT SetValueAtTime(const double* time, const VOKUID& type, const void* data, std::uint32_t size) override;
  std::int32_t GetEnabled() override;

  // The host's own access: no call log, no fault injection.
  const ParameterDefinition& Definition() const { return *m_definition.Get(); }
  const VOKUID& Uid() const { return m_definition->uid; }
  const VOKUID& Type() const { return m_definition->type; }
  /// Storage kind: Text also for the string type, Bytes also for an unknown type.
  ValueKind Kind() const { return m_kind; }
  /// The display name in UTF-8.
  const std::string& Name() const { return m_name; }
  /// Range from the minimum and maximum attributes (numbers only).
  std::optional<double> Minimum() const { return m_min; }
  std::optional<double> Maximum() const { return m_max; }
  bool IsComposite() const { return !m_channels.empty(); }
  const std::vector<VOKPtr<ParameterValue>>& Channels() const { return m_channels; }

  /// The value at `time` (no time: the constant, or the value at time 0 when animated).
  ParamValue ValueAt(std::optional<double> time = std::nullopt) const;
  /// Sets the constant value (removing every key) or, with a time, a key at that time. Numbers are
  /// clamped into the range and booleans become 0 or 1. Returns false (and changes nothing) for a
  /// value the type cannot hold: a NaN number, a byte array of another size than the default.
  bool Set(const ParamValue& value, std::optional<double> keyTime = std::nullopt);
  /// The same without range, NaN or size checks: stores exactly what it is given. For tests that
  /// play a host delivering hostile values.
  void SetUnchecked(const ParamValue& value, std::optional<double> keyTime = std::nullopt);
  void SetEnabled(bool enabled);
  /// The times of the plug-in's face (GetValueAtTime, SetValueAtTime, GetKeyTime, RemoveKey) go
  /// through `timeline`; null: they are frame times. Set while no render runs.
  void SetTimeline(std::shared_ptr<const EffectTimeline> timeline) { m_timeline = std::move(timeline); }
  /// The times of the keys, ascending (of the first channel for an RGB triple that is a view).
  std::vector<double> KeyTimes() const;
  /// Whether the value is animated by keys, and whether one of them sits at `time`.
  bool Keyed() const { return !KeyTimes().empty(); }
  bool HasKeyAt(double time) const;
  /// Removes the key at `time` (false when there is none). When it was the last key, the value
  /// it held stays as the constant value, so that removing a key never brings back a value the
  /// user set before animating.
  bool RemoveKeyAt(double time);

  /// Size in bytes GetValueInfo reports for the current value.
  std::uint32_t ValueSize() const;

 protected:
  const char* ObjectName() const override { return m_objectName.c_str(); }

 private:
  struct Key {
    double time;
    ParamValue value;
  };

  ParamValue Clamped(ParamValue v) const;
  void Store(const ParamValue& v, std::optional<double> keyTime);
  ParamValue ValueAtLocked(std::optional<double> time) const;
  /// Checks `type` and `size` for a read or write of this parameter; VOK_OK or VOK_E_INVALIDARG.
  VOKRESULT CheckAccess(const VOKUID& type, std::uint32_t size) const;
  void CopyOut(const ParamValue& v, void* buffer, std::uint32_t size) const;
  bool ReadIn(const void* data, std::uint32_t size, ParamValue& v) const;

  VOKPtr<ParameterDefinition> m_definition;
  const ValueKind m_kind;
  const std::string m_name;
  const std::string m_objectName;
  std::optional<double> m_min, m_max;
  std::size_t m_byteSize = 0;  ///< byte arrays: the size every value must have (0: any)
  const std::vector<VOKPtr<ParameterValue>> m_channels;

  mutable std::shared_mutex m_mutex;
  ParamValue m_constant;
  std::vector<Key> m_keys;  ///< ascending by time
  bool m_enabled = true;
  std::shared_ptr<const EffectTimeline> m_timeline;  ///< null: the plug-in's times are frame times
};

}  // namespace zel::host
