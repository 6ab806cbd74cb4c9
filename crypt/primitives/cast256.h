// CAST-256 (RFC 2612).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Cast256 {
 public:
  static constexpr size_t kBlockBytes = 16;
  static constexpr size_t kMaxKeyBytes = 32;
  Cast256() = default;
  ~Cast256() { Wipe(); }
  Cast256(const Cast256&) = delete;
  Cast256& operator=(const Cast256&) = delete;

  // len is 0..32; the key is zero-extended to 32 bytes, as RFC 2612 pads its shorter keys.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  // Twelve quad-rounds of four masking keys and four rotations each.
  uint32_t km_[12][4] = {};
  uint8_t kr_[12][4] = {};
};

}  // namespace tvcrypt::prim
