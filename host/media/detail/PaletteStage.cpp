#include "media/detail/PaletteStage.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <cstring>

#include "media/Error.h"
#include "media/detail/FFmpeg.h"

namespace zel::media::detail {

namespace {

/// A buffer source of pictures of that shape in `graph`.
AVFilterContext* makeSource(AVFilterGraph& graph, const char* name, int width, int height, AVPixelFormat format,
                            AVRational timeBase, const std::string& path) {
  char args[160];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", width, height,
                static_cast<int>(format), timeBase.num, timeBase.den);
  AVFilterContext* source = nullptr;
  const int rc = avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), name, args, nullptr, &graph);
  if (rc < 0) fail("cannot make the palette for", path, rc);
  return source;
}

AVFilterContext* makeFilter(AVFilterGraph& graph, const char* filter, const std::string& path) {
  const AVFilter* kind = avfilter_get_by_name(filter);
  if (kind == nullptr) throw Error("cannot write '" + path + "': FFmpeg has no " + filter + " filter");
  AVFilterContext* context = nullptr;
  const int rc = avfilter_graph_create_filter(&context, kind, filter, nullptr, nullptr, &graph);
  if (rc < 0) fail("cannot make the palette for", path, rc);
  return context;
}

void link(AVFilterContext* from, unsigned out, AVFilterContext* to, unsigned in, const std::string& path) {
  const int rc = avfilter_link(from, out, to, in);
  if (rc < 0) fail("cannot make the palette for", path, rc);
}

AVFilterGraph* newGraph() {
  AVFilterGraph* graph = avfilter_graph_alloc();
  if (graph == nullptr) throw std::bad_alloc();
  // One thread: the graphs are small, and the render's own threads are busy.
  graph->nb_threads = 1;
  return graph;
}

}  // namespace

void PaletteStage::GraphDeleter::operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }

PaletteStage::PaletteStage(int width, int height, AVRational timeBase, const std::string& path)
    : m_width(width), m_height(height), m_timeBase(timeBase), m_path(path) {
  m_counting.reset(newGraph());
  m_countIn = makeSource(*m_counting, "in", width, height, AV_PIX_FMT_RGB24, timeBase, path);
  AVFilterContext* generate = makeFilter(*m_counting, "palettegen", path);
  m_countOut = makeFilter(*m_counting, "buffersink", path);
  link(m_countIn, 0, generate, 0, path);
  link(generate, 0, m_countOut, 0, path);
  int rc = avfilter_graph_config(m_counting.get(), nullptr);
  if (rc < 0) fail("cannot make the palette for", path, rc);
  // Unlinked at once: nothing is left behind however the process ends.
  m_kept.reset(std::tmpfile());
  if (!m_kept) throw Error("cannot write '" + path + "': no temporary file for its pictures: " + std::strerror(errno));
}

PaletteStage::~PaletteStage() = default;

void PaletteStage::add(const AVFrame& picture) {
  int rc = av_buffersrc_add_frame_flags(m_countIn, const_cast<AVFrame*>(&picture), AV_BUFFERSRC_FLAG_KEEP_REF);
  if (rc < 0) fail("cannot make the palette for", m_path, rc);
  const std::size_t row = static_cast<std::size_t>(m_width) * 3;
  bool written = std::fwrite(&picture.pts, sizeof picture.pts, 1, m_kept.get()) == 1;
  for (int y = 0; written && y < m_height; ++y) {
    written = std::fwrite(picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.linesize[0], 1, row,
                          m_kept.get()) == row;
  }
  if (!written) throw Error("cannot write '" + m_path + "': the temporary file of its pictures: " + std::strerror(errno));
  ++m_count;
}

void PaletteStage::finish(const std::function<void(AVFrame&)>& take) {
  if (m_count == 0) return;
  int rc = av_buffersrc_add_frame(m_countIn, nullptr);
  AvFramePtr palette = makeAvFrame();
  if (rc >= 0) rc = av_buffersink_get_frame(m_countOut, palette.get());
  if (rc < 0) fail("cannot make the palette for", m_path, rc);

  std::unique_ptr<AVFilterGraph, GraphDeleter> mapping(newGraph());
  AVFilterContext* pictures = makeSource(*mapping, "in", m_width, m_height, AV_PIX_FMT_RGB24, m_timeBase, m_path);
  AVFilterContext* colours = makeSource(*mapping, "palette", palette->width, palette->height,
                                        static_cast<AVPixelFormat>(palette->format), m_timeBase, m_path);
  AVFilterContext* use = makeFilter(*mapping, "paletteuse", m_path);
  AVFilterContext* out = makeFilter(*mapping, "buffersink", m_path);
  link(pictures, 0, use, 0, m_path);
  link(colours, 0, use, 1, m_path);
  link(use, 0, out, 0, m_path);
  rc = avfilter_graph_config(mapping.get(), nullptr);
  if (rc < 0) fail("cannot make the palette for", m_path, rc);

  std::rewind(m_kept.get());
  AvFramePtr picture = makeAvFrame();
  AvFramePtr mapped = makeAvFrame();
  const auto drain = [&] {
    for (;;) {
      const int got = av_buffersink_get_frame(out, mapped.get());
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) fail("cannot map the pictures of", m_path, got);
      take(*mapped);
      av_frame_unref(mapped.get());
    }
  };
  const std::size_t row = static_cast<std::size_t>(m_width) * 3;
  for (std::int64_t i = 0; i < m_count; ++i) {
    picture->format = AV_PIX_FMT_RGB24;
    picture->width = m_width;
    picture->height = m_height;
    rc = av_frame_get_buffer(picture.get(), 0);
    if (rc < 0) fail("cannot map the pictures of", m_path, rc);
    bool read = std::fread(&picture->pts, sizeof picture->pts, 1, m_kept.get()) == 1;
    for (int y = 0; read && y < m_height; ++y) {
      read = std::fread(picture->data[0] + static_cast<std::ptrdiff_t>(y) * picture->linesize[0], 1, row,
                        m_kept.get()) == row;
    }
    if (!read) throw Error("cannot write '" + m_path + "': the temporary file of its pictures cannot be read back");
    if (i == 0) {
      // The one palette holds from the first picture on.
      palette->pts = picture->pts;
      rc = av_buffersrc_add_frame(colours, palette.get());
      if (rc >= 0) rc = av_buffersrc_add_frame(colours, nullptr);
      if (rc < 0) fail("cannot map the pictures of", m_path, rc);
    }
    rc = av_buffersrc_add_frame(pictures, picture.get());  // takes the picture's buffers
    if (rc < 0) fail("cannot map the pictures of", m_path, rc);
    drain();
  }
  rc = av_buffersrc_add_frame(pictures, nullptr);
  if (rc < 0) fail("cannot map the pictures of", m_path, rc);
  drain();
}

}  // namespace zel::media::detail
