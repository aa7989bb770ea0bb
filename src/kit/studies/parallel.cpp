// Threads over independent items, handed out one at a time, and over a
// stream of items taken in input order.
#include "kit/studies/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/core/fp_environment.h"

namespace kit {

void for_each_index(int threads, size_t count, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  auto worker = [&] {
    use_model_fp_environment();
    for (size_t i = next++; i < count; i = next++) work(i);
  };
  const size_t used = std::min(static_cast<size_t>(std::max(threads, 1)), count);
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < used; ++t) helpers.emplace_back(worker);
  worker();
  for (std::thread& t : helpers) t.join();
}

void for_each_parallel(size_t count, const std::function<void(size_t)>& work) {
  for_each_index(default_thread_count(), count, work);
}

size_t ordered_slot_count(int threads) {
  return threads <= 1 ? 1 : static_cast<size_t>(threads) + 2;
}

// The slots form a ring: the calling thread fills a free slot with the next
// item, a worker takes the oldest filled one and works on it, and the calling
// thread writes the slots in input order as they are done, then frees them.
void for_each_in_order(int threads, const std::function<bool(size_t)>& read,
                       const std::function<void(int, size_t)>& work,
                       const std::function<bool(size_t)>& write) {
  use_model_fp_environment();
  if (threads <= 1) {
    while (read(0)) {
      work(0, 0);
      if (!write(0)) break;
    }
    return;
  }
  enum class State { kFree, kFilled, kDone };
  const size_t slot_count = ordered_slot_count(threads);
  std::vector<State> states(slot_count, State::kFree);
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t filled = 0, taken = 0, written = 0;  // items so far, in input order
  bool finished = false;                        // no more items will be filled

  auto worker = [&](int index) {
    use_model_fp_environment();
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return taken < filled || finished; });
      if (taken == filled) return;
      const size_t slot = taken++ % slot_count;
      lock.unlock();
      work(index, slot);
      lock.lock();
      states[slot] = State::kDone;
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) workers.emplace_back(worker, t);

  bool input_left = true;
  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [&] {
      return (written < filled && states[written % slot_count] == State::kDone) ||
             (input_left && filled - written < slot_count) || (!input_left && written == filled);
    });
    if (written < filled && states[written % slot_count] == State::kDone) {
      const size_t slot = written % slot_count;
      lock.unlock();
      const bool go_on = write(slot);
      lock.lock();
      states[slot] = State::kFree;
      ++written;
      if (!go_on) break;
    } else if (input_left && filled - written < slot_count) {
      const size_t slot = filled % slot_count;
      lock.unlock();
      input_left = read(slot);
      lock.lock();
      if (input_left) {
        states[slot] = State::kFilled;
        ++filled;
        changed.notify_all();
      }
    } else {
      break;  // all written
    }
  }
  // Workers finish what they hold; what was filled after a stop is left.
  finished = true;
  filled = taken;
  changed.notify_all();
  lock.unlock();
  for (std::thread& t : workers) t.join();
}

int default_thread_count() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace kit
