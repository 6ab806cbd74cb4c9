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

// The key schedule works on two 16-byte registers, x and z, each also read as four big-endian
// words.
struct Regs {
  uint8_t x[16], z[16];
  uint32_t Xw(int i) const { return LoadBe32(x + 4 * i); }
  uint32_t Zw(int i) const { return LoadBe32(z + 4 * i); }
  void SetX(int i, uint32_t v) { StoreBe32(x + 4 * i, v); }
  void SetZ(int i, uint32_t v) { StoreBe32(z + 4 * i, v); }

  void XToZ() {
    SetZ(0, Xw(0) ^ S5[x[0xD]] ^ S6[x[0xF]] ^ S7[x[0xC]] ^ S8[x[0xE]] ^ S7[x[0x8]]);
    SetZ(1, Xw(2) ^ S5[z[0x0]] ^ S6[z[0x2]] ^ S7[z[0x1]] ^ S8[z[0x3]] ^ S8[x[0xA]]);
    SetZ(2, Xw(3) ^ S5[z[0x7]] ^ S6[z[0x6]] ^ S7[z[0x5]] ^ S8[z[0x4]] ^ S5[x[0x9]]);
    SetZ(3, Xw(1) ^ S5[z[0xA]] ^ S6[z[0x9]] ^ S7[z[0xB]] ^ S8[z[0x8]] ^ S6[x[0xB]]);
  }
  void ZToX() {
    SetX(0, Zw(2) ^ S5[z[0x5]] ^ S6[z[0x7]] ^ S7[z[0x4]] ^ S8[z[0x6]] ^ S7[z[0x0]]);
    SetX(1, Zw(0) ^ S5[x[0x0]] ^ S6[x[0x2]] ^ S7[x[0x1]] ^ S8[x[0x3]] ^ S8[z[0x2]]);
    SetX(2, Zw(1) ^ S5[x[0x7]] ^ S6[x[0x6]] ^ S7[x[0x5]] ^ S8[x[0x4]] ^ S5[z[0x1]]);
    SetX(3, Zw(3) ^ S5[x[0xA]] ^ S6[x[0x9]] ^ S7[x[0xB]] ^ S8[x[0x8]] ^ S6[z[0x3]]);
  }
};

// Sixteen subkeys per pass: the first pass gives the masking keys, the second the rotations.
void Schedule(Regs& r, uint32_t out[32]) {
  for (int pass = 0; pass < 2; ++pass, out += 16) {
    const uint8_t* z = r.z;
    const uint8_t* x = r.x;
    r.XToZ();
    out[0] = S5[z[0x8]] ^ S6[z[0x9]] ^ S7[z[0x7]] ^ S8[z[0x6]] ^ S5[z[0x2]];
    out[1] = S5[z[0xA]] ^ S6[z[0xB]] ^ S7[z[0x5]] ^ S8[z[0x4]] ^ S6[z[0x6]];
    out[2] = S5[z[0xC]] ^ S6[z[0xD]] ^ S7[z[0x3]] ^ S8[z[0x2]] ^ S7[z[0x9]];
    out[3] = S5[z[0xE]] ^ S6[z[0xF]] ^ S7[z[0x1]] ^ S8[z[0x0]] ^ S8[z[0xC]];
    r.ZToX();
    out[4] = S5[x[0x3]] ^ S6[x[0x2]] ^ S7[x[0xC]] ^ S8[x[0xD]] ^ S5[x[0x8]];
    out[5] = S5[x[0x1]] ^ S6[x[0x0]] ^ S7[x[0xE]] ^ S8[x[0xF]] ^ S6[x[0xD]];
    out[6] = S5[x[0x7]] ^ S6[x[0x6]] ^ S7[x[0x8]] ^ S8[x[0x9]] ^ S7[x[0x3]];
    out[7] = S5[x[0x5]] ^ S6[x[0x4]] ^ S7[x[0xA]] ^ S8[x[0xB]] ^ S8[x[0x7]];
    r.XToZ();
    out[8] = S5[z[0x3]] ^ S6[z[0x2]] ^ S7[z[0xC]] ^ S8[z[0xD]] ^ S5[z[0x9]];
    out[9] = S5[z[0x1]] ^ S6[z[0x0]] ^ S7[z[0xE]] ^ S8[z[0xF]] ^ S6[z[0xC]];
    out[10] = S5[z[0x7]] ^ S6[z[0x6]] ^ S7[z[0x8]] ^ S8[z[0x9]] ^ S7[z[0x2]];
    out[11] = S5[z[0x5]] ^ S6[z[0x4]] ^ S7[z[0xA]] ^ S8[z[0xB]] ^ S8[z[0x6]];
    r.ZToX();
    out[12] = S5[x[0x8]] ^ S6[x[0x9]] ^ S7[x[0x7]] ^ S8[x[0x6]] ^ S5[x[0x3]];
    out[13] = S5[x[0xA]] ^ S6[x[0xB]] ^ S7[x[0x5]] ^ S8[x[0x4]] ^ S6[x[0x7]];
    out[14] = S5[x[0xC]] ^ S6[x[0xD]] ^ S7[x[0x3]] ^ S8[x[0x2]] ^ S7[x[0x8]];
    out[15] = S5[x[0xE]] ^ S6[x[0xF]] ^ S7[x[0x1]] ^ S8[x[0x0]] ^ S8[x[0xD]];
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
  Regs r{};
  std::memcpy(r.x, key, len < 16 ? len : 16);
  rounds_ = len <= 10 ? 12 : 16;
  uint32_t k[32];
  Schedule(r, k);
  for (int i = 0; i < 16; ++i) {
    km_[i] = k[i];
    kr_[i] = uint8_t(k[16 + i] & 31);
  }
  SecureWipe(&r, sizeof r);
  SecureWipe(k, sizeof k);
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
