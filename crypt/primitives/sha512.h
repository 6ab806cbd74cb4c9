// SHA-512 (FIPS 180-4).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypt/primitives/md_buffer.h"

namespace tvcrypt::prim {

class Sha512 {
 public:
  static constexpr size_t kDigestBytes = 64, kBlockBytes = 128;
  Sha512() { Init(); }
  ~Sha512() { Wipe(); }
  Sha512(const Sha512&) = delete;
  Sha512& operator=(const Sha512&) = delete;

  void Init();
  void Update(const uint8_t* data, size_t n);
  // Writes kDigestBytes bytes and wipes the state; Init() starts the next message.
  void Final(uint8_t* digest);
  void Wipe();

 private:
  void Compress(const uint8_t* block);
  uint64_t state_[8] = {};
  MdBuffer<kBlockBytes> buf_;
};

}  // namespace tvcrypt::prim
