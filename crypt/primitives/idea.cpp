#include "crypt/primitives/idea.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {
namespace {

// Multiplication modulo 2^16 + 1, where the word 0 stands for 2^16.
inline uint16_t Mul(uint32_t a, uint32_t b) {
  if (a == 0) return uint16_t(0x10001 - b);
  if (b == 0) return uint16_t(0x10001 - a);
  const uint32_t p = a * b;
  const uint32_t lo = p & 0xffff, hi = p >> 16;
  return uint16_t(lo - hi + (lo < hi ? 1 : 0));
}

// Multiplicative inverse modulo 2^16 + 1 (a prime), by Fermat: x^(65537 - 2).
uint16_t MulInv(uint16_t x) {
  if (x <= 1) return x;  // 0 (= 2^16 = -1) and 1 are their own inverses
  uint64_t result = 1, base = x;
  for (uint32_t e = 0x10001 - 2; e; e >>= 1) {
    if (e & 1) result = result * base % 0x10001;
    base = base * base % 0x10001;
  }
  return uint16_t(result);
}

void Crypt(const uint16_t* k, const uint8_t* in, uint8_t* out) {
  uint16_t x1 = uint16_t(in[0] << 8 | in[1]), x2 = uint16_t(in[2] << 8 | in[3]);
  uint16_t x3 = uint16_t(in[4] << 8 | in[5]), x4 = uint16_t(in[6] << 8 | in[7]);
  for (int r = 0; r < 8; ++r, k += 6) {
    x1 = Mul(x1, k[0]);
    x2 = uint16_t(x2 + k[1]);
    x3 = uint16_t(x3 + k[2]);
    x4 = Mul(x4, k[3]);
    const uint16_t t0 = Mul(x1 ^ x3, k[4]);
    const uint16_t t1 = Mul(uint16_t(t0 + (x2 ^ x4)), k[5]);
    const uint16_t t2 = uint16_t(t0 + t1);
    x1 ^= t1;
    x4 ^= t2;
    const uint16_t a = x2 ^ t2;
    x2 = x3 ^ t1;
    x3 = a;
  }
  // The last round's middle swap is undone in the output transformation.
  const uint16_t y1 = Mul(x1, k[0]), y2 = uint16_t(x3 + k[1]);
  const uint16_t y3 = uint16_t(x2 + k[2]), y4 = Mul(x4, k[3]);
  out[0] = uint8_t(y1 >> 8), out[1] = uint8_t(y1);
  out[2] = uint8_t(y2 >> 8), out[3] = uint8_t(y2);
  out[4] = uint8_t(y3 >> 8), out[5] = uint8_t(y3);
  out[6] = uint8_t(y4 >> 8), out[7] = uint8_t(y4);
}

}  // namespace

void Idea::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[16] = {};
  std::memcpy(k, key, len < 16 ? len : 16);
  // Subkeys are successive 16-bit pieces of the 128-bit key, rotated left by 25 bits after
  // every eight of them.
  uint16_t w[8];
  for (int i = 0; i < 8; ++i) w[i] = uint16_t(k[2 * i] << 8 | k[2 * i + 1]);
  for (int i = 0; i < 52; ++i) {
    if (i && i % 8 == 0) {
      uint16_t r[8];
      for (int j = 0; j < 8; ++j) r[j] = uint16_t(w[(j + 1) % 8] << 9 | w[(j + 2) % 8] >> 7);
      std::memcpy(w, r, sizeof w);
      SecureWipe(r, sizeof r);
    }
    enc_[i] = w[i % 8];
  }
  // Decryption subkeys: the inverses of the encryption subkeys in reverse round order; the two
  // additive keys swap places in every round but the first and the output transformation.
  for (int r = 0; r <= 8; ++r) {
    const uint16_t* e = enc_ + 6 * (8 - r);
    uint16_t* d = dec_ + 6 * r;
    const bool outer = r == 0 || r == 8;
    d[0] = MulInv(e[0]);
    d[1] = uint16_t(-(outer ? e[1] : e[2]));
    d[2] = uint16_t(-(outer ? e[2] : e[1]));
    d[3] = MulInv(e[3]);
    if (r < 8) {
      d[4] = enc_[6 * (7 - r) + 4];
      d[5] = enc_[6 * (7 - r) + 5];
    }
  }
  SecureWipe(k, sizeof k);
  SecureWipe(w, sizeof w);
}

void Idea::EncryptBlock(const uint8_t* in, uint8_t* out) const { Crypt(enc_, in, out); }
void Idea::DecryptBlock(const uint8_t* in, uint8_t* out) const { Crypt(dec_, in, out); }

void Idea::Wipe() {
  SecureWipe(enc_, sizeof enc_);
  SecureWipe(dec_, sizeof dec_);
}

}  // namespace tvcrypt::prim
