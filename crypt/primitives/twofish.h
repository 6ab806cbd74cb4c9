// Twofish (Schneier et al., 1998).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Twofish {
 public:
  static constexpr size_t kBlockBytes = 16;
  static constexpr size_t kMaxKeyBytes = 32;
  Twofish();
  ~Twofish() { Wipe(); }
  Twofish(const Twofish&) = delete;
  Twofish& operator=(const Twofish&) = delete;

  // len is 0..32; the key is zero-extended to the next of 16, 24 and 32 bytes, as Twofish
  // itself pads short keys.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  uint32_t G(uint32_t x) const {
    return sbox_[0][x & 0xff] ^ sbox_[1][(x >> 8) & 0xff] ^ sbox_[2][(x >> 16) & 0xff] ^
           sbox_[3][x >> 24];
  }
  uint32_t k_[40] = {};
  // The key-dependent S-boxes with the MDS matrix folded in: g(x) is four lookups.
  uint32_t sbox_[4][256] = {};
};

}  // namespace tvcrypt::prim
