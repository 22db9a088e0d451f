#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <new>

namespace zel::bench {

const std::vector<FrameCase>& FrameCases() {
  static const std::vector<FrameCase> cases = {
      {1920, 1080, Format::RGBA},
      {1920, 1080, Format::YUV422},
      {3840, 2160, Format::RGBA},
      {3840, 2160, Format::YUV422},
      {7680, 4320, Format::RGBA},
      {7680, 4320, Format::YUV422},
  };
  return cases;
}

const char* FormatName(Format format) { return format == Format::RGBA ? "RGBA" : "422"; }

std::size_t BytesPerPixel(Format format) { return format == Format::RGBA ? 4 : 2; }

std::size_t FrameBytes(const FrameCase& c) {
  return std::size_t{c.width} * c.height * BytesPerPixel(c.format);
}

std::string CaseName(const FrameCase& c) {
  return std::string(FormatName(c.format)) + "/" + std::to_string(c.width) + "x" +
         std::to_string(c.height);
}

WarmBuffer::WarmBuffer(std::size_t bytes, std::uint8_t fill) : m_size(bytes) {
  const std::size_t rounded = (bytes + 63) / 64 * 64;
  m_data = static_cast<std::uint8_t*>(std::aligned_alloc(64, rounded == 0 ? 64 : rounded));
  if (m_data == nullptr) throw std::bad_alloc();
  std::memset(m_data, fill, rounded);
}

WarmBuffer::~WarmBuffer() { std::free(m_data); }

void RegisterFloors() {
  for (const FrameCase& c : FrameCases()) {
    const std::size_t bytes = FrameBytes(c);
    benchmark::RegisterBenchmark(("floor_memcpy/" + CaseName(c)).c_str(),
                                 [bytes](benchmark::State& state) {
                                   WarmBuffer src(bytes, 0x21);
                                   WarmBuffer dst(bytes, 0x43);
                                   for (auto _ : state) {
                                     std::memcpy(dst.data(), src.data(), bytes);
                                     benchmark::ClobberMemory();
                                   }
                                   state.SetBytesProcessed(state.iterations() *
                                                           static_cast<std::int64_t>(bytes));
                                 })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("floor_memset/" + CaseName(c)).c_str(),
                                 [bytes](benchmark::State& state) {
                                   WarmBuffer dst(bytes, 0x43);
                                   std::uint8_t value = 0;
                                   for (auto _ : state) {
                                     std::memset(dst.data(), value++, bytes);
                                     benchmark::ClobberMemory();
                                   }
                                   state.SetBytesProcessed(state.iterations() *
                                                           static_cast<std::int64_t>(bytes));
                                 })
        ->Unit(benchmark::kMillisecond);
  }
}

void RegisterRectFloor(const FrameCase& c, const std::string& name, PixelRect rect) {
  const std::size_t bytes = FrameBytes(c);
  const std::size_t stride = std::size_t{c.width} * BytesPerPixel(c.format);
  const std::size_t offset = std::size_t{rect.left} * BytesPerPixel(c.format);
  const std::size_t length = std::size_t{rect.right - rect.left} * BytesPerPixel(c.format);
  benchmark::RegisterBenchmark(("floor_rect/" + CaseName(c) + "/" + name).c_str(),
                               [=](benchmark::State& state) {
                                 WarmBuffer src(bytes, 0x21);
                                 WarmBuffer dst(bytes, 0x43);
                                 for (auto _ : state) {
                                   for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
                                     std::memcpy(dst.data() + y * stride + offset,
                                                 src.data() + y * stride + offset, length);
                                   benchmark::ClobberMemory();
                                 }
                               })
      ->Unit(benchmark::kMillisecond);
}

namespace {

double ToMilliseconds(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond: return value * 1e-6;
    case benchmark::kMicrosecond: return value * 1e-3;
    case benchmark::kMillisecond: return value;
    case benchmark::kSecond: return value * 1e3;
  }
  return value;
}

/// The part of a name after its first segment: "<format>/<size>" plus whatever follows.
std::string CaseOf(const std::string& name) {
  const std::size_t first = name.find('/');
  if (first == std::string::npos) return {};
  const std::size_t second = name.find('/', first + 1);
  if (second == std::string::npos) return {};
  const std::size_t third = name.find('/', second + 1);
  return name.substr(first + 1, third == std::string::npos ? std::string::npos : third - first - 1);
}

/// The drawtext benchmark a render is held against: "render/<case>/separate/<clock>" against
/// "drawtext/<case>/copy", "render/<case>/in_place/<clock>" against "drawtext/<case>/in_place".
std::string DrawtextPartner(const std::string& name) {
  if (name.rfind("render/", 0) != 0) return {};
  const std::string c = CaseOf(name);
  const std::string rest = name.substr(std::string("render/").size() + c.size());
  if (rest.rfind("/separate", 0) == 0) return "drawtext/" + c + "/copy";
  if (rest.rfind("/in_place", 0) == 0) return "drawtext/" + c + "/in_place";
  return {};
}

/// The floor of the clock's own rectangle a render or compositing is held against:
/// "<what>/<case>/<mode>/<clock>" against "floor_rect/<case>/<clock>".
std::string RectFloorPartner(const std::string& name) {
  if (name.rfind("render/", 0) != 0 && name.rfind("composite/", 0) != 0) return {};
  const std::size_t clock = name.rfind('/');
  if (clock == std::string::npos) return {};
  return "floor_rect/" + CaseOf(name) + name.substr(clock);
}

/// Forwards everything to the display reporter that the flags ask for, and keeps each
/// benchmark's median CPU time (or its only time, without repetitions) for the summary.
class SummaryReporter final : public benchmark::BenchmarkReporter {
 public:
  SummaryReporter() : m_display(benchmark::CreateDefaultDisplayReporter()) {}

  bool ReportContext(const Context& context) override {
    return m_display->ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    m_display->ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.function_name;
      Entry& e = m_entries[name];
      if (e.fromMedian && !median) continue;
      if (e.order < 0) e.order = m_next++;
      e.ms = ToMilliseconds(run.GetAdjustedCPUTime(), run.time_unit);
      e.fromMedian = median;
    }
  }

  void Finalize() override {
    m_display->Finalize();
    const bool machineReadable =
        dynamic_cast<benchmark::ConsoleReporter*>(m_display.get()) == nullptr;
    std::ostream& out = machineReadable ? std::cerr : std::cout;
    PrintSummary(out);
  }

 private:
  struct Entry {
    double ms = 0;
    bool fromMedian = false;
    int order = -1;
  };

  void PrintSummary(std::ostream& out) const {
    char line[256];
    out << "\nFloors: median CPU time of one memcpy and one memset of a whole frame, warm buffers.\n";
    std::snprintf(line, sizeof line, "%-48s %10s %10s\n", "case", "memcpy ms", "memset ms");
    out << line;
    for (const FrameCase& c : FrameCases()) {
      const auto cpy = m_entries.find("floor_memcpy/" + CaseName(c));
      const auto set = m_entries.find("floor_memset/" + CaseName(c));
      if (cpy == m_entries.end() && set == m_entries.end()) continue;
      const auto ms = [&](const auto& it) {
        return it == m_entries.end() ? std::string("-") : Fixed(it->second.ms, 3);
      };
      std::snprintf(line, sizeof line, "%-48s %10s %10s\n", CaseName(c).c_str(), ms(cpy).c_str(),
                    ms(set).c_str());
      out << line;
    }

    std::vector<std::pair<int, std::string>> order;
    for (const auto& [name, e] : m_entries)
      if (name.rfind("floor_", 0) != 0) order.emplace_back(e.order, name);
    if (order.empty()) return;
    std::sort(order.begin(), order.end());

    out << "\nSummary: median CPU time of each benchmark, its ratio to one memcpy and one memset"
           "\nof a whole frame of the same format and size, a render's ratio to drawtext in the"
           "\nmatching case (separate output vs copy, in place vs in place), and its ratio to the"
           "\nfloor of the clock's own rectangle (read and written once), all from this run.\n";
    std::snprintf(line, sizeof line, "%-48s %10s %10s %10s %10s %10s\n", "benchmark", "ms", "x memcpy",
                  "x memset", "x drawtext", "x rect");
    out << line;
    for (const auto& [unused, name] : order) {
      const Entry& e = m_entries.at(name);
      const std::string c = CaseOf(name);
      const auto ratio = [&](const std::string& other) {
        const auto it = m_entries.find(other);
        return it == m_entries.end() || it->second.ms <= 0 ? std::string("-")
                                                          : Fixed(e.ms / it->second.ms, 2);
      };
      std::snprintf(line, sizeof line, "%-48s %10.3f %10s %10s %10s %10s\n", name.c_str(), e.ms,
                    ratio("floor_memcpy/" + c).c_str(), ratio("floor_memset/" + c).c_str(),
                    ratio(DrawtextPartner(name)).c_str(), ratio(RectFloorPartner(name)).c_str());
      out << line;
    }
    out.flush();
  }

  static std::string Fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
  }

  std::unique_ptr<benchmark::BenchmarkReporter> m_display;
  std::map<std::string, Entry> m_entries;
  int m_next = 0;
};

}  // namespace

int RunWithSummary(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace zel::bench
