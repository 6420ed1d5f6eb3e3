// The worker pool: every task runs once, a task may wait for a lower one, an exception comes
// back to the caller, and two callers at once both finish. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/Parallel.h"

TEST(Parallel, RunsEveryTaskOnceWhateverTheirNumber) {
  for (size_t count : {0u, 1u, 2u, 7u, 64u, 300u}) {
    SCOPED_TRACE(count);
    for (int call = 0; call < 20; ++call) {
      std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[count + 1]);
      for (size_t i = 0; i <= count; ++i) runs[i] = 0;
      RunParallel(count, [&](size_t i) { ++runs[i]; });
      for (size_t i = 0; i < count; ++i) ASSERT_EQ(runs[i].load(), 1) << "task " << i;
      ASSERT_EQ(runs[count].load(), 0);
    }
  }
}

TEST(Parallel, ATaskMayWaitForALowerOne) {
  // Each task waits until the one before it has ended: a pool that let a task wait for one
  // nobody had taken would never return.
  const size_t count = 200;
  for (int call = 0; call < 20; ++call) {
    std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[count]);
    for (size_t i = 0; i < count; ++i) done[i] = false;
    std::atomic<size_t> order{0};
    std::vector<size_t> ended(count);
    std::atomic<bool> waited{true};
    RunParallel(count, [&](size_t i) {
      if (i > 0 && !SpinUntil([&] { return done[i - 1].load(); }, [] { return false; })) waited = false;
      ended[i] = order++;
      done[i] = true;
    });
    EXPECT_TRUE(waited);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(ended[i], i);
  }
}

TEST(Parallel, AnExceptionComesBackOnceAllTasksHaveEnded) {
  std::atomic<int> ran{0};
  EXPECT_THROW(RunParallel(50,
                           [&](size_t i) {
                             ++ran;
                             if (i == 17) throw std::runtime_error("task 17");
                           }),
               std::runtime_error);
  EXPECT_EQ(ran.load(), 50);
  // The pool is usable again.
  ran = 0;
  RunParallel(50, [&](size_t) { ++ran; });
  EXPECT_EQ(ran.load(), 50);
}

TEST(Parallel, TwoCallersAtOnceBothFinish) {
  // One of them has the workers; the other runs its tasks itself.
  std::atomic<int> a{0}, b{0};
  std::thread other([&] {
    for (int call = 0; call < 50; ++call) RunParallel(40, [&](size_t) { ++b; });
  });
  for (int call = 0; call < 50; ++call) RunParallel(40, [&](size_t) { ++a; });
  other.join();
  EXPECT_EQ(a.load(), 50 * 40);
  EXPECT_EQ(b.load(), 50 * 40);
}

TEST(Parallel, TasksRunOnAsManyThreadsAtOnceAsThePoolHas) {
  // Every task waits until all have begun: only a pool that runs that many at once gets past.
  // The workers are started ahead, twice over, as the program does at start-up.
  StartParallelWorkers();
  StartParallelWorkers();
  const size_t count = ParallelThreads();
  for (int call = 0; call < 5; ++call) {
    std::atomic<size_t> begun{0};
    std::atomic<size_t> met{0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    RunParallel(count, [&](size_t) {
      ++begun;
      if (SpinUntil([&] { return begun.load() == count; },
                    [&] { return std::chrono::steady_clock::now() > deadline; }))
        ++met;
    });
    ASSERT_EQ(met.load(), count) << "call " << call;
  }
}
