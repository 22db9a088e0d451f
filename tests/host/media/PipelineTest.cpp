#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "media/Pipeline.h"
#include "media/ProgressLine.h"

namespace zel::media {
namespace {

/// Slots carry a number through the stages: read stores seq, work squares it after an amount of
/// busy work that differs per item (so later items often finish first), write collects it.
struct Recorder {
  explicit Recorder(std::size_t slots) : values(slots, -1), busy(slots) {}

  std::vector<std::int64_t> values;
  std::vector<std::atomic<int>> busy;  ///< stages acting on a slot right now
  std::vector<std::int64_t> written;
  std::atomic<int> inFlight{0};
  std::atomic<int> maxInFlight{0};

  PipelineStages stages(std::int64_t items) {
    PipelineStages s;
    s.read = [this, items](std::size_t slot, std::int64_t seq) {
      if (seq >= items) return false;
      EXPECT_EQ(busy[slot]++, 0) << "slot " << slot << " reused while in flight";
      values[slot] = seq;
      const int now = ++inFlight;
      int seen = maxInFlight.load();
      while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {}
      busy[slot]--;
      return true;
    };
    s.work = [this](std::size_t slot, std::int64_t seq) {
      EXPECT_EQ(busy[slot]++, 0);
      volatile std::int64_t spin = 0;
      for (std::int64_t i = 0; i < Recorder::spinFor(seq) * 20000; ++i) spin = spin + i;
      EXPECT_EQ(values[slot], seq);
      values[slot] = seq * seq;
      busy[slot]--;
    };
    s.write = [this](std::size_t slot, std::int64_t seq) {
      EXPECT_EQ(values[slot], seq * seq);
      written.push_back(values[slot]);
      --inFlight;
    };
    return s;
  }

  static std::int64_t spinFor(std::int64_t seq) { return 7 - seq % 7; }
};

TEST(Pipeline, WritesEveryItemInOrderWithBoundedSlots) {
  struct Case {
    int threads;
    std::size_t slots;
    std::int64_t items;
  };
  const Case cases[] = {{1, 1, 20}, {2, 3, 50}, {4, 10, 200}, {8, 2, 40}, {3, 5, 0}, {0, 0, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.threads) + " threads, " + std::to_string(c.slots) + " slots");
    Recorder recorder(std::max<std::size_t>(c.slots, 1));
    const std::int64_t written = runOrdered(recorder.stages(c.items), c.threads, c.slots);
    EXPECT_EQ(written, c.items);
    ASSERT_EQ(recorder.written.size(), static_cast<std::size_t>(c.items));
    for (std::int64_t i = 0; i < c.items; ++i) EXPECT_EQ(recorder.written[i], i * i);
    EXPECT_LE(recorder.maxInFlight.load(), static_cast<int>(std::max<std::size_t>(c.slots, 1)));
  }
}

TEST(Pipeline, FirstFailureStopsAllStagesAndIsRethrown) {
  enum class Stage { Read, Work, Write };
  const std::pair<Stage, const char*> cases[] = {{Stage::Read, "read"}, {Stage::Work, "work"}, {Stage::Write, "write"}};
  constexpr std::int64_t kFailAt = 13;
  for (const auto& [stage, name] : cases) {
    SCOPED_TRACE(name);
    Recorder recorder(6);
    PipelineStages stages = recorder.stages(1000);
    auto failing = [stage = stage, name = name](Stage here, std::int64_t seq) {
      if (here == stage && seq == kFailAt) throw std::runtime_error(name);
    };
    stages.read = [inner = stages.read, failing](std::size_t slot, std::int64_t seq) {
      failing(Stage::Read, seq);
      return inner(slot, seq);
    };
    stages.work = [inner = stages.work, failing](std::size_t slot, std::int64_t seq) {
      failing(Stage::Work, seq);
      inner(slot, seq);
    };
    stages.write = [inner = stages.write, failing](std::size_t slot, std::int64_t seq) {
      failing(Stage::Write, seq);
      inner(slot, seq);
    };
    try {
      runOrdered(stages, 3, 6);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), name);
    }
    // What was written is items 0, 1, 2, ... in order, and stops before the failing item; a
    // failing write has seen every item before its own.
    ASSERT_LE(recorder.written.size(), static_cast<std::size_t>(kFailAt));
    if (stage == Stage::Write) {
      EXPECT_EQ(recorder.written.size(), static_cast<std::size_t>(kFailAt));
    }
    for (std::size_t i = 0; i < recorder.written.size(); ++i) EXPECT_EQ(recorder.written[i], std::int64_t(i * i));
  }
}

TEST(ProgressLine, Text) {
  const struct {
    std::int64_t done;
    std::int64_t total;
    double seconds;
    const char* expected;
  } cases[] = {
      {0, 250, 0.0, "frame 0/250    0%"},
      {120, 250, 4.0, "frame 120/250   48%  30.0 fps  0:04 left"},
      {250, 250, 10.0, "frame 250/250  100%  25.0 fps  0:00 left"},
      {10, -1, 2.0, "frame 10  5.0 fps"},
      {1, 7201, 1.0, "frame 1/7201    0%  1.0 fps  2:00:00 left"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLine::text(c.done, c.total, c.seconds), c.expected);
}

TEST(ProgressLine, DisabledPrintsNothing) {
  char buffer[256] = {};
  std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(out, nullptr);
  {
    ProgressLine line(out, 10, false);
    line.update(5);
    line.finish();
  }
  std::fclose(out);
  EXPECT_STREQ(buffer, "");
}

TEST(ProgressLine, EnabledEndsWithTheFinalCountAndANewline) {
  char buffer[256] = {};
  std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(out, nullptr);
  {
    ProgressLine line(out, 10, true);
    line.update(10);
  }
  std::fclose(out);
  const std::string text(buffer);
  EXPECT_EQ(text.rfind("\rframe 10/10  100%", 0), 0u) << text;
  EXPECT_EQ(text.back(), '\n');
}

TEST(ProgressLine, AJobThatEndsEarlyOrLateEndsAtItsOwnCount) {
  // The total of a file that does not store its frame count is an estimate.
  for (const auto& [expected, done] : {std::pair{51, 50}, std::pair{50, 52}}) {
    char buffer[256] = {};
    std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
    ASSERT_NE(out, nullptr);
    {
      ProgressLine line(out, expected, true);
      line.update(done);
      line.finish(done);
    }
    std::fclose(out);
    const std::string last = "frame " + std::to_string(done) + "/" + std::to_string(done) + "  100%";
    EXPECT_NE(std::string(buffer).find(last), std::string::npos) << buffer;
  }
}

}  // namespace
}  // namespace zel::media
