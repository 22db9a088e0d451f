// The host's definition objects: what a plug-in registers (its identity, its components, the
// effect with its parameters and panel) kept exactly as given, and read back by the host's users
// (zelhost info, effect instances, the panel).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "loading/HostObject.h"

namespace zel::host {

class LayoutDefinition;
class ParameterDefinition;

/// One attribute as the plug-in set it.
struct Attribute {
  VOKUID id{};
  VOKUID type{};
  std::vector<std::uint8_t> bytes;  ///< the value's bytes (not used for text)
  std::u16string text;              ///< the value of a text attribute
  bool isText = false;

  /// The value read as a number of the attribute's type (integer, signed, boolean, double).
  std::optional<double> AsNumber() const;
  /// An RGB triple's three doubles.
  std::optional<std::array<double, 3>> AsTriple() const;
};

/// Attributes in the order they were first set.
class AttributeList {
 public:
  VOKRESULT Set(const VOKUID& id, const VOKUID& type, const void* value, std::uint32_t size);
  const Attribute* Find(const VOKUID& id) const;
  const std::vector<Attribute>& All() const { return m_items; }

 private:
  std::vector<Attribute> m_items;
};

class PluginDefinition final : public HostObject<IZELPluginDefinition> {
 public:
  VOKRESULT SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) override;
  VOKRESULT InitPlugin(const VOKUID& pluginUid, std::uint32_t versionMajor, std::uint32_t versionMinor,
                       const VOKCHAR* fileName, const VOKUID& vendorUid, const VOKCHAR* vendorName,
                       std::uint32_t apiMajor, std::uint32_t apiMinor) override;

  bool initialised = false;
  VOKUID uid{};
  std::uint32_t versionMajor = 0, versionMinor = 0, apiMajor = 0, apiMinor = 0;
  std::u16string fileName, vendorName;
  VOKUID vendorUid{};
  AttributeList attributes;

 protected:
  const char* ObjectName() const override { return "PluginDefinition"; }
};

/// A component; the effect definition extends it.
class ComponentDefinition : public HostObject<IZELEffectDefinition> {
 public:
  VOKRESULT SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) override;
  VOKRESULT InitComponent(const VOKUID& componentUid, const VOKUID& kind, std::uint32_t versionMajor,
                          std::uint32_t versionMinor, const VOKUID& clsid, const VOKCHAR* name) override;
  VOKRESULT AddLayout(IZELLayoutDefinition* layout) override;
  VOKRESULT AddParameter(IZELParameterDefinition* parameter) override;
  VOKRESULT DeclareInput(const VOKUID& inputUid, const VOKCHAR* name, void* reserved) override;
  VOKRESULT DeclareOutput(const VOKUID& outputUid, const VOKCHAR* name, void* reserved) override;
  VOKRESULT DeclareColorModel(std::int32_t colorModel, std::int32_t flags, void* reserved) override;

  /// Made as a plain component (answers only the component interface) or as an effect.
  explicit ComponentDefinition(bool isEffect) : isEffect(isEffect) {}

  struct Port {
    VOKUID uid;
    std::u16string name;
  };
  struct ColorModel {
    std::int32_t model;
    std::int32_t flags;
  };

  const bool isEffect;
  bool initialised = false;
  VOKUID uid{}, kind{}, classUid{};
  std::uint32_t versionMajor = 0, versionMinor = 0;
  std::u16string name;
  AttributeList attributes;
  std::vector<VOKPtr<LayoutDefinition>> layouts;           ///< top-level panel entries
  std::vector<VOKPtr<ParameterDefinition>> extraParameters;  ///< parameters without a panel entry
  std::vector<Port> inputs, outputs;
  std::vector<ColorModel> colorModels;

  /// Every parameter of the effect (in the panel's entries and added on its own), in the order the
  /// plug-in made them. No reference added.
  std::vector<ParameterDefinition*> Parameters() const;

 protected:
  const char* ObjectName() const override { return isEffect ? "EffectDefinition" : "ComponentDefinition"; }
  void* FindFace(const VOKUID& iid) override;
};

class ParameterDefinition final : public HostObject<IZELParameterDefinition> {
 public:
  explicit ParameterDefinition(std::uint64_t sequence) : sequence(sequence) {}
  VOKRESULT SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) override;
  VOKRESULT InitParameter(const VOKUID& parameterUid, const VOKCHAR* name, const VOKCHAR* tooltip, const VOKUID& type,
                          std::uint32_t flags, std::uint32_t reserved, std::uint32_t componentCount,
                          IZELParameterDefinition* const* components) override;

  const std::uint64_t sequence;  ///< order of creation by the factory
  bool initialised = false;
  VOKUID uid{}, type{};
  std::u16string name, tooltip;
  std::uint32_t flags = 0, reserved = 0;
  std::vector<VOKPtr<ParameterDefinition>> components;
  AttributeList attributes;

 protected:
  const char* ObjectName() const override { return "ParameterDefinition"; }
};

class LayoutDefinition final : public HostObject<IZELLayoutDefinition> {
 public:
  VOKRESULT SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) override;
  VOKRESULT InitLayout(const VOKUID& layoutUid, const VOKCHAR* name, const VOKCHAR* tooltip, const VOKUID* kind,
                       IZELParameterDefinition* parameter) override;
  VOKRESULT AddChild(IZELLayoutDefinition* child) override;

  bool initialised = false;
  VOKUID uid{};
  std::optional<std::u16string> name, tooltip;
  std::optional<VOKUID> kind;  ///< none: a group
  VOKPtr<ParameterDefinition> parameter;
  std::vector<VOKPtr<LayoutDefinition>> children;
  AttributeList attributes;

 protected:
  const char* ObjectName() const override { return "LayoutDefinition"; }
};

/// Size in bytes a value of `type` must have (VOK_TEXT_SIZE for text), or 0 for any size.
std::uint32_t ValueSizeOf(const VOKUID& type);

}  // namespace zel::host
