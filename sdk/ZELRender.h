// What a host hands an effect while it renders: the effect, frame and render contexts, the output,
// input layers, images and their pixel formats, parameter objects with their animated face, and
// the console.
//
// Fields. An interlaced frame holds two fields on alternate rows. Field numbers:
//   1  the field that comes first in time,
//   2  the field that comes second,
//   3  both fields (a whole frame).
// An image's field layout (IZELImage::GetFieldLayout):
//   ZELFieldLayout_Progressive (0)   a whole progressive frame;
//   ZELFieldLayout_Field (1)         a frame of which only the rendered field is to be written;
//   ZELFieldLayout_UpperFirst (2)    an interlaced frame, upper field (row 0) first in time;
//   ZELFieldLayout_LowerFirst (3)    an interlaced frame, lower field (row 1) first in time.
// For the interlaced layouts, GetFieldProcessing says whether the host renders each field in a
// call of its own (ZELFieldProcessing_Separate, 3) or the whole frame at once (0).
// GetStartingField names the field (1 or 2) whose lines are the even rows 0, 2, 4, ... So a render
// of field f on an image writes the even rows when f equals the starting field, else the odd ones.
// Rows are counted in the pixel format's row order: on a bottom-up image of even height the even
// rows are the lower field.
//
// Time: a render context's time is in frames from the effect's start (the host may use fractions
// for the second field of an interlaced frame: the reference host renders the first field of
// frame k at time k and the second at k + 0.5).
//
// Threads. The contexts, output, input layers and images handed to one call belong to that call:
// a plug-in uses them on the calling thread while the call runs, and a host hands each concurrent
// call objects of its own. Parameter objects and their animated face are shared by every call of
// an effect instance: their reads may run on any threads at once, and a write (the overlay, a
// dialog, the host's own panel) is seen whole or not at all by a read. The console may be used
// from any thread.
//
// Out-parameters. Where an operation hands back an interface (GetImage, GetPixelFormat,
// GetInputLayer, GetParameter...), it sets the pointer to null first; on VOK_OK it holds one
// reference that the caller owns, on every other result it is null. Buffers a Get operation fills
// are left untouched on failure, and the pointers of operations documented as "either may be
// null" are simply skipped when null.
#pragma once

#include "VOKBase.h"

inline constexpr VOKUID IID_IZELEffectContext = {0xBEF9F4A9, 0xC1ED, 0x4D6E, {0x80, 0x48, 0xC5, 0x21, 0xBE, 0x31, 0x73, 0xAD}};
inline constexpr VOKUID IID_IZELFrameContext = {0x1492B2F3, 0x351C, 0x4688, {0x98, 0xF0, 0xEB, 0xAA, 0xD7, 0xF2, 0xFE, 0xE5}};
inline constexpr VOKUID IID_IZELRenderContext = {0x51A4C4BC, 0x15A3, 0x47C4, {0x97, 0x09, 0xC2, 0xFB, 0x8F, 0xAB, 0xDC, 0x05}};
inline constexpr VOKUID IID_IZELOutput = {0xED1949CC, 0xD457, 0x454B, {0x9C, 0x25, 0x21, 0x8F, 0xE1, 0x4D, 0x01, 0xD5}};
inline constexpr VOKUID IID_IZELInputLayer = {0x499344DC, 0x5A59, 0x446C, {0xB8, 0x4E, 0x95, 0x6F, 0xE2, 0x8F, 0x69, 0x64}};
inline constexpr VOKUID IID_IZELImage = {0x82C1E266, 0xC6F4, 0x4240, {0x8D, 0x2C, 0x0E, 0xAF, 0x23, 0x9F, 0x87, 0xFA}};
inline constexpr VOKUID IID_IZELPixelFormat = {0x3F7DB78C, 0xC0CB, 0x4ED3, {0xB7, 0xD1, 0x15, 0x2B, 0x8E, 0x30, 0x64, 0x44}};
inline constexpr VOKUID IID_IZELParameter = {0x54A3F980, 0x9446, 0x4692, {0xB3, 0x73, 0x6B, 0xFF, 0xE3, 0x24, 0x69, 0x5F}};
inline constexpr VOKUID IID_IZELAnimatedParameter = {0x929B3CDF, 0x3923, 0x4CF4, {0x87, 0x09, 0x24, 0x36, 0x39, 0x39, 0x49, 0x28}};
inline constexpr VOKUID IID_IZELConsole = {0x6FA50EFB, 0xFB01, 0x4DAA, {0x8D, 0xCF, 0x1F, 0x5E, 0x47, 0x73, 0xA9, 0x40}};

constexpr std::int32_t ZELFieldLayout_Progressive = 0;
constexpr std::int32_t ZELFieldLayout_Field = 1;
constexpr std::int32_t ZELFieldLayout_UpperFirst = 2;
constexpr std::int32_t ZELFieldLayout_LowerFirst = 3;
constexpr std::int32_t ZELFieldProcessing_Frame = 0;
constexpr std::int32_t ZELFieldProcessing_Separate = 3;
constexpr std::int32_t ZELField_First = 1;
constexpr std::int32_t ZELField_Second = 2;
constexpr std::int32_t ZELField_Both = 3;

/// Colour models. RGBA: bytes red, green, blue, alpha (component offsets tell where). The two
/// Y'CbCr 4:2:2 models hold pixel pairs of four bytes (two lumas, one Cb, one Cr); their byte order
/// comes from the component offsets: UYVY is U Y0 V Y1, YUY2 is Y0 U Y1 V.
constexpr std::int32_t ZELColorModel_RGBA = 2;
constexpr std::int32_t ZELColorModel_YCbCr422_UYVY = 3;
constexpr std::int32_t ZELColorModel_YCbCr422_YUY2 = 4;

/// Component indices of a pixel format. RGBA: 0 red, 1 green, 2 blue, 3 alpha. 4:2:2: 4 luma of
/// the first pixel of a pair, 5 luma of the second, 6 Cb, 7 Cr.
constexpr std::uint32_t ZELComponent_Red = 0, ZELComponent_Green = 1, ZELComponent_Blue = 2, ZELComponent_Alpha = 3;
constexpr std::uint32_t ZELComponent_Y0 = 4, ZELComponent_Y1 = 5, ZELComponent_Cb = 6, ZELComponent_Cr = 7;

class IZELImage;
class IZELInputLayer;

/// Layout of the pixels of an image.
class IZELPixelFormat : public IVOKUnknown {
 public:
  /// Slot 3. 0: row 0 is the top row; any other value: row 0 is the bottom row.
  virtual std::int32_t GetRowOrder() = 0;
  /// Slot 4. One of ZELColorModel_*.
  virtual std::int32_t GetColorModel() = 0;
  /// Slot 5. Number of components: 4 for RGBA and for 4:2:2 (two lumas, Cb, Cr).
  virtual std::uint32_t GetComponentCount() = 0;
  /// Slot 6. Byte offset of component `index` (ZELComponent_*) from the start of its pixel (RGBA)
  /// or pixel pair (4:2:2). 0xFFFFFFFF for an index the format does not have.
  virtual std::uint32_t GetComponentOffset(std::uint32_t index) = 0;
  /// Slot 7. Bytes from one pixel (RGBA) or one pixel pair (4:2:2) to the next in `plane`, unless
  /// GetStepCountsPixels says the step counts single pixels. 0 for a plane that does not exist.
  virtual std::uint32_t GetPixelStep(std::uint32_t plane) = 0;
  /// Slot 8. 4:2:2 only: 1 when GetPixelStep is the step of one pixel (a pair is two steps), else 0.
  virtual std::int32_t GetStepCountsPixels() = 0;

 protected:
  ~IZELPixelFormat() = default;
};

/// A picture the host owns.
class IZELImage : public IVOKUnknown {
 public:
  /// Slot 3, 4. Size in pixels.
  virtual std::uint32_t GetWidth() = 0;
  virtual std::uint32_t GetHeight() = 0;
  /// Slot 5. ZELFieldLayout_* (see the top of this file).
  virtual std::int32_t GetFieldLayout() = 0;
  /// Slot 6. ZELFieldProcessing_*: whether fields of an interlaced image are rendered one per call.
  virtual std::int32_t GetFieldProcessing() = 0;
  /// Slot 7. The field (1 or 2) that the even rows belong to.
  virtual std::int32_t GetStartingField() = 0;
  /// Slot 8. Width of a pixel over its height (1.0 for square pixels).
  virtual double GetPixelAspectRatio() = 0;
  /// Slot 9. The pixel format; *ppFormat null first, VOK_OK with one reference, VOK_E_POINTER for
  /// null.
  virtual VOKRESULT GetPixelFormat(IZELPixelFormat** ppFormat) = 0;
  /// Slot 10. Address of the first byte of row `row` in `plane`, counted in the row order of the
  /// pixel format; null when row or plane is out of range. Valid while the image lives.
  virtual std::uint8_t* GetRowAddress(std::uint32_t row, std::uint32_t plane) = 0;
  /// Slot 11. Bytes from one row to the next in `plane` (0 for a plane that does not exist).
  virtual std::uint32_t GetRowBytes(std::uint32_t plane) = 0;
  /// Slot 12. Bits per component (8 for every format this contract defines).
  virtual std::uint32_t GetBitsPerComponent() = 0;

 protected:
  ~IZELImage() = default;
};

/// The images an effect writes.
class IZELOutput : public IVOKUnknown {
 public:
  /// Slot 3. Output image `index` (0 is the only one). *ppImage null first; VOK_OK with one
  /// reference; VOK_E_BADINDEX; VOK_E_POINTER.
  virtual VOKRESULT GetImage(std::uint32_t index, IZELImage** ppImage) = 0;

 protected:
  ~IZELOutput() = default;
};

/// One input of an effect; yields the input picture for a frame.
class IZELInputLayer : public IVOKUnknown {
 public:
  /// Slot 3. The input image for the frame `frameId` (from IZELFrameContext), the field being
  /// rendered and the output's field layout. It has the output's size and pixel format, and may be
  /// the output image itself when the host renders in place. *ppImage null first; VOK_OK with one
  /// reference, VOK_E_POINTER, or a host failure.
  virtual VOKRESULT GetImage(std::int32_t frameId, std::int32_t field, std::int32_t fieldLayout, IZELImage** ppImage) = 0;

 protected:
  ~IZELInputLayer() = default;
};

/// What stays the same for one frame.
class IZELFrameContext : public IVOKUnknown {
 public:
  /// Slot 3. The host's identifier of the frame, to be handed back to IZELInputLayer::GetImage.
  virtual std::int32_t GetFrameID() = 0;
  /// Slot 4. The frame's index in the effect (0 at the effect's start).
  virtual std::int64_t GetFrameIndex() = 0;

 protected:
  ~IZELFrameContext() = default;
};

/// What one render call is for.
class IZELRenderContext : public IVOKUnknown {
 public:
  /// Slot 3. The time being rendered, in frames from the effect's start.
  virtual double GetTime() = 0;
  /// Slot 4. The field being rendered: ZELField_First, ZELField_Second or ZELField_Both.
  virtual std::int32_t GetRenderedField() = 0;

 protected:
  ~IZELRenderContext() = default;
};

/// The effect instance as the host keeps it.
class IZELEffectContext : public IVOKUnknown {
 public:
  /// Slot 3. The host unknown (one reference). VOK_E_POINTER for null.
  virtual VOKRESULT GetHostUnknown(IVOKUnknown** ppHost) = 0;
  /// Slot 4. Input layer `index` (0 is the only one): VOK_OK with one reference, VOK_E_BADINDEX,
  /// VOK_E_POINTER.
  virtual VOKRESULT GetInputLayer(std::uint32_t index, IZELInputLayer** ppLayer) = 0;
  /// Slot 5. Number of inputs.
  virtual std::uint32_t GetInputCount() = 0;
  /// Slot 6. Frames per second of the sequence.
  virtual double GetFrameRate() = 0;
  /// Slot 7. Frame size in pixels (either pointer may be null).
  virtual void GetFrameSize(std::uint32_t* width, std::uint32_t* height) = 0;
  /// Slot 8. Width of the frame over its height, in display units (pixel aspect included).
  virtual double GetFrameAspectRatio() = 0;
  /// Slot 9. Width of a pixel over its height.
  virtual double GetPixelAspectRatio() = 0;
  /// Slot 10. Length of the effect in frames.
  virtual double GetDuration() = 0;
  /// Slot 11. ZELFieldLayout_* of the sequence.
  virtual std::int32_t GetFieldLayout() = 0;
  /// Slot 12. ZELColorModel_* the host renders in.
  virtual std::int32_t GetColorModel() = 0;
  /// Slot 13. Number of parameters of the effect.
  virtual std::uint32_t GetParameterCount() = 0;
  /// Slot 14. Parameter by registration index as `iid` (IID_IZELParameter or
  /// IID_IZELAnimatedParameter): VOK_OK with one reference, VOK_E_BADINDEX, VOK_E_NOINTERFACE,
  /// VOK_E_POINTER.
  virtual VOKRESULT GetParameterByIndex(std::uint32_t index, const VOKUID& iid, void** ppv) = 0;
  /// Slot 15. UID of the parameter at `index`; VOK_E_BADINDEX, VOK_E_POINTER.
  virtual VOKRESULT GetParameterUID(std::uint32_t index, VOKUID* uid) = 0;
  /// Slot 16. 1 while the host renders for final output, 0 while it previews.
  virtual std::int32_t IsFinalRender() = 0;
  /// Slot 17. The effect definition's component UID (VOK_E_POINTER for null).
  virtual VOKRESULT GetEffectUID(VOKUID* uid) = 0;
  /// Slot 18. The parameter whose UID is `parameterUid` as `iid` (IID_IZELParameter or
  /// IID_IZELAnimatedParameter). *ppv null first; VOK_OK with one reference; VOK_E_INVALIDARG for
  /// an unknown parameter; VOK_E_NOINTERFACE; VOK_E_POINTER.
  virtual VOKRESULT GetParameter(const VOKUID& parameterUid, const VOKUID& iid, void** ppv) = 0;

 protected:
  ~IZELEffectContext() = default;
};

/// The value of one parameter of an effect instance, untimed. For an animated parameter the plain
/// value is the value at time 0.
class IZELParameter : public IVOKUnknown {
 public:
  /// Slot 3. The value's type and size in bytes (for text: the bytes of the UTF-16 text including
  /// its terminator). Either pointer may be null. VOK_OK.
  virtual VOKRESULT GetValueInfo(VOKUID* type, std::uint32_t* size) = 0;
  /// Slot 4. Copies the value into `buffer` of `size` bytes, tagged `type`. Numbers: `type` must be
  /// the parameter's type and `size` its size. Text (VOKTypeID_Text or VOKTypeID_String): at most
  /// `size` bytes of UTF-8, always zero-terminated when size > 0 (longer text is cut).
  /// Returns VOK_OK; VOK_E_POINTER; VOK_E_INVALIDARG for a wrong type or size.
  virtual VOKRESULT GetValue(const VOKUID& type, void* buffer, std::uint32_t size) = 0;
  /// Slot 5. Sets the value (for an animated parameter: removes its keys). Same type and size
  /// rules; a number outside the parameter's minimum and maximum is clamped into them.
  /// Returns VOK_OK, VOK_E_POINTER, VOK_E_INVALIDARG.
  virtual VOKRESULT SetValue(const VOKUID& type, const void* data, std::uint32_t size) = 0;

 protected:
  ~IZELParameter() = default;
};

/// The same parameter seen over time (keyframes).
class IZELAnimatedParameter : public IVOKUnknown {
 public:
  /// Slot 3. The untimed face of the same parameter (one reference).
  virtual VOKRESULT GetParameter(IZELParameter** ppParameter) = 0;
  /// Slot 4. Number of keys (0 for a constant).
  virtual std::uint32_t GetKeyCount() = 0;
  /// Slot 5. Time of key `index`: VOK_OK, VOK_E_BADINDEX, VOK_E_POINTER.
  virtual VOKRESULT GetKeyTime(std::uint32_t index, double* time) = 0;
  /// Slot 6. Removes every key at `*time`. VOK_OK whether or not one was there; VOK_E_POINTER.
  virtual VOKRESULT RemoveKey(const double* time) = 0;
  /// Slot 7. Removes every key; the parameter keeps the value it had at time 0.
  virtual VOKRESULT RemoveAllKeys() = 0;
  /// Slot 8. 1 when the parameter has keys, else 0.
  virtual std::int32_t IsAnimated() = 0;
  /// Slot 9. The value at `*time`, with GetValue's type, size and text rules. Doubles move linearly
  /// between keys; every other type holds the value of the key at or before the time; before the
  /// first key the first key's value holds, after the last the last's.
  virtual VOKRESULT GetValueAtTime(const double* time, const VOKUID& type, void* buffer, std::uint32_t size) = 0;
  /// Slot 10. Sets the value at `*time`: the only value while the parameter has no keys, else a
  /// key at that time (replacing one that is there). Clamped like SetValue.
  virtual VOKRESULT SetValueAtTime(const double* time, const VOKUID& type, const void* data, std::uint32_t size) = 0;
  /// Slot 11. 1 when the user has the parameter switched on, 0 when it is switched off.
  virtual std::int32_t GetEnabled() = 0;

 protected:
  ~IZELAnimatedParameter() = default;
};

/// Messages to the host's log.
class IZELConsole : public IVOKUnknown {
 public:
  /// Slot 3. Writes one line of UTF-16 text (null: VOK_E_POINTER).
  virtual VOKRESULT Print(const VOKCHAR* text) = 0;

 protected:
  ~IZELConsole() = default;
};
