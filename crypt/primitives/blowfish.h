// Blowfish (Schneier, 1993).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Blowfish {
 public:
  static constexpr size_t kBlockBytes = 8;
  static constexpr size_t kMaxKeyBytes = 56;
  Blowfish() = default;
  ~Blowfish() { Wipe(); }
  Blowfish(const Blowfish&) = delete;
  Blowfish& operator=(const Blowfish&) = delete;

  // len is 1..56 (the cipher layer turns a key with no whole byte into one zero byte); the key
  // bytes are used cyclically, packed big-endian into 32-bit words.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  void Encrypt(uint32_t& l, uint32_t& r) const;
  uint32_t F(uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xff]) ^ s_[2][(x >> 8) & 0xff]) + s_[3][x & 0xff];
  }
  uint32_t p_[18] = {};
  uint32_t s_[4][256] = {};
};

}  // namespace tvcrypt::prim
