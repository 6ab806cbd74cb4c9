#include "crypt/primitives/rijndael.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {
namespace {

constexpr uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = uint8_t((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
    b >>= 1;
  }
  return r;
}

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return uint32_t(b0) << 24 | uint32_t(b1) << 16 | uint32_t(b2) << 8 | b3;
}

// S-box, its inverse and the round tables that fold SubBytes, ShiftRows and MixColumns into
// four lookups per column, all computed by the compiler from the field arithmetic.
struct Tables {
  uint8_t sbox[256] = {};
  uint8_t inv[256] = {};
  uint32_t te[4][256] = {};
  uint32_t td[4][256] = {};
};

constexpr Tables MakeTables() {
  Tables t;
  // Walk the multiplicative group with generator 3 to find inverses.
  uint8_t exp[256] = {}, log[256] = {};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = uint8_t(i);
    x = Mul(x, 3);
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t v = i ? exp[(255 - log[i]) % 255] : 0;
    uint8_t s = v;
    for (int r = 1; r < 5; ++r) s ^= uint8_t((v << r) | (v >> (8 - r)));
    s ^= 0x63;
    t.sbox[i] = s;
    t.inv[s] = uint8_t(i);
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t s = t.sbox[i], v = t.inv[i];
    const uint32_t e = Word(Mul(s, 2), s, s, Mul(s, 3));
    const uint32_t d = Word(Mul(v, 14), Mul(v, 9), Mul(v, 13), Mul(v, 11));
    for (int r = 0; r < 4; ++r) {
      t.te[r][i] = Rotr32(e, 8 * r);
      t.td[r][i] = Rotr32(d, 8 * r);
    }
  }
  return t;
}

constexpr Tables kT = MakeTables();

inline uint32_t SubWord(uint32_t w) {
  return Word(kT.sbox[w >> 24], kT.sbox[(w >> 16) & 0xff], kT.sbox[(w >> 8) & 0xff],
              kT.sbox[w & 0xff]);
}

}  // namespace

void Rijndael::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[32] = {};
  std::memcpy(k, key, len < 32 ? len : 32);
  const int nk = len <= 16 ? 4 : len <= 24 ? 6 : 8;
  rounds_ = nk + 6;
  const int total = 4 * (rounds_ + 1);
  for (int i = 0; i < nk; ++i) enc_[i] = LoadBe32(k + 4 * i);
  uint8_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    uint32_t t = enc_[i - 1];
    if (i % nk == 0) {
      t = SubWord(Rotl32(t, 8)) ^ (uint32_t(rcon) << 24);
      rcon = Mul(rcon, 2);
    } else if (nk > 6 && i % nk == 4) {
      t = SubWord(t);
    }
    enc_[i] = enc_[i - nk] ^ t;
  }
  // The equivalent inverse cipher: round keys in reverse order, the inner ones passed through
  // InvMixColumns (td of sbox[b] is InvMixColumns applied to a column holding only b).
  for (int r = 0; r <= rounds_; ++r)
    for (int c = 0; c < 4; ++c) dec_[4 * r + c] = enc_[4 * (rounds_ - r) + c];
  for (int i = 4; i < 4 * rounds_; ++i) {
    const uint32_t w = dec_[i];
    dec_[i] = kT.td[0][kT.sbox[w >> 24]] ^ kT.td[1][kT.sbox[(w >> 16) & 0xff]] ^
              kT.td[2][kT.sbox[(w >> 8) & 0xff]] ^ kT.td[3][kT.sbox[w & 0xff]];
  }
  SecureWipe(k, sizeof k);
}

void Rijndael::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  const uint32_t* rk = enc_;
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  const auto& te = kT.te;
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xff] ^ te[2][(s2 >> 8) & 0xff] ^
                        te[3][s3 & 0xff] ^ rk[0];
    const uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xff] ^ te[2][(s3 >> 8) & 0xff] ^
                        te[3][s0 & 0xff] ^ rk[1];
    const uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xff] ^ te[2][(s0 >> 8) & 0xff] ^
                        te[3][s1 & 0xff] ^ rk[2];
    const uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xff] ^ te[2][(s1 >> 8) & 0xff] ^
                        te[3][s2 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const uint8_t* sb = kT.sbox;
  StoreBe32(out,
            Word(sb[s0 >> 24], sb[(s1 >> 16) & 0xff], sb[(s2 >> 8) & 0xff], sb[s3 & 0xff]) ^ rk[0]);
  StoreBe32(out + 4,
            Word(sb[s1 >> 24], sb[(s2 >> 16) & 0xff], sb[(s3 >> 8) & 0xff], sb[s0 & 0xff]) ^ rk[1]);
  StoreBe32(out + 8,
            Word(sb[s2 >> 24], sb[(s3 >> 16) & 0xff], sb[(s0 >> 8) & 0xff], sb[s1 & 0xff]) ^ rk[2]);
  StoreBe32(out + 12,
            Word(sb[s3 >> 24], sb[(s0 >> 16) & 0xff], sb[(s1 >> 8) & 0xff], sb[s2 & 0xff]) ^ rk[3]);
}

void Rijndael::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  const uint32_t* rk = dec_;
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  const auto& td = kT.td;
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xff] ^ td[2][(s2 >> 8) & 0xff] ^
                        td[3][s1 & 0xff] ^ rk[0];
    const uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xff] ^ td[2][(s3 >> 8) & 0xff] ^
                        td[3][s2 & 0xff] ^ rk[1];
    const uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xff] ^ td[2][(s0 >> 8) & 0xff] ^
                        td[3][s3 & 0xff] ^ rk[2];
    const uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xff] ^ td[2][(s1 >> 8) & 0xff] ^
                        td[3][s0 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const uint8_t* ib = kT.inv;
  StoreBe32(out,
            Word(ib[s0 >> 24], ib[(s3 >> 16) & 0xff], ib[(s2 >> 8) & 0xff], ib[s1 & 0xff]) ^ rk[0]);
  StoreBe32(out + 4,
            Word(ib[s1 >> 24], ib[(s0 >> 16) & 0xff], ib[(s3 >> 8) & 0xff], ib[s2 & 0xff]) ^ rk[1]);
  StoreBe32(out + 8,
            Word(ib[s2 >> 24], ib[(s1 >> 16) & 0xff], ib[(s0 >> 8) & 0xff], ib[s3 & 0xff]) ^ rk[2]);
  StoreBe32(out + 12,
            Word(ib[s3 >> 24], ib[(s2 >> 16) & 0xff], ib[(s1 >> 8) & 0xff], ib[s0 & 0xff]) ^ rk[3]);
}

void Rijndael::Wipe() {
  SecureWipe(enc_, sizeof enc_);
  SecureWipe(dec_, sizeof dec_);
  rounds_ = 0;
}

}  // namespace tvcrypt::prim
