#include "package/side_task.h"

#include <system_error>
#include <utility>

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#endif

namespace package {

#ifdef _WIN32
namespace {

// std::thread is not available with the thread model of the product binaries.
DWORD WINAPI RunWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

}  // namespace

SideTask::SideTask(std::function<void()> work) : work_(std::move(work)) {
  handle_ = ::CreateThread(nullptr, 0, RunWork, &work_, 0, nullptr);
  started_ = handle_ != nullptr;
}

void SideTask::Join() {
  if (started_) {
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
    started_ = false;
  } else if (work_) {
    work_();
  }
  work_ = nullptr;
}
#else
SideTask::SideTask(std::function<void()> work) : work_(std::move(work)) {
  try {
    thread_ = std::thread(work_);
    started_ = true;
  } catch (const std::system_error&) {
    // Join runs the work here.
  }
}

void SideTask::Join() {
  if (started_) {
    thread_.join();
    started_ = false;
  } else if (work_) {
    work_();
  }
  work_ = nullptr;
}
#endif

SideTask::~SideTask() { Join(); }

}  // namespace package
