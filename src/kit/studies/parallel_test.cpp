// Items through for_each_in_order: written in the order read on any number
// of threads, never more in flight than the slots, one item per worker at a
// time, and a stop that ends the stream.
#include "kit/studies/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace kit {
namespace {

// A stream of `count` numbered items through the pipeline, with a record of
// what each stage saw. Work squares the item's number, slowly for some items
// so that later ones finish first.
class Stream {
 public:
  Stream(int threads, int count, int stop_at = -1)
      : threads_(threads),
        count_(count),
        stop_at_(stop_at),
        slots_(ordered_slot_count(threads)),
        busy_(slots_.size(), false),
        working_(static_cast<size_t>(std::max(threads, 1))) {}

  void run() {
    caller_ = std::this_thread::get_id();
    for_each_in_order(
        threads_, [this](size_t slot) { return read(slot); },
        [this](int worker, size_t slot) { work(worker, slot); },
        [this](size_t slot) { return write(slot); });
  }

  std::vector<int> written;    // item numbers, in the order written
  std::vector<long> results;   // their squares, as worked out
  int reads = 0;               // calls of read, the last one at the end included
  int reads_at_stop = -1;      // reads when write said stop
  size_t most_in_flight = 0;   // read and not yet written
  std::atomic<int> faults{0};  // a slot reused while busy, a worker used twice at once, ...
  std::atomic<int> worked{0};
  std::atomic<int> worked_on_caller{0};
  std::atomic<int> not_flushed{0};  // subnormal results not flushed to zero in work

 private:
  struct Item {
    int number = -1;
    size_t slot = 0;
    long square = 0;
  };

  bool read(size_t slot) {
    if (std::this_thread::get_id() != caller_) ++faults;
    ++reads;
    if (next_ == count_) return false;
    if (slot >= slots_.size() || busy_[slot]) ++faults;
    busy_[slot] = true;
    slots_[slot] = Item{next_++, slot, 0};
    most_in_flight = std::max(most_in_flight, static_cast<size_t>(next_) - written.size());
    return true;
  }

  void work(int worker, size_t slot) {
    if (worker < 0 || worker >= static_cast<int>(working_.size())) {
      ++faults;
      return;
    }
    if (working_[static_cast<size_t>(worker)]++ != 0) ++faults;
    if (std::this_thread::get_id() == caller_) ++worked_on_caller;
    Item& item = slots_[slot];
    if (item.number % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    item.square = static_cast<long>(item.number) * item.number;
    volatile double tiny = 1e-300;
    if (tiny * 1e-10 != 0) ++not_flushed;
    ++worked;
    --working_[static_cast<size_t>(worker)];
  }

  bool write(size_t slot) {
    if (std::this_thread::get_id() != caller_) ++faults;
    const Item& item = slots_[slot];
    if (!busy_[slot] || item.slot != slot) ++faults;
    busy_[slot] = false;
    written.push_back(item.number);
    results.push_back(item.square);
    if (item.number == stop_at_) {
      reads_at_stop = reads;
      return false;
    }
    return true;
  }

  const int threads_, count_, stop_at_;
  std::thread::id caller_;
  int next_ = 0;
  std::vector<Item> slots_;
  std::vector<bool> busy_;
  std::vector<std::atomic<int>> working_;
};

TEST(ForEachInOrder, WritesInTheOrderRead) {
  for (int threads : {1, 2, 3, 5}) {
    for (int count : {0, 1, 2, 7, 200}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " items");
      Stream s(threads, count);
      s.run();
      std::vector<int> numbers;
      std::vector<long> squares;
      for (int i = 0; i < count; ++i) {
        numbers.push_back(i);
        squares.push_back(static_cast<long>(i) * i);
      }
      EXPECT_EQ(s.written, numbers);
      EXPECT_EQ(s.results, squares);
      EXPECT_EQ(s.reads, count + 1);  // the last read finds the end
      EXPECT_EQ(s.worked.load(), count);
      EXPECT_EQ(s.faults.load(), 0);
      EXPECT_LE(s.most_in_flight, ordered_slot_count(threads));
      EXPECT_EQ(s.not_flushed.load(), 0);  // the model's floating-point environment
      if (threads == 1) {
        EXPECT_EQ(s.worked_on_caller.load(), count);  // everything on the calling thread
      } else {
        EXPECT_EQ(s.worked_on_caller.load(), 0);
      }
    }
  }
}

TEST(ForEachInOrder, SlotsAreThreadsPlusTwo) {
  const struct {
    int threads;
    size_t slots;
  } rows[] = {{-1, 1}, {0, 1}, {1, 1}, {2, 4}, {3, 5}, {16, 18}};
  for (const auto& r : rows) EXPECT_EQ(ordered_slot_count(r.threads), r.slots) << r.threads;
}

// After write says stop, nothing more is read or written, and the call
// returns once the workers have finished what they hold.
TEST(ForEachInOrder, StopsWhereWriteSaysSo) {
  for (int threads : {1, 2, 4}) {
    for (int stop_at : {0, 1, 5, 99}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, stop at " + std::to_string(stop_at));
      Stream s(threads, 100, stop_at);
      s.run();
      ASSERT_EQ(s.written.size(), static_cast<size_t>(stop_at) + 1);
      for (int i = 0; i <= stop_at; ++i) EXPECT_EQ(s.written[static_cast<size_t>(i)], i);
      EXPECT_EQ(s.reads, s.reads_at_stop);
      EXPECT_LE(s.reads, stop_at + static_cast<int>(ordered_slot_count(threads)));
      EXPECT_LE(s.worked.load(), s.reads);
      EXPECT_EQ(s.faults.load(), 0);
    }
  }
}

}  // namespace
}  // namespace kit
