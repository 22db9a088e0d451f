#include "definitions/Definitions.h"

#include <algorithm>
#include <cstring>

#include "text/Text.h"

namespace zel::host {

std::uint32_t ValueSizeOf(const VOKUID& type) {
  if (type == VOKTypeID_Integer || type == VOKTypeID_SignedInteger || type == VOKTypeID_Boolean) return 4;
  if (type == VOKTypeID_Double) return 8;
  if (type == VOKTypeID_UID) return 16;
  if (type == VOKTypeID_RGB) return 24;
  if (type == VOKTypeID_Text || type == VOKTypeID_String) return VOK_TEXT_SIZE;
  return 0;
}

std::optional<double> Attribute::AsNumber() const {
  if (isText) return std::nullopt;
  if ((type == VOKTypeID_Integer || type == VOKTypeID_Boolean) && bytes.size() == 4) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data(), 4);
    return static_cast<double>(v);
  }
  if (type == VOKTypeID_SignedInteger && bytes.size() == 4) {
    std::int32_t v;
    std::memcpy(&v, bytes.data(), 4);
    return static_cast<double>(v);
  }
  if (type == VOKTypeID_Double && bytes.size() == 8) {
    double v;
    std::memcpy(&v, bytes.data(), 8);
    return v;
  }
  return std::nullopt;
}

std::optional<std::array<double, 3>> Attribute::AsTriple() const {
  if (isText || !(type == VOKTypeID_RGB) || bytes.size() != 24) return std::nullopt;
  std::array<double, 3> v;
  std::memcpy(v.data(), bytes.data(), 24);
  return v;
}

VOKRESULT AttributeList::Set(const VOKUID& id, const VOKUID& type, const void* value, std::uint32_t size) {
  if (value == nullptr) return VOK_E_POINTER;
  const std::uint32_t expected = ValueSizeOf(type);
  if (expected != 0 && expected != size) return VOK_E_INVALIDARG;
  if (expected == 0 && size == VOK_TEXT_SIZE) return VOK_E_INVALIDARG;
  Attribute a;
  a.id = id;
  a.type = type;
  if (size == VOK_TEXT_SIZE) {
    a.isText = true;
    a.text = static_cast<const char16_t*>(value);
  } else {
    const auto* p = static_cast<const std::uint8_t*>(value);
    a.bytes.assign(p, p + size);
  }
  for (Attribute& existing : m_items) {
    if (existing.id == id) {
      existing = std::move(a);
      return VOK_OK;
    }
  }
  m_items.push_back(std::move(a));
  return VOK_OK;
}

const Attribute* AttributeList::Find(const VOKUID& id) const {
  for (const Attribute& a : m_items)
    if (a.id == id) return &a;
  return nullptr;
}

// --- plug-in definition -------------------------------------------------------------------------

VOKRESULT PluginDefinition::SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) {
  ZEL_HOST_ENTER("PluginDefinition.SetAttribute");
  return attributes.Set(attr, type, value, size);
}

VOKRESULT PluginDefinition::InitPlugin(const VOKUID& pluginUid, std::uint32_t vMajor, std::uint32_t vMinor,
                                       const VOKCHAR* file, const VOKUID& vendor, const VOKCHAR* vendorText,
                                       std::uint32_t aMajor, std::uint32_t aMinor) {
  ZEL_HOST_ENTER("PluginDefinition.InitPlugin");
  if (file == nullptr || vendorText == nullptr) return VOK_E_POINTER;
  if (initialised) return VOK_E_FAIL;
  initialised = true;
  uid = pluginUid;
  versionMajor = vMajor;
  versionMinor = vMinor;
  fileName = file;
  vendorUid = vendor;
  vendorName = vendorText;
  apiMajor = aMajor;
  apiMinor = aMinor;
  return VOK_OK;
}

// --- component and effect definitions -----------------------------------------------------------

void* ComponentDefinition::FindFace(const VOKUID& iid) {
  if (iid == IID_IZELComponentDefinition) return static_cast<IZELComponentDefinition*>(this);
  if (isEffect && iid == IID_IZELEffectDefinition) return static_cast<IZELEffectDefinition*>(this);
  return nullptr;
}

VOKRESULT ComponentDefinition::SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value,
                                            std::uint32_t size) {
  ZEL_HOST_ENTER(isEffect ? "EffectDefinition.SetAttribute" : "ComponentDefinition.SetAttribute");
  return attributes.Set(attr, type, value, size);
}

VOKRESULT ComponentDefinition::InitComponent(const VOKUID& componentUid, const VOKUID& componentKind,
                                             std::uint32_t vMajor, std::uint32_t vMinor, const VOKUID& clsid,
                                             const VOKCHAR* text) {
  ZEL_HOST_ENTER(isEffect ? "EffectDefinition.InitComponent" : "ComponentDefinition.InitComponent");
  if (text == nullptr) return VOK_E_POINTER;
  if (initialised) return VOK_E_FAIL;
  initialised = true;
  uid = componentUid;
  kind = componentKind;
  versionMajor = vMajor;
  versionMinor = vMinor;
  classUid = clsid;
  name = text;
  return VOK_OK;
}

VOKRESULT ComponentDefinition::AddLayout(IZELLayoutDefinition* layout) {
  ZEL_HOST_ENTER("EffectDefinition.AddLayout");
  auto* ours = dynamic_cast<LayoutDefinition*>(layout);
  if (layout == nullptr) return VOK_E_POINTER;
  if (ours == nullptr) return VOK_E_INVALIDARG;
  layouts.emplace_back(ours);
  return VOK_OK;
}

VOKRESULT ComponentDefinition::AddParameter(IZELParameterDefinition* parameter) {
  ZEL_HOST_ENTER("EffectDefinition.AddParameter");
  auto* ours = dynamic_cast<ParameterDefinition*>(parameter);
  if (parameter == nullptr) return VOK_E_POINTER;
  if (ours == nullptr) return VOK_E_INVALIDARG;
  extraParameters.emplace_back(ours);
  return VOK_OK;
}

VOKRESULT ComponentDefinition::DeclareInput(const VOKUID& inputUid, const VOKCHAR* text, void*) {
  ZEL_HOST_ENTER("EffectDefinition.DeclareInput");
  if (text == nullptr) return VOK_E_POINTER;
  inputs.push_back({inputUid, text});
  return VOK_OK;
}

VOKRESULT ComponentDefinition::DeclareOutput(const VOKUID& outputUid, const VOKCHAR* text, void*) {
  ZEL_HOST_ENTER("EffectDefinition.DeclareOutput");
  if (text == nullptr) return VOK_E_POINTER;
  outputs.push_back({outputUid, text});
  return VOK_OK;
}

VOKRESULT ComponentDefinition::DeclareColorModel(std::int32_t model, std::int32_t modelFlags, void*) {
  ZEL_HOST_ENTER("EffectDefinition.DeclareColorModel");
  colorModels.push_back({model, modelFlags});
  return VOK_OK;
}

namespace {
void CollectParameters(const LayoutDefinition& entry, std::vector<ParameterDefinition*>& out) {
  if (entry.parameter) out.push_back(entry.parameter.Get());
  for (const auto& child : entry.children) CollectParameters(*child.Get(), out);
}
}  // namespace

std::vector<ParameterDefinition*> ComponentDefinition::Parameters() const {
  std::vector<ParameterDefinition*> all;
  for (const auto& entry : layouts) CollectParameters(*entry.Get(), all);
  for (const auto& p : extraParameters) all.push_back(p.Get());
  // Composite parameters name their channels; the channels count as parameters too.
  for (std::size_t i = 0; i < all.size(); ++i)
    for (const auto& c : all[i]->components) all.push_back(c.Get());
  std::sort(all.begin(), all.end(), [](auto* a, auto* b) { return a->sequence < b->sequence; });
  all.erase(std::unique(all.begin(), all.end()), all.end());
  return all;
}

// --- parameter and layout definitions -----------------------------------------------------------

namespace {
// Definitions only ever reference ones made before they were linked, so these walks end. A link
// that would close a cycle is refused: the objects would keep each other alive for ever and every
// walk over them would never end.
bool ReachesParameter(const ParameterDefinition& from, const ParameterDefinition* target) {
  if (&from == target) return true;
  for (const auto& c : from.components)
    if (ReachesParameter(*c.Get(), target)) return true;
  return false;
}

bool ReachesLayout(const LayoutDefinition& from, const LayoutDefinition* target) {
  if (&from == target) return true;
  for (const auto& c : from.children)
    if (ReachesLayout(*c.Get(), target)) return true;
  return false;
}
}  // namespace

VOKRESULT ParameterDefinition::SetAttribute(const VOKUID& attr, const VOKUID& valueType, const void* value,
                                            std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("ParameterDefinition.SetAttribute", ToUtf8(name));
  return attributes.Set(attr, valueType, value, size);
}

VOKRESULT ParameterDefinition::InitParameter(const VOKUID& parameterUid, const VOKCHAR* text, const VOKCHAR* tip,
                                             const VOKUID& valueType, std::uint32_t parameterFlags,
                                             std::uint32_t reservedValue, std::uint32_t componentCount,
                                             IZELParameterDefinition* const* componentList) {
  ZEL_HOST_ENTER_DETAIL("ParameterDefinition.InitParameter", ToUtf8(text ? text : u""));
  if (text == nullptr || tip == nullptr) return VOK_E_POINTER;
  if (componentCount != 0 && componentList == nullptr) return VOK_E_INVALIDARG;
  if (initialised) return VOK_E_FAIL;
  std::vector<VOKPtr<ParameterDefinition>> parts;
  for (std::uint32_t i = 0; i < componentCount; ++i) {
    auto* ours = dynamic_cast<ParameterDefinition*>(componentList[i]);
    if (ours == nullptr || ReachesParameter(*ours, this)) return VOK_E_INVALIDARG;
    parts.emplace_back(ours);
  }
  initialised = true;
  uid = parameterUid;
  name = text;
  tooltip = tip;
  type = valueType;
  flags = parameterFlags;
  reserved = reservedValue;
  components = std::move(parts);
  return VOK_OK;
}

VOKRESULT LayoutDefinition::SetAttribute(const VOKUID& attr, const VOKUID& valueType, const void* value,
                                         std::uint32_t size) {
  ZEL_HOST_ENTER_DETAIL("LayoutDefinition.SetAttribute", ToUtf8(name.value_or(u"")));
  return attributes.Set(attr, valueType, value, size);
}

VOKRESULT LayoutDefinition::InitLayout(const VOKUID& layoutUid, const VOKCHAR* text, const VOKCHAR* tip,
                                       const VOKUID* layoutKind, IZELParameterDefinition* param) {
  ZEL_HOST_ENTER_DETAIL("LayoutDefinition.InitLayout", ToUtf8(text ? text : u""));
  if (initialised) return VOK_E_FAIL;
  ParameterDefinition* ours = nullptr;
  if (param != nullptr) {
    ours = dynamic_cast<ParameterDefinition*>(param);
    if (ours == nullptr) return VOK_E_INVALIDARG;
  }
  initialised = true;
  uid = layoutUid;
  if (text) name = std::u16string(text);
  if (tip) tooltip = std::u16string(tip);
  if (layoutKind) kind = *layoutKind;
  parameter = ours;
  return VOK_OK;
}

VOKRESULT LayoutDefinition::AddChild(IZELLayoutDefinition* child) {
  ZEL_HOST_ENTER_DETAIL("LayoutDefinition.AddChild", ToUtf8(name.value_or(u"")));
  auto* ours = dynamic_cast<LayoutDefinition*>(child);
  if (child == nullptr) return VOK_E_POINTER;
  if (ours == nullptr || ReachesLayout(*ours, this)) return VOK_E_INVALIDARG;
  children.emplace_back(ours);
  return VOK_OK;
}

}  // namespace zel::host
