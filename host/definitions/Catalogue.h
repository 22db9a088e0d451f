// The host's view of an effect's parameter catalogue, for its users (zelhost info, effect
// instances, the panel, the command line): every parameter with its type and attributes, found by
// UID or by display name; the list items of list parameters with the value the host reports for
// each; and the panel tree.
//
// A Catalogue is a snapshot taken from a registered effect definition. It keeps one reference to
// that definition, so the ParameterDefinition and LayoutDefinition pointers it hands out stay valid
// for the Catalogue's life. It is immutable after construction and may be read from any thread.
//
// It is built defensively: a plug-in may hand over odd data (uninitialised definitions, values of
// the wrong size, unknown types, the same entry twice, very deep trees), and the catalogue still
// reads it without crashing; what it cannot make sense of shows up as "unknown" kinds or empty values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "definitions/Definitions.h"

namespace zel::host {

/// What a value-type UID stands for.
enum class ValueKind { Integer, SignedInteger, Double, Boolean, Text, String, Uid, Rgb, Bytes, Unknown };

/// The kind for a value-type UID (VOKTypeID_*); Unknown for any other UID.
ValueKind ValueKindOf(const VOKUID& type);
/// "integer", "signed integer", "double", "boolean", "text", "string", "uid", "rgb", "bytes", "unknown".
const char* ValueKindName(ValueKind kind);

/// What a panel entry is.
enum class LayoutKind { Group, Parameter, CheckBox, ListBox, ListItem, Color, TextField, Unknown };

/// The kind for a layout-kind UID (ZELLayout_*); no UID is a group.
LayoutKind LayoutKindOf(const std::optional<VOKUID>& kind);
/// "group", "parameter", "check box", "list box", "list item", "colour", "text field", "unknown".
const char* LayoutKindName(LayoutKind kind);

/// One attribute value, read by the type it was tagged with (not the parameter's declared type:
/// the channel parameters are doubles whose ranges arrive integer-tagged).
struct Value {
  VOKUID type{};                      ///< the value-type UID it was tagged with
  ValueKind kind = ValueKind::Unknown;
  double number = 0;                  ///< Integer, SignedInteger, Double, Boolean
  std::array<double, 3> rgb{};        ///< Rgb: red, green, blue
  std::string text;                   ///< Text, String: as UTF-8
  std::vector<std::uint8_t> bytes;    ///< Bytes, Uid and Unknown: the raw bytes; also set for numbers

  /// True when `number` holds the value (Integer, SignedInteger, Double, Boolean).
  bool IsNumber() const;
  /// Reads an attribute. A value whose size does not fit its tag becomes kind Unknown with its bytes.
  static Value From(const Attribute& attribute);
};

/// What an attribute UID stands for.
enum class AttributeRole { Default, Minimum, Maximum, Increment, Remap, Other };

/// "default", "min", "max", "increment", "remap", or "other".
const char* AttributeRoleName(AttributeRole role);

/// One attribute in the order it was first set.
struct AttributeEntry {
  VOKUID id{};
  AttributeRole role = AttributeRole::Other;
  Value value;
};

/// The five range attributes by role, plus all attributes in the order they were first set.
struct Attributes {
  std::optional<Value> defaultValue, minimum, maximum, increment, remap;
  std::vector<AttributeEntry> all;

  /// The attribute of `role`, or null.
  const Value* Get(AttributeRole role) const;
  static Attributes From(const AttributeList& list);
};

/// One item of a list parameter.
struct ListItem {
  VOKUID uid{};
  std::string name;     ///< UTF-8; empty for an unnamed item
  std::string tooltip;
  /// What the host reports as the list parameter's value when this item is chosen: the item's
  /// default-value attribute as a 32-bit integer, 0 when the item carries none (or a non-number).
  std::int32_t value = 0;
  bool hasValue = false;  ///< whether the item carried a value attribute
};

struct LayoutNode;

/// One parameter of the effect.
struct ParameterInfo {
  std::size_t index = 0;                        ///< position in registration order
  const ParameterDefinition* definition = nullptr;
  VOKUID uid{};
  std::string name;                             ///< display name, UTF-8
  std::string tooltip;
  VOKUID type{};                                ///< declared value-type UID
  ValueKind kind = ValueKind::Unknown;
  Attributes attributes;
  /// Channel parameters of a composite (RGB triple): indices into Catalogue::Parameters(), in the
  /// order red, green, blue.
  std::vector<std::size_t> components;
  /// The panel entry that shows this parameter (the first one met in panel order), or null for a
  /// parameter without one ("hidden", such as a parameter added on its own).
  const LayoutNode* entry = nullptr;
  /// For a list parameter (one shown by a list box): its items in list order, else empty.
  std::vector<ListItem> items;
  bool isList = false;

  /// The item whose name is `name`, or null.
  const ListItem* FindItem(std::string_view name) const;
  /// The first item that reports `value`, or null.
  const ListItem* FindItemByValue(std::int32_t value) const;
};

/// One entry of the panel tree.
struct LayoutNode {
  const LayoutDefinition* definition = nullptr;
  VOKUID uid{};
  std::optional<std::string> name, tooltip;  ///< none for an unnamed entry
  LayoutKind kind = LayoutKind::Group;
  std::optional<VOKUID> kindUid;
  /// The parameter it shows: an index into Catalogue::Parameters(), or none.
  std::optional<std::size_t> parameter;
  Attributes attributes;
  /// For a list item: the value the host reports when it is chosen (see ListItem::value).
  std::optional<std::int32_t> value;
  std::vector<LayoutNode> children;
};

class Catalogue {
 public:
  /// Takes a snapshot of `effect` (normally an effect definition) and keeps a reference to it.
  explicit Catalogue(const ComponentDefinition& effect);
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;
  Catalogue(Catalogue&&) = delete;
  Catalogue& operator=(Catalogue&&) = delete;

  const ComponentDefinition& Effect() const { return *m_effect.Get(); }

  /// Every parameter in registration order (the order the plug-in made them).
  const std::vector<ParameterInfo>& Parameters() const { return m_parameters; }
  /// The parameter with `uid`, or null.
  const ParameterInfo* Find(const VOKUID& uid) const;
  /// The parameter with display name `name` (UTF-8, exact); failing that, the parameter shown by
  /// a list box of that name ("Clock Type List" finds "the List value"); else null.
  const ParameterInfo* FindByName(std::string_view name) const;
  /// The parameter `definition` stands for, or null.
  const ParameterInfo* Find(const ParameterDefinition* definition) const;

  /// The top-level panel entries in panel order.
  const std::vector<LayoutNode>& Layout() const { return m_layout; }
  /// The first panel entry with `uid` (depth first, panel order), or null.
  const LayoutNode* FindEntry(const VOKUID& uid) const;

  /// True when the panel tree was cut because it was deeper than the host shows.
  bool Truncated() const { return m_truncated; }
  /// Deepest panel nesting the catalogue follows; entries below are left out.
  static constexpr std::size_t kMaxDepth = 64;

 private:
  LayoutNode MakeNode(const LayoutDefinition& entry, std::size_t depth);
  void LinkEntries(const std::vector<LayoutNode>& nodes);

  struct UidHash {
    std::size_t operator()(const VOKUID& uid) const noexcept;
  };

  VOKPtr<ComponentDefinition> m_effect;
  std::vector<ParameterInfo> m_parameters;
  /// Look-ups made once, so that finding a parameter (per frame, per parameter) costs one hash.
  std::unordered_map<VOKUID, std::size_t, UidHash> m_byUid;
  std::unordered_map<const ParameterDefinition*, std::size_t> m_byDefinition;
  std::vector<LayoutNode> m_layout;
  bool m_truncated = false;
};

}  // namespace zel::host
