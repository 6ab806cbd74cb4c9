// Byte-order loads and stores, rotations and a wipe that the optimiser cannot drop.
// Algorithms never cast byte buffers to words: input may be unaligned and the host may be of
// either byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t LoadBe64(const uint8_t* p) { return uint64_t(LoadBe32(p)) << 32 | LoadBe32(p + 4); }
inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline void StoreBe64(uint8_t* p, uint64_t v) {
  StoreBe32(p, uint32_t(v >> 32));
  StoreBe32(p + 4, uint32_t(v));
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
  StoreLe32(p, uint32_t(v));
  StoreLe32(p + 4, uint32_t(v >> 32));
}

constexpr uint32_t Rotl32(uint32_t v, unsigned n) {
  n &= 31;
  return n ? (v << n) | (v >> (32 - n)) : v;
}
constexpr uint32_t Rotr32(uint32_t v, unsigned n) {
  n &= 31;
  return n ? (v >> n) | (v << (32 - n)) : v;
}
constexpr uint64_t Rotr64(uint64_t v, unsigned n) {
  n &= 63;
  return n ? (v >> n) | (v << (64 - n)) : v;
}

// Overwrites key material. The volatile stores keep the compiler from treating the buffer as
// dead and removing the loop before the object goes away.
inline void SecureWipe(void* p, size_t n) {
  volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
  while (n--) *b++ = 0;
}

}  // namespace tvcrypt::prim
