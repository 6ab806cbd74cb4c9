// The thread primitives of the native build: the C++ library's threads and semaphores.
#include <semaphore>
#include <system_error>
#include <thread>

#include "platform/threads.h"

#ifdef __linux__
#include <sched.h>
#endif

namespace platform::threads {

struct Semaphore::Impl {
  std::counting_semaphore<> count{0};
};

Semaphore::Semaphore() : impl_(std::make_unique<Impl>()) {}
Semaphore::~Semaphore() = default;
bool Semaphore::Valid() const { return true; }
void Semaphore::Release() { impl_->count.release(); }
void Semaphore::Acquire() { impl_->count.acquire(); }

namespace {

class HostThread : public Thread {
 public:
  explicit HostThread(std::function<void()> run) : thread_(std::move(run)) {}
  ~HostThread() override {
    if (thread_.joinable()) thread_.join();
  }
  void Join() override {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Thread> Thread::Start(std::function<void()> run) {
  try {
    return std::make_unique<HostThread>(std::move(run));
  } catch (const std::system_error&) {
    return nullptr;
  }
}

int ProcessorCount() {
#ifdef __linux__
  // Those of the affinity mask, which taskset and container limits narrow.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : static_cast<int>(count);
}

}  // namespace platform::threads
