// The two thread primitives WorkerThread is built from, one implementation per platform: Win32
// threads and semaphores (platform/win32), the C++ library's elsewhere (platform/sim).
#pragma once

#include <functional>
#include <memory>

namespace platform::threads {

// A counting semaphore that starts at zero.
class Semaphore {
 public:
  Semaphore();
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;
  // False when the system could not make one; then Release and Acquire do nothing.
  bool Valid() const;
  void Release();
  void Acquire();  // waits for a count and takes it

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A running thread; Join waits for its function to return.
class Thread {
 public:
  // Null when the system cannot start a thread.
  static std::unique_ptr<Thread> Start(std::function<void()> run);
  virtual ~Thread() = default;
  virtual void Join() = 0;
};

// The number of processors the process may run on; at least 1.
int ProcessorCount();

}  // namespace platform::threads
