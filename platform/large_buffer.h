// Buffers of megabytes that are filled once and then reused, such as a whole package member.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// An uninitialised, movable block of bytes. On Linux a block of 2 MiB or more is mapped on its
// own and offered to the kernel for huge pages (transparent huge pages, which kernels commonly
// grant on request): its first use then costs a few page faults instead of one per 4 KiB, and on
// some virtual machines a fault costs about 10 us, which for the buffers of one large member came
// to more than a tenth of an extraction's CPU time. Everywhere else, and in builds with the
// address sanitizer (which checks heap blocks only), it is heap memory.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  // Throws std::bad_alloc when the memory cannot be had.
  explicit LargeBuffer(std::size_t size);
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  struct Unmap {
    std::size_t length;
    void operator()(void* mapping) const noexcept;
  };

  std::unique_ptr<void, Unmap> mapping_;  // when the block is mapped on its own
  std::unique_ptr<std::uint8_t[]> heap_;  // otherwise
  std::uint8_t* data_ = nullptr;          // in one of the two
  std::size_t size_ = 0;
};

}  // namespace platform
