// DES (FIPS 46-3) and the key schedule and block function that triple DES reuses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

// One DES key schedule: sixteen 48-bit round keys, each held as eight 6-bit S-box inputs.
struct DesSchedule {
  uint8_t k[16][8] = {};
  // key: 8 bytes; the parity bits take no part.
  void Set(const uint8_t key[8]);
  void Wipe();
};

namespace des_detail {
// Initial and final permutations of the 64-bit block (first byte in the high bits).
uint64_t InitialPermutation(uint64_t block);
uint64_t FinalPermutation(uint64_t block);
// The sixteen rounds between the permutations, forwards (encrypt) or backwards (decrypt),
// including the final swap of the halves.
uint64_t Rounds(const DesSchedule& ks, uint64_t block, bool decrypt);
}  // namespace des_detail

class Des {
 public:
  static constexpr size_t kBlockBytes = 8;
  static constexpr size_t kMaxKeyBytes = 8;
  Des() = default;
  ~Des() { Wipe(); }
  Des(const Des&) = delete;
  Des& operator=(const Des&) = delete;

  // len is 0..8; a shorter key is zero-extended to 8 bytes.
  void SetKey(const uint8_t* key, size_t len);
  void EncryptBlock(const uint8_t* in, uint8_t* out) const;  // in == out allowed
  void DecryptBlock(const uint8_t* in, uint8_t* out) const;
  void Wipe();

 private:
  DesSchedule ks_;
};

}  // namespace tvcrypt::prim
