// The render operation through the real host with whatever a host may hand it: every parameter at
// a hostile value (NaN, infinities, huge and negative numbers, list values inside and outside the
// lists, font records of any bytes and length, any "Start Time" bytes), any image size from 0x0 to
// very wide or very tall, every pixel kind the host offers, row orders, field layouts and rendered
// fields, in place or not; and, in a second mode, a pixel format that answers whatever the input
// says (colour model, component count, offsets, step) over memory that holds what it claims.
//
// What must hold: no crash, no sanitizer report, and the padding after every row untouched.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "render/EffectInstance.h"
#include "FuzzSupport.h"
#include "loading/Instrumentation.h"

namespace {

using namespace zel::host;
using zel::fuzz::HostileDouble;

constexpr std::size_t kPad = 16;
constexpr std::uint8_t kPadByte = 0xA5;
constexpr std::size_t kMaxPixels = 1 << 20;

/// Pixel memory with a guard band after every row.
struct Buffer {
  std::vector<std::uint8_t> bytes;
  std::size_t rowBytes = 0;
  std::size_t stride = 0;
  std::uint32_t height = 0;

  Buffer(std::size_t rowBytes_, std::uint32_t height_, FuzzedDataProvider& in)
      : rowBytes(rowBytes_), stride(rowBytes_ + kPad), height(height_) {
    bytes.assign(stride * height + 1, kPadByte);
    const std::uint8_t seed = in.ConsumeIntegral<std::uint8_t>();
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::size_t x = 0; x < rowBytes; ++x)
        bytes[y * stride + x] = static_cast<std::uint8_t>(seed + x * 7 + y * 13);
  }
  std::uint8_t* Row(std::uint32_t y) { return bytes.data() + y * stride; }
  void CheckGuards() const {
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::size_t x = rowBytes; x < stride; ++x)
        if (bytes[y * stride + x] != kPadByte) __builtin_trap();
  }
};

/// Sets every parameter of `instance` to a hostile value, or leaves it at its default.
void SetHostileParameters(const EffectInstance& instance, FuzzedDataProvider& in) {
  for (const auto& parameter : instance.All()) {
    if (!in.ConsumeBool()) continue;
    ParamValue v;
    switch (parameter->Kind()) {
      case ValueKind::Text:
      case ValueKind::String:
        v.text = in.ConsumeRandomLengthString(600);
        break;
      case ValueKind::Uid:
      case ValueKind::Bytes:
      case ValueKind::Unknown: {
        // The font record: usually its own 92 bytes (with or without a terminator in the face
        // name), sometimes any length.
        const std::size_t size = in.ConsumeBool() ? 92 : in.ConsumeIntegralInRange<std::size_t>(0, 200);
        v.bytes = in.ConsumeBytes<std::uint8_t>(size);
        v.bytes.resize(size, in.ConsumeIntegral<std::uint8_t>());
        break;
      }
      default:
        for (double& d : v.num) d = HostileDouble(in);
        break;
    }
    // Keys sit on the host's own timeline, which Set() keeps finite: a key time is never hostile.
    const bool keyed = in.ConsumeBool();
    const double keyTime = in.ConsumeIntegralInRange<int>(-1000, 1000) / 4.0;
    parameter->SetUnchecked(v, keyed ? std::optional<double>(keyTime) : std::nullopt);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) parameter->SetEnabled(false);
  }
}

/// A pixel format that says what the input tells it to.
class HostileFormat final : public HostObject<IZELPixelFormat> {
 public:
  std::int32_t rowOrder = 0, colorModel = 0, stepCountsPixels = 0;
  std::uint32_t componentCount = 4, step = 4;
  std::uint32_t offsets[8] = {};

  std::int32_t GetRowOrder() override { return rowOrder; }
  std::int32_t GetColorModel() override { return colorModel; }
  std::uint32_t GetComponentCount() override { return componentCount; }
  std::uint32_t GetComponentOffset(std::uint32_t index) override { return index < 8 ? offsets[index] : 0xFFFFFFFFu; }
  std::uint32_t GetPixelStep(std::uint32_t plane) override { return plane == 0 ? step : 0; }
  std::int32_t GetStepCountsPixels() override { return stepCountsPixels; }

 protected:
  const char* ObjectName() const override { return "HostileFormat"; }
};

/// A real host image whose pixel format is the hostile one.
class HostileImage final : public HostObject<IZELImage> {
 public:
  HostileImage(VOKPtr<HostImage> image, VOKPtr<HostileFormat> format)
      : m_image(std::move(image)), m_format(std::move(format)) {}
  std::uint32_t GetWidth() override { return m_image->GetWidth(); }
  std::uint32_t GetHeight() override { return m_image->GetHeight(); }
  std::int32_t GetFieldLayout() override { return m_image->GetFieldLayout(); }
  std::int32_t GetFieldProcessing() override { return m_image->GetFieldProcessing(); }
  std::int32_t GetStartingField() override { return m_image->GetStartingField(); }
  double GetPixelAspectRatio() override { return m_image->GetPixelAspectRatio(); }
  VOKRESULT GetPixelFormat(IZELPixelFormat** ppFormat) override {
    if (ppFormat == nullptr) return VOK_E_POINTER;
    m_format->AddRef();
    *ppFormat = m_format.Get();
    return VOK_OK;
  }
  std::uint8_t* GetRowAddress(std::uint32_t row, std::uint32_t plane) override {
    return m_image->GetRowAddress(row, plane);
  }
  std::uint32_t GetRowBytes(std::uint32_t plane) override { return m_image->GetRowBytes(plane); }
  std::uint32_t GetBitsPerComponent() override { return m_image->GetBitsPerComponent(); }

 protected:
  const char* ObjectName() const override { return "HostileImage"; }

 private:
  VOKPtr<HostImage> m_image;
  VOKPtr<HostileFormat> m_format;
};

/// The output of a render call, handing out the hostile image.
class HostileOutput final : public HostObject<IZELOutput> {
 public:
  explicit HostileOutput(VOKPtr<HostileImage> image) : m_image(std::move(image)) {}
  VOKRESULT GetImage(std::uint32_t index, IZELImage** ppImage) override {
    if (ppImage == nullptr) return VOK_E_POINTER;
    *ppImage = nullptr;
    if (index != 0) return VOK_E_BADINDEX;
    m_image->AddRef();
    *ppImage = m_image.Get();
    return VOK_OK;
  }

 protected:
  const char* ObjectName() const override { return "HostileOutput"; }

 private:
  VOKPtr<HostileImage> m_image;
};

std::uint32_t HostileStep(FuzzedDataProvider& in) {
  constexpr std::uint32_t kOdd[] = {0, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu};
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 24)
                          : kOdd[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kOdd) - 1)];
}

/// Renders through contexts of our own so that the output image can carry the hostile format.
/// The plug-in takes the layout from the output's format and reads the input by it, so the input
/// layer hands out the plain input image over memory of the same claimed size.
void RenderWithHostileFormat(const EffectInstance& instance, FuzzedDataProvider& in, std::uint32_t width,
                             std::uint32_t height, const ImageLayout& layout, std::int32_t field, double time) {
  auto format = MakeHostObject<HostileFormat>();
  format->rowOrder = in.ConsumeBool() ? 0 : in.ConsumeIntegral<std::int32_t>();
  format->colorModel = in.ConsumeIntegralInRange<std::int32_t>(0, 5);
  format->componentCount = in.ConsumeIntegralInRange<std::uint32_t>(0, 6);
  format->stepCountsPixels = in.ConsumeIntegralInRange<std::int32_t>(0, 2);
  format->step = HostileStep(in);
  for (std::uint32_t& o : format->offsets)
    o = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 24) : in.ConsumeIntegral<std::uint32_t>();

  // Memory for what the format claims: a pixel (or a pair) of `step` bytes each. A host whose
  // rows are shorter than its own format says is lying about its memory; that is not tested.
  const std::uint64_t unitStep = format->stepCountsPixels == 1 ? std::uint64_t{format->step} * 2 : format->step;
  const std::uint64_t units = format->colorModel == ZELColorModel_RGBA ? width : (std::uint64_t{width} + 1) / 2;
  const std::uint64_t claimed = std::max<std::uint64_t>(unitStep * units, RowBytesOf(PixelKind::Rgba, width));
  if (claimed * height > (64u << 20)) return;

  Buffer outBuffer(claimed, height, in), inBuffer(claimed, height, in);
  const FrameView outView{outBuffer.bytes.data(), width, height, outBuffer.stride, PixelKind::Rgba};
  const FrameView inView{inBuffer.bytes.data(), width, height, inBuffer.stride, PixelKind::Rgba};
  auto outImage = MakeHostObject<HostImage>(outView, layout);
  auto inImage = MakeHostObject<HostImage>(inView, layout);

  auto shared = std::make_shared<EffectShared>();
  shared->host = zel::fuzz::ClockPlugin().Host().Unknown();
  shared->parameters = instance.All();
  SequenceInfo sequence = instance.Sequence();
  sequence.width = width;
  sequence.height = height;
  auto layer = MakeHostObject<HostInputLayer>(inImage, 0);
  auto context = MakeHostObject<HostEffectContext>(shared, sequence, layer);
  auto frame = MakeHostObject<HostFrameContext>(0, 0);
  auto render = MakeHostObject<HostRenderContext>(time, field);
  auto output = MakeHostObject<HostileOutput>(MakeHostObject<HostileImage>(outImage, format));
  instance.Effect()->Render(context.Get(), nullptr, nullptr, frame.Get(), nullptr, render.Get(), output.Get());
  outBuffer.CheckGuards();
}

}  // namespace

// Loads the plug-in before the first input, so that libFuzzer counts its coverage from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zel::fuzz::ClockPlugin();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const auto instance = std::make_unique<EffectInstance>(zel::fuzz::ClockPlugin());
  // Parameters of the previous input go back to their defaults.
  static const std::vector<ParamValue> defaults = [] {
    std::vector<ParamValue> values;
    for (const auto& p : instance->All()) values.push_back(p->ValueAt());
    return values;
  }();
  for (std::size_t i = 0; i < defaults.size(); ++i) {
    instance->All()[i]->SetUnchecked(defaults[i]);
    instance->All()[i]->SetEnabled(true);
  }

  const bool hostileFormat = in.ConsumeIntegralInRange<int>(0, 3) == 0;
  std::uint32_t width, height;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:  // very wide
      width = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 14);
      height = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);
      break;
    case 1:  // very tall
      width = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);
      height = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 14);
      break;
    default:
      width = in.ConsumeIntegralInRange<std::uint32_t>(0, 300);
      height = in.ConsumeIntegralInRange<std::uint32_t>(0, 200);
      break;
  }
  if (std::uint64_t{width} * height > kMaxPixels) return 0;

  ImageLayout layout;
  layout.bottomUp = in.ConsumeBool();
  layout.fieldLayout = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(0, 3) : in.ConsumeIntegral<std::int32_t>();
  layout.fieldProcessing = in.ConsumeBool() ? ZELFieldProcessing_Separate : in.ConsumeIntegral<std::int32_t>();
  layout.startingField = in.ConsumeIntegralInRange<std::int32_t>(-1, 4);
  layout.pixelAspectRatio = in.ConsumeBool() ? 1.0 : HostileDouble(in);
  layout.stepCountsPixels = in.ConsumeBool();
  const std::int32_t field = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(1, 3) : in.ConsumeIntegral<std::int32_t>();
  const double time = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 100000) : HostileDouble(in);
  SequenceInfo sequence;
  sequence.frameRate = in.ConsumeBool() ? 25.0 : HostileDouble(in);
  instance->SetSequence(sequence);

  if (hostileFormat) {
    SetHostileParameters(*instance, in);
    RenderWithHostileFormat(*instance, in, width, height, layout, field, time);
    return 0;
  }

  constexpr PixelKind kKinds[] = {PixelKind::Rgba, PixelKind::Bgra, PixelKind::Uyvy, PixelKind::Yuy2};
  const PixelKind kind = kKinds[in.ConsumeIntegralInRange<std::size_t>(0, 3)];
  const bool inPlace = in.ConsumeBool();
  Buffer outBuffer(RowBytesOf(kind, width), height, in);
  Buffer inBuffer(RowBytesOf(kind, width), height, in);
  SetHostileParameters(*instance, in);

  FrameView out{outBuffer.bytes.data(), width, height, outBuffer.stride, kind};
  FrameView input = inPlace ? out : FrameView{inBuffer.bytes.data(), width, height, inBuffer.stride, kind};
  RenderRequest request;
  request.time = time;
  request.frameIndex = in.ConsumeIntegral<std::int64_t>();
  request.field = field;
  request.layout = layout;
  instance->Render(input, out, request);
  outBuffer.CheckGuards();
  return 0;
}
