#include "crypt/primitives/cast256.h"

#include <cstring>

#include "crypt/primitives/bytes.h"
#include "crypt/primitives/cast_round.h"

namespace tvcrypt::prim {
namespace {

using cast::F1;
using cast::F2;
using cast::F3;

// Forward quad-round Q and reverse quad-round QBAR on the block words a, b, c, d.
inline void Q(uint32_t* w, const uint32_t* km, const uint8_t* kr) {
  w[2] ^= F1(w[3], km[0], kr[0]);
  w[1] ^= F2(w[2], km[1], kr[1]);
  w[0] ^= F3(w[1], km[2], kr[2]);
  w[3] ^= F1(w[0], km[3], kr[3]);
}
inline void Qbar(uint32_t* w, const uint32_t* km, const uint8_t* kr) {
  w[3] ^= F1(w[0], km[3], kr[3]);
  w[0] ^= F3(w[1], km[2], kr[2]);
  w[1] ^= F2(w[2], km[1], kr[1]);
  w[2] ^= F1(w[3], km[0], kr[0]);
}

}  // namespace

void Cast256::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[32] = {};
  std::memcpy(k, key, len < 32 ? len : 32);
  uint32_t kappa[8];  // A..H
  for (int i = 0; i < 8; ++i) kappa[i] = LoadBe32(k + 4 * i);
  // The schedule's own masking and rotation constants advance through the whole schedule:
  // masks from 2^30 * sqrt(2) in steps of 2^30 * sqrt(3), rotations from 19 in steps of 17.
  uint32_t tm = 0x5a827999;
  unsigned tr = 19;
  for (int i = 0; i < 12; ++i) {
    for (int octave = 0; octave < 2; ++octave) {
      uint32_t m[8];
      unsigned r[8];
      for (int j = 0; j < 8; ++j) {
        m[j] = tm;
        tm += 0x6ed9eba1;
        r[j] = tr;
        tr = (tr + 17) & 31;
      }
      uint32_t* a = kappa;  // a[0] = A ... a[7] = H
      a[6] ^= F1(a[7], m[0], r[0]);
      a[5] ^= F2(a[6], m[1], r[1]);
      a[4] ^= F3(a[5], m[2], r[2]);
      a[3] ^= F1(a[4], m[3], r[3]);
      a[2] ^= F2(a[3], m[4], r[4]);
      a[1] ^= F3(a[2], m[5], r[5]);
      a[0] ^= F1(a[1], m[6], r[6]);
      a[7] ^= F2(a[0], m[7], r[7]);
    }
    kr_[i][0] = uint8_t(kappa[0] & 31);
    kr_[i][1] = uint8_t(kappa[2] & 31);
    kr_[i][2] = uint8_t(kappa[4] & 31);
    kr_[i][3] = uint8_t(kappa[6] & 31);
    km_[i][0] = kappa[7];
    km_[i][1] = kappa[5];
    km_[i][2] = kappa[3];
    km_[i][3] = kappa[1];
  }
  SecureWipe(k, sizeof k);
  SecureWipe(kappa, sizeof kappa);
}

void Cast256::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t w[4];
  for (int i = 0; i < 4; ++i) w[i] = LoadBe32(in + 4 * i);
  for (int i = 0; i < 6; ++i) Q(w, km_[i], kr_[i]);
  for (int i = 6; i < 12; ++i) Qbar(w, km_[i], kr_[i]);
  for (int i = 0; i < 4; ++i) StoreBe32(out + 4 * i, w[i]);
}

void Cast256::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  uint32_t w[4];
  for (int i = 0; i < 4; ++i) w[i] = LoadBe32(in + 4 * i);
  for (int i = 11; i >= 6; --i) Q(w, km_[i], kr_[i]);
  for (int i = 5; i >= 0; --i) Qbar(w, km_[i], kr_[i]);
  for (int i = 0; i < 4; ++i) StoreBe32(out + 4 * i, w[i]);
}

void Cast256::Wipe() {
  SecureWipe(km_, sizeof km_);
  SecureWipe(kr_, sizeof kr_);
}

}  // namespace tvcrypt::prim
