#include "media/Pipeline.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zel::media {

namespace {

/// The state the three stages share; every member is guarded by `mutex`.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::size_t> freeSlots;
  std::deque<std::pair<std::size_t, std::int64_t>> toWork;  ///< filled slots in read order
  std::map<std::int64_t, std::size_t> worked;               ///< by sequence number
  std::int64_t itemsRead = 0;
  bool readDone = false;
  std::exception_ptr error;

  bool stopped() const { return error != nullptr; }

  void failWith(std::exception_ptr e) {
    std::lock_guard lock(mutex);
    if (!error) error = std::move(e);
    changed.notify_all();
  }
};

void readLoop(const PipelineStages& stages, Shared& shared) {
  try {
    for (std::int64_t seq = 0;; ++seq) {
      std::size_t slot;
      {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait(lock, [&] { return shared.stopped() || !shared.freeSlots.empty(); });
        if (shared.stopped()) return;
        slot = shared.freeSlots.front();
        shared.freeSlots.pop_front();
      }
      const bool more = stages.read(slot, seq);
      std::lock_guard lock(shared.mutex);
      if (!more) {
        shared.freeSlots.push_back(slot);
        shared.readDone = true;
        shared.changed.notify_all();
        return;
      }
      shared.toWork.emplace_back(slot, seq);
      ++shared.itemsRead;
      shared.changed.notify_all();
    }
  } catch (...) {
    shared.failWith(std::current_exception());
  }
}

void workLoop(const PipelineStages& stages, Shared& shared) {
  try {
    for (;;) {
      std::pair<std::size_t, std::int64_t> item;
      {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait(lock, [&] { return shared.stopped() || !shared.toWork.empty() || shared.readDone; });
        if (shared.stopped() || shared.toWork.empty()) return;
        item = shared.toWork.front();
        shared.toWork.pop_front();
      }
      stages.work(item.first, item.second);
      std::lock_guard lock(shared.mutex);
      shared.worked.emplace(item.second, item.first);
      shared.changed.notify_all();
    }
  } catch (...) {
    shared.failWith(std::current_exception());
  }
}

}  // namespace

std::int64_t runOrdered(const PipelineStages& stages, int threads, std::size_t slots) {
  if (threads < 1) threads = 1;
  if (slots < 1) slots = 1;
  Shared shared;
  for (std::size_t i = 0; i < slots; ++i) shared.freeSlots.push_back(i);

  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads) + 1);
  std::int64_t written = 0;
  try {
    pool.emplace_back(readLoop, std::cref(stages), std::ref(shared));
    for (int i = 0; i < threads; ++i) pool.emplace_back(workLoop, std::cref(stages), std::ref(shared));
    for (;;) {
      std::size_t slot;
      {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait(lock, [&] {
          return shared.stopped() || shared.worked.count(written) != 0 ||
                 (shared.readDone && written == shared.itemsRead);
        });
        if (shared.stopped() || shared.worked.count(written) == 0) break;
        const auto found = shared.worked.find(written);
        slot = found->second;
        shared.worked.erase(found);
      }
      stages.write(slot, written);
      std::lock_guard lock(shared.mutex);
      shared.freeSlots.push_back(slot);
      ++written;
      shared.changed.notify_all();
    }
  } catch (...) {
    shared.failWith(std::current_exception());
  }
  for (std::thread& thread : pool) thread.join();
  if (shared.error) std::rethrow_exception(shared.error);
  return written;
}

}  // namespace zel::media
