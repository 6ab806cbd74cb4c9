#include "platform/job_pool.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace platform {

namespace {

// Holds a semaphore of one count for as long as it lives.
class Hold {
 public:
  explicit Hold(threads::Semaphore& lock) : lock_(lock) { lock_.Acquire(); }
  ~Hold() { lock_.Release(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  threads::Semaphore& lock_;
};

}  // namespace

void JobPool::Ticket::Wait() {
  done_.Acquire();
  if (error_) std::rethrow_exception(error_);
}

JobPool::JobPool(int threads) {
  if (!queued_.Valid() || !lock_.Valid()) return;
  lock_.Release();
  for (int i = 0; i < std::max(threads, 1); ++i) {
    std::unique_ptr<threads::Thread> thread = threads::Thread::Start([this, i] { Loop(i); });
    if (!thread) break;
    threads_.push_back(std::move(thread));
  }
}

JobPool::~JobPool() {
  if (threads_.empty()) return;
  {
    Hold hold(lock_);
    stopping_ = true;
    queue_.clear();
  }
  for (size_t i = 0; i < threads_.size(); ++i) queued_.Release();
  for (const std::unique_ptr<threads::Thread>& thread : threads_) thread->Join();
}

int JobPool::Workers() const { return std::max<int>(1, static_cast<int>(threads_.size())); }

std::shared_ptr<JobPool::Ticket> JobPool::Submit(Work work) {
  auto ticket = std::make_shared<Ticket>();
  ticket->work_ = std::move(work);
  if (threads_.empty()) {
    Run(*ticket, 0);
    return ticket;
  }
  // Not run here instead: it would use a worker's state while that worker's thread may too.
  if (!ticket->done_.Valid())
    throw std::runtime_error("The system has no semaphore left for a job");
  {
    Hold hold(lock_);
    queue_.push_back(ticket);
  }
  queued_.Release();
  return ticket;
}

void JobPool::Run(Ticket& ticket, int worker) {
  try {
    ticket.work_(worker);
  } catch (...) {
    ticket.error_ = std::current_exception();
  }
  ticket.work_ = nullptr;  // what the work holds goes now, not with the last ticket
  ticket.done_.Release();
}

void JobPool::Loop(int worker) {
  for (;;) {
    queued_.Acquire();
    std::shared_ptr<Ticket> ticket;
    {
      Hold hold(lock_);
      if (stopping_) return;
      ticket = std::move(queue_.front());
      queue_.pop_front();
    }
    Run(*ticket, worker);
  }
}

}  // namespace platform
