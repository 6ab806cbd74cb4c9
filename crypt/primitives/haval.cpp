#include "crypt/primitives/haval.h"

#include "crypt/primitives/pi_words.h"

namespace tvcrypt::prim {
namespace {

// Message word order of passes 2 to 5 (pass 1 takes the words in order).
// clang-format off
constexpr uint8_t kOrder[4][32] = {
    {5, 14, 26, 18, 11, 28, 7, 16, 0, 23, 20, 22, 1, 10, 4, 8,
     30, 3, 21, 9, 17, 24, 29, 6, 19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9, 4, 20, 28, 17, 8, 22, 29, 14, 25, 12, 24, 30, 16, 26,
     31, 15, 7, 3, 1, 0, 18, 27, 13, 6, 21, 10, 23, 11, 5, 2},
    {24, 4, 0, 14, 2, 7, 28, 23, 26, 6, 30, 20, 18, 25, 19, 3,
     22, 11, 31, 21, 8, 27, 12, 9, 1, 29, 5, 15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0, 12, 7, 13, 8, 31, 10,
     5, 9, 14, 30, 18, 6, 28, 24, 2, 23, 16, 22, 4, 1, 25, 15}};
// clang-format on

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
  return (x4 & ((x5 & ~x2) ^ (x3 & ~x6) ^ x1 ^ x6 ^ x0)) ^ (x3 & ((x1 & x2) ^ x5 ^ x6)) ^
         (x2 & x6) ^ x0;
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
      // Pi words 8-135: the round constants of passes 2 to 5, 32 per pass.
      const uint32_t c = pass == 0 ? 0 : kPiWords[8 + 32 * (pass - 1) + i];
      x7 = Rotr32(f, 7) + Rotr32(x7, 11) + word + c;
    }
  }
  for (int i = 0; i < 8; ++i) state[i] += t[i];
  SecureWipe(w, sizeof w);
  SecureWipe(t, sizeof t);
}

void Haval::Init() {
  buf_.Clear();
  for (int i = 0; i < 8; ++i) state_[i] = kPiWords[i];  // pi words 0-7
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
