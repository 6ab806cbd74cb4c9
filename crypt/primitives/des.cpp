#include "crypt/primitives/des.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {
namespace {

// Bit positions in the tables count from 1 at the most significant bit, as FIPS 46 does.
// clang-format off
constexpr uint8_t kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                             62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                             57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                             61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
// clang-format on
// clang-format off
constexpr uint8_t kFp[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                             38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                             36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                             34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
// clang-format on
// clang-format off
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
// clang-format on
// clang-format off
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
// clang-format on
// clang-format off
constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                              23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                              41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                              44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
// clang-format on
// clang-format off
constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
// clang-format on
// clang-format off
constexpr uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};
// clang-format on

// Byte-wise lookup tables for the two 64-bit permutations (8 lookups each) and the S-boxes
// with P folded in (one lookup per S-box per round).
struct Tables {
  uint64_t ip[8][256] = {};
  uint64_t fp[8][256] = {};
  uint32_t sp[8][64] = {};
};

Tables MakeTables() {
  Tables t;
  for (int byte = 0; byte < 8; ++byte) {
    for (int v = 0; v < 256; ++v) {
      const uint64_t in = uint64_t(v) << (56 - 8 * byte);
      uint64_t a = 0, b = 0;
      for (int i = 0; i < 64; ++i) {
        if (in >> (64 - kIp[i]) & 1) a |= uint64_t(1) << (63 - i);
        if (in >> (64 - kFp[i]) & 1) b |= uint64_t(1) << (63 - i);
      }
      t.ip[byte][v] = a;
      t.fp[byte][v] = b;
    }
  }
  for (int box = 0; box < 8; ++box) {
    for (int v = 0; v < 64; ++v) {
      // Row from the outer bits, column from the middle four.
      const int row = (v >> 4 & 2) | (v & 1), col = v >> 1 & 15;
      const uint32_t s = uint32_t(kS[box][row * 16 + col]) << (28 - 4 * box);
      uint32_t p = 0;
      for (int i = 0; i < 32; ++i)
        if (s >> (32 - kP[i]) & 1) p |= uint32_t(1) << (31 - i);
      t.sp[box][v] = p;
    }
  }
  return t;
}

// Built when the program starts rather than stored in it: the two permutation tables alone are
// 32 KB, a large share of a small setup program, and take well under a millisecond to compute.
const Tables kT = MakeTables();

inline uint64_t Permute(const uint64_t (&table)[8][256], uint64_t x) {
  uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= table[i][(x >> (56 - 8 * i)) & 0xff];
  return r;
}

// The round function: expansion E, key mixing, S-boxes and P. The 6-bit group i of E(r) is
// bits 4i to 4i+5 of r (counting from bit 32 = bit 0 cyclically); rotating left by 4i+5 brings
// it to the low end.
inline uint32_t F(uint32_t r, const uint8_t* k) {
  uint32_t out = 0;
  for (int i = 0; i < 8; ++i) out |= kT.sp[i][(Rotl32(r, 4 * i + 5) & 0x3f) ^ k[i]];
  return out;
}

}  // namespace

namespace des_detail {

uint64_t InitialPermutation(uint64_t block) { return Permute(kT.ip, block); }
uint64_t FinalPermutation(uint64_t block) { return Permute(kT.fp, block); }

uint64_t Rounds(const DesSchedule& ks, uint64_t block, bool decrypt) {
  uint32_t l = uint32_t(block >> 32), r = uint32_t(block);
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = l ^ F(r, ks.k[decrypt ? 15 - i : i]);
    l = r;
    r = t;
  }
  return uint64_t(r) << 32 | l;
}

}  // namespace des_detail

void DesSchedule::Set(const uint8_t key[8]) {
  uint64_t k = 0;
  for (int i = 0; i < 8; ++i) k = k << 8 | key[i];
  uint32_t c = 0, d = 0;  // 28-bit halves after PC-1
  for (int i = 0; i < 28; ++i) {
    c = c << 1 | uint32_t(k >> (64 - kPc1[i]) & 1);
    d = d << 1 | uint32_t(k >> (64 - kPc1[i + 28]) & 1);
  }
  for (int round = 0; round < 16; ++round) {
    for (int s = 0; s < kShifts[round]; ++s) {
      c = ((c << 1) | (c >> 27)) & 0x0fffffff;
      d = ((d << 1) | (d >> 27)) & 0x0fffffff;
    }
    const uint64_t cd = uint64_t(c) << 28 | d;
    for (int g = 0; g < 8; ++g) {
      uint8_t v = 0;
      for (int b = 0; b < 6; ++b) v = uint8_t(v << 1 | (cd >> (56 - kPc2[6 * g + b]) & 1));
      this->k[round][g] = v;
    }
  }
  SecureWipe(&k, sizeof k);
  SecureWipe(&c, sizeof c);
  SecureWipe(&d, sizeof d);
}

void DesSchedule::Wipe() { SecureWipe(k, sizeof k); }

void Des::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[8] = {};
  std::memcpy(k, key, len < 8 ? len : 8);
  ks_.Set(k);
  SecureWipe(k, sizeof k);
}

void Des::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  using namespace des_detail;
  StoreBe64(out, FinalPermutation(Rounds(ks_, InitialPermutation(LoadBe64(in)), false)));
}

void Des::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  using namespace des_detail;
  StoreBe64(out, FinalPermutation(Rounds(ks_, InitialPermutation(LoadBe64(in)), true)));
}

void Des::Wipe() { ks_.Wipe(); }

}  // namespace tvcrypt::prim
