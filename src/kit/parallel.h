// Independent pieces of model work (one per location) spread over threads.
#ifndef SURGE_KIT_PARALLEL_H_
#define SURGE_KIT_PARALLEL_H_

#include <cstddef>
#include <functional>

namespace kit {

// Calls work(i) once for each i in [0, count), on up to as many threads as
// the machine has cores, each with the model's floating-point environment.
// Items are independent and each writes only its own result, so the output
// does not depend on the number of threads. Returns when all are done.
void for_each_parallel(size_t count, const std::function<void(size_t)>& work);

}  // namespace kit

#endif  // SURGE_KIT_PARALLEL_H_
