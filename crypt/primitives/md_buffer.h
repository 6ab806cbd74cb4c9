// Block buffering, message-length counting and padding shared by the Merkle-Damgard digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {

template <size_t kBlock>
class MdBuffer {
 public:
  void Clear() {
    SecureWipe(block_, sizeof block_);
    index_ = 0;
    bytes_lo_ = bytes_hi_ = 0;
  }

  // Feeds n bytes; compress(const uint8_t* block) is called for every full block. Whole blocks
  // of the input are compressed where they lie, without a copy.
  template <class Compress>
  void Absorb(const uint8_t* data, size_t n, Compress&& compress) {
    const uint64_t before = bytes_lo_;
    bytes_lo_ += n;
    if (bytes_lo_ < before) ++bytes_hi_;
    if (index_) {
      const size_t take = n < kBlock - index_ ? n : kBlock - index_;
      std::memcpy(block_ + index_, data, take);
      index_ += take;
      data += take;
      n -= take;
      if (index_ < kBlock) return;
      compress(block_);
      index_ = 0;
    }
    for (; n >= kBlock; n -= kBlock, data += kBlock) compress(data);
    if (n) {
      std::memcpy(block_, data, n);
      index_ = n;
    }
  }

  // Writes the marker byte after the message and zero-fills the block up to the length field at
  // lengthAt; when the marker leaves no room for that field, compresses and starts a zero block.
  // The caller then stores the length at Block() + lengthAt and compresses Block().
  template <class Compress>
  void Pad(uint8_t marker, size_t lengthAt, Compress&& compress) {
    block_[index_++] = marker;
    if (index_ > lengthAt) {
      std::memset(block_ + index_, 0, kBlock - index_);
      compress(block_);
      index_ = 0;
    }
    std::memset(block_ + index_, 0, kBlock - index_);
    index_ = 0;
  }

  uint8_t* Block() { return block_; }
  // The message length in bits, as a 128-bit number.
  uint64_t BitsLo() const { return bytes_lo_ << 3; }
  uint64_t BitsHi() const { return bytes_hi_ << 3 | bytes_lo_ >> 61; }

 private:
  uint8_t block_[kBlock] = {};
  size_t index_ = 0;
  uint64_t bytes_lo_ = 0, bytes_hi_ = 0;
};

}  // namespace tvcrypt::prim
