#include "media/SampleCoding.h"

#include <algorithm>
#include <cmath>

namespace zel::media {

namespace {

struct MatrixRow {
  int colorspace;
  LumaWeights weights;
};

// The matrices FFmpeg's colour tags name; everything else counts as BT.601.
constexpr MatrixRow kMatrices[] = {
    {AVCOL_SPC_BT709, {0.2126, 0.0722}},
    {AVCOL_SPC_FCC, {0.30, 0.11}},
    {AVCOL_SPC_BT470BG, {0.299, 0.114}},
    {AVCOL_SPC_SMPTE170M, {0.299, 0.114}},
    {AVCOL_SPC_SMPTE240M, {0.212, 0.087}},
    {AVCOL_SPC_BT2020_NCL, {0.2627, 0.0593}},
    {AVCOL_SPC_BT2020_CL, {0.2627, 0.0593}},
};

int clampSample(const SampleCoding& coding, double value) {
  return static_cast<int>(std::clamp(std::lround(value), 0L, static_cast<long>(coding.maxSample())));
}

/// Scale of one 8-bit step at the coding's depth, for video-range values (16 << (depth - 8)).
double depthScale(const SampleCoding& coding) { return static_cast<double>(1 << (coding.depth - 8)); }

}  // namespace

LumaWeights lumaWeightsOf(int colorspace) {
  for (const MatrixRow& row : kMatrices) {
    if (row.colorspace == colorspace) return row.weights;
  }
  return LumaWeights{};
}

int lumaSample(const SampleCoding& coding, const Rgb& colour) {
  const LumaWeights& w = coding.weights;
  const double y = (w.kr * colour.r + (1 - w.kr - w.kb) * colour.g + w.kb * colour.b) / 255;
  if (coding.fullRange) return clampSample(coding, y * coding.maxSample());
  return clampSample(coding, (16 + 219 * y) * depthScale(coding));
}

void chromaValues(const SampleCoding& coding, const Rgb& colour, double& cb, double& cr) {
  const LumaWeights& w = coding.weights;
  const double y = (w.kr * colour.r + (1 - w.kr - w.kb) * colour.g + w.kb * colour.b) / 255;
  const double u = (colour.b / 255 - y) / (2 * (1 - w.kb));
  const double v = (colour.r / 255 - y) / (2 * (1 - w.kr));
  if (coding.fullRange) {
    const double middle = static_cast<double>(1 << (coding.depth - 1));
    cb = middle + u * coding.maxSample();
    cr = middle + v * coding.maxSample();
  } else {
    cb = (128 + 224 * u) * depthScale(coding);
    cr = (128 + 224 * v) * depthScale(coding);
  }
}

int chromaSample(const SampleCoding& coding, double value) { return clampSample(coding, value); }

void rgbSamples(const SampleCoding& coding, const Rgb& colour, int& r, int& g, int& b) {
  const double scale = coding.maxSample() / 255.0;
  r = clampSample(coding, colour.r * scale);
  g = clampSample(coding, colour.g * scale);
  b = clampSample(coding, colour.b * scale);
}

int alphaSample(const SampleCoding& coding, int alpha8) { return clampSample(coding, alpha8 * (coding.maxSample() / 255.0)); }

Rgb rgbOfWorkingYuv(int y, int cb, int cr) {
  // The inverse of full-range BT.601: Kr 0.299, Kb 0.114.
  const double u = cb - 128.0;
  const double v = cr - 128.0;
  const auto clamp = [](double c) { return std::clamp(c, 0.0, 255.0); };
  return Rgb{clamp(y + 1.402 * v), clamp(y - 0.344136286 * u - 0.714136286 * v), clamp(y + 1.772 * u)};
}

bool sharesWorkingMatrix(const SampleCoding& coding) {
  return coding.model == SampleCoding::Model::Yuv && coding.weights == LumaWeights{};
}

int lumaSampleOfWorking(const SampleCoding& coding, int y) {
  if (coding.fullRange) return clampSample(coding, y * (coding.maxSample() / 255.0));
  return clampSample(coding, (16 + 219 * (y / 255.0)) * depthScale(coding));
}

double chromaValueOfWorking(const SampleCoding& coding, int c) {
  // The same scale as chromaValues: a working value 128 + 255 u is u of the difference.
  const double u = (c - 128) / 255.0;
  if (coding.fullRange) return static_cast<double>(1 << (coding.depth - 1)) + u * coding.maxSample();
  return (128 + 224 * u) * depthScale(coding);
}

int fullRangeLuma(int videoRangeLuma) {
  // (y - 16) x 255 / 219 to the nearest (no value lies halfway), written as the integers a vector
  // loop can use: v + (72 v + 219) / 438.
  const int v = std::max(videoRangeLuma - 16, 0);
  return std::min(255, v + (72 * v + 219) / 438);
}

int fullRangeChroma(int videoRangeChroma) {
  // 128 + (c - 128) x 255 / 224 to the nearest, halves away from 128 (16 and 240 become 0 and 255).
  const int d = videoRangeChroma - 128, a = d < 0 ? -d : d;
  const int scaled = a + (31 * a + 112) / 224;
  return std::clamp(128 + (d < 0 ? -scaled : scaled), 0, 255);
}

}  // namespace zel::media
