#include "parameters/ParameterValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "text/Text.h"

namespace zel::host {

namespace {

// Logs an operation that has no result code to fail with.
void Note(const char* operation, const std::string& name) {
  if (Instrumentation::Global().Active()) (void)Instrumentation::Global().Enter(operation, [&] { return name; });
}

bool IsTextType(const VOKUID& type) { return type == VOKTypeID_Text || type == VOKTypeID_String; }

// Number of UTF-8 bytes of `text` that fit in `limit` without cutting a character in two.
std::size_t Utf8Fit(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) --n;
  return n;
}

double Lerp(double a, double b, double f) { return a + (b - a) * f; }

// The integer a stored number stands for: its integer part, held to 64 bits (NaN gives 0). A value
// stored without checks may be anything a double holds; converting it unheld is undefined.
std::int64_t HeldInt64(double v) {
  if (std::isnan(v)) return 0;
  if (v <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  if (v >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(v);
}

}  // namespace

// Text and string values are stored alike, and a type the host does not know as raw bytes.
ValueKind StorageKindOf(const VOKUID& type) {
  const ValueKind kind = ValueKindOf(type);
  if (kind == ValueKind::String) return ValueKind::Text;
  if (kind == ValueKind::Unknown) return ValueKind::Bytes;
  return kind;
}

ParameterValue::ParameterValue(const ParameterDefinition& definition, ParamValue initial,
                               std::vector<VOKPtr<ParameterValue>> channels)
    // The reference keeps the definition alive; counting it does not change what it says.
    : m_definition(const_cast<ParameterDefinition*>(&definition)),
      m_kind(StorageKindOf(definition.type)),
      m_name(ToUtf8(definition.name)),
      m_objectName("Parameter " + m_name),
      m_channels(std::move(channels)) {
  // Range attributes may be tagged with another numeric type than the parameter's own (integer
  // limits on the colour channels, which are doubles): AsNumber reads either.
  if (const Attribute* a = definition.attributes.Find(ZELAttr_Minimum)) m_min = a->AsNumber();
  if (const Attribute* a = definition.attributes.Find(ZELAttr_Maximum)) m_max = a->AsNumber();
  if (m_kind == ValueKind::Uid) initial.bytes.resize(16);
  if (m_kind == ValueKind::Bytes) m_byteSize = initial.bytes.size();
  m_constant = Clamped(std::move(initial));
}

// --- host access ---------------------------------------------------------------------------------

ParamValue ParameterValue::Clamped(ParamValue v) const {
  switch (m_kind) {
    case ValueKind::Boolean:
      v.num[0] = v.num[0] != 0.0 ? 1.0 : 0.0;
      break;
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Double: {
      double x = v.num[0];
      if (m_kind != ValueKind::Double) x = std::trunc(x);
      if (m_min && x < *m_min) x = *m_min;
      if (m_max && x > *m_max) x = *m_max;
      // Whatever the attributes say, an integer must fit its 32 bits.
      if (m_kind == ValueKind::Integer) x = std::clamp(x, 0.0, 4294967295.0);
      if (m_kind == ValueKind::SignedInteger) x = std::clamp(x, -2147483648.0, 2147483647.0);
      v.num[0] = x;
      break;
    }
    default:
      break;
  }
  return v;
}

void ParameterValue::Store(const ParamValue& v, std::optional<double> keyTime) {
  std::unique_lock lock(m_mutex);
  if (!keyTime) {
    m_keys.clear();
    m_constant = v;
    return;
  }
  auto it = std::lower_bound(m_keys.begin(), m_keys.end(), *keyTime, [](const Key& k, double t) { return k.time < t; });
  if (it != m_keys.end() && it->time == *keyTime)
    it->value = v;
  else
    m_keys.insert(it, Key{*keyTime, v});
}

bool ParameterValue::Set(const ParamValue& value, std::optional<double> keyTime) {
  if (keyTime && !std::isfinite(*keyTime)) return false;
  if (IsComposite()) {
    for (std::size_t i = 0; i < m_channels.size() && i < 3; ++i) {
      ParamValue c;
      c.num[0] = value.num[i];
      if (std::isnan(c.num[0])) return false;
    }
    for (std::size_t i = 0; i < m_channels.size() && i < 3; ++i) {
      ParamValue c;
      c.num[0] = value.num[i];
      m_channels[i]->Set(c, keyTime);
    }
    return true;
  }
  switch (m_kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Boolean:
    case ValueKind::Double:
      if (std::isnan(value.num[0])) return false;
      break;
    case ValueKind::Rgb:
      for (double x : value.num)
        if (std::isnan(x)) return false;
      break;
    case ValueKind::Uid:
      if (value.bytes.size() != 16) return false;
      break;
    case ValueKind::Unknown:
    case ValueKind::Bytes:
      if (m_byteSize != 0 && value.bytes.size() != m_byteSize) return false;
      break;
    case ValueKind::String:
    case ValueKind::Text:
      break;
  }
  Store(Clamped(value), keyTime);
  return true;
}

void ParameterValue::SetUnchecked(const ParamValue& value, std::optional<double> keyTime) {
  if (IsComposite()) {
    for (std::size_t i = 0; i < m_channels.size() && i < 3; ++i) {
      ParamValue c;
      c.num[0] = value.num[i];
      m_channels[i]->SetUnchecked(c, keyTime);
    }
    return;
  }
  Store(value, keyTime);
}

void ParameterValue::SetEnabled(bool enabled) {
  std::unique_lock lock(m_mutex);
  m_enabled = enabled;
}

std::vector<double> ParameterValue::KeyTimes() const {
  if (IsComposite()) return m_channels.front()->KeyTimes();
  std::shared_lock lock(m_mutex);
  std::vector<double> times;
  times.reserve(m_keys.size());
  for (const Key& k : m_keys) times.push_back(k.time);
  return times;
}

bool ParameterValue::HasKeyAt(double time) const {
  const std::vector<double> times = KeyTimes();
  return std::find(times.begin(), times.end(), time) != times.end();
}

bool ParameterValue::RemoveKeyAt(double time) {
  if (IsComposite()) {
    bool removed = false;
    for (auto& c : m_channels) removed = c->RemoveKeyAt(time) || removed;
    return removed;
  }
  std::unique_lock lock(m_mutex);
  const auto it = std::find_if(m_keys.begin(), m_keys.end(), [&](const Key& k) { return k.time == time; });
  if (it == m_keys.end()) return false;
  if (m_keys.size() == 1) m_constant = it->value;
  m_keys.erase(it);
  return true;
}

ParamValue ParameterValue::ValueAtLocked(std::optional<double> time) const {
  if (m_keys.empty()) return m_constant;
  const double t = time.value_or(0.0);
  // A time that is not a number has no place on the timeline: the first key holds.
  if (std::isnan(t) || t <= m_keys.front().time) return m_keys.front().value;
  if (t >= m_keys.back().time) return m_keys.back().value;
  auto next = std::upper_bound(m_keys.begin(), m_keys.end(), t, [](double x, const Key& k) { return x < k.time; });
  const Key& k1 = *next;
  const Key& k0 = *(next - 1);
  if (m_kind != ValueKind::Double && m_kind != ValueKind::Rgb) return k0.value;
  const double f = (t - k0.time) / (k1.time - k0.time);
  ParamValue v = k0.value;
  for (std::size_t i = 0; i < v.num.size(); ++i) v.num[i] = Lerp(k0.value.num[i], k1.value.num[i], f);
  return v;
}

ParamValue ParameterValue::ValueAt(std::optional<double> time) const {
  if (IsComposite()) {
    ParamValue v;
    for (std::size_t i = 0; i < m_channels.size() && i < 3; ++i) v.num[i] = m_channels[i]->ValueAt(time).num[0];
    return v;
  }
  std::shared_lock lock(m_mutex);
  return ValueAtLocked(time);
}

std::uint32_t ParameterValue::ValueSize() const {
  switch (m_kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Boolean:
      return 4;
    case ValueKind::Double:
      return 8;
    case ValueKind::Rgb:
      return 24;
    case ValueKind::Uid:
      return 16;
    case ValueKind::String:
    case ValueKind::Text: {
      std::shared_lock lock(m_mutex);
      return static_cast<std::uint32_t>((ToUtf16(ValueAtLocked(std::nullopt).text).size() + 1) * 2);
    }
    case ValueKind::Unknown:
    case ValueKind::Bytes: {
      // What is stored now: a value set without checks may have another size than the default.
      std::shared_lock lock(m_mutex);
      return static_cast<std::uint32_t>(ValueAtLocked(std::nullopt).bytes.size());
    }
  }
  return 0;
}

// --- the binary faces ----------------------------------------------------------------------------

VOKRESULT ParameterValue::CheckAccess(const VOKUID& type, std::uint32_t size) const {
  if (m_kind == ValueKind::Text) return IsTextType(type) ? VOK_OK : VOK_E_INVALIDARG;
  if (!(type == m_definition->type)) return VOK_E_INVALIDARG;
  return size == ValueSize() ? VOK_OK : VOK_E_INVALIDARG;
}

void ParameterValue::CopyOut(const ParamValue& v, void* buffer, std::uint32_t size) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  switch (m_kind) {
    case ValueKind::Integer: {
      // Stored values are clamped into 32 bits except through SetUnchecked; wrap like the
      // integer the host would have held.
      const auto x = static_cast<std::uint32_t>(HeldInt64(v.num[0]));
      std::memcpy(out, &x, 4);
      break;
    }
    case ValueKind::SignedInteger:
    case ValueKind::Boolean: {
      const auto x = static_cast<std::int32_t>(static_cast<std::uint32_t>(HeldInt64(v.num[0])));
      std::memcpy(out, &x, 4);
      break;
    }
    case ValueKind::Double:
      std::memcpy(out, &v.num[0], 8);
      break;
    case ValueKind::Rgb:
      std::memcpy(out, v.num.data(), 24);
      break;
    case ValueKind::Uid:
    case ValueKind::Unknown:
    case ValueKind::Bytes:
      std::memcpy(out, v.bytes.data(), std::min<std::size_t>(size, v.bytes.size()));
      break;
    case ValueKind::String:
    case ValueKind::Text: {
      if (size == 0) break;
      const std::size_t n = Utf8Fit(v.text, size - 1);
      std::memcpy(out, v.text.data(), n);
      out[n] = 0;
      break;
    }
  }
}

bool ParameterValue::ReadIn(const void* data, std::uint32_t size, ParamValue& v) const {
  const auto* in = static_cast<const std::uint8_t*>(data);
  switch (m_kind) {
    case ValueKind::Integer: {
      std::uint32_t x;
      std::memcpy(&x, in, 4);
      v.num[0] = x;
      return true;
    }
    case ValueKind::SignedInteger:
    case ValueKind::Boolean: {
      std::int32_t x;
      std::memcpy(&x, in, 4);
      v.num[0] = x;
      return true;
    }
    case ValueKind::Double:
      std::memcpy(&v.num[0], in, 8);
      return true;
    case ValueKind::Rgb:
      std::memcpy(v.num.data(), in, 24);
      return true;
    case ValueKind::Uid:
    case ValueKind::Unknown:
    case ValueKind::Bytes:
      v.bytes.assign(in, in + size);
      return true;
    case ValueKind::String:
    case ValueKind::Text: {
      // UTF-8 up to the terminator or `size` bytes.
      const auto* s = static_cast<const char*>(data);
      std::size_t n = 0;
      while (n < size && s[n] != 0) ++n;
      v.text.assign(s, n);
      return true;
    }
  }
  return false;
}

VOKRESULT ParameterValue::GetValueInfo(VOKUID* type, std::uint32_t* size) {
  ZEL_HOST_ENTER_DETAIL("Parameter.GetValueInfo", m_name);
  if (type) *type = m_definition->type;
  if (size) *size = ValueSize();
  return VOK_OK;
}

VOKRESULT ParameterValue::GetValue(const VOKUID& type, void* buffer, std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("Parameter.GetValue", m_name);
  if (buffer == nullptr) return VOK_E_POINTER;
  if (const VOKRESULT r = CheckAccess(type, size); VOKFAILED(r)) return r;
  CopyOut(ValueAt(), buffer, size);
  return VOK_OK;
}

VOKRESULT ParameterValue::SetValue(const VOKUID& type, const void* data, std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("Parameter.SetValue", m_name);
  if (data == nullptr) return VOK_E_POINTER;
  if (const VOKRESULT r = CheckAccess(type, size); VOKFAILED(r)) return r;
  ParamValue v;
  if (!ReadIn(data, size, v) || !Set(v)) return VOK_E_INVALIDARG;
  return VOK_OK;
}

VOKRESULT ParameterValue::GetParameter(IZELParameter** ppParameter) {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.GetParameter", m_name);
  if (ppParameter == nullptr) return VOK_E_POINTER;
  AddRef();
  *ppParameter = this;
  return VOK_OK;
}

std::uint32_t ParameterValue::GetKeyCount() {
  Note("AnimatedParameter.GetKeyCount", m_name);
  if (IsComposite()) return m_channels.front()->GetKeyCount();
  std::shared_lock lock(m_mutex);
  return static_cast<std::uint32_t>(m_keys.size());
}

VOKRESULT ParameterValue::GetKeyTime(std::uint32_t index, double* time) {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.GetKeyTime", m_name);
  if (time == nullptr) return VOK_E_POINTER;
  const std::vector<double> times = IsComposite() ? m_channels.front()->KeyTimes() : KeyTimes();
  if (index >= times.size()) return VOK_E_BADINDEX;
  *time = m_timeline ? m_timeline->effectTime(times[index]) : times[index];
  return VOK_OK;
}

VOKRESULT ParameterValue::RemoveKey(const double* time) {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.RemoveKey", m_name);
  if (time == nullptr) return VOK_E_POINTER;
  if (IsComposite()) {
    // Each channel maps the time itself.
    for (auto& c : m_channels) c->RemoveKey(time);
    return VOK_OK;
  }
  const double at = m_timeline ? m_timeline->frameTime(*time) : *time;
  std::unique_lock lock(m_mutex);
  std::erase_if(m_keys, [&](const Key& k) { return k.time == at; });
  return VOK_OK;
}

VOKRESULT ParameterValue::RemoveAllKeys() {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.RemoveAllKeys", m_name);
  if (IsComposite()) {
    for (auto& c : m_channels) c->RemoveAllKeys();
    return VOK_OK;
  }
  std::unique_lock lock(m_mutex);
  if (!m_keys.empty()) {
    m_constant = ValueAtLocked(0.0);
    m_keys.clear();
  }
  return VOK_OK;
}

std::int32_t ParameterValue::IsAnimated() {
  Note("AnimatedParameter.IsAnimated", m_name);
  if (IsComposite()) {
    for (auto& c : m_channels)
      if (!c->KeyTimes().empty()) return 1;
    return 0;
  }
  std::shared_lock lock(m_mutex);
  return m_keys.empty() ? 0 : 1;
}

VOKRESULT ParameterValue::GetValueAtTime(const double* time, const VOKUID& type, void* buffer, std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.GetValueAtTime", m_name);
  if (time == nullptr || buffer == nullptr) return VOK_E_POINTER;
  if (const VOKRESULT r = CheckAccess(type, size); VOKFAILED(r)) return r;
  CopyOut(ValueAt(m_timeline ? m_timeline->frameTime(*time) : *time), buffer, size);
  return VOK_OK;
}

VOKRESULT ParameterValue::SetValueAtTime(const double* time, const VOKUID& type, const void* data, std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("AnimatedParameter.SetValueAtTime", m_name);
  if (time == nullptr || data == nullptr) return VOK_E_POINTER;
  if (const VOKRESULT r = CheckAccess(type, size); VOKFAILED(r)) return r;
  ParamValue v;
  if (!ReadIn(data, size, v)) return VOK_E_INVALIDARG;
  // While the parameter has no keys the value at any time is its only value.
  const bool animated = IsComposite() ? !m_channels.front()->KeyTimes().empty() : !KeyTimes().empty();
  const double at = m_timeline ? m_timeline->frameTime(*time) : *time;
  if (!Set(v, animated ? std::optional<double>(at) : std::nullopt)) return VOK_E_INVALIDARG;
  return VOK_OK;
}

std::int32_t ParameterValue::GetEnabled() {
  Note("AnimatedParameter.GetEnabled", m_name);
  std::shared_lock lock(m_mutex);
  return m_enabled ? 1 : 0;
}

}  // namespace zel::host
