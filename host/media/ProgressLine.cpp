#include "media/ProgressLine.h"

#include <unistd.h>

#include <cmath>

namespace zel::media {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

std::string clockText(double seconds) {
  const auto total = static_cast<long long>(std::llround(seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

ProgressLine::ProgressLine(std::FILE* out, std::int64_t total, bool enabled)
    : m_out(out), m_total(total), m_enabled(enabled && out != nullptr),
      m_start(std::chrono::steady_clock::now()), m_lastDraw(m_start) {}

ProgressLine::~ProgressLine() { finish(); }

std::string ProgressLine::text(std::int64_t done, std::int64_t total, double seconds) {
  char buffer[128];
  std::string line;
  if (total > 0) {
    std::snprintf(buffer, sizeof buffer, "frame %lld/%lld  %3d%%", static_cast<long long>(done),
                  static_cast<long long>(total), static_cast<int>(done * 100 / total));
  } else {
    std::snprintf(buffer, sizeof buffer, "frame %lld", static_cast<long long>(done));
  }
  line = buffer;
  if (seconds > 0 && done > 0) {
    const double fps = static_cast<double>(done) / seconds;
    std::snprintf(buffer, sizeof buffer, "  %.1f fps", fps);
    line += buffer;
    if (total > 0 && done <= total) line += "  " + clockText(static_cast<double>(total - done) / fps) + " left";
  }
  return line;
}

bool ProgressLine::isTerminal(std::FILE* stream) { return stream != nullptr && isatty(fileno(stream)) == 1; }

void ProgressLine::update(std::int64_t done) {
  m_done = done;
  if (!m_enabled || m_finished) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastDraw < kRedrawInterval) return;
  m_lastDraw = now;
  draw();
}

void ProgressLine::finish() {
  if (!m_enabled || m_finished) return;
  m_finished = true;
  draw();
  std::fputc('\n', m_out);
  std::fflush(m_out);
}

void ProgressLine::finish(std::int64_t done) {
  m_done = done;
  m_total = done;
  finish();
}

void ProgressLine::draw() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  // Carriage return and erase-to-end-of-line: the line is redrawn in place.
  std::fprintf(m_out, "\r%s\x1b[K", text(m_done, m_total, seconds).c_str());
  std::fflush(m_out);
}

}  // namespace zel::media
