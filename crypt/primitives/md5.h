// MD5 (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypt/primitives/md_buffer.h"

namespace tvcrypt::prim {

class Md5 {
 public:
  static constexpr size_t kDigestBytes = 16, kBlockBytes = 64;
  Md5() { Init(); }
  ~Md5() { Wipe(); }
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  void Init();
  void Update(const uint8_t* data, size_t n);
  // Writes kDigestBytes bytes and wipes the state; Init() starts the next message.
  void Final(uint8_t* digest);
  void Wipe();

 private:
  void Compress(const uint8_t* block);
  uint32_t state_[4] = {};
  MdBuffer<kBlockBytes> buf_;
};

}  // namespace tvcrypt::prim
