// The drawtext yardstick (see Drawtext.h). FFmpeg's counterpart of the plug-in's packed 4:2:2 is
// planar yuv422p: the same 2 bytes a pixel, so the copies and floors match.
#include "Drawtext.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using zel::bench::FrameCase;

/// 86 points on the 96-dpi device, in pixels: what the clock's default text draws at in a 1080-row
/// frame. The clock's text is a share of the frame's height (its size is a percentage of the
/// radius, the radius one of the height), so drawtext's grows with the height too, and its box
/// border with it: the same share of the frame at every size.
constexpr double kFontPixelsAt1080 = 86 * 96 / 72.0;
constexpr double kBoxBorderAt1080 = 10;
constexpr int kTimeBaseDen = 25;

std::string Scaled(double at1080, const FrameCase& c) { return std::to_string(at1080 * c.height / 1080.0); }

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

/// The file of Liberation Sans Regular, found through fontconfig as a user would.
std::string LiberationSansFile() {
  static const std::string file = [] {
    std::string result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Liberation Sans:style=Regular"));
    if (pattern == nullptr) return result;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &res);
    FcChar8* path = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
      result = reinterpret_cast<const char*>(path);
    if (match != nullptr) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return result;
  }();
  return file;
}

AVPixelFormat PixelFormatOf(const FrameCase& c) {
  return c.format == zel::bench::Format::RGBA ? AV_PIX_FMT_RGBA : AV_PIX_FMT_YUV422P;
}

void Check(int err, const char* what) {
  if (err < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    throw std::runtime_error(std::string(what) + ": " + text);
  }
}

/// buffer -> drawtext -> buffersink for one frame size and format, single-threaded.
struct DrawtextGraph {
  GraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;

  explicit DrawtextGraph(const FrameCase& c) : graph(avfilter_graph_alloc()) {
    if (!graph) throw std::runtime_error("avfilter_graph_alloc");
    graph->nb_threads = 1;

    const std::string args = "video_size=" + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + ":pix_fmt=" +
                             av_get_pix_fmt_name(PixelFormatOf(c)) +
                             ":time_base=1/" + std::to_string(kTimeBaseDen) + ":pixel_aspect=1/1";
    Check(avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in",
                                       args.c_str(), nullptr, graph.get()),
          "buffer source");

    AVFilterContext* text = avfilter_graph_alloc_filter(graph.get(),
                                                        avfilter_get_by_name("drawtext"), "clock");
    if (text == nullptr) throw std::runtime_error("drawtext filter not available");
    // Options set one by one, so no filtergraph escaping applies: "%{pts:hms}" is the time code
    // of the frame's timestamp, hh:mm:ss.mmm.
    const std::string font = LiberationSansFile();
    if (font.empty()) throw std::runtime_error("Liberation Sans not found by fontconfig");
    Check(av_opt_set(text, "fontfile", font.c_str(), AV_OPT_SEARCH_CHILDREN), "fontfile");
    Check(av_opt_set(text, "text", "%{pts:hms}", AV_OPT_SEARCH_CHILDREN), "text");
    Check(av_opt_set(text, "fontsize", Scaled(kFontPixelsAt1080, c).c_str(), AV_OPT_SEARCH_CHILDREN), "fontsize");
    // The clock's default colours: grey 128 text on an opaque box of grey 50.
    Check(av_opt_set(text, "fontcolor", "0x808080", AV_OPT_SEARCH_CHILDREN), "fontcolor");
    Check(av_opt_set(text, "box", "1", AV_OPT_SEARCH_CHILDREN), "box");
    Check(av_opt_set(text, "boxcolor", "0x323232", AV_OPT_SEARCH_CHILDREN), "boxcolor");
    Check(av_opt_set(text, "boxborderw", std::to_string(static_cast<int>(kBoxBorderAt1080 * c.height / 1080)).c_str(),
                     AV_OPT_SEARCH_CHILDREN),
          "boxborderw");
    Check(av_opt_set(text, "x", "(w-text_w)/2", AV_OPT_SEARCH_CHILDREN), "x");
    Check(av_opt_set(text, "y", "(h-text_h)/2", AV_OPT_SEARCH_CHILDREN), "y");
    Check(avfilter_init_str(text, nullptr), "drawtext init");

    Check(avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph.get()),
          "buffer sink");
    Check(avfilter_link(source, 0, text, 0), "link source");
    Check(avfilter_link(text, 0, sink, 0), "link sink");
    Check(avfilter_graph_config(graph.get(), nullptr), "graph config");
  }
};

/// A frame of the case, filled with mid grey (opaque for rgba).
FramePtr MakeFrame(const FrameCase& c) {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::runtime_error("av_frame_alloc");
  frame->width = static_cast<int>(c.width);
  frame->height = static_cast<int>(c.height);
  frame->format = PixelFormatOf(c);
  Check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");
  for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane] != nullptr; ++plane)
    std::memset(frame->buf[plane]->data, 0x80, frame->buf[plane]->size);
  if (c.format == zel::bench::Format::RGBA) {
    for (int y = 0; y < frame->height; ++y) {
      std::uint8_t* row = frame->data[0] + std::ptrdiff_t{y} * frame->linesize[0];
      for (int x = 0; x < frame->width; ++x) row[4 * x + 3] = 0xFF;
    }
  }
  return frame;
}

/// Whether the two frames differ in their first plane: proves that text was drawn.
bool Differs(const AVFrame* a, const AVFrame* b) {
  const int rowBytes = av_image_get_linesize(static_cast<AVPixelFormat>(a->format), a->width, 0);
  for (int y = 0; y < a->height; ++y)
    if (std::memcmp(a->data[0] + std::ptrdiff_t{y} * a->linesize[0],
                    b->data[0] + std::ptrdiff_t{y} * b->linesize[0],
                    static_cast<std::size_t>(rowBytes)) != 0)
      return true;
  return false;
}

/// The writable frame goes in and comes back out: drawtext draws into it where it lies.
void DrawtextInPlace(benchmark::State& state, FrameCase c) {
  try {
    DrawtextGraph g(c);
    FramePtr frame = MakeFrame(c);
    const FramePtr blank = MakeFrame(c);
    const std::uint8_t* const where = frame->data[0];
    std::int64_t pts = 0;
    const auto pass = [&] {
      frame->pts = pts++;
      Check(av_buffersrc_add_frame_flags(g.source, frame.get(), 0), "add frame");
      Check(av_buffersink_get_frame(g.sink, frame.get()), "get frame");
    };
    pass();
    if (frame->data[0] != where) throw std::runtime_error("the frame was not drawn in place");
    if (!Differs(frame.get(), blank.get())) throw std::runtime_error("nothing was drawn");
    for (auto _ : state) pass();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

/// The source keeps its reference, so the frame handed in is not writable and libavfilter copies
/// it before drawtext draws.
void DrawtextCopy(benchmark::State& state, FrameCase c) {
  try {
    DrawtextGraph g(c);
    FramePtr source = MakeFrame(c);
    FramePtr out(av_frame_alloc());
    if (!out) throw std::runtime_error("av_frame_alloc");
    std::int64_t pts = 0;
    const auto pass = [&] {
      source->pts = pts++;
      Check(av_buffersrc_add_frame_flags(g.source, source.get(), AV_BUFFERSRC_FLAG_KEEP_REF),
            "add frame");
      Check(av_buffersink_get_frame(g.sink, out.get()), "get frame");
    };
    pass();
    if (out->data[0] == source->data[0]) throw std::runtime_error("the shared frame was not copied");
    if (!Differs(out.get(), source.get())) throw std::runtime_error("nothing was drawn");
    av_frame_unref(out.get());
    for (auto _ : state) {
      pass();
      av_frame_unref(out.get());  // back to the pool: the next copy lands in warm memory
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

}  // namespace

namespace zel::bench {

void RegisterDrawtext() {
  av_log_set_level(AV_LOG_ERROR);
  for (const FrameCase& c : FrameCases()) {
    const std::string name = "drawtext/" + CaseName(c);
    benchmark::RegisterBenchmark((name + "/in_place").c_str(), DrawtextInPlace, c)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/copy").c_str(), DrawtextCopy, c)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace zel::bench
