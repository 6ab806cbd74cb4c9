// A fixed set of threads that run the jobs handed to them, several at once, taking them in the
// order they were handed in. The owner waits for each job by its ticket, in any order.
//
// Built on the primitives of platform/threads.h, so that it also runs where the C++ library has
// no threads (the win32 thread model of mingw-w64).
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "platform/threads.h"

namespace platform {

class JobPool {
 public:
  // A job's work; `worker` (0 to Workers() - 1) tells which thread runs it, so that a job can use
  // state kept per thread.
  using Work = std::function<void(int worker)>;

  class Ticket {
   public:
    // Blocks until the job has run; then rethrows what it threw. Call it once.
    void Wait();

   private:
    friend class JobPool;
    Work work_;
    threads::Semaphore done_;
    std::exception_ptr error_;
  };

  // Starts up to `threads` threads (at least one is asked for). When the system gives none, the
  // jobs run on the owner's thread when they are handed in.
  explicit JobPool(int threads);
  // Drops the jobs not yet started and waits for the running ones.
  ~JobPool();
  JobPool(const JobPool&) = delete;
  JobPool& operator=(const JobPool&) = delete;

  // The number of threads that run jobs (1 when they run on the owner's thread).
  int Workers() const;
  // Hands a job to the pool. Throws std::runtime_error when the system cannot give the job the
  // semaphore it is waited for with.
  std::shared_ptr<Ticket> Submit(Work work);

 private:
  void Loop(int worker);
  static void Run(Ticket& ticket, int worker);

  threads::Semaphore queued_;  // one count per job handed in (and one per thread at the end)
  threads::Semaphore lock_;    // guards queue_ and stopping_: a count of one when free
  std::deque<std::shared_ptr<Ticket>> queue_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<threads::Thread>> threads_;
};

}  // namespace platform
