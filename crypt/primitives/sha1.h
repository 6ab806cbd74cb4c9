// SHA-1 (FIPS 180-4).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypt/primitives/md_buffer.h"

namespace tvcrypt::prim {

class Sha1 {
 public:
  static constexpr size_t kDigestBytes = 20, kBlockBytes = 64;
  Sha1() { Init(); }
  ~Sha1() { Wipe(); }
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  void Init();
  void Update(const uint8_t* data, size_t n);
  // Writes kDigestBytes bytes and wipes the state; Init() starts the next message.
  void Final(uint8_t* digest);
  void Wipe();

 private:
  void Compress(const uint8_t* block);
  uint32_t state_[5] = {};
  MdBuffer<kBlockBytes> buf_;
};

}  // namespace tvcrypt::prim
