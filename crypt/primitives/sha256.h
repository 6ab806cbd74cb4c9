// SHA-256 (FIPS 180-4).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypt/primitives/md_buffer.h"

namespace tvcrypt::prim {

class Sha256 {
 public:
  static constexpr size_t kDigestBytes = 32, kBlockBytes = 64;
  Sha256() { Init(); }
  ~Sha256() { Wipe(); }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Init();
  void Update(const uint8_t* data, size_t n);
  // Writes kDigestBytes bytes and wipes the state; Init() starts the next message.
  void Final(uint8_t* digest);
  void Wipe();

 private:
  void Compress(const uint8_t* block);
  uint32_t state_[8] = {};
  MdBuffer<kBlockBytes> buf_;
};

}  // namespace tvcrypt::prim
