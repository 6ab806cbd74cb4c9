#include "crypt/primitives/md5.h"

namespace tvcrypt::prim {
namespace {

// floor(2^32 * |sin(i)|) for i = 1..64 (tools/gen_constants.py md5).
// clang-format off
constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
// clang-format on
// clang-format off
constexpr unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
// clang-format on

}  // namespace

void Md5::Init() {
  buf_.Clear();
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
}

void Md5::Compress(const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int k;
    switch (i >> 4) {
      case 0:
        f = (b & c) | (~b & d);
        k = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        k = (5 * i + 1) & 15;
        break;
      case 2:
        f = b ^ c ^ d;
        k = (3 * i + 5) & 15;
        break;
      default:
        f = c ^ (b | ~d);
        k = (7 * i) & 15;
        break;
    }
    const uint32_t t = d;
    d = c;
    c = b;
    b = b + Rotl32(a + f + kT[i] + x[k], kShift[i >> 4][i & 3]);
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  SecureWipe(x, sizeof x);
}

void Md5::Update(const uint8_t* data, size_t n) {
  buf_.Absorb(data, n, [this](const uint8_t* b) { Compress(b); });
}

void Md5::Final(uint8_t* digest) {
  const uint64_t bits = buf_.BitsLo();
  buf_.Pad(0x80, 56, [this](const uint8_t* b) { Compress(b); });
  StoreLe64(buf_.Block() + 56, bits);
  Compress(buf_.Block());
  for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, state_[i]);
  Wipe();
}

void Md5::Wipe() {
  SecureWipe(state_, sizeof state_);
  buf_.Clear();
}

}  // namespace tvcrypt::prim
