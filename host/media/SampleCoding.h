#pragma once
// How the samples of a decoded picture code colour, and the plain arithmetic that turns the
// plug-in's 8-bit working pixels back into such samples.
//
// A picture is coded as R'G'B', as Y'CbCr with a matrix and a range, or as grey (luma alone), at
// a depth of 8 to 16 bits per sample. The conversions here are written once, in double precision
// and rounded to the nearest sample; they run only for the pixels the clock changed, so clarity
// beats speed here.

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace zel::media {

/// How a stream's pictures are stored and what their samples mean, as the colour tags of a file
/// and an encoder name it.
struct PictureColour {
  AVPixelFormat format = AV_PIX_FMT_NONE;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};

/// Luma weights of a Y'CbCr matrix: Y' = kr R' + (1 - kr - kb) G' + kb B'.
struct LumaWeights {
  double kr = 0.299;
  double kb = 0.114;

  bool operator==(const LumaWeights&) const = default;
};

/// The weights of an AVColorSpace value. Unspecified and unknown values are BT.601, as the
/// scaler that makes the working copy takes them, so that both directions use one matrix.
LumaWeights lumaWeightsOf(int colorspace);

/// The coding of one picture's samples.
struct SampleCoding {
  enum class Model { Rgb, Yuv, Gray };
  Model model = Model::Yuv;
  int depth = 8;           ///< bits per sample, 8 to 16
  bool fullRange = false;  ///< Y'CbCr and grey: samples use 0..2^depth-1 (else 16..235 at 8 bits)
  LumaWeights weights;

  /// Largest sample value: 2^depth - 1.
  int maxSample() const { return (1 << depth) - 1; }

  bool operator==(const SampleCoding&) const = default;
};

/// R', G', B' in 0..255 (straight 8-bit working values, possibly with fractions from averaging).
struct Rgb {
  double r = 0, g = 0, b = 0;
};

/// The luma sample of a colour (or R' alone for Rgb coding: use rgbSamples there).
int lumaSample(const SampleCoding& coding, const Rgb& colour);
/// Cb and Cr of a colour before rounding, in sample units at the coding's depth and range (so
/// that the chroma of several pixels can be averaged and then rounded once).
void chromaValues(const SampleCoding& coding, const Rgb& colour, double& cb, double& cr);
/// A chroma value rounded and clamped to the sample range.
int chromaSample(const SampleCoding& coding, double value);
/// R', G', B' as samples at the coding's depth.
void rgbSamples(const SampleCoding& coding, const Rgb& colour, int& r, int& g, int& b);
/// An 8-bit alpha as a sample at the coding's depth.
int alphaSample(const SampleCoding& coding, int alpha8);

/// The plug-in's 4:2:2 working values (full-range Y'CbCr with BT.601 weights, 8 bits, the
/// picture its 4:2:2 formula expects) as R', G', B' in 0..255.
Rgb rgbOfWorkingYuv(int y, int cb, int cr);

/// True when the coding is Y'CbCr with the weights the plug-in's 4:2:2 formula uses (BT.601):
/// its working samples then differ from the coding's own in range and depth only, and go into
/// the picture one for one instead of through R'G'B' and another matrix.
bool sharesWorkingMatrix(const SampleCoding& coding);
/// A working luma value (full range, 8 bits) as a luma sample of the coding: range and depth only.
int lumaSampleOfWorking(const SampleCoding& coding, int y);
/// A working Cb or Cr value as a chroma value of the coding before rounding (chromaSample rounds
/// it), so that the chroma of several pixels can be averaged and then rounded once.
double chromaValueOfWorking(const SampleCoding& coding, int c);
/// The way into the working picture: an 8-bit video-range luma or chroma sample at full range,
/// rounded to the nearest (chroma halves away from the middle) and clamped.
int fullRangeLuma(int videoRangeLuma);
int fullRangeChroma(int videoRangeChroma);

}  // namespace zel::media
