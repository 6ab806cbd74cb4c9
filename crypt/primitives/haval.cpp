#include "crypt/primitives/haval.h"

namespace tvcrypt::prim {
namespace {

// Fractional hex digits of pi (tools/gen_constants.py pi 136): words 0-7 are the initial state,
// words 8-135 the round constants of passes 2 to 5, 32 per pass.
constexpr uint32_t kPi[136] = {
    0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344, 0xa4093822, 0x299f31d0,
    0x082efa98, 0xec4e6c89, 0x452821e6, 0x38d01377, 0xbe5466cf, 0x34e90c6c,
    0xc0ac29b7, 0xc97c50dd, 0x3f84d5b5, 0xb5470917, 0x9216d5d9, 0x8979fb1b,
    0xd1310ba6, 0x98dfb5ac, 0x2ffd72db, 0xd01adfb7, 0xb8e1afed, 0x6a267e96,
    0xba7c9045, 0xf12c7f99, 0x24a19947, 0xb3916cf7, 0x0801f2e2, 0x858efc16,
    0x636920d8, 0x71574e69, 0xa458fea3, 0xf4933d7e, 0x0d95748f, 0x728eb658,
    0x718bcd58, 0x82154aee, 0x7b54a41d, 0xc25a59b5, 0x9c30d539, 0x2af26013,
    0xc5d1b023, 0x286085f0, 0xca417918, 0xb8db38ef, 0x8e79dcb0, 0x603a180e,
    0x6c9e0e8b, 0xb01e8a3e, 0xd71577c1, 0xbd314b27, 0x78af2fda, 0x55605c60,
    0xe65525f3, 0xaa55ab94, 0x57489862, 0x63e81440, 0x55ca396a, 0x2aab10b6,
    0xb4cc5c34, 0x1141e8ce, 0xa15486af, 0x7c72e993, 0xb3ee1411, 0x636fbc2a,
    0x2ba9c55d, 0x741831f6, 0xce5c3e16, 0x9b87931e, 0xafd6ba33, 0x6c24cf5c,
    0x7a325381, 0x28958677, 0x3b8f4898, 0x6b4bb9af, 0xc4bfe81b, 0x66282193,
    0x61d809cc, 0xfb21a991, 0x487cac60, 0x5dec8032, 0xef845d5d, 0xe98575b1,
    0xdc262302, 0xeb651b88, 0x23893e81, 0xd396acc5, 0x0f6d6ff3, 0x83f44239,
    0x2e0b4482, 0xa4842004, 0x69c8f04a, 0x9e1f9b5e, 0x21c66842, 0xf6e96c9a,
    0x670c9c61, 0xabd388f0, 0x6a51a0d2, 0xd8542f68, 0x960fa728, 0xab5133a3,
    0x6eef0b6c, 0x137a3be4, 0xba3bf050, 0x7efb2a98, 0xa1f1651d, 0x39af0176,
    0x66ca593e, 0x82430e88, 0x8cee8619, 0x456f9fb4, 0x7d84a5c3, 0x3b8b5ebe,
    0xe06f75d8, 0x85c12073, 0x401a449f, 0x56c16aa6, 0x4ed3aa62, 0x363f7706,
    0x1bfedf72, 0x429b023d, 0x37d0d724, 0xd00a1248, 0xdb0fead3, 0x49f1c09b,
    0x075372c9, 0x80991b7b, 0x25d479d8, 0xf6e8def7, 0xe3fe501a, 0xb6794c3b,
    0x976ce0bd, 0x04c006ba, 0xc1a94fb6, 0x409f60c4,
};

// Message word order of passes 2 to 5 (pass 1 takes the words in order).
constexpr uint8_t kOrder[4][32] = {
    {5, 14, 26, 18, 11, 28, 7, 16, 0, 23, 20, 22, 1, 10, 4, 8,
     30, 3, 21, 9, 17, 24, 29, 6, 19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9, 4, 20, 28, 17, 8, 22, 29, 14, 25, 12, 24, 30, 16, 26,
     31, 15, 7, 3, 1, 0, 18, 27, 13, 6, 21, 10, 23, 11, 5, 2},
    {24, 4, 0, 14, 2, 7, 28, 23, 26, 6, 30, 20, 18, 25, 19, 3,
     22, 11, 31, 21, 8, 27, 12, 9, 1, 29, 5, 15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0, 12, 7, 13, 8, 31, 10,
     5, 9, 14, 30, 18, 6, 28, 24, 2, 23, 16, 22, 4, 1, 25, 15}};

// The five Boolean functions, arguments (x6, x5, x4, x3, x2, x1, x0).
inline uint32_t F1(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
  return (x1 & (x0 ^ x4)) ^ (x2 & x5) ^ (x3 & x6) ^ x0;
}
inline uint32_t F2(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
  return (x2 & ((x1 & ~x3) ^ (x4 & x5) ^ x6 ^ x0)) ^ (x4 & (x1 ^ x5)) ^ (x3 & x5) ^ x0;
}
inline uint32_t F3(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
  return (x3 & ((x1 & x2) ^ x6 ^ x0)) ^ (x1 & x4) ^ (x2 & x5) ^ x0;
}
inline uint32_t F4(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
  return (x4 & ((x5 & ~x2) ^ (x3 & ~x6) ^ x1 ^ x6 ^ x0)) ^ (x3 & ((x1 & x2) ^ x5 ^ x6)) ^ (x2 & x6) ^
         x0;
}
inline uint32_t F5(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
  return (x0 & ((x1 & x2 & x3) ^ ~x5)) ^ (x1 & x4) ^ (x2 & x5) ^ (x3 & x6);
}

// Each pass applies its function to a fixed permutation of the seven working words (the
// permutations for 5 passes).
inline uint32_t Phi(int pass, const uint32_t* x) {
  switch (pass) {
    case 0: return F1(x[3], x[4], x[1], x[0], x[5], x[2], x[6]);
    case 1: return F2(x[6], x[2], x[1], x[0], x[3], x[4], x[5]);
    case 2: return F3(x[2], x[6], x[0], x[4], x[3], x[1], x[5]);
    case 3: return F4(x[1], x[5], x[3], x[2], x[0], x[4], x[6]);
    default: return F5(x[2], x[5], x[0], x[6], x[4], x[3], x[1]);
  }
}

}  // namespace

void Haval::Compress(uint32_t state[8], const uint8_t* block) {
  uint32_t w[32];
  for (int i = 0; i < 32; ++i) w[i] = LoadLe32(block + 4 * i);
  uint32_t t[8];
  for (int i = 0; i < 8; ++i) t[i] = state[i];
  for (int pass = 0; pass < 5; ++pass) {
    for (int i = 0; i < 32; ++i) {
      // Step i updates t[7 - i mod 8]; the other seven words, from x6 down to x0, follow it
      // cyclically downwards.
      uint32_t x[7];
      for (int k = 0; k < 7; ++k) x[k] = t[(k - i) & 7];
      uint32_t& x7 = t[(7 - i) & 7];
      const uint32_t f = Phi(pass, x);
      const uint32_t word = pass == 0 ? w[i] : w[kOrder[pass - 1][i]];
      const uint32_t c = pass == 0 ? 0 : kPi[8 + 32 * (pass - 1) + i];
      x7 = Rotr32(f, 7) + Rotr32(x7, 11) + word + c;
    }
  }
  for (int i = 0; i < 8; ++i) state[i] += t[i];
  SecureWipe(w, sizeof w);
  SecureWipe(t, sizeof t);
}

void Haval::Init() {
  buf_.Clear();
  for (int i = 0; i < 8; ++i) state_[i] = kPi[i];
}

void Haval::Update(const uint8_t* data, size_t n) {
  buf_.Absorb(data, n, [this](const uint8_t* b) { Compress(state_, b); });
}

void Haval::Finish(uint8_t marker, uint8_t* digest) {
  const uint64_t bits = buf_.BitsLo();
  buf_.Pad(marker, 118, [this](const uint8_t* b) { Compress(state_, b); });
  uint8_t* block = buf_.Block();
  // Version 1, 5 passes, 256-bit output: ((256 & 3) << 6) | (5 << 3) | 1, then 256 >> 2.
  block[118] = 0x29;
  block[119] = 0x40;
  StoreLe64(block + 120, bits);
  Compress(state_, block);
  for (int i = 0; i < 8; ++i) StoreLe32(digest + 4 * i, state_[i]);
  Wipe();
}

void Haval::Final(uint8_t* digest) { Finish(0x80, digest); }
void Haval::FinalStandard(uint8_t* digest) { Finish(0x01, digest); }

void Haval::Wipe() {
  SecureWipe(state_, sizeof state_);
  buf_.Clear();
}

}  // namespace tvcrypt::prim
