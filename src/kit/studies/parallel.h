// Model work spread over threads: independent pieces (one per location), and
// a stream of items worked on apart and taken in input order.
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

// Items that pass through three stages, as when a file is read in chunks,
// the chunks are worked on apart and their results are written in turn. The
// caller keeps the items in ordered_slot_count(threads) slots, indexed from 0,
// and the three stages are its callbacks:
// - read(slot) fills the slot with the next item, on the calling thread;
//   false when there is none left (the slot then holds nothing to use);
// - work(worker, slot) works on a read item on worker thread `worker`, in
//   [0, threads); a worker takes one item at a time, so state kept per worker
//   needs no lock;
// - write(slot) takes the worked items on the calling thread, in the order
//   they were read; false stops the stream: items being worked on are
//   finished, items read but not yet begun are left, and nothing more is read.
// At most ordered_slot_count(threads) items are read and not yet written, so
// memory is bounded whatever the length of the input. Every thread that works
// is set up with the model's floating-point environment. With threads <= 1
// all three run on the calling thread in turn, on slot 0 and worker 0.
// Returns when the stream has ended or stopped and every worker has finished.
void for_each_in_order(int threads, const std::function<bool(size_t slot)>& read,
                       const std::function<void(int worker, size_t slot)>& work,
                       const std::function<bool(size_t slot)>& write);

// The slots for_each_in_order uses: threads + 2, so that each worker can
// have an item while one is read and one written; 1 for threads <= 1.
size_t ordered_slot_count(int threads);

// The thread count to use when none is asked for: the hardware's, at least 1.
int default_thread_count();

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_PARALLEL_H_
