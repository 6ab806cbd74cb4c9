#include "platform/worker_thread.h"

#include "platform/threads.h"

namespace platform {

// The worker takes a job when `ready` is released, reports each step through `step` and releases
// `done` when the job returns. An empty job ends the thread.
struct WorkerThread::State {
  threads::Semaphore ready;
  threads::Semaphore step;
  threads::Semaphore done;
  Job job;
  bool running = false;  // a job started and not finished; owner's thread only
  std::unique_ptr<threads::Thread> thread;

  void Loop() {
    const Step report = [this] { step.Release(); };
    for (;;) {
      ready.Acquire();
      if (!job) return;
      job(report);
      job = nullptr;
      done.Release();
    }
  }
};

WorkerThread::WorkerThread() : state_(std::make_unique<State>()) {
  State* state = state_.get();
  // Without its semaphores the thread could not be waited for: the jobs then run here.
  if (!state->ready.Valid() || !state->step.Valid() || !state->done.Valid()) return;
  state_->thread = threads::Thread::Start([state] { state->Loop(); });
}

WorkerThread::~WorkerThread() {
  Finish();
  if (state_->thread) {
    state_->job = nullptr;
    state_->ready.Release();
    state_->thread->Join();
  }
}

void WorkerThread::Start(Job job) {
  Finish();
  state_->running = true;
  if (!state_->thread) {
    job([this] { state_->step.Release(); });
    state_->done.Release();
    return;
  }
  state_->job = std::move(job);
  state_->ready.Release();
}

void WorkerThread::WaitStep() { state_->step.Acquire(); }

void WorkerThread::Finish() {
  if (!state_->running) return;
  state_->done.Acquire();
  state_->running = false;
}

bool WorkerThread::Threaded() const { return state_->thread != nullptr; }

}  // namespace platform
