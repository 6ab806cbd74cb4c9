// IDEA (Lai and Massey).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Idea {
 public:
  static constexpr size_t kBlockBytes = 8;
  static constexpr size_t kMaxKeyBytes = 16;
  Idea() = default;
  ~Idea() { Wipe(); }
  Idea(const Idea&) = delete;
  Idea& operator=(const Idea&) = delete;

  // len is 0..16; a shorter key is zero-extended to 16 bytes (eight big-endian 16-bit words).
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  uint16_t enc_[52] = {};
  uint16_t dec_[52] = {};
};

}  // namespace tvcrypt::prim
