#include "render/EffectInstance.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "text/Text.h"

namespace zel::host {

namespace {

// The starting value of a parameter from its catalogue entry.
ParamValue DefaultOf(const ParameterInfo& info) {
  ParamValue v;
  const Value* d = info.attributes.Get(AttributeRole::Default);
  switch (info.kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Double:
    case ValueKind::Boolean:
      if (d != nullptr && d->IsNumber())
        v.num[0] = d->number;
      else if (info.isList && !info.items.empty())
        v.num[0] = info.items.front().value;  // a list nobody set reports its first item
      break;
    case ValueKind::Rgb:
      if (d != nullptr && d->kind == ValueKind::Rgb) v.num = d->rgb;
      break;
    case ValueKind::Text:
    case ValueKind::String:
      if (d != nullptr) v.text = d->text;
      break;
    case ValueKind::Uid:
    case ValueKind::Bytes:
    case ValueKind::Unknown:
      if (d != nullptr) v.bytes = d->bytes;
      break;
  }
  return v;
}

std::int32_t FrameIdOf(std::int64_t k) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(k, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

bool IsUsable(const FrameView& view) {
  return view.data != nullptr && view.width > 0 && view.height > 0 && view.stride >= RowBytesOf(view.kind, view.width);
}

EffectInstance::EffectInstance(Plugin& plugin, const SequenceInfo& sequence) : m_sequence(sequence) {
  const ComponentDefinition* effect = plugin.Effect();
  if (effect == nullptr) throw HostError("plug-in '" + plugin.Module().Path().string() + "' has no effect");
  m_catalogue = std::make_unique<Catalogue>(*effect);

  auto shared = std::make_shared<EffectShared>();
  shared->host = plugin.Host().Unknown();
  shared->effectUid = effect->uid;
  const auto& infos = m_catalogue->Parameters();
  std::vector<VOKPtr<ParameterValue>> made(infos.size());
  // Channels first, so that a colour triple can be made as a view onto them whatever the order.
  for (int pass = 0; pass < 2; ++pass) {
    for (const ParameterInfo& info : infos) {
      const bool composite = !info.components.empty();
      if (composite != (pass == 1)) continue;
      std::vector<VOKPtr<ParameterValue>> channels;
      for (std::size_t c : info.components)
        if (c < made.size() && made[c]) channels.push_back(made[c]);
      VOKPtr<ParameterValue> value = MakeHostObject<ParameterValue>(*info.definition, DefaultOf(info), std::move(channels));
      made[info.index].Attach(value.Detach());
    }
  }
  shared->parameters = std::move(made);
  m_shared = std::move(shared);

  VOKPtr<IVOKUnknown> object = plugin.CreateObject(*effect, IID_IZELEffect);
  // CreateObject asked for IID_IZELEffect, so the pointer is that face.
  m_effect.Attach(static_cast<IZELEffect*>(object.Detach()));
}

EffectInstance::~EffectInstance() = default;

ParameterValue* EffectInstance::Find(const VOKUID& uid) const { return m_shared->Find(uid); }

ParameterValue* EffectInstance::Find(std::string_view name) const {
  if (const ParameterInfo* info = m_catalogue->FindByName(name)) return m_shared->parameters[info->index].Get();
  for (const ParameterInfo& info : m_catalogue->Parameters())
    if (EqualsIgnoringCase(info.name, name)) return m_shared->parameters[info.index].Get();
  // A list box name in another case.
  for (const ParameterInfo& info : m_catalogue->Parameters())
    if (info.isList && info.entry != nullptr && info.entry->name && EqualsIgnoringCase(*info.entry->name, name))
      return m_shared->parameters[info.index].Get();
  return nullptr;
}

ParameterValue& EffectInstance::Get(std::string_view name) const {
  ParameterValue* p = Find(name);
  if (p == nullptr) throw HostError("no parameter named '" + std::string(name) + "'");
  return *p;
}

ParamValue EffectInstance::Parse(const ParameterValue& parameter, std::string_view text) const {
  const ParameterInfo* info = m_catalogue->Find(parameter.Uid());
  // A list is known by its list box's name ("Clock Type List"), not the value's ("the List value").
  const bool named = info != nullptr && info->isList && info->entry != nullptr && info->entry->name;
  const std::string where = "parameter '" + (named ? *info->entry->name : parameter.Name()) + "'";
  const auto fail = [&](const std::string& why) -> ParamValue { throw HostError(where + ": " + why); };
  const auto inRange = [&](double v) {
    const auto lo = parameter.Minimum(), hi = parameter.Maximum();
    if ((lo && v < *lo) || (hi && v > *hi))
      fail(NumberText(v) + " is outside its range " + (lo ? NumberText(*lo) : "") + ".." + (hi ? NumberText(*hi) : ""));
  };
  ParamValue v;
  if (info != nullptr && info->isList) {
    const std::string_view t = Trim(text);
    for (const ListItem& item : info->items)
      if (item.name == t || EqualsIgnoringCase(item.name, t)) {
        v.num[0] = item.value;
        return v;
      }
    const auto n = ParseInteger(t);
    if (n && *n >= std::numeric_limits<std::int32_t>::min() && *n <= std::numeric_limits<std::int32_t>::max() &&
        info->FindItemByValue(static_cast<std::int32_t>(*n)) != nullptr) {
      v.num[0] = static_cast<double>(*n);
      return v;
    }
    std::string names;
    for (const ListItem& item : info->items) names += (names.empty() ? "" : ", ") + Quoted(item.name);
    return fail(Quoted(text) + " is not one of its items (" + names + ") nor an item's value");
  }
  switch (parameter.Kind()) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger: {
      const auto n = ParseInteger(text);
      if (!n) return fail(Quoted(text) + " is not a whole number");
      inRange(static_cast<double>(*n));
      v.num[0] = static_cast<double>(*n);
      return v;
    }
    case ValueKind::Double: {
      const auto d = ParseNumber(text);
      if (!d || !std::isfinite(*d)) return fail(Quoted(text) + " is not a number");
      inRange(*d);
      v.num[0] = *d;
      return v;
    }
    case ValueKind::Boolean: {
      const std::string_view t = Trim(text);
      for (const char* yes : {"1", "true", "yes", "on"})
        if (EqualsIgnoringCase(t, yes)) {
          v.num[0] = 1;
          return v;
        }
      for (const char* no : {"0", "false", "no", "off"})
        if (EqualsIgnoringCase(t, no)) return v;
      return fail(Quoted(text) + " is not a yes/no value (1, 0, true, false, yes, no, on, off)");
    }
    case ValueKind::Rgb: {
      std::string_view rest = text;
      for (int i = 0; i < 3; ++i) {
        const std::size_t comma = rest.find(',');
        const std::string_view part = i < 2 ? rest.substr(0, comma) : rest;
        const auto d = ParseNumber(part);
        if ((i < 2 && comma == std::string_view::npos) || !d || !std::isfinite(*d))
          return fail(Quoted(text) + " is not a colour 'red,green,blue'");
        v.num[i] = *d;
        if (i < 2) rest.remove_prefix(comma + 1);
      }
      if (parameter.IsComposite())
        for (std::size_t i = 0; i < parameter.Channels().size() && i < 3; ++i) {
          const ParameterValue& c = *parameter.Channels()[i].Get();
          const auto lo = c.Minimum(), hi = c.Maximum();
          if ((lo && v.num[i] < *lo) || (hi && v.num[i] > *hi))
            return fail(NumberText(v.num[i]) + " is outside the range " + (lo ? NumberText(*lo) : "") + ".." +
                        (hi ? NumberText(*hi) : "") + " of '" + c.Name() + "'");
        }
      return v;
    }
    case ValueKind::Text:
    case ValueKind::String:
      v.text = std::string(text);
      return v;
    case ValueKind::Uid:
    case ValueKind::Bytes:
    case ValueKind::Unknown: {
      const std::string_view t = Trim(text);
      const std::size_t expected = parameter.ValueSize();
      if (t.size() % 2 != 0 || (expected != 0 && t.size() != expected * 2))
        return fail("expects " + std::to_string(expected) + " bytes in hexadecimal (" + std::to_string(expected * 2) +
                    " digits)");
      for (std::size_t i = 0; i < t.size(); i += 2) {
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(t.data() + i, t.data() + i + 2, byte, 16);
        if (ec != std::errc() || end != t.data() + i + 2) return fail(Quoted(t) + " is not hexadecimal");
        v.bytes.push_back(static_cast<std::uint8_t>(byte));
      }
      return v;
    }
  }
  return fail("has a type this host cannot set");
}

void EffectInstance::SetFromText(std::string_view name, std::string_view text, std::optional<double> keyTime) {
  ParameterValue& p = Get(name);
  if (!p.Set(Parse(p, text), keyTime))
    throw HostError("parameter '" + p.Name() + "': cannot take '" + std::string(text) + "'");
}

void EffectInstance::SetNumber(std::string_view name, double value, std::optional<double> keyTime) {
  ParameterValue& p = Get(name);
  switch (p.Kind()) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Double:
    case ValueKind::Boolean:
    case ValueKind::Rgb:
      break;
    default:
      throw HostError("parameter '" + p.Name() + "' is not a number");
  }
  if (p.Kind() != ValueKind::Rgb) {
    const auto lo = p.Minimum(), hi = p.Maximum();
    if (std::isnan(value) || (lo && value < *lo) || (hi && value > *hi))
      throw HostError("parameter '" + p.Name() + "': " + NumberText(value) + " is outside its range " +
                      (lo ? NumberText(*lo) : "") + ".." + (hi ? NumberText(*hi) : ""));
  }
  ParamValue v;
  v.num = {value, value, value};
  if (!p.Set(v, keyTime)) throw HostError("parameter '" + p.Name() + "': cannot take " + NumberText(value));
}

void EffectInstance::SetTimeline(std::shared_ptr<const EffectTimeline> timeline) {
  m_timeline = std::move(timeline);
  for (const auto& p : m_shared->parameters) p->SetTimeline(m_timeline);
}

void EffectInstance::ResetToDefaults() {
  // A colour triple is a view onto its channels: resetting the channels resets it.
  for (const ParameterInfo& info : m_catalogue->Parameters()) {
    if (!info.components.empty()) continue;
    ParameterValue& p = *m_shared->parameters[info.index].Get();
    ParamValue v = DefaultOf(info);
    if (p.Kind() == ValueKind::Uid) v.bytes.resize(16);
    // Set clamps as the constructor does; a default the checks refuse is kept as the plug-in gave it.
    if (!p.Set(v)) p.SetUnchecked(v);
  }
}

VOKPtr<HostEffectContext> EffectInstance::MakeContext() const {
  return MakeHostObject<HostEffectContext>(m_shared, m_sequence);
}

VOKRESULT EffectInstance::Render(const FrameView& in, const FrameView& out, const RenderRequest& request) const {
  if (!IsUsable(in) || !IsUsable(out) || in.width != out.width || in.height != out.height || in.kind != out.kind)
    return VOK_E_INVALIDARG;
  const std::int32_t frameId = FrameIdOf(request.frameIndex);
  VOKPtr<HostImage> outputImage = MakeHostObject<HostImage>(out, request.layout);
  // In place: the same image object stands for input and output, as a host that owns the frame
  // would hand it.
  const bool inPlace = in.data == out.data && in.stride == out.stride;
  VOKPtr<HostImage> inputImage = inPlace ? outputImage : MakeHostObject<HostImage>(in, request.layout);

  SequenceInfo sequence = m_sequence;
  sequence.width = out.width;
  sequence.height = out.height;
  sequence.pixelAspectRatio = request.layout.pixelAspectRatio;
  sequence.colorModel = ColorModelOf(out.kind);
  sequence.fieldLayout = request.layout.fieldLayout;

  auto layer = MakeHostObject<HostInputLayer>(inputImage, frameId);
  auto context = MakeHostObject<HostEffectContext>(m_shared, sequence, layer);
  auto frame = MakeHostObject<HostFrameContext>(frameId, request.frameIndex);
  auto render = MakeHostObject<HostRenderContext>(EffectTime(request.time), request.field);
  auto output = MakeHostObject<HostOutput>(outputImage);
  return m_effect->Render(context.Get(), nullptr, nullptr, frame.Get(), nullptr, render.Get(), output.Get());
}

std::optional<FrameRegion> EffectInstance::RegionOf(std::uint32_t width, std::uint32_t height,
                                                    const RenderRequest& request) const {
  SequenceInfo sequence = m_sequence;
  sequence.width = width;
  sequence.height = height;
  sequence.pixelAspectRatio = request.layout.pixelAspectRatio;
  sequence.fieldLayout = request.layout.fieldLayout;
  auto context = MakeHostObject<HostEffectContext>(m_shared, sequence);
  auto render = MakeHostObject<HostRenderContext>(EffectTime(request.time), request.field);
  ZELRegion region{};
  if (VOKFAILED(m_effect->GetRegionOfDefinition(context.Get(), render.Get(), &region)) || region.known != 1)
    return std::nullopt;
  const auto cut = [](std::int32_t v, std::uint32_t side) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, std::min<std::uint32_t>(side, 0x7FFFFFFF)));
  };
  FrameRegion r{cut(region.left, width), cut(region.top, height), cut(region.right, width), cut(region.bottom, height)};
  if (r.Empty()) return FrameRegion{};
  return r;
}

std::optional<FrameRegion> EffectInstance::RegionAt(std::uint32_t width, std::uint32_t height, double time,
                                                    bool interlaced, ImageLayout layout) const {
  RenderRequest request;
  request.time = time;
  request.layout = layout;
  if (!interlaced) {
    request.field = ZELField_Both;
    request.layout.fieldLayout = ZELFieldLayout_Progressive;
    request.layout.fieldProcessing = ZELFieldProcessing_Frame;
    return RegionOf(width, height, request);
  }
  // Both fields: the first at `time`, the second half a frame later, each drawn over the frame.
  request.layout.fieldLayout = ZELFieldLayout_UpperFirst;
  request.layout.fieldProcessing = ZELFieldProcessing_Separate;
  request.field = ZELField_First;
  const std::optional<FrameRegion> first = RegionOf(width, height, request);
  if (!first) return std::nullopt;
  request.time = time + 0.5;
  request.field = ZELField_Second;
  const std::optional<FrameRegion> second = RegionOf(width, height, request);
  if (!second) return std::nullopt;
  if (first->Empty()) return second;
  if (second->Empty()) return first;
  return FrameRegion{std::min(first->left, second->left), std::min(first->top, second->top),
                     std::max(first->right, second->right), std::max(first->bottom, second->bottom)};
}

VOKRESULT EffectInstance::RenderFrame(const FrameView& in, const FrameView& out, std::int64_t k,
                                      ImageLayout layout) const {
  return RenderFrameAt(in, out, k, static_cast<double>(k), layout);
}

VOKRESULT EffectInstance::RenderFrameAt(const FrameView& in, const FrameView& out, std::int64_t k, double time,
                                        ImageLayout layout) const {
  RenderRequest request;
  request.time = time;
  request.frameIndex = k;
  request.field = ZELField_Both;
  request.layout = layout;
  request.layout.fieldLayout = ZELFieldLayout_Progressive;
  request.layout.fieldProcessing = ZELFieldProcessing_Frame;
  return Render(in, out, request);
}

VOKRESULT EffectInstance::RenderField(const FrameView& in, const FrameView& out, std::int64_t k,
                                      InterlaceOrder order, bool secondField, ImageLayout layout) const {
  return RenderFieldAt(in, out, k, static_cast<double>(k), order, secondField, layout);
}

VOKRESULT EffectInstance::RenderFieldAt(const FrameView& in, const FrameView& out, std::int64_t k, double time,
                                        InterlaceOrder order, bool secondField, ImageLayout layout) const {
  RenderRequest request;
  request.time = time + (secondField ? 0.5 : 0.0);
  request.frameIndex = k;
  request.field = secondField ? ZELField_Second : ZELField_First;
  request.layout = layout;
  const bool upperFirst = order == InterlaceOrder::UpperFirst;
  request.layout.fieldLayout = upperFirst ? ZELFieldLayout_UpperFirst : ZELFieldLayout_LowerFirst;
  request.layout.fieldProcessing = ZELFieldProcessing_Separate;
  // The starting field is the field of the even rows in the image's row order. Top-down, those
  // are the upper field; bottom-up they are the upper field only when the height is odd.
  const bool evenRowsAreUpper = !layout.bottomUp || out.height % 2 == 1;
  request.layout.startingField = upperFirst == evenRowsAreUpper ? ZELField_First : ZELField_Second;
  return Render(in, out, request);
}

VOKRESULT EffectInstance::RenderInterlaced(const FrameView& in, const FrameView& out, std::int64_t k,
                                           InterlaceOrder order, ImageLayout layout) const {
  return RenderInterlacedAt(in, out, k, static_cast<double>(k), order, layout);
}

VOKRESULT EffectInstance::RenderInterlacedAt(const FrameView& in, const FrameView& out, std::int64_t k, double time,
                                             InterlaceOrder order, ImageLayout layout) const {
  const VOKRESULT first = RenderFieldAt(in, out, k, time, order, false, layout);
  if (VOKFAILED(first)) return first;
  return RenderFieldAt(in, out, k, time, order, true, layout);
}

}  // namespace zel::host
