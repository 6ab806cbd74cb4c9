// Work run on a thread of its own beside the caller's, for the few places where two independent
// passes over the same bytes can overlap.
#pragma once

#include <functional>
#ifndef _WIN32
#include <thread>
#endif

namespace package {

class SideTask {
 public:
  // Starts `work` (which must not throw) on a new thread; when no thread can be started, Join
  // runs it on the caller's.
  explicit SideTask(std::function<void()> work);
  // Joins.
  ~SideTask();
  SideTask(const SideTask&) = delete;
  SideTask& operator=(const SideTask&) = delete;

  // Returns once `work` has finished; what it wrote is then visible to the caller.
  void Join();

 private:
  std::function<void()> work_;
  bool started_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;  // the thread's HANDLE
#else
  std::thread thread_;
#endif
};

}  // namespace package
