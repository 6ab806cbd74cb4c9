// Triple DES, encrypt-decrypt-encrypt with keys K1, K2, K3.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypt/primitives/des.h"

namespace tvcrypt::prim {

class TripleDes {
 public:
  static constexpr size_t kBlockBytes = 8;
  static constexpr size_t kMaxKeyBytes = 24;
  TripleDes() = default;
  ~TripleDes() { Wipe(); }
  TripleDes(const TripleDes&) = delete;
  TripleDes& operator=(const TripleDes&) = delete;

  // len is 0..24. The key is zero-extended to 24 bytes and split into K1, K2, K3 (bytes 0-7,
  // 8-15, 16-23); a key of at most 16 bytes uses K1 again as K3 (two-key triple DES). So a
  // 20-byte key has K3 = its bytes 16-19 followed by four zero bytes.
  void SetKey(const uint8_t* key, size_t len);
  // E(K3, D(K2, E(K1, block))) and its inverse.
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  DesSchedule k1_, k2_, k3_;
};

}  // namespace tvcrypt::prim
