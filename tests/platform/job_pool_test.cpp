// JobPool, natively and (in the Windows tests) over Win32 threads: jobs run at once on the pool's
// threads, each ticket waits for its own job and brings back what it threw, and a pool that goes
// away drops what has not started.
#include "platform/job_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(JobPoolTest, JobsRunTogetherOnTheirThreadsAndTicketsBringBackErrors) {
  platform::JobPool pool(3);
  ASSERT_EQ(pool.Workers(), 3);
  // Three jobs that each wait for all three to have started: they only end if they run at once.
  std::atomic<int> started{0};
  std::vector<int> workers(3, -1);
  std::vector<std::shared_ptr<platform::JobPool::Ticket>> tickets;
  for (int i = 0; i < 3; ++i) {
    tickets.push_back(pool.Submit([&, i](int worker) {
      workers[static_cast<size_t>(i)] = worker;
      ++started;
      while (started.load() < 3) std::this_thread::yield();
      if (i == 1) throw std::runtime_error("job 1 failed");
    }));
  }
  // Waited for out of order: the third first.
  tickets[2]->Wait();
  tickets[0]->Wait();
  try {
    tickets[1]->Wait();
    ADD_FAILURE() << "the job's error was not rethrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "job 1 failed");
  }
  std::vector<int> seen = workers;
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST(JobPoolTest, EndingDropsJobsNotStartedAndWaitsForRunningOnes) {
  std::atomic<int> finished{0};
  std::atomic<bool> running{false};
  {
    platform::JobPool pool(1);
    pool.Submit([&](int) {
      running = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ++finished;
    });
    for (int i = 0; i < 5; ++i) pool.Submit([&](int) { finished += 100; });
    while (!running) std::this_thread::yield();
  }
  EXPECT_EQ(finished.load(), 1);
}

}  // namespace
