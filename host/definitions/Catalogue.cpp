#include "definitions/Catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "text/Text.h"

namespace zel::host {

ValueKind ValueKindOf(const VOKUID& type) {
  if (type == VOKTypeID_Integer) return ValueKind::Integer;
  if (type == VOKTypeID_SignedInteger) return ValueKind::SignedInteger;
  if (type == VOKTypeID_Double) return ValueKind::Double;
  if (type == VOKTypeID_Boolean) return ValueKind::Boolean;
  if (type == VOKTypeID_Text) return ValueKind::Text;
  if (type == VOKTypeID_String) return ValueKind::String;
  if (type == VOKTypeID_UID) return ValueKind::Uid;
  if (type == VOKTypeID_RGB) return ValueKind::Rgb;
  if (type == VOKTypeID_ByteArray) return ValueKind::Bytes;
  return ValueKind::Unknown;
}

const char* ValueKindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::Integer: return "integer";
    case ValueKind::SignedInteger: return "signed integer";
    case ValueKind::Double: return "double";
    case ValueKind::Boolean: return "boolean";
    case ValueKind::Text: return "text";
    case ValueKind::String: return "string";
    case ValueKind::Uid: return "uid";
    case ValueKind::Rgb: return "rgb";
    case ValueKind::Bytes: return "bytes";
    case ValueKind::Unknown: break;
  }
  return "unknown";
}

LayoutKind LayoutKindOf(const std::optional<VOKUID>& kind) {
  if (!kind) return LayoutKind::Group;
  if (*kind == ZELLayout_Parameter) return LayoutKind::Parameter;
  if (*kind == ZELLayout_CheckBox) return LayoutKind::CheckBox;
  if (*kind == ZELLayout_ListBox) return LayoutKind::ListBox;
  if (*kind == ZELLayout_ListItem) return LayoutKind::ListItem;
  if (*kind == ZELLayout_Color) return LayoutKind::Color;
  if (*kind == ZELLayout_TextField) return LayoutKind::TextField;
  return LayoutKind::Unknown;
}

const char* LayoutKindName(LayoutKind kind) {
  switch (kind) {
    case LayoutKind::Group: return "group";
    case LayoutKind::Parameter: return "parameter";
    case LayoutKind::CheckBox: return "check box";
    case LayoutKind::ListBox: return "list box";
    case LayoutKind::ListItem: return "list item";
    case LayoutKind::Color: return "colour";
    case LayoutKind::TextField: return "text field";
    case LayoutKind::Unknown: break;
  }
  return "unknown";
}

const char* AttributeRoleName(AttributeRole role) {
  switch (role) {
    case AttributeRole::Default: return "default";
    case AttributeRole::Minimum: return "min";
    case AttributeRole::Maximum: return "max";
    case AttributeRole::Increment: return "increment";
    case AttributeRole::Remap: return "remap";
    case AttributeRole::Other: break;
  }
  return "other";
}

namespace {

AttributeRole RoleOf(const VOKUID& id) {
  if (id == ZELAttr_Default) return AttributeRole::Default;
  if (id == ZELAttr_Minimum) return AttributeRole::Minimum;
  if (id == ZELAttr_Maximum) return AttributeRole::Maximum;
  if (id == ZELAttr_Increment) return AttributeRole::Increment;
  if (id == ZELAttr_UIRemap) return AttributeRole::Remap;
  return AttributeRole::Other;
}

}  // namespace

bool Value::IsNumber() const {
  return kind == ValueKind::Integer || kind == ValueKind::SignedInteger || kind == ValueKind::Double ||
         kind == ValueKind::Boolean;
}

Value Value::From(const Attribute& attribute) {
  Value v;
  v.type = attribute.type;
  v.kind = ValueKindOf(attribute.type);
  v.bytes = attribute.bytes;
  if (attribute.isText) {
    // Only the two text types are stored as text; anything else that came as text stays unknown.
    if (v.kind == ValueKind::Text || v.kind == ValueKind::String) {
      v.text = ToUtf8(attribute.text);
    } else {
      v.kind = ValueKind::Unknown;
      v.text = ToUtf8(attribute.text);
    }
    return v;
  }
  switch (v.kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Double:
    case ValueKind::Boolean:
      if (auto n = attribute.AsNumber()) {
        v.number = *n;
      } else {
        v.kind = ValueKind::Unknown;
      }
      break;
    case ValueKind::Rgb:
      if (auto t = attribute.AsTriple()) {
        v.rgb = *t;
      } else {
        v.kind = ValueKind::Unknown;
      }
      break;
    case ValueKind::Uid:
      if (v.bytes.size() != sizeof(VOKUID)) v.kind = ValueKind::Unknown;
      break;
    case ValueKind::Text:
    case ValueKind::String:
      // A text type handed over with a byte size: not text the host can trust to be terminated.
      v.kind = ValueKind::Unknown;
      break;
    case ValueKind::Bytes:
    case ValueKind::Unknown:
      break;
  }
  return v;
}

const Value* Attributes::Get(AttributeRole role) const {
  const std::optional<Value>* slot = nullptr;
  switch (role) {
    case AttributeRole::Default: slot = &defaultValue; break;
    case AttributeRole::Minimum: slot = &minimum; break;
    case AttributeRole::Maximum: slot = &maximum; break;
    case AttributeRole::Increment: slot = &increment; break;
    case AttributeRole::Remap: slot = &remap; break;
    case AttributeRole::Other: return nullptr;
  }
  return *slot ? &**slot : nullptr;
}

Attributes Attributes::From(const AttributeList& list) {
  Attributes out;
  out.all.reserve(list.All().size());
  for (const Attribute& a : list.All()) {
    AttributeEntry entry{a.id, RoleOf(a.id), Value::From(a)};
    switch (entry.role) {
      case AttributeRole::Default: out.defaultValue = entry.value; break;
      case AttributeRole::Minimum: out.minimum = entry.value; break;
      case AttributeRole::Maximum: out.maximum = entry.value; break;
      case AttributeRole::Increment: out.increment = entry.value; break;
      case AttributeRole::Remap: out.remap = entry.value; break;
      case AttributeRole::Other: break;
    }
    out.all.push_back(std::move(entry));
  }
  return out;
}

const ListItem* ParameterInfo::FindItem(std::string_view itemName) const {
  for (const ListItem& item : items)
    if (item.name == itemName) return &item;
  return nullptr;
}

const ListItem* ParameterInfo::FindItemByValue(std::int32_t itemValue) const {
  for (const ListItem& item : items)
    if (item.value == itemValue) return &item;
  return nullptr;
}

namespace {

/// The value a chosen list item reports: its default-value attribute as a 32-bit integer; 0 when
/// it has none, or one that is no number (a host must answer something, and 0 is what an item
/// without a value reports).
std::pair<std::int32_t, bool> ItemValue(const Attributes& attributes) {
  const Value* v = attributes.Get(AttributeRole::Default);
  if (v == nullptr) return {0, false};
  if (!v->IsNumber() || !std::isfinite(v->number)) return {0, true};
  if (v->kind == ValueKind::Integer) {
    // Integer values are 32 bits unsigned on the wire; list parameters report them as int32.
    return {static_cast<std::int32_t>(static_cast<std::uint32_t>(v->number)), true};
  }
  const double clamped = std::clamp(std::trunc(v->number), -2147483648.0, 2147483647.0);
  return {static_cast<std::int32_t>(clamped), true};
}

/// Every parameter reachable from the effect: in its panel entries, added on their own, and the
/// channels of composites. Iterative with a visited set, so that shared or cyclic references
/// neither loop nor repeat.
std::vector<const ParameterDefinition*> ReachableParameters(const ComponentDefinition& effect) {
  std::vector<const ParameterDefinition*> found;
  std::vector<const LayoutDefinition*> stack;
  std::unordered_map<const void*, bool> seen;
  auto addParameter = [&](const ParameterDefinition* p) {
    if (p != nullptr && seen.emplace(p, true).second) found.push_back(p);
  };
  for (auto it = effect.layouts.rbegin(); it != effect.layouts.rend(); ++it) stack.push_back(it->Get());
  while (!stack.empty()) {
    const LayoutDefinition* entry = stack.back();
    stack.pop_back();
    if (entry == nullptr || !seen.emplace(entry, true).second) continue;
    addParameter(entry->parameter.Get());
    for (auto it = entry->children.rbegin(); it != entry->children.rend(); ++it) stack.push_back(it->Get());
  }
  for (const auto& p : effect.extraParameters) addParameter(p.Get());
  for (std::size_t i = 0; i < found.size(); ++i)
    for (const auto& c : found[i]->components) addParameter(c.Get());
  // Registration order is the order the factory made them.
  std::stable_sort(found.begin(), found.end(), [](auto* a, auto* b) { return a->sequence < b->sequence; });
  return found;
}

}  // namespace

Catalogue::Catalogue(const ComponentDefinition& effect) : m_effect(const_cast<ComponentDefinition*>(&effect)) {
  const auto definitions = ReachableParameters(effect);
  m_parameters.reserve(definitions.size());
  for (const ParameterDefinition* def : definitions) {
    ParameterInfo info;
    info.index = m_parameters.size();
    info.definition = def;
    info.uid = def->uid;
    info.name = ToUtf8(def->name);
    info.tooltip = ToUtf8(def->tooltip);
    info.type = def->type;
    info.kind = ValueKindOf(def->type);
    info.attributes = Attributes::From(def->attributes);
    // With two parameters of one UID (a plug-in's mistake) the first one made is found.
    m_byUid.emplace(info.uid, info.index);
    m_byDefinition.emplace(def, info.index);
    m_parameters.push_back(std::move(info));
  }
  for (ParameterInfo& info : m_parameters) {
    for (const auto& c : info.definition->components)
      if (const ParameterInfo* part = Find(c.Get())) info.components.push_back(part->index);
  }
  m_layout.reserve(effect.layouts.size());
  for (const auto& entry : effect.layouts)
    if (entry) m_layout.push_back(MakeNode(*entry.Get(), 1));
  // Nodes are final now; their addresses stay put for the catalogue's life.
  LinkEntries(m_layout);
}

LayoutNode Catalogue::MakeNode(const LayoutDefinition& entry, std::size_t depth) {
  LayoutNode node;
  node.definition = &entry;
  node.uid = entry.uid;
  if (entry.name) node.name = ToUtf8(*entry.name);
  if (entry.tooltip) node.tooltip = ToUtf8(*entry.tooltip);
  node.kindUid = entry.kind;
  node.kind = LayoutKindOf(entry.kind);
  if (const ParameterInfo* p = Find(entry.parameter.Get())) node.parameter = p->index;
  node.attributes = Attributes::From(entry.attributes);
  if (node.kind == LayoutKind::ListItem) node.value = ItemValue(node.attributes).first;
  if (depth >= kMaxDepth) {
    if (!entry.children.empty()) m_truncated = true;
    return node;
  }
  node.children.reserve(entry.children.size());
  for (const auto& child : entry.children)
    if (child) node.children.push_back(MakeNode(*child.Get(), depth + 1));
  return node;
}

void Catalogue::LinkEntries(const std::vector<LayoutNode>& nodes) {
  for (const LayoutNode& node : nodes) {
    if (node.parameter) {
      ParameterInfo& info = m_parameters[*node.parameter];
      if (info.entry == nullptr) info.entry = &node;
      // The first list box that shows a parameter gives it its items.
      if (node.kind == LayoutKind::ListBox && !info.isList) {
        info.isList = true;
        for (const LayoutNode& child : node.children) {
          if (child.kind != LayoutKind::ListItem) continue;
          const auto [value, hasValue] = ItemValue(child.attributes);
          info.items.push_back({child.uid, child.name.value_or(""), child.tooltip.value_or(""), value, hasValue});
        }
      }
    }
    LinkEntries(node.children);
  }
}

std::size_t Catalogue::UidHash::operator()(const VOKUID& uid) const noexcept {
  // FNV-1a over the sixteen bytes.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&uid);
  std::uint64_t h = 0xCBF29CE484222325u;
  for (std::size_t i = 0; i < sizeof uid; ++i) h = (h ^ bytes[i]) * 0x100000001B3u;
  return static_cast<std::size_t>(h);
}

const ParameterInfo* Catalogue::Find(const VOKUID& uid) const {
  const auto it = m_byUid.find(uid);
  return it == m_byUid.end() ? nullptr : &m_parameters[it->second];
}

const ParameterInfo* Catalogue::Find(const ParameterDefinition* definition) const {
  const auto it = m_byDefinition.find(definition);
  return it == m_byDefinition.end() ? nullptr : &m_parameters[it->second];
}

namespace {
const LayoutNode* FindListBox(const std::vector<LayoutNode>& nodes, std::string_view name) {
  for (const LayoutNode& node : nodes) {
    if (node.kind == LayoutKind::ListBox && node.parameter && node.name && *node.name == name) return &node;
    if (const LayoutNode* found = FindListBox(node.children, name)) return found;
  }
  return nullptr;
}

const LayoutNode* FindNode(const std::vector<LayoutNode>& nodes, const VOKUID& uid) {
  for (const LayoutNode& node : nodes) {
    if (node.uid == uid) return &node;
    if (const LayoutNode* found = FindNode(node.children, uid)) return found;
  }
  return nullptr;
}
}  // namespace

const ParameterInfo* Catalogue::FindByName(std::string_view name) const {
  for (const ParameterInfo& p : m_parameters)
    if (p.name == name) return &p;
  if (const LayoutNode* box = FindListBox(m_layout, name)) return &m_parameters[*box->parameter];
  return nullptr;
}

const LayoutNode* Catalogue::FindEntry(const VOKUID& uid) const { return FindNode(m_layout, uid); }

}  // namespace zel::host
