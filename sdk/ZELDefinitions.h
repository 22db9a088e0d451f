// Host-side definition objects through which a plug-in describes itself at registration: the
// host-definition and definition-factory interfaces that the host unknown answers, the plug-in,
// component, effect, parameter and layout definitions, and the host-owned UIDs a plug-in passes
// back (definition classes, component kinds, attributes, value types, layout kinds).
//
// All definition operations copy what they are given: text, attribute values and component lists
// may be freed by the caller as soon as the call returns. Add operations (AddLayout, AddChild,
// AddParameter) take their own reference to the object added.
//
// Threads. Registration (VOKRegisterPlugin, VOKRegisterComponent) runs on the thread the host
// calls it on; the definitions made during one registration are used by that thread only until
// the export returns them, after which the host owns them. Creation operations hand back their
// object with one reference (null first, null on failure).
#pragma once

#include "VOKBase.h"

// Interfaces of the host's definition objects.
inline constexpr VOKUID IID_IZELHostDefinition = {0x711A16B4, 0x7439, 0x4CB2, {0xBE, 0x02, 0x67, 0xDB, 0x12, 0x49, 0x70, 0x3C}};
inline constexpr VOKUID IID_IZELDefinitionFactory = {0x3128FF3D, 0xA635, 0x4F40, {0xBD, 0xC7, 0xB3, 0x85, 0x68, 0x50, 0x63, 0x3F}};
inline constexpr VOKUID IID_IZELPluginDefinition = {0xA7DCDE0B, 0x71B6, 0x49BD, {0xAE, 0xDE, 0x5A, 0x96, 0xFD, 0x4A, 0xC6, 0xF0}};
inline constexpr VOKUID IID_IZELComponentDefinition = {0xBC3F5BE2, 0x3E97, 0x4A4C, {0xA7, 0x92, 0x46, 0x92, 0x52, 0x4F, 0x10, 0xB1}};
inline constexpr VOKUID IID_IZELEffectDefinition = {0xD5338959, 0xFF02, 0x40D5, {0xB9, 0x6D, 0x8A, 0x3F, 0x61, 0x5B, 0x21, 0xAB}};
inline constexpr VOKUID IID_IZELParameterDefinition = {0x7F51D117, 0x601B, 0x4481, {0xB1, 0xB9, 0x02, 0x54, 0x4D, 0x3F, 0xEA, 0x6F}};
inline constexpr VOKUID IID_IZELLayoutDefinition = {0xE1322EF4, 0x30BB, 0x4D49, {0x96, 0xEF, 0x3B, 0xE7, 0x5A, 0x34, 0x2F, 0x01}};

// Classes the definition factory creates.
inline constexpr VOKUID CLSID_ZELPluginDefinition = {0x63EA8499, 0x322A, 0x4BBA, {0xB5, 0x90, 0x22, 0x99, 0xEF, 0x0A, 0x73, 0xE1}};
inline constexpr VOKUID CLSID_ZELComponentDefinition = {0x7D9A21BE, 0xB268, 0x44D8, {0xB0, 0xFC, 0xF6, 0x87, 0x27, 0x68, 0x22, 0xA8}};
inline constexpr VOKUID CLSID_ZELEffectDefinition = {0x31D826C1, 0x4BF2, 0x4EDD, {0x83, 0x28, 0x06, 0x5F, 0x9E, 0xAC, 0xDB, 0x2F}};
inline constexpr VOKUID CLSID_ZELParameterDefinition = {0xCF5BD698, 0x81E5, 0x47AC, {0x84, 0xC4, 0xDA, 0xE2, 0xE6, 0x92, 0x16, 0x15}};
inline constexpr VOKUID CLSID_ZELLayoutDefinition = {0x8F35BE52, 0x1F79, 0x45D4, {0xAC, 0x44, 0x91, 0x37, 0xE9, 0x2B, 0x55, 0x94}};

// Component kinds.
inline constexpr VOKUID ZELKind_Effect = {0xBE6ED49F, 0x6497, 0x4DFB, {0xAF, 0x84, 0xF5, 0x2F, 0xC4, 0x75, 0xE2, 0x28}};
inline constexpr VOKUID ZELKind_ModalUI = {0xCA1091EE, 0x7C8B, 0x45B2, {0x9C, 0x4C, 0x00, 0x23, 0x5E, 0x75, 0xBE, 0x39}};
inline constexpr VOKUID ZELKind_UpdateParams = {0xD518CF45, 0x87FC, 0x4DDB, {0x9E, 0xAD, 0x1E, 0x41, 0x28, 0x0E, 0xE2, 0x82}};
inline constexpr VOKUID ZELKind_Overlay = {0x60F46EA9, 0xE639, 0x4C53, {0x9F, 0xFA, 0x94, 0x1A, 0xC5, 0x4A, 0x46, 0x45}};

// Attributes.
inline constexpr VOKUID ZELAttr_Description = {0x4AB561BA, 0x1496, 0x4E05, {0xAD, 0x23, 0xD6, 0x98, 0x25, 0x3A, 0x26, 0xDF}};  ///< plug-in description text
inline constexpr VOKUID ZELAttr_Default = {0xE13B7EE5, 0x05B4, 0x4310, {0x8B, 0x22, 0xB9, 0xFC, 0x07, 0x94, 0x6E, 0xD7}};  ///< default value; a list item's value
inline constexpr VOKUID ZELAttr_Minimum = {0x59662455, 0x316A, 0x45B1, {0x85, 0x49, 0x0B, 0x68, 0xA7, 0x7E, 0xB0, 0xA4}};
inline constexpr VOKUID ZELAttr_Maximum = {0xEAFB1D60, 0x1678, 0x4309, {0x8A, 0x08, 0x4F, 0x65, 0x76, 0xB4, 0x7A, 0x56}};
inline constexpr VOKUID ZELAttr_Increment = {0xAD457CBA, 0xDB43, 0x4397, {0x97, 0x4C, 0x9F, 0x28, 0xE5, 0x2D, 0x1C, 0x58}};
inline constexpr VOKUID ZELAttr_UIRemap = {0x35A99A2E, 0x1A73, 0x4564, {0xAF, 0xB3, 0xC7, 0xE3, 0xB0, 0x2D, 0x9A, 0x2A}};  ///< factor between stored and shown value
inline constexpr VOKUID ZELAttr_EffectText = {0x53F4F4C3, 0xE407, 0x47FF, {0xAE, 0xB9, 0xFE, 0xBF, 0xE2, 0x77, 0xCC, 0x84}};  ///< free text of an effect
inline constexpr VOKUID ZELAttr_OverlayLink = {0x26DC120C, 0x867E, 0x43B9, {0x95, 0x8F, 0x57, 0x16, 0xDE, 0x67, 0x29, 0x9B}};  ///< UID of the effect's overlay component
inline constexpr VOKUID ZELAttr_ModalUILink = {0xF1A5FBE6, 0xF6EA, 0x4B9F, {0xBB, 0x95, 0x35, 0x92, 0xAF, 0x6A, 0x65, 0x01}};  ///< UID of the effect's modal UI component
inline constexpr VOKUID ZELAttr_Real = {0x32D64C34, 0x18D3, 0x448A, {0xBA, 0x40, 0x1C, 0x52, 0x01, 0xC3, 0xF1, 0x41}};  ///< boolean: the effect renders real frames
inline constexpr VOKUID ZELAttr_UpdateParamsLink = {0xC9B04BD1, 0xB383, 0x411B, {0xAD, 0x4C, 0xA3, 0xB0, 0xBE, 0xA9, 0x92, 0x28}};  ///< UID of the update component
inline constexpr VOKUID ZELAttr_OverlaySizeText = {0xAD93C806, 0x7E41, 0x4ED2, {0xBA, 0xC4, 0x4D, 0xBB, 0x63, 0xD3, 0x66, 0x8F}};  ///< name of the overlay's handle mode
inline constexpr VOKUID ZELAttr_OverlayDragText = {0xD26973ED, 0x9D83, 0x4D37, {0xAC, 0x49, 0x99, 0x58, 0x7A, 0x7D, 0x67, 0xA3}};  ///< name of the overlay's drag mode

// Value types. Sizes: integer, signed integer and boolean 4 bytes; double 8; UID 16; RGB triple
// 24 (three doubles, red, green, blue); text and string VOK_TEXT_SIZE; byte array any size.
inline constexpr VOKUID VOKTypeID_Integer = {0x7A24568C, 0x8832, 0x48DE, {0xBA, 0x03, 0x03, 0x52, 0xAB, 0x48, 0x63, 0xA6}};
inline constexpr VOKUID VOKTypeID_SignedInteger = {0x3F74298A, 0xBE39, 0x4559, {0x8E, 0x51, 0x16, 0xBD, 0xA5, 0xC3, 0xB5, 0x2A}};
inline constexpr VOKUID VOKTypeID_Double = {0x47BC59FD, 0x79FE, 0x4B54, {0xAE, 0x18, 0x5B, 0xAE, 0xE9, 0x97, 0x4A, 0x41}};
inline constexpr VOKUID VOKTypeID_Boolean = {0x1390D81D, 0x5D3B, 0x409B, {0x97, 0xBD, 0xB0, 0xCB, 0xAE, 0xD8, 0x91, 0xF1}};
inline constexpr VOKUID VOKTypeID_Text = {0xE9DFBFD6, 0x8C92, 0x41AA, {0x83, 0x00, 0xF1, 0xA6, 0xD6, 0x11, 0x85, 0x9D}};  ///< a text parameter's value
inline constexpr VOKUID VOKTypeID_String = {0x70E1CFA5, 0x26C5, 0x4BD8, {0xA7, 0x0C, 0xA2, 0x3C, 0xCD, 0xB2, 0x16, 0xCD}};  ///< a text attribute's value
inline constexpr VOKUID VOKTypeID_UID = {0xE0D0FDB1, 0x5938, 0x4034, {0x83, 0xA6, 0x71, 0x11, 0x83, 0xE6, 0xFF, 0x98}};
inline constexpr VOKUID VOKTypeID_RGB = {0xA64FC83E, 0x3FCF, 0x439E, {0x92, 0xFD, 0xB6, 0x9F, 0x72, 0xBA, 0x96, 0x41}};
inline constexpr VOKUID VOKTypeID_ByteArray = {0xD4D57A31, 0x0A8B, 0x4B3A, {0xBE, 0xB3, 0xD8, 0x72, 0x50, 0x28, 0x73, 0x81}};

// Layout kinds. A layout entry initialised with no kind (null) is a group.
inline constexpr VOKUID ZELLayout_Parameter = {0x77B4B223, 0x2888, 0x42A4, {0xB1, 0xF3, 0x7C, 0x9F, 0xF7, 0x1D, 0xD6, 0xCA}};
inline constexpr VOKUID ZELLayout_CheckBox = {0xE742C6B1, 0xCCC7, 0x4ED8, {0xAB, 0x3E, 0xD9, 0xFC, 0x6A, 0xEA, 0x8A, 0x64}};
inline constexpr VOKUID ZELLayout_ListBox = {0xC483B179, 0xCB9B, 0x4E4B, {0xAC, 0x0F, 0x17, 0x31, 0xFC, 0xD4, 0xF0, 0xD7}};
inline constexpr VOKUID ZELLayout_ListItem = {0xFABAB902, 0x7B95, 0x439E, {0xB6, 0xFE, 0x2C, 0x64, 0xED, 0xD6, 0xB6, 0xBC}};
inline constexpr VOKUID ZELLayout_Color = {0xFC67F666, 0x881A, 0x4088, {0x8D, 0x4C, 0xBC, 0x4E, 0xF4, 0x1E, 0x2F, 0x7E}};
inline constexpr VOKUID ZELLayout_TextField = {0x029BA8A4, 0xFF91, 0x43C3, {0xA0, 0x5C, 0xB4, 0x2E, 0x8E, 0xFA, 0xB1, 0xE3}};

/// Answered by the host unknown to say "this is a host that takes definitions". Plug-ins only ask
/// for it; the host fills nothing through it they rely on.
class IZELHostDefinition : public IVOKUnknown {
 public:
  /// Slot 3. Writes the host's interface version into both out-parameters (either may be null).
  /// Always VOK_OK.
  virtual VOKRESULT GetHostVersion(std::uint32_t* major, std::uint32_t* minor) = 0;

 protected:
  ~IZELHostDefinition() = default;
};

/// Makes definition objects.
class IZELDefinitionFactory : public IVOKUnknown {
 public:
  /// Slot 3. Creates a definition of class `clsid` (one of the CLSID_ZEL*Definition above) as
  /// interface `iid`. `outer` must be null. Sets *ppv to null first; VOK_OK with one reference;
  /// VOK_E_POINTER for null `ppv`; VOK_CLASS_E_NOAGGREGATION for a non-null `outer`;
  /// VOK_CLASS_E_CLASSNOTAVAILABLE for an unknown class; VOK_E_NOINTERFACE for an interface the
  /// class does not offer.
  virtual VOKRESULT CreateInstance(const VOKUID& clsid, IVOKUnknown* outer, const VOKUID& iid, void** ppv) = 0;

 protected:
  ~IZELDefinitionFactory() = default;
};

/// Common to every definition that carries attributes.
class IZELAttributeSink : public IVOKUnknown {
 public:
  /// Slot 3. Adds the attribute `attr` of type `type`: `size` bytes at `value`, or, for size
  /// VOK_TEXT_SIZE, zero-terminated UTF-16 text. Setting an attribute again replaces its value but
  /// keeps its first position. Returns VOK_OK; VOK_E_POINTER for a null `value`; VOK_E_INVALIDARG
  /// when `size` does not fit `type` (4 for integer, signed integer and boolean, 8 for double, 16
  /// for UID, 24 for RGB, VOK_TEXT_SIZE for text and string).
  virtual VOKRESULT SetAttribute(const VOKUID& attr, const VOKUID& type, const void* value, std::uint32_t size) = 0;

 protected:
  ~IZELAttributeSink() = default;
};

/// The plug-in as a whole.
class IZELPluginDefinition : public IZELAttributeSink {
 public:
  /// Slot 4. Identity of the plug-in. Texts must be non-null (VOK_E_POINTER). The numbers are
  /// stored as given; the host reads `versionMajor`.`versionMinor` and `apiMajor`.`apiMinor`.
  /// Returns VOK_OK, or VOK_E_FAIL when called a second time.
  virtual VOKRESULT InitPlugin(const VOKUID& pluginUid, std::uint32_t versionMajor, std::uint32_t versionMinor,
                               const VOKCHAR* fileName, const VOKUID& vendorUid, const VOKCHAR* vendorName,
                               std::uint32_t apiMajor, std::uint32_t apiMinor) = 0;

 protected:
  ~IZELPluginDefinition() = default;
};

/// One component of the plug-in (a modal UI, an update handler, an overlay); base of the effect
/// definition.
class IZELComponentDefinition : public IZELAttributeSink {
 public:
  /// Slot 4. Identity: component UID, kind (ZELKind_*), two version numbers, the class UID that
  /// VOKGetClassFactory answers to, and the name (non-null, else VOK_E_POINTER). VOK_E_FAIL when
  /// called a second time.
  virtual VOKRESULT InitComponent(const VOKUID& componentUid, const VOKUID& kind, std::uint32_t versionMajor,
                                  std::uint32_t versionMinor, const VOKUID& clsid, const VOKCHAR* name) = 0;

 protected:
  ~IZELComponentDefinition() = default;
};

class IZELParameterDefinition;
class IZELLayoutDefinition;

/// The effect: a component with parameters, a panel layout, inputs, outputs and colour models.
class IZELEffectDefinition : public IZELComponentDefinition {
 public:
  /// Slot 5. Appends a top-level panel entry (takes a reference). Null: VOK_E_POINTER. The entry's
  /// parameters, and those of all its descendants, become parameters of the effect.
  virtual VOKRESULT AddLayout(IZELLayoutDefinition* layout) = 0;
  /// Slot 6. Adds a parameter that has no panel entry (takes a reference). Null: VOK_E_POINTER.
  virtual VOKRESULT AddParameter(IZELParameterDefinition* parameter) = 0;
  /// Slot 7. Declares an input. `name` non-null; `reserved` must be null. VOK_OK or VOK_E_POINTER.
  virtual VOKRESULT DeclareInput(const VOKUID& inputUid, const VOKCHAR* name, void* reserved) = 0;
  /// Slot 8. Declares an output, as DeclareInput.
  virtual VOKRESULT DeclareOutput(const VOKUID& outputUid, const VOKCHAR* name, void* reserved) = 0;
  /// Slot 9. Declares a colour model the effect renders in (ZELColorModel_*, see ZELRender.h),
  /// in order of preference, with a flags word (1: 8 bits per component). `reserved` must be null.
  virtual VOKRESULT DeclareColorModel(std::int32_t colorModel, std::int32_t flags, void* reserved) = 0;

 protected:
  ~IZELEffectDefinition() = default;
};

/// One parameter of an effect.
class IZELParameterDefinition : public IZELAttributeSink {
 public:
  /// Slot 4. Identity and type. `name` and `tooltip` non-null (VOK_E_POINTER). `flags` and
  /// `reserved` are stored. A composite parameter (an RGB triple) lists its `componentCount`
  /// channel parameters in `components` (red, green, blue); the definition keeps a reference to each.
  /// VOK_E_INVALIDARG when componentCount is non-zero and `components` null; VOK_E_FAIL when
  /// called a second time.
  virtual VOKRESULT InitParameter(const VOKUID& parameterUid, const VOKCHAR* name, const VOKCHAR* tooltip,
                                  const VOKUID& type, std::uint32_t flags, std::uint32_t reserved,
                                  std::uint32_t componentCount, IZELParameterDefinition* const* components) = 0;

 protected:
  ~IZELParameterDefinition() = default;
};

/// One entry of the parameter panel.
class IZELLayoutDefinition : public IZELAttributeSink {
 public:
  /// Slot 4. `name` and `tooltip` may be null (an unnamed entry); `kind` null makes a group;
  /// `parameter` may be null (groups, list items). Keeps a reference to `parameter`.
  /// VOK_E_FAIL when called a second time.
  virtual VOKRESULT InitLayout(const VOKUID& layoutUid, const VOKCHAR* name, const VOKCHAR* tooltip,
                               const VOKUID* kind, IZELParameterDefinition* parameter) = 0;
  /// Slot 5. Appends a child entry (takes a reference). Null: VOK_E_POINTER.
  virtual VOKRESULT AddChild(IZELLayoutDefinition* child) = 0;

 protected:
  ~IZELLayoutDefinition() = default;
};
