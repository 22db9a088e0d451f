// Renders on several threads at once through the real host: frames of one effect instance and of
// several instances, in all three clocks and all four pixel kinds, progressive and field by field,
// each compared with the same frame rendered alone beforehand. Meanwhile the user-interface thread
// works on another instance with the overlay and the update handler, as an editor does while it
// renders in the background. Built with ThreadSanitizer (scripts/test's TSan stage) it also proves
// the absence of data races; in the other builds it proves the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string_view>
#include <thread>

#include "interaction/EditSession.h"
#include "render/EffectInstance.h"
#include "loading/Instrumentation.h"

namespace zel::host {
namespace {

Plugin& ClockPlugin() {
  static Plugin plugin(ZEL_TEST_PLUGIN);
  return plugin;
}

constexpr std::uint32_t kWidth = 96;
constexpr std::uint32_t kHeight = 54;
constexpr int kFramesPerCase = 200;
constexpr int kThreads = 4;

struct Job {
  const EffectInstance* instance;
  PixelKind kind;
  std::int64_t frame;
  bool field;       ///< the second field of an interlaced frame, else the whole frame
  std::uint64_t expected = 0;
};

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

/// Renders one job into a fresh picture over a fixed input; the output's hash.
std::uint64_t RenderJob(const Job& job) {
  const std::size_t stride = RowBytesOf(job.kind, kWidth);
  std::vector<std::uint8_t> input(stride * kHeight), output(stride * kHeight, 0x11);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * 31 + job.frame);
  const FrameView in{input.data(), kWidth, kHeight, stride, job.kind};
  const FrameView out{output.data(), kWidth, kHeight, stride, job.kind};
  const VOKRESULT result = job.field ? job.instance->RenderField(in, out, job.frame, InterlaceOrder::UpperFirst, true)
                                     : job.instance->RenderFrame(in, out, job.frame);
  if (result != VOK_OK) return 0;
  return Fnv1a(output);
}

TEST(ConcurrencyTest, ThreadsRenderTheBytesOfASerialRenderWhileTheUserWorks) {
  // Three instances, one per clock, with text and colours that change from frame to frame; the
  // digital one is rendered by several threads at once.
  std::vector<std::unique_ptr<EffectInstance>> instances;
  for (const char* type : {"Analog Clock", "Digital Clock", "LED clock"}) {
    auto instance = std::make_unique<EffectInstance>(ClockPlugin());
    instance->SetFromText("Clock Type List", type);
    instance->SetFromText("Style List", "1");
    instance->SetFromText("Size", "80");
    instance->SetFromText("X", "10", 0.0);
    instance->SetFromText("X", "90", 199.0);
    instance->SetFromText("Foreground Opacity", "100", 0.0);
    instance->SetFromText("Foreground Opacity", "30", 199.0);
    instances.push_back(std::move(instance));
  }
  std::vector<Job> jobs;
  for (const auto& instance : instances)
    for (PixelKind kind : {PixelKind::Rgba, PixelKind::Bgra, PixelKind::Uyvy, PixelKind::Yuy2})
      for (int k = 0; k < kFramesPerCase; ++k) jobs.push_back({instance.get(), kind, k, k % 3 == 2});
  for (Job& job : jobs) {
    job.expected = RenderJob(job);
    ASSERT_NE(job.expected, 0u);
  }
  std::shuffle(jobs.begin(), jobs.end(), std::mt19937(7));

  // The user's instance: renders of it run alongside (their bytes change with the user's edits,
  // so only their result is checked), while this thread drags its clock and changes its style.
  EditSession session(ClockPlugin());
  session.OpenViewer(320, 180);
  const EffectInstance& edited = session.Instance();

  std::atomic<std::size_t> next{0};
  std::atomic<int> mismatches{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
        if (RenderJob(jobs[i]) != jobs[i].expected) ++mismatches;
        if (i % 4 == static_cast<std::size_t>(t) && RenderJob({&edited, PixelKind::Bgra, static_cast<std::int64_t>(i % 50), false}) == 0)
          ++failures;
      }
    });
  }
  int edits = 0;
  constexpr const char* kStyles[] = {"1", "10", "11", "13", "14"};
  while (next.load() < jobs.size()) {
    session.PointerDown(160, 90);
    session.PointerDrag(100 + edits % 100, 60 + edits % 50);
    session.PointerUp(100, 60);
    session.DrawOverlay(edits % 2 == 0);
    EXPECT_EQ(session.SetFromText("Style List", kStyles[edits % 5]), VOK_OK);
    ++edits;
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(edits, 0);
  std::printf("[ concurrent ] %zu frames on %d threads equal to their serial render; %d user edits alongside\n",
              jobs.size(), kThreads, edits);
}

}  // namespace
}  // namespace zel::host
