// Independent pieces of model work (one per location) spread over threads.
#ifndef SURGE_KIT_STUDIES_PARALLEL_H_
#define SURGE_KIT_STUDIES_PARALLEL_H_

#include <cstddef>
#include <functional>

namespace kit {

// Runs work(i) once for every i in [0, count) on up to `threads` threads (the
// calling thread among them), each set up with the model's floating-point
// environment. Pieces are handed out in index order as threads fall free; each
// piece must write only its own results, so the outcome never depends on the
// thread count. Returns when all are done.
void for_each_index(int threads, size_t count, const std::function<void(size_t)>& work);

// The same on as many threads as the machine has cores.
void for_each_parallel(size_t count, const std::function<void(size_t)>& work);

// The thread count to use when none is asked for: the hardware's, at least 1.
int default_thread_count();

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_PARALLEL_H_
