// The contexts a host hands an effect: the effect context (the instance with its parameters and
// the sequence it belongs to), the frame and render contexts of one call, the output and the input
// layer.
//
// A render call makes its own set of these objects, so that any number of threads can render
// frames of one instance at once: the only thing they share is the instance's EffectShared, whose
// parameter values lock themselves.
#pragma once

#include <memory>
#include <vector>

#include "render/HostImage.h"
#include "parameters/ParameterValue.h"

namespace zel::host {

/// The sequence an effect instance renders in.
struct SequenceInfo {
  double frameRate = 25.0;           ///< frames per second
  std::uint32_t width = 1920;        ///< frame size in pixels
  std::uint32_t height = 1080;
  double pixelAspectRatio = 1.0;     ///< width of a pixel over its height
  double duration = 0.0;             ///< length of the effect in frames
  std::int32_t fieldLayout = ZELFieldLayout_Progressive;
  std::int32_t colorModel = ZELColorModel_RGBA;
  bool finalRender = true;           ///< false while previewing
};

/// What every context of one effect instance refers to.
struct EffectShared {
  VOKPtr<IVOKUnknown> host;  ///< the host unknown (answers the console)
  VOKUID effectUid{};
  std::vector<VOKPtr<ParameterValue>> parameters;  ///< in registration order

  /// The parameter registered with `uid`, or null.
  ParameterValue* Find(const VOKUID& uid) const;
};

class HostFrameContext final : public HostObject<IZELFrameContext> {
 public:
  HostFrameContext(std::int32_t frameId, std::int64_t frameIndex) : m_frameId(frameId), m_frameIndex(frameIndex) {}
  std::int32_t GetFrameID() override;
  std::int64_t GetFrameIndex() override;

 protected:
  const char* ObjectName() const override { return "FrameContext"; }

 private:
  const std::int32_t m_frameId;
  const std::int64_t m_frameIndex;
};

class HostRenderContext final : public HostObject<IZELRenderContext> {
 public:
  HostRenderContext(double time, std::int32_t field) : m_time(time), m_field(field) {}
  double GetTime() override;
  std::int32_t GetRenderedField() override;

 protected:
  const char* ObjectName() const override { return "RenderContext"; }

 private:
  const double m_time;
  const std::int32_t m_field;
};

class HostOutput final : public HostObject<IZELOutput> {
 public:
  explicit HostOutput(VOKPtr<HostImage> image) : m_image(std::move(image)) {}
  VOKRESULT GetImage(std::uint32_t index, IZELImage** ppImage) override;

 protected:
  const char* ObjectName() const override { return "Output"; }

 private:
  const VOKPtr<HostImage> m_image;
};

/// Input 0 of a render call: yields the input image of the frame being rendered, and nothing for
/// any other frame.
class HostInputLayer final : public HostObject<IZELInputLayer> {
 public:
  HostInputLayer(VOKPtr<HostImage> image, std::int32_t frameId) : m_image(std::move(image)), m_frameId(frameId) {}
  VOKRESULT GetImage(std::int32_t frameId, std::int32_t field, std::int32_t fieldLayout, IZELImage** ppImage) override;

 protected:
  const char* ObjectName() const override { return "InputLayer"; }

 private:
  const VOKPtr<HostImage> m_image;
  const std::int32_t m_frameId;
};

class HostEffectContext final : public HostObject<IZELEffectContext> {
 public:
  /// `input` is null for a context that is not rendering (the panel, the overlay, a dialog): it
  /// then has no input layer to give.
  HostEffectContext(std::shared_ptr<const EffectShared> shared, const SequenceInfo& sequence,
                    VOKPtr<HostInputLayer> input = {})
      : m_shared(std::move(shared)), m_sequence(sequence), m_input(std::move(input)) {}

  VOKRESULT GetHostUnknown(IVOKUnknown** ppHost) override;
  VOKRESULT GetInputLayer(std::uint32_t index, IZELInputLayer** ppLayer) override;
  std::uint32_t GetInputCount() override;
  double GetFrameRate() override;
  void GetFrameSize(std::uint32_t* width, std::uint32_t* height) override;
  double GetFrameAspectRatio() override;
  double GetPixelAspectRatio() override;
  double GetDuration() override;
  std::int32_t GetFieldLayout() override;
  std::int32_t GetColorModel() override;
  std::uint32_t GetParameterCount() override;
  VOKRESULT GetParameterByIndex(std::uint32_t index, const VOKUID& iid, void** ppv) override;
  VOKRESULT GetParameterUID(std::uint32_t index, VOKUID* uid) override;
  std::int32_t IsFinalRender() override;
  VOKRESULT GetEffectUID(VOKUID* uid) override;
  VOKRESULT GetParameter(const VOKUID& parameterUid, const VOKUID& iid, void** ppv) override;

  const EffectShared& Shared() const { return *m_shared; }
  const SequenceInfo& Sequence() const { return m_sequence; }

 protected:
  const char* ObjectName() const override { return "EffectContext"; }

 private:
  const std::shared_ptr<const EffectShared> m_shared;
  const SequenceInfo m_sequence;
  const VOKPtr<HostInputLayer> m_input;
};

}  // namespace zel::host
