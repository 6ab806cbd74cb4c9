#include "crypt/primitives/rc4.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {

void Rc4::SetKey(const uint8_t* key, size_t len) {
  if (len > kMaxKeyBytes) len = kMaxKeyBytes;
  for (int i = 0; i < 256; ++i) s_[i] = uint8_t(i);
  uint8_t j = 0;
  for (size_t i = 0; i < 256; ++i) {
    j = uint8_t(j + s_[i] + key[i % len]);
    const uint8_t t = s_[i];
    s_[i] = s_[j];
    s_[j] = t;
  }
  std::memcpy(saved_, s_, sizeof s_);
}

void Rc4::Reset() { std::memcpy(s_, saved_, sizeof s_); }

void Rc4::Process(const uint8_t* in, uint8_t* out, size_t n) {
  uint8_t i = 0, j = 0;
  for (size_t k = 0; k < n; ++k) {
    i = uint8_t(i + 1);
    const uint8_t si = s_[i];
    j = uint8_t(j + si);
    const uint8_t sj = s_[j];
    s_[i] = sj;
    s_[j] = si;
    out[k] = in[k] ^ s_[uint8_t(si + sj)];
  }
}

void Rc4::Wipe() {
  SecureWipe(s_, sizeof s_);
  SecureWipe(saved_, sizeof saved_);
}

}  // namespace tvcrypt::prim
