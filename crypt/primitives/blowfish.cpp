#include "crypt/primitives/blowfish.h"

#include <cstring>

#include "crypt/primitives/bytes.h"
#include "crypt/primitives/pi_words.h"

namespace tvcrypt::prim {

void Blowfish::Encrypt(uint32_t& l, uint32_t& r) const {
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  l ^= p_[16];
  r ^= p_[17];
  const uint32_t t = l;
  l = r;
  r = t;
}

void Blowfish::SetKey(const uint8_t* key, size_t len) {
  if (len > kMaxKeyBytes) len = kMaxKeyBytes;
  // The initial P-array and S-boxes are the first 1042 words of pi, in that order.
  std::memcpy(p_, kPiWords, sizeof p_);
  std::memcpy(s_, kPiWords + 18, sizeof s_);
  size_t j = 0;
  for (int i = 0; i < 18; ++i) {
    uint32_t w = 0;
    for (int b = 0; b < 4; ++b) {
      w = w << 8 | key[j];
      j = j + 1 == len ? 0 : j + 1;
    }
    p_[i] ^= w;
  }
  uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(l, r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      Encrypt(l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  }
}

void Blowfish::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t l = LoadBe32(in), r = LoadBe32(in + 4);
  Encrypt(l, r);
  StoreBe32(out, l);
  StoreBe32(out + 4, r);
}

void Blowfish::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t l = LoadBe32(in), r = LoadBe32(in + 4);
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i - 1];
    l ^= F(r);
  }
  l ^= p_[1];
  r ^= p_[0];
  StoreBe32(out, r);
  StoreBe32(out + 4, l);
}

void Blowfish::Wipe() {
  SecureWipe(p_, sizeof p_);
  SecureWipe(s_, sizeof s_);
}

}  // namespace tvcrypt::prim
