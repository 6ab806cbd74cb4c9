// A platform::File over bytes in memory: small images (the uninstaller the builder makes, test
// fixtures) are written and read through the same interface as files on disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/os.h"

namespace builder {

class MemoryFile : public platform::File {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    const std::size_t n =
        pos_ >= bytes_.size() ? 0 : std::min<std::size_t>(size, bytes_.size() - pos_);
    if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
  bool Write(const void* buffer, std::uint32_t size) override {
    if (pos_ + size > bytes_.size()) bytes_.resize(pos_ + size);
    if (size > 0) std::memcpy(bytes_.data() + pos_, buffer, size);
    pos_ += size;
    return true;
  }
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override {
    const std::int64_t base = origin == platform::SeekOrigin::kBegin ? 0
                              : origin == platform::SeekOrigin::kCurrent
                                  ? static_cast<std::int64_t>(pos_)
                                  : static_cast<std::int64_t>(bytes_.size());
    if (base + offset < 0) return -1;
    pos_ = static_cast<std::size_t>(base + offset);
    return base + offset;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace builder
