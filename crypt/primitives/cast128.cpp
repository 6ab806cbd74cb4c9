#include "crypt/primitives/cast128.h"

#include <cstring>

#include "crypt/primitives/bytes.h"
#include "crypt/primitives/cast_round.h"

namespace tvcrypt::prim {
namespace {

const uint32_t* const S5 = kCastS[4];
const uint32_t* const S6 = kCastS[5];
const uint32_t* const S7 = kCastS[6];
const uint32_t* const S8 = kCastS[7];

// The key schedule works on two 128-bit registers, x and z, as four big-endian words each; the
// S-box indices are their bytes, x0 being the most significant byte of the first word.
struct Regs {
  uint32_t x[4], z[4];
  uint8_t X(int i) const { return uint8_t(x[i >> 2] >> (24 - 8 * (i & 3))); }
  uint8_t Z(int i) const { return uint8_t(z[i >> 2] >> (24 - 8 * (i & 3))); }

  void XToZ() {
    z[0] = x[0] ^ S5[X(0xD)] ^ S6[X(0xF)] ^ S7[X(0xC)] ^ S8[X(0xE)] ^ S7[X(0x8)];
    z[1] = x[2] ^ S5[Z(0x0)] ^ S6[Z(0x2)] ^ S7[Z(0x1)] ^ S8[Z(0x3)] ^ S8[X(0xA)];
    z[2] = x[3] ^ S5[Z(0x7)] ^ S6[Z(0x6)] ^ S7[Z(0x5)] ^ S8[Z(0x4)] ^ S5[X(0x9)];
    z[3] = x[1] ^ S5[Z(0xA)] ^ S6[Z(0x9)] ^ S7[Z(0xB)] ^ S8[Z(0x8)] ^ S6[X(0xB)];
  }
  void ZToX() {
    x[0] = z[2] ^ S5[Z(0x5)] ^ S6[Z(0x7)] ^ S7[Z(0x4)] ^ S8[Z(0x6)] ^ S7[Z(0x0)];
    x[1] = z[0] ^ S5[X(0x0)] ^ S6[X(0x2)] ^ S7[X(0x1)] ^ S8[X(0x3)] ^ S8[Z(0x2)];
    x[2] = z[1] ^ S5[X(0x7)] ^ S6[X(0x6)] ^ S7[X(0x5)] ^ S8[X(0x4)] ^ S5[Z(0x1)];
    x[3] = z[3] ^ S5[X(0xA)] ^ S6[X(0x9)] ^ S7[X(0xB)] ^ S8[X(0x8)] ^ S6[Z(0x3)];
  }
};

// Sixteen subkeys per pass: the first pass gives the masking keys, the second the rotations.
void Schedule(Regs& r, uint32_t out[32]) {
  for (int pass = 0; pass < 2; ++pass, out += 16) {
    auto z = [&r](int i) { return r.Z(i); };
    auto x = [&r](int i) { return r.X(i); };
    r.XToZ();
    out[0] = S5[z(0x8)] ^ S6[z(0x9)] ^ S7[z(0x7)] ^ S8[z(0x6)] ^ S5[z(0x2)];
    out[1] = S5[z(0xA)] ^ S6[z(0xB)] ^ S7[z(0x5)] ^ S8[z(0x4)] ^ S6[z(0x6)];
    out[2] = S5[z(0xC)] ^ S6[z(0xD)] ^ S7[z(0x3)] ^ S8[z(0x2)] ^ S7[z(0x9)];
    out[3] = S5[z(0xE)] ^ S6[z(0xF)] ^ S7[z(0x1)] ^ S8[z(0x0)] ^ S8[z(0xC)];
    r.ZToX();
    out[4] = S5[x(0x3)] ^ S6[x(0x2)] ^ S7[x(0xC)] ^ S8[x(0xD)] ^ S5[x(0x8)];
    out[5] = S5[x(0x1)] ^ S6[x(0x0)] ^ S7[x(0xE)] ^ S8[x(0xF)] ^ S6[x(0xD)];
    out[6] = S5[x(0x7)] ^ S6[x(0x6)] ^ S7[x(0x8)] ^ S8[x(0x9)] ^ S7[x(0x3)];
    out[7] = S5[x(0x5)] ^ S6[x(0x4)] ^ S7[x(0xA)] ^ S8[x(0xB)] ^ S8[x(0x7)];
    r.XToZ();
    out[8] = S5[z(0x3)] ^ S6[z(0x2)] ^ S7[z(0xC)] ^ S8[z(0xD)] ^ S5[z(0x9)];
    out[9] = S5[z(0x1)] ^ S6[z(0x0)] ^ S7[z(0xE)] ^ S8[z(0xF)] ^ S6[z(0xC)];
    out[10] = S5[z(0x7)] ^ S6[z(0x6)] ^ S7[z(0x8)] ^ S8[z(0x9)] ^ S7[z(0x2)];
    out[11] = S5[z(0x5)] ^ S6[z(0x4)] ^ S7[z(0xA)] ^ S8[z(0xB)] ^ S8[z(0x6)];
    r.ZToX();
    out[12] = S5[x(0x8)] ^ S6[x(0x9)] ^ S7[x(0x7)] ^ S8[x(0x6)] ^ S5[x(0x3)];
    out[13] = S5[x(0xA)] ^ S6[x(0xB)] ^ S7[x(0x5)] ^ S8[x(0x4)] ^ S6[x(0x7)];
    out[14] = S5[x(0xC)] ^ S6[x(0xD)] ^ S7[x(0x3)] ^ S8[x(0x2)] ^ S7[x(0x8)];
    out[15] = S5[x(0xE)] ^ S6[x(0xF)] ^ S7[x(0x1)] ^ S8[x(0x0)] ^ S8[x(0xD)];
  }
}

// Round i uses F1, F2, F3 in turn.
inline uint32_t F(int i, uint32_t d, uint32_t km, unsigned kr) {
  switch (i % 3) {
    case 0: return cast::F1(d, km, kr);
    case 1: return cast::F2(d, km, kr);
    default: return cast::F3(d, km, kr);
  }
}

}  // namespace

void Cast128::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[16] = {};
  std::memcpy(k, key, len < 16 ? len : 16);
  Regs r{};
  for (int i = 0; i < 4; ++i) r.x[i] = LoadBe32(k + 4 * i);
  rounds_ = len <= 10 ? 12 : 16;
  uint32_t sk[32];
  Schedule(r, sk);
  for (int i = 0; i < 16; ++i) {
    km_[i] = sk[i];
    kr_[i] = uint8_t(sk[16 + i] & 31);
  }
  SecureWipe(&r, sizeof r);
  SecureWipe(k, sizeof k);
  SecureWipe(sk, sizeof sk);
}

void Cast128::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t l = LoadBe32(in), r = LoadBe32(in + 4);
  for (int i = 0; i < rounds_; ++i) {
    const uint32_t t = l ^ F(i, r, km_[i], kr_[i]);
    l = r;
    r = t;
  }
  StoreBe32(out, r);
  StoreBe32(out + 4, l);
}

void Cast128::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t l = LoadBe32(in), r = LoadBe32(in + 4);
  for (int i = rounds_ - 1; i >= 0; --i) {
    const uint32_t t = l ^ F(i, r, km_[i], kr_[i]);
    l = r;
    r = t;
  }
  StoreBe32(out, r);
  StoreBe32(out + 4, l);
}

void Cast128::Wipe() {
  SecureWipe(km_, sizeof km_);
  SecureWipe(kr_, sizeof kr_);
  rounds_ = 0;  // the round count tells the key length; SetKey sets it again
}

}  // namespace tvcrypt::prim
