// The OS layer's clock that run and fit time their work with: it counts the
// calling thread's CPU, neither its sleep nor another thread's work.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace kit {
namespace {

using namespace std::chrono_literals;

// Keeps the calling thread busy until it has used `seconds` of CPU, or ten
// seconds of wall time have passed on a crowded machine; returns the CPU used.
double spin_for(double seconds) {
  const double start = platform::thread_cpu_seconds();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  volatile unsigned sink = 0;
  double used = 0;
  while ((used = platform::thread_cpu_seconds() - start) < seconds &&
         std::chrono::steady_clock::now() < deadline) {
    for (unsigned i = 0; i < 10000; ++i) sink = sink + i;
  }
  return used;
}

TEST(ThreadCpuSeconds, CountsTheThreadsWork) { EXPECT_GE(spin_for(0.03), 0.03); }

TEST(ThreadCpuSeconds, LeavesOutSleep) {
  const double before = platform::thread_cpu_seconds();
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(platform::thread_cpu_seconds() - before, 0.02);
}

TEST(ThreadCpuSeconds, LeavesOutOtherThreadsWork) {
  const double before = platform::thread_cpu_seconds();
  double other = 0;
  std::thread worker([&other] { other = spin_for(0.1); });
  worker.join();
  EXPECT_GE(other, 0.1);
  EXPECT_LT(platform::thread_cpu_seconds() - before, 0.02);
}

}  // namespace
}  // namespace kit
