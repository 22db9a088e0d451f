// The base of the binary component model that plug-ins and hosts share: the result code, the
// 128-bit UID, IVOKUnknown, IVOKClassFactory and the four functions a plug-in module exports.
//
// Rules of the contract (they hold for every header in this folder):
// - Interfaces are abstract classes of pure virtual functions; the slot order is the declaration
//   order and is part of the binary contract. Never reorder, insert or remove an operation.
// - Every operation that can fail returns a VOKRESULT: 0 is success, any negative value a failure.
//   Codes a host returns travel through a plug-in unchanged.
// - An operation that returns an interface through an out-parameter sets the out-parameter to null
//   first; on success it holds one reference that the caller owns and must Release.
// - No C++ exception crosses an operation or an export.
// - Text is zero-terminated UTF-16 (VOKCHAR). A text attribute is passed with the size
//   VOK_TEXT_SIZE (0xFFFFFFFF).
#pragma once

#include <cstdint>
#include <cstring>

using VOKRESULT = std::int32_t;
using VOKCHAR = char16_t;

/// True for success and for every non-negative informational code.
constexpr bool VOKSUCCEEDED(VOKRESULT r) { return r >= 0; }
constexpr bool VOKFAILED(VOKRESULT r) { return r < 0; }

// Result codes. Hosts may return others; plug-ins pass them on unchanged.
constexpr VOKRESULT VOK_OK = 0;
constexpr VOKRESULT VOK_E_NOTIMPL = static_cast<VOKRESULT>(0x80000001u);
constexpr VOKRESULT VOK_E_OUTOFMEMORY = static_cast<VOKRESULT>(0x80000002u);
constexpr VOKRESULT VOK_E_INVALIDARG = static_cast<VOKRESULT>(0x80000003u);
constexpr VOKRESULT VOK_E_NOINTERFACE = static_cast<VOKRESULT>(0x80000004u);
constexpr VOKRESULT VOK_E_POINTER = static_cast<VOKRESULT>(0x80000005u);
constexpr VOKRESULT VOK_E_FAIL = static_cast<VOKRESULT>(0x80000008u);
constexpr VOKRESULT VOK_E_BADINDEX = static_cast<VOKRESULT>(0x8000000Cu);
constexpr VOKRESULT VOK_E_UNEXPECTED = static_cast<VOKRESULT>(0x8000FFFFu);
constexpr VOKRESULT VOK_CLASS_E_NOAGGREGATION = static_cast<VOKRESULT>(0x80040110u);
constexpr VOKRESULT VOK_CLASS_E_CLASSNOTAVAILABLE = static_cast<VOKRESULT>(0x80040111u);

/// Size argument that marks a value as zero-terminated UTF-16 text.
constexpr std::uint32_t VOK_TEXT_SIZE = 0xFFFFFFFFu;

/// A 128-bit identifier: one 32-bit, two 16-bit fields and eight bytes. Equal when all sixteen
/// bytes are equal; there is no ordering.
struct VOKUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(VOKUID) == 16);

constexpr bool operator==(const VOKUID& a, const VOKUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

/// The published identifier of the base interface: {00000000-0000-0000-C000-000000000046}.
inline constexpr VOKUID IID_IVOKUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr VOKUID IID_IVOKClassFactory = {0x8E3D62C1, 0x7CC4, 0x472E, {0xB9, 0xE3, 0x61, 0xD3, 0x77, 0xE0, 0x43, 0xCF}};

/// Base of every interface.
class IVOKUnknown {
 public:
  /// Slot 0. Requires `ppv` non-null (else VOK_E_INVALIDARG where the object checks it). Sets
  /// *ppv to null, then, when the object offers `iid`, stores that face with one added reference.
  /// Returns VOK_OK, or VOK_E_NOINTERFACE with *ppv null.
  virtual VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) = 0;
  /// Slot 1. Adds one reference; returns the new count (informational only).
  virtual std::uint32_t AddRef() = 0;
  /// Slot 2. Drops one reference; the object is destroyed when the count reaches 0. Returns the
  /// new count (informational only).
  virtual std::uint32_t Release() = 0;

 protected:
  ~IVOKUnknown() = default;
};

/// Creates component objects of one class.
class IVOKClassFactory : public IVOKUnknown {
 public:
  /// Slot 3. Creates one object, handing it the host unknown.
  /// Requires `host` and `ppv` non-null (else VOK_E_INVALIDARG, *ppv untouched).
  /// `outer` non-null asks for aggregation, allowed only with iid == IID_IVOKUnknown
  /// (else VOK_CLASS_E_NOAGGREGATION, *ppv null).
  /// Returns VOK_OK with *ppv holding one reference; or VOK_E_OUTOFMEMORY, VOK_E_NOINTERFACE, the
  /// code of the object's own set-up, or VOK_E_UNEXPECTED when the factory has no creation function;
  /// on failure *ppv is null and nothing is left alive.
  virtual VOKRESULT CreateInstance(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid,
                                   void** ppv) = 0;

 protected:
  ~IVOKClassFactory() = default;
};

// The four functions a plug-in module exports, under exactly these names, with C linkage.
// Every export takes the host unknown first and returns a VOKRESULT; none throws.
extern "C" {
/// Builds the plug-in definition. Null `host` or `ppDef`: VOK_E_POINTER, *ppDef untouched. Else
/// *ppDef is null on failure, or holds the one reference to the new definition.
using PFN_VOKRegisterPlugin = VOKRESULT (*)(IVOKUnknown* host, IVOKUnknown** ppDef);
/// Builds the definition of component `index` (0 .. count-1). Null `host` or `ppDef`:
/// VOK_E_POINTER (checked before the index); index out of range: VOK_E_BADINDEX; both leave *ppDef
/// untouched. Any host failure comes back as its code with *ppDef null.
using PFN_VOKRegisterComponent = VOKRESULT (*)(IVOKUnknown* host, std::uint32_t index, IVOKUnknown** ppDef);
/// Returns a class factory for `clsid` as `iid`. Null `host` or `ppv`: VOK_E_INVALIDARG; unknown
/// class: VOK_CLASS_E_CLASSNOTAVAILABLE with *ppv untouched; an interface the factory does not
/// offer: VOK_E_NOINTERFACE with *ppv null.
using PFN_VOKGetClassFactory = VOKRESULT (*)(IVOKUnknown* host, const VOKUID& clsid, const VOKUID& iid, void** ppv);
/// VOK_OK when no object or factory of the module is alive, VOK_E_FAIL while any is, and
/// VOK_E_INVALIDARG for a null `host`.
using PFN_VOKCanUnloadNow = VOKRESULT (*)(IVOKUnknown* host);
}

inline constexpr const char* kVOKRegisterPluginName = "VOKRegisterPlugin";
inline constexpr const char* kVOKRegisterComponentName = "VOKRegisterComponent";
inline constexpr const char* kVOKGetClassFactoryName = "VOKGetClassFactory";
inline constexpr const char* kVOKCanUnloadNowName = "VOKCanUnloadNow";
