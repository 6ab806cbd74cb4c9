// CAST-128 (RFC 2144).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Cast128 {
 public:
  static constexpr size_t kBlockBytes = 8;
  static constexpr size_t kMaxKeyBytes = 16;
  Cast128() = default;
  ~Cast128() { Wipe(); }
  Cast128(const Cast128&) = delete;
  Cast128& operator=(const Cast128&) = delete;

  // len is 0..16; the key is zero-extended to 16 bytes. Keys of at most 10 bytes (80 bits) run
  // the 12-round variant that RFC 2144 prescribes for them, longer ones the full 16 rounds.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  uint32_t km_[16] = {};
  uint8_t kr_[16] = {};
  int rounds_ = 16;
};

}  // namespace tvcrypt::prim
