#include "crypt/primitives/sha1.h"

namespace tvcrypt::prim {

void Sha1::Init() {
  buf_.Clear();
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  state_[4] = 0xc3d2e1f0;
}

void Sha1::Compress(const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = Rotl32(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5a827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ed9eba1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8f1bbcdc;
    } else {
      f = b ^ c ^ d;
      k = 0xca62c1d6;
    }
    const uint32_t t = Rotl32(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl32(b, 30);
    b = a;
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  SecureWipe(w, sizeof w);
}

void Sha1::Update(const uint8_t* data, size_t n) {
  buf_.Absorb(data, n, [this](const uint8_t* b) { Compress(b); });
}

void Sha1::Final(uint8_t* digest) {
  const uint64_t bits = buf_.BitsLo();
  buf_.Pad(0x80, 56, [this](const uint8_t* b) { Compress(b); });
  StoreBe64(buf_.Block() + 56, bits);
  Compress(buf_.Block());
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, state_[i]);
  Wipe();
}

void Sha1::Wipe() {
  SecureWipe(state_, sizeof state_);
  buf_.Clear();
}

}  // namespace tvcrypt::prim
