// A second thread that takes jobs one at a time from the thread that owns it.
//
// The owner starts a job, does other work meanwhile, and collects the steps the job reports (one
// WaitStep per Step), so that it can do something of its own between them (a window answering the
// system, say). Jobs run in the order they are started, never two at once.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class WorkerThread {
 public:
  // What a job calls after each step of its work; the owner's WaitStep returns once per call.
  using Step = std::function<void()>;
  using Job = std::function<void(const Step& step)>;

  WorkerThread();
  // Waits for a job that still runs, then ends the thread.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Hands a job to the thread; a job started before must have ended (Finish). When the system
  // could not start the thread, the job runs here and now, and its steps wait to be collected.
  void Start(Job job);
  // Blocks until the running job has reported one more step than collected so far.
  void WaitStep();
  // Blocks until the job started last has returned; at once when none runs.
  void Finish();
  // False when the jobs run on the calling thread (the system had no thread to give).
  bool Threaded() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
