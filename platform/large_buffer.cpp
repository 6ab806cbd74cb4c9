#include "platform/large_buffer.h"

#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#define STP_LARGE_BUFFER_MAPS 1
#endif
#if defined(__SANITIZE_ADDRESS__)
#undef STP_LARGE_BUFFER_MAPS
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#undef STP_LARGE_BUFFER_MAPS
#endif
#endif

namespace platform {

LargeBuffer::LargeBuffer(std::size_t size) : size_(size) {
#ifdef STP_LARGE_BUFFER_MAPS
  constexpr std::size_t kHugePage = 2 * 1024 * 1024;
  if (size >= kHugePage) {
    // One huge page more than asked, so that the block can start on a huge-page boundary.
    const std::size_t length = size + kHugePage;
    void* mapping =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    mapping_ = std::unique_ptr<void, Unmap>(mapping, Unmap{length});
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    data_ = reinterpret_cast<std::uint8_t*>((start + kHugePage - 1) & ~(kHugePage - 1));
    // Only a request: where the kernel declines, the block works the same with small pages.
    madvise(data_, size, MADV_HUGEPAGE);
    return;
  }
#endif
  heap_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  data_ = heap_.get();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : mapping_(std::move(other.mapping_)),
      heap_(std::move(other.heap_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    // The old block goes before the new one is taken over, so the two are never both held here.
    mapping_.reset();
    heap_.reset();
    mapping_ = std::move(other.mapping_);
    heap_ = std::move(other.heap_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void LargeBuffer::Unmap::operator()(void* mapping) const noexcept {
#ifdef STP_LARGE_BUFFER_MAPS
  munmap(mapping, length);
#else
  (void)mapping;
#endif
}

}  // namespace platform
