#include "media/Frame.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "media/Error.h"
#include "media/NativePicture.h"

namespace zel::media {

namespace {

constexpr std::size_t kRowAlignment = 64;

struct FormatRow {
  FrameFormat format;
  std::string_view name;
  int bytesPerPixel;
  bool yuv422;
};

constexpr FormatRow kFormats[] = {
    {FrameFormat::Rgba, "rgba", 4, false},
    {FrameFormat::Uyvy, "uyvy", 2, true},
    {FrameFormat::Yuy2, "yuy2", 2, true},
};

constexpr std::pair<FieldOrder, std::string_view> kFieldOrders[] = {
    {FieldOrder::Progressive, "progressive"},
    {FieldOrder::TopFirst, "tff"},
    {FieldOrder::BottomFirst, "bff"},
};

const FormatRow& rowOf(FrameFormat format) {
  for (const FormatRow& row : kFormats) {
    if (row.format == format) return row;
  }
  return kFormats[0];
}

}  // namespace

int bytesPerPixel(FrameFormat format) { return rowOf(format).bytesPerPixel; }
bool isYuv422(FrameFormat format) { return rowOf(format).yuv422; }
std::string_view toString(FrameFormat format) { return rowOf(format).name; }

std::string_view toString(FieldOrder order) {
  for (const auto& [value, name] : kFieldOrders) {
    if (value == order) return name;
  }
  return "progressive";
}

std::optional<FrameFormat> parseFrameFormat(std::string_view text) {
  for (const FormatRow& row : kFormats) {
    if (row.name == text) return row.format;
  }
  return std::nullopt;
}

std::optional<FieldOrder> parseFieldOrder(std::string_view text) {
  for (const auto& [value, name] : kFieldOrders) {
    if (name == text) return value;
  }
  return std::nullopt;
}

void Frame::FreeAligned::operator()(std::uint8_t* p) const { std::free(p); }

void Frame::allocate(int width, int height, FrameFormat format) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    throw Error("frame size " + std::to_string(width) + "x" + std::to_string(height) +
                " is not usable: each side must be 1 to " + std::to_string(kMaxSide));
  }
  if (isYuv422(format) && width % 2 != 0) {
    throw Error("frame width " + std::to_string(width) + " is odd: " + std::string(toString(format)) +
                " holds pixel pairs and needs an even width");
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel(format);
  const std::size_t stride = (rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  const std::size_t size = stride * static_cast<std::size_t>(height);
  if (size > m_capacity) {
    m_data.reset();
    m_capacity = 0;
    auto* memory = static_cast<std::uint8_t*>(std::aligned_alloc(kRowAlignment, size));
    if (memory == nullptr) throw std::bad_alloc();
    m_data.reset(memory);
    m_capacity = size;
  }
  m_width = width;
  m_height = height;
  m_format = format;
  m_stride = static_cast<std::ptrdiff_t>(stride);
}

void Frame::NativeDeleter::operator()(NativePicture* p) const { delete p; }

NativePicture* Frame::native() { return m_native && m_native->valid ? m_native.get() : nullptr; }
const NativePicture* Frame::native() const { return m_native && m_native->valid ? m_native.get() : nullptr; }

NativePicture& Frame::nativeHolder() {
  if (!m_native) m_native.reset(new NativePicture);
  return *m_native;
}

void Frame::dropNative() {
  m_pixelsOwed = false;
  if (!m_native) return;
  av_frame_unref(m_native->picture.get());
  m_native->valid = false;
}

void Frame::copyFrom(const Frame& other) {
  if (this == &other) return;
  if (const NativePicture* theirs = other.native()) {
    NativePicture& mine = nativeHolder();
    av_frame_unref(mine.picture.get());
    if (av_frame_ref(mine.picture.get(), theirs->picture.get()) < 0) throw std::bad_alloc();
    mine.shape = theirs->shape;
    mine.valid = true;
  } else {
    dropNative();
  }
  m_pixelsOwed = other.m_pixelsOwed;
  if (other.empty()) {
    m_width = m_height = 0;
    m_stride = 0;
  } else {
    allocate(other.m_width, other.m_height, other.m_format);
    const std::size_t bytes = rowBytes();
    for (int y = 0; y < m_height; ++y) std::memcpy(row(y), other.row(y), bytes);
  }
  m_index = other.m_index;
  m_fieldOrder = other.m_fieldOrder;
  m_timestamp = other.m_timestamp;
  m_time = other.m_time;
}

bool Frame::samePixels(const Frame& other) const {
  if (m_width != other.m_width || m_height != other.m_height || m_format != other.m_format) return false;
  const std::size_t bytes = rowBytes();
  for (int y = 0; y < m_height; ++y) {
    if (std::memcmp(row(y), other.row(y), bytes) != 0) return false;
  }
  return true;
}

}  // namespace zel::media
