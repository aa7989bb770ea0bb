// Threads over independent pieces of work.
#include "kit/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "kit/fp_environment.h"

namespace kit {

void for_each_index(int threads, size_t count, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  auto run = [&] {
    use_model_fp_environment();
    for (size_t i = next++; i < count; i = next++) work(i);
  };
  const size_t helpers =
      std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), std::max<size_t>(count, 1)) - 1;
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  for (size_t t = 0; t < helpers; ++t) pool.emplace_back(run);
  run();
  for (std::thread& t : pool) t.join();
}

int default_thread_count() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace kit
