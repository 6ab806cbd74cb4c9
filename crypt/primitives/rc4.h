// RC4 with our call convention: every Process call starts from indices i = j = 0 and continues
// with the permutation the previous call left. One call over a whole message is standard RC4;
// a message split over several calls is not.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

class Rc4 {
 public:
  static constexpr size_t kMaxKeyBytes = 256;
  Rc4() = default;
  ~Rc4() { Wipe(); }
  Rc4(const Rc4&) = delete;
  Rc4& operator=(const Rc4&) = delete;

  // Standard key scheduling with the len key bytes used cyclically (len 1..256; the cipher
  // layer turns a key with no whole byte into one zero byte). The resulting permutation is saved
  // for Reset().
  void SetKey(const uint8_t* key, size_t len);
  // Restores the permutation saved by SetKey().
  void Reset();
  // XORs n bytes with the keystream; in == out allowed.
  void Process(const uint8_t* in, uint8_t* out, size_t n);
  void Wipe();

 private:
  uint8_t s_[256] = {};
  uint8_t saved_[256] = {};
};

}  // namespace tvcrypt::prim
