// WorkerThread, natively and (in the Windows tests) over Win32 threads: jobs run in order, one at
// a time, on a thread of their own; the owner collects one WaitStep per step and Finish waits for
// the job's end.
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(WorkerThreadTest, JobsRunInOrderOnTheirOwnThreadAndReportTheirSteps) {
  platform::WorkerThread worker;
  ASSERT_TRUE(worker.Threaded());
  std::vector<std::string> log;  // the job's entries, read by the owner after Finish
  std::atomic<int> steps_made{0};
  const std::thread::id owner = std::this_thread::get_id();
  bool elsewhere = true;
  for (int job = 0; job < 3; ++job) {
    worker.Start([&, job](const platform::WorkerThread::Step& step) {
      elsewhere = elsewhere && std::this_thread::get_id() != owner;
      for (int i = 0; i <= job; ++i) {
        log.push_back(std::to_string(job) + "." + std::to_string(i));
        ++steps_made;
        step();
      }
    });
    for (int i = 0; i <= job; ++i) {
      worker.WaitStep();
      // Each collected step was made before WaitStep returned.
      EXPECT_GE(steps_made.load(), i + 1 + job * (job + 1) / 2);
    }
    worker.Finish();
  }
  EXPECT_TRUE(elsewhere);
  EXPECT_EQ(log, (std::vector<std::string>{"0.0", "1.0", "1.1", "2.0", "2.1", "2.2"}));
}

TEST(WorkerThreadTest, StartingAndEndingWaitForTheJobBefore) {
  std::atomic<int> finished{0};
  const auto slow = [&finished](const platform::WorkerThread::Step&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ++finished;
  };
  {
    platform::WorkerThread worker;
    worker.Start(slow);
    worker.Start(slow);  // only after the first has ended
    EXPECT_GE(finished.load(), 1);
    worker.Start(slow);
  }  // the destructor waits for the last one
  EXPECT_EQ(finished.load(), 3);
  platform::WorkerThread idle;
  idle.Finish();  // nothing started: returns at once
}

}  // namespace
