// Threads over independent items, handed out one at a time.
#include "kit/studies/parallel.h"

#include <algorithm>
#include <atomic>
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

int default_thread_count() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace kit
