#include "crypt/primitives/twofish.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {
namespace {

// The 4-bit permutations from which q0 and q1 are built.
// clang-format off
constexpr uint8_t kQt[2][4][16] = {
    {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
     {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
     {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
     {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
    {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
     {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
     {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
     {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}}};
// clang-format on

// clang-format off
constexpr uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
// clang-format on
// clang-format off
constexpr uint8_t kRs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                               {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                               {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                               {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};
// clang-format on

uint8_t GfMul(uint8_t a, uint8_t b, unsigned poly) {
  unsigned r = 0, x = a;
  for (; b; b >>= 1) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= poly;
  }
  return uint8_t(r);
}

uint8_t Ror4(uint8_t x) { return uint8_t(((x >> 1) | (x << 3)) & 15); }

uint8_t Q(int which, uint8_t x) {
  const auto& t = kQt[which];
  uint8_t a = x >> 4, b = x & 15;
  uint8_t a1 = a ^ b, b1 = uint8_t((a ^ Ror4(b) ^ (8 * a)) & 15);
  a = t[0][a1];
  b = t[1][b1];
  a1 = a ^ b;
  b1 = uint8_t((a ^ Ror4(b) ^ (8 * a)) & 15);
  return uint8_t(t[3][b1] << 4 | t[2][a1]);
}

// Key-independent tables, shared by all Twofish objects: q0, q1 and the MDS columns multiplied
// by every byte. Built once, on first use; the function-local static makes that thread-safe.
struct Tables {
  uint8_t q[2][256];
  uint32_t mds[4][256];
  Tables() {
    for (int x = 0; x < 256; ++x) {
      q[0][x] = Q(0, uint8_t(x));
      q[1][x] = Q(1, uint8_t(x));
      for (int col = 0; col < 4; ++col) {
        uint32_t w = 0;
        for (int row = 0; row < 4; ++row)
          w |= uint32_t(GfMul(kMds[row][col], uint8_t(x), 0x169)) << (8 * row);
        mds[col][x] = w;
      }
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// The q-boxes each byte position passes through, from the first (used for 256-bit keys only)
// to the last one before the MDS matrix.
// clang-format off
constexpr int kChain[4][5] = {{1, 1, 0, 0, 1}, {0, 1, 1, 0, 0}, {0, 0, 0, 1, 1}, {1, 0, 1, 1, 0}};
// clang-format on

// The byte of h at position j before the MDS matrix, for key words l[0..k-1].
uint8_t HByte(const Tables& t, int j, uint8_t y, const uint32_t* l, int k) {
  if (k == 4) y = t.q[kChain[j][0]][y] ^ uint8_t(l[3] >> (8 * j));
  if (k >= 3) y = t.q[kChain[j][1]][y] ^ uint8_t(l[2] >> (8 * j));
  y = t.q[kChain[j][2]][y] ^ uint8_t(l[1] >> (8 * j));
  y = t.q[kChain[j][3]][y] ^ uint8_t(l[0] >> (8 * j));
  return t.q[kChain[j][4]][y];
}

uint32_t H(const Tables& t, uint32_t x, const uint32_t* l, int k) {
  uint32_t z = 0;
  for (int j = 0; j < 4; ++j) z ^= t.mds[j][HByte(t, j, uint8_t(x >> (8 * j)), l, k)];
  return z;
}

}  // namespace

Twofish::Twofish() { T(); }

void Twofish::SetKey(const uint8_t* key, size_t len) {
  const Tables& t = T();
  uint8_t m[32] = {};
  std::memcpy(m, key, len < 32 ? len : 32);
  const int k = len <= 16 ? 2 : len <= 24 ? 3 : 4;
  uint32_t even[4] = {}, odd[4] = {}, s[4] = {};
  for (int i = 0; i < k; ++i) {
    even[i] = LoadLe32(m + 8 * i);
    odd[i] = LoadLe32(m + 8 * i + 4);
    // S words come from the RS code of each 8 key bytes, in reverse order.
    uint32_t w = 0;
    for (int row = 0; row < 4; ++row) {
      uint8_t v = 0;
      for (int c = 0; c < 8; ++c) v ^= GfMul(kRs[row][c], m[8 * i + c], 0x14D);
      w |= uint32_t(v) << (8 * row);
    }
    s[k - 1 - i] = w;
  }
  constexpr uint32_t kRho = 0x01010101;
  for (uint32_t i = 0; i < 20; ++i) {
    const uint32_t a = H(t, 2 * i * kRho, even, k);
    const uint32_t b = Rotl32(H(t, (2 * i + 1) * kRho, odd, k), 8);
    k_[2 * i] = a + b;
    k_[2 * i + 1] = Rotl32(a + 2 * b, 9);
  }
  for (int j = 0; j < 4; ++j)
    for (int x = 0; x < 256; ++x) sbox_[j][x] = t.mds[j][HByte(t, j, uint8_t(x), s, k)];
  SecureWipe(m, sizeof m);
  SecureWipe(even, sizeof even);
  SecureWipe(odd, sizeof odd);
  SecureWipe(s, sizeof s);
}

void Twofish::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t r0 = LoadLe32(in) ^ k_[0], r1 = LoadLe32(in + 4) ^ k_[1];
  uint32_t r2 = LoadLe32(in + 8) ^ k_[2], r3 = LoadLe32(in + 12) ^ k_[3];
  const uint32_t* k = k_ + 8;
  // Two rounds per iteration, so the halves swap roles instead of places.
  for (int r = 0; r < 8; ++r, k += 4) {
    uint32_t t0 = G(r0), t1 = G(Rotl32(r1, 8));
    r2 = Rotr32(r2 ^ (t0 + t1 + k[0]), 1);
    r3 = Rotl32(r3, 1) ^ (t0 + 2 * t1 + k[1]);
    t0 = G(r2);
    t1 = G(Rotl32(r3, 8));
    r0 = Rotr32(r0 ^ (t0 + t1 + k[2]), 1);
    r1 = Rotl32(r1, 1) ^ (t0 + 2 * t1 + k[3]);
  }
  StoreLe32(out, r2 ^ k_[4]);
  StoreLe32(out + 4, r3 ^ k_[5]);
  StoreLe32(out + 8, r0 ^ k_[6]);
  StoreLe32(out + 12, r1 ^ k_[7]);
}

void Twofish::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t r2 = LoadLe32(in) ^ k_[4], r3 = LoadLe32(in + 4) ^ k_[5];
  uint32_t r0 = LoadLe32(in + 8) ^ k_[6], r1 = LoadLe32(in + 12) ^ k_[7];
  const uint32_t* k = k_ + 36;
  for (int r = 0; r < 8; ++r, k -= 4) {
    uint32_t t0 = G(r2), t1 = G(Rotl32(r3, 8));
    r0 = Rotl32(r0, 1) ^ (t0 + t1 + k[2]);
    r1 = Rotr32(r1 ^ (t0 + 2 * t1 + k[3]), 1);
    t0 = G(r0);
    t1 = G(Rotl32(r1, 8));
    r2 = Rotl32(r2, 1) ^ (t0 + t1 + k[0]);
    r3 = Rotr32(r3 ^ (t0 + 2 * t1 + k[1]), 1);
  }
  StoreLe32(out, r0 ^ k_[0]);
  StoreLe32(out + 4, r1 ^ k_[1]);
  StoreLe32(out + 8, r2 ^ k_[2]);
  StoreLe32(out + 12, r3 ^ k_[3]);
}

void Twofish::Wipe() {
  SecureWipe(k_, sizeof k_);
  SecureWipe(sbox_, sizeof sbox_);
}

}  // namespace tvcrypt::prim
