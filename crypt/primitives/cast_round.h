// The three round functions that CAST-128 and CAST-256 share.
#pragma once

#include <cstdint>

#include "crypt/primitives/bytes.h"
#include "crypt/primitives/cast_sboxes.h"

namespace tvcrypt::prim::cast {

inline uint32_t F1(uint32_t d, uint32_t km, unsigned kr) {
  const uint32_t i = Rotl32(km + d, kr);
  return ((kCastS[0][i >> 24] ^ kCastS[1][(i >> 16) & 0xff]) - kCastS[2][(i >> 8) & 0xff]) +
         kCastS[3][i & 0xff];
}
inline uint32_t F2(uint32_t d, uint32_t km, unsigned kr) {
  const uint32_t i = Rotl32(km ^ d, kr);
  return ((kCastS[0][i >> 24] - kCastS[1][(i >> 16) & 0xff]) + kCastS[2][(i >> 8) & 0xff]) ^
         kCastS[3][i & 0xff];
}
inline uint32_t F3(uint32_t d, uint32_t km, unsigned kr) {
  const uint32_t i = Rotl32(km - d, kr);
  return ((kCastS[0][i >> 24] + kCastS[1][(i >> 16) & 0xff]) ^ kCastS[2][(i >> 8) & 0xff]) -
         kCastS[3][i & 0xff];
}

}  // namespace tvcrypt::prim::cast
