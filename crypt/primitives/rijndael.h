// Rijndael with 128-bit blocks (AES, FIPS 197).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Rijndael {
 public:
  static constexpr size_t kBlockBytes = 16;
  static constexpr size_t kMaxKeyBytes = 32;
  Rijndael() = default;
  ~Rijndael() { Wipe(); }
  Rijndael(const Rijndael&) = delete;
  Rijndael& operator=(const Rijndael&) = delete;

  // len is 0..kMaxKeyBytes.
  // The key is zero-extended: up to 16 bytes give AES-128 on the first 16 bytes, up to 24 give
  // AES-192 on the first 24, longer keys AES-256.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  uint32_t enc_[60] = {};
  uint32_t dec_[60] = {};
  int rounds_ = 0;
};

}  // namespace tvcrypt::prim
