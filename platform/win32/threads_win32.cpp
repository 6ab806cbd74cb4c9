// The thread primitives of the Windows build. The win32 thread model of mingw-w64 has no
// std::thread, and Windows XP no condition variables: threads and semaphores of the kernel.
#include <climits>

#include "platform/threads.h"
#include "platform/win32/windows_api.h"

namespace platform::threads {

struct Semaphore::Impl {
  HANDLE handle = ::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
  ~Impl() {
    if (handle) ::CloseHandle(handle);
  }
};

Semaphore::Semaphore() : impl_(std::make_unique<Impl>()) {}
Semaphore::~Semaphore() = default;
bool Semaphore::Valid() const { return impl_->handle != nullptr; }
void Semaphore::Release() { ::ReleaseSemaphore(impl_->handle, 1, nullptr); }
void Semaphore::Acquire() { ::WaitForSingleObject(impl_->handle, INFINITE); }

namespace {

class Win32Thread : public Thread {
 public:
  explicit Win32Thread(std::function<void()> run) : run_(std::move(run)) {}
  ~Win32Thread() override { Join(); }
  bool Begin() {
    handle_ = ::CreateThread(nullptr, 0, &Win32Thread::Entry, this, 0, nullptr);
    return handle_ != nullptr;
  }
  void Join() override {
    if (!handle_) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Entry(void* self) {
    static_cast<Win32Thread*>(self)->run_();
    return 0;
  }
  std::function<void()> run_;
  HANDLE handle_ = nullptr;
};

}  // namespace

std::unique_ptr<Thread> Thread::Start(std::function<void()> run) {
  auto thread = std::make_unique<Win32Thread>(std::move(run));
  if (!thread->Begin()) return nullptr;
  return thread;
}

int ProcessorCount() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors == 0 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}

}  // namespace platform::threads
