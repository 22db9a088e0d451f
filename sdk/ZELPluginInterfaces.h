// The interfaces a host calls on the components of a plug-in: the effect, the on-screen overlay,
// the parameter update handler and the modal user interface.
//
// Threads. A plug-in starts no threads and takes no locks of its own; these rules are what a host
// may rely on and must keep:
//   - IZELEffect::Render and GetRegionOfDefinition may run on any threads, for any number of
//     frames of one effect object at once: each call keeps its data in the call and reads only the
//     host objects it is handed. The host must not change the sequence (frame size, rate, field
//     layout, colour model) of an effect context while such calls run; parameter values may
//     change, and each call reads them at its own render time.
//   - The other IZELEffect operations, and every operation of IZELGraphicOverlay, IZELUpdateParams
//     and IZELModalUI, run on the host's user-interface thread, one at a time (the overlay and the
//     font dialog keep module-wide state without a lock). DoModal blocks that thread while its
//     dialog is open, and only one DoModal may be open at a time.
//   - AddRef, Release and QueryInterface may be called from any thread: reference counts change
//     atomically, and an object is destroyed by the thread whose Release brought its count to 0.
//
// Sequence and frame operations. A host need not call QueryCapabilities, BeginSequence,
// PrepareFrame, IsIdentity, FinishFrame or EndSequence: a render depends on nothing they do, and
// this effect returns VOK_OK from each (VOK_E_NOTIMPL from QueryCapabilities) without touching its
// arguments. A host that calls them calls BeginSequence before the first Render of a sequence,
// PrepareFrame and FinishFrame around the renders of one frame, and EndSequence after the last.
// InitInstance is called once per effect object, before its first Render, by hosts that call it.
//
// Out-parameters. An operation that hands back an interface sets it to null first and, on
// VOK_OK, leaves one reference that the caller owns; on any other result it stays null. Host
// records (ZELRegion, the capability and preference records) are left untouched unless the
// operation says it fills them.
#pragma once

#include "VOKBase.h"
#include "ZELInteraction.h"
#include "ZELRender.h"

inline constexpr VOKUID IID_IZELEffect = {0x278E49F0, 0x939A, 0x4CE3, {0xBA, 0x1B, 0x15, 0xB3, 0x79, 0xFF, 0x91, 0xEE}};
inline constexpr VOKUID IID_IZELGraphicOverlay = {0xEE1ACEF9, 0xF862, 0x4670, {0x8C, 0xFB, 0xB7, 0xC8, 0x36, 0x60, 0xB0, 0x64}};
inline constexpr VOKUID IID_IZELUpdateParams = {0x3C2B19FA, 0x8F7E, 0x47F6, {0x8F, 0x5F, 0xD9, 0x69, 0xE9, 0x90, 0x3B, 0x36}};
inline constexpr VOKUID IID_IZELModalUI = {0xFF5CDCCD, 0x57CC, 0x4427, {0xA0, 0xCC, 0x7D, 0xF8, 0xC7, 0xF6, 0x9C, 0x29}};

/// The host record of IZELEffect::GetRegionOfDefinition: the rectangle [left, right) x
/// [top, bottom) of the frame, in pixels with row 0 at the top, outside which a render at the
/// render context's time and field changes no pixel. The host sets `known` to 0 before the call;
/// an effect that answers fills the rectangle and sets `known` to 1 (an empty rectangle: the
/// render changes nothing). Left at 0, the whole frame may change.
struct ZELRegion {
  std::int32_t known;
  std::int32_t left, top, right, bottom;
};

/// The effect: renders output frames. Twelve operations.
class IZELEffect : public IVOKUnknown {
 public:
  /// Slot 3. Asks what the effect can render for a context; `request` and `answer` are host
  /// records. An effect that has nothing to say returns VOK_E_NOTIMPL and leaves `answer` as it
  /// was. User-interface thread.
  virtual VOKRESULT QueryCapabilities(IZELEffectContext* context, const void* request, void* answer) = 0;
  /// Slot 4. Called once when an instance is made, before its first render (optional for a host).
  /// VOK_OK, or VOK_E_INVALIDARG for a null context.
  virtual VOKRESULT InitInstance(IZELEffectContext* context) = 0;
  /// Slot 5. A sequence of renders begins (`frameCount` frames). Optional for a host; VOK_OK.
  virtual VOKRESULT BeginSequence(IZELEffectContext* context, std::int64_t frameCount) = 0;
  /// Slot 6. A frame is about to be rendered. Optional for a host; VOK_OK.
  virtual VOKRESULT PrepareFrame(IZELEffectContext* context, IZELFrameContext* frame, IZELRenderContext* render) = 0;
  /// Slot 7. Whether the effect changes the frame at all for these contexts: an effect that knows
  /// sets `*identity` to 1 when it does not, 0 when it does; one that does not know (this clock)
  /// returns VOK_OK and leaves `*identity` as the host set it. Optional for a host.
  virtual VOKRESULT IsIdentity(IZELEffectContext* context, IZELRenderContext* render, std::int32_t* identity) = 0;
  /// Slot 8. Renders one frame or field into `output`. `context`, `frame`, `render` and `output`
  /// must be non-null; `inputs`, `parameters` and `reserved` are host objects an effect may ignore
  /// (they may be null). Writes the output image completely for the rendered field's rows.
  /// Returns VOK_OK or the failure code of a host call; on failure the output is not written.
  virtual VOKRESULT Render(IZELEffectContext* context, IVOKUnknown* inputs, IVOKUnknown* parameters,
                           IZELFrameContext* frame, IVOKUnknown* reserved, IZELRenderContext* render,
                           IZELOutput* output) = 0;
  /// Slot 9. A frame has been rendered. Optional for a host; VOK_OK.
  virtual VOKRESULT FinishFrame(IZELEffectContext* context, IZELFrameContext* frame, IZELRenderContext* render) = 0;
  /// Slot 10. The region the effect draws in, into the host record `region` (a ZELRegion, or
  /// null). Any thread, like Render. Returns VOK_OK whether or not it answers; an answer sets
  /// `known` to 1 and the rectangle, no answer leaves the whole record as the host set it.
  virtual VOKRESULT GetRegionOfDefinition(IZELEffectContext* context, IZELRenderContext* render, void* region) = 0;
  /// Slot 11. A sequence of renders ends. Optional for a host; VOK_OK.
  virtual VOKRESULT EndSequence(IZELEffectContext* context, std::int64_t framesRendered) = 0;

 protected:
  ~IZELEffect() = default;
};

/// The on-screen overlay in the host's viewer. Fifteen operations. Points are frame-relative. Every
/// operation on the host's user-interface thread, one at a time; the overlay reads and writes the
/// effect's parameters only during the calls.
class IZELGraphicOverlay : public IVOKUnknown {
 public:
  /// Slot 3. Attaches the viewer's context (the overlay takes a reference). VOK_E_INVALIDARG for null.
  virtual VOKRESULT Attach(IZELOverlayContext* context) = 0;
  /// Slot 4. Releases the context. VOK_OK.
  virtual VOKRESULT Detach() = 0;
  /// Slot 5. Draws the overlay on the context's device context; `highlighted` non-zero while the
  /// pointer is over the overlay.
  virtual void Draw(std::int32_t highlighted) = 0;
  /// Slot 6. Pointer pressed: 1 when the overlay takes the drag that follows, else 0.
  virtual std::int32_t PointerDown(double x, double y, std::int32_t buttons) = 0;
  /// Slot 7. Second press of a double click; as PointerDown.
  virtual std::int32_t PointerDoubleDown(double x, double y, std::int32_t buttons) = 0;
  /// Slot 8. Pointer moved with the button held: 1 when handled, else 0.
  virtual std::int32_t PointerDrag(double x, double y, std::int32_t buttons) = 0;
  /// Slot 9. Pointer released: 1 when handled.
  virtual std::int32_t PointerUp(double x, double y, std::int32_t buttons) = 0;
  /// Slot 10. Pointer moved with no button held: 1 when the overlay wants a redraw.
  virtual std::int32_t PointerMove(double x, double y, std::int32_t buttons) = 0;
  /// Slot 11, 12. A key pressed or released (key code, modifiers): 1 when handled.
  virtual std::int32_t KeyDown(std::int32_t key, std::int32_t modifiers) = 0;
  virtual std::int32_t KeyUp(std::int32_t key, std::int32_t modifiers) = 0;
  /// Slot 13. Host record with the overlay's preferences; 1 when filled.
  virtual std::int32_t GetPreferences(void* preferences) = 0;
  /// Slot 14. The viewer gained (1) or lost (0) the focus.
  virtual void FocusChanged(std::int32_t focused) = 0;

 protected:
  ~IZELGraphicOverlay() = default;
};

/// Adapts the parameter panel after a parameter change. User-interface thread.
class IZELUpdateParams : public IVOKUnknown {
 public:
  /// Slot 3. `context`: the effect instance; `changed`: the host's record of what changed (only
  /// required to be non-null); `render`: gives the time at which to read; `layout`: the panel.
  /// Returns VOK_OK, VOK_E_POINTER when any is null, or the failure code of a host call.
  virtual VOKRESULT Update(IZELEffectContext* context, IVOKUnknown* changed, IZELRenderContext* render,
                           IZELLayoutSource* layout) = 0;

 protected:
  ~IZELUpdateParams() = default;
};

/// A modal dialog a plug-in shows on the host's user-interface thread.
class IZELModalUI : public IVOKUnknown {
 public:
  /// Slot 3. Shows the dialog and blocks until it closes. `context`: the effect instance whose
  /// parameters the dialog edits; `owner` and `reserved` are host values the dialog may ignore.
  /// Returns VOK_OK (also when the user cancels) or the failure code of a host call.
  virtual VOKRESULT DoModal(IZELEffectContext* context, IVOKUnknown* owner, void* reserved) = 0;

 protected:
  ~IZELModalUI() = default;
};
