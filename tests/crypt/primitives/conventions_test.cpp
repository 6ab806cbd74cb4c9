// The points where our primitives deliberately differ from plain library use: the RC4 call
// convention, HAVAL's finishing in our envelopes, and wiping of key material. Also the CAST-128
// maintenance test of RFC 2144.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "crypt/primitives/blowfish.h"
#include "crypt/primitives/cast128.h"
#include "crypt/primitives/cast256.h"
#include "crypt/primitives/des.h"
#include "crypt/primitives/haval.h"
#include "crypt/primitives/idea.h"
#include "crypt/primitives/md5.h"
#include "crypt/primitives/rc4.h"
#include "crypt/primitives/rijndael.h"
#include "crypt/primitives/sha1.h"
#include "crypt/primitives/sha256.h"
#include "crypt/primitives/sha512.h"
#include "crypt/primitives/triple_des.h"
#include "crypt/primitives/twofish.h"
#include "test_util.h"

namespace primtest {
namespace {

using namespace tvcrypt::prim;

// RC4 as our callers use it, written out plainly: standard key scheduling once, then every call
// generates from i = j = 0 over the permutation the previous call left.
struct Rc4Model {
  uint8_t s[256];
  explicit Rc4Model(const Bytes& key) {
    for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
    for (int i = 0, j = 0; i < 256; ++i) {
      j = (j + s[i] + key[size_t(i) % key.size()]) & 255;
      std::swap(s[i], s[j]);
    }
  }
  void Call(uint8_t* data, size_t n) {
    for (size_t k = 0, i = 0, j = 0; k < n; ++k) {
      i = (i + 1) & 255;
      j = (j + s[i]) & 255;
      std::swap(s[i], s[j]);
      data[k] ^= s[(s[i] + s[j]) & 255];
    }
  }
};

TEST(Rc4Convention, EveryCallRestartsTheIndicesButKeepsThePermutation) {
  std::mt19937 rng(21);
  int secondByteDiffers = 0;
  for (int t = 0; t < 50; ++t) {
    const Bytes key = RandomBytes(rng, 1 + rng() % 32);
    Rc4 rc4;
    rc4.SetKey(key.data(), key.size());
    Bytes whole(2, 0), split(2, 0);
    rc4.Process(whole.data(), whole.data(), 2);
    rc4.Reset();
    rc4.Process(split.data(), split.data(), 1);
    rc4.Process(split.data() + 1, split.data() + 1, 1);
    EXPECT_EQ(split[0], whole[0]);
    secondByteDiffers += split[1] != whole[1];

    // Longer messages cut at random points follow the model call by call.
    Rc4Model model(key);
    rc4.Reset();
    for (int call = 0; call < 5; ++call) {
      Bytes a = RandomBytes(rng, rng() % 600), b = a;
      rc4.Process(a.data(), a.data(), a.size());
      model.Call(b.data(), b.size());
      ASSERT_EQ(ToHex(a), ToHex(b)) << "call " << call;
    }
  }
  // The second one-byte call reads another keystream position (equal only by chance).
  EXPECT_GT(secondByteDiffers, 40);
}

// HAVAL-256/5 initial state: the first eight words of the fractional part of pi.
constexpr uint32_t kHavalIv[8] = {0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344,
                                  0xa4093822, 0x299f31d0, 0x082efa98, 0xec4e6c89};

// Pads by hand through the bare compression function: marker, zeros, 0x29 0x40 at 118/119 and
// the 64-bit little-endian bit length at 120.
Bytes HavalByHand(const Bytes& msg, uint8_t marker) {
  uint32_t st[8];
  std::memcpy(st, kHavalIv, sizeof st);
  Bytes m = msg;
  m.push_back(marker);
  while (m.size() % 128 != 118) m.push_back(0);
  m.push_back(0x29);
  m.push_back(0x40);
  const uint64_t bits = uint64_t(msg.size()) * 8;
  for (int i = 0; i < 8; ++i) m.push_back(uint8_t(bits >> (8 * i)));
  for (size_t off = 0; off < m.size(); off += 128) Haval::Compress(st, m.data() + off);
  Bytes d(32);
  for (int i = 0; i < 32; ++i) d[size_t(i)] = uint8_t(st[i / 4] >> (8 * (i % 4)));
  return d;
}

TEST(HavalFinishing, EmptyMessageIsOneBlockWith80And2940) {
  uint8_t block[128] = {};
  block[0] = 0x80;
  block[118] = 0x29;
  block[119] = 0x40;
  uint32_t st[8];
  std::memcpy(st, kHavalIv, sizeof st);
  Haval::Compress(st, block);
  Bytes want(32);
  for (int i = 0; i < 32; ++i) want[size_t(i)] = uint8_t(st[i / 4] >> (8 * (i % 4)));

  Haval h;
  h.Init();
  Bytes got(32);
  h.Final(got.data());
  EXPECT_EQ(ToHex(got), ToHex(want));
  // HAVAL's own empty-message value differs (marker 0x01).
  EXPECT_NE(ToHex(got), "be417bb4dd5cfb76c7126f4f8eeb1553a449039307b1a3cd451dbfdc0fbbe330");
}

TEST(HavalFinishing, BothFinishingsMatchHandPaddingAcrossBlockBoundaries) {
  std::mt19937 rng(31);
  for (size_t n = 0; n <= 300; ++n) {  // 117/118 and 245/246 decide whether a block is added
    const Bytes msg = RandomBytes(rng, n);
    Haval h;
    Bytes got(32);
    h.Init();
    const size_t cut = n ? rng() % n : 0;
    h.Update(msg.data(), cut);
    h.Update(msg.data() + cut, n - cut);
    h.Final(got.data());
    ASSERT_EQ(ToHex(got), ToHex(HavalByHand(msg, 0x80))) << "length " << n;
    h.Init();
    h.Update(msg.data(), n);
    h.FinalStandard(got.data());
    ASSERT_EQ(ToHex(got), ToHex(HavalByHand(msg, 0x01))) << "standard, length " << n;
  }
}

// After Wipe no byte of the object is left non-zero: no key schedule, state or buffer survives.
template <class T, class Use>
void ExpectWipedClean(Use use) {
  alignas(T) std::array<unsigned char, sizeof(T)> storage{};
  T* obj = std::construct_at(reinterpret_cast<T*>(storage.data()));
  use(*obj);
  obj->Wipe();
  size_t nonzero = 0;
  for (unsigned char b : storage) nonzero += b != 0;
  EXPECT_EQ(nonzero, 0u) << typeid(T).name();
  std::destroy_at(obj);
}

TEST(Wipe, LeavesNoKeyMaterial) {
  std::mt19937 rng(41);
  const Bytes key = RandomBytes(rng, 64);
  auto cipher = [&](auto& c) {
    c.SetKey(key.data(), std::min<size_t>(c.kMaxKeyBytes, 20));
    uint8_t block[16] = {1, 2, 3};
    c.EncryptBlock(block, block);
  };
  auto digest = [&](auto& h) {
    h.Init();
    h.Update(key.data(), 61);  // leaves a partial block in the buffer
  };
  ExpectWipedClean<Blowfish>(cipher);
  ExpectWipedClean<Cast128>(cipher);
  ExpectWipedClean<Cast256>(cipher);
  ExpectWipedClean<Des>(cipher);
  ExpectWipedClean<TripleDes>(cipher);
  ExpectWipedClean<Rijndael>(cipher);
  ExpectWipedClean<Twofish>(cipher);
  ExpectWipedClean<Idea>(cipher);
  ExpectWipedClean<Rc4>([&](Rc4& r) {
    r.SetKey(key.data(), 20);
    uint8_t b[4] = {};
    r.Process(b, b, 4);
  });
  ExpectWipedClean<Haval>(digest);
  ExpectWipedClean<Md5>(digest);
  ExpectWipedClean<Sha1>(digest);
  ExpectWipedClean<Sha256>(digest);
  ExpectWipedClean<Sha512>(digest);
}

// RFC 2144 appendix B.2: a million rounds of keying each half of two 128-bit values with the
// other and encrypting it; exercises the key schedule on a long chain of unrelated keys.
TEST(Cast128, MaintenanceTest) {
  Bytes a = FromHex("0123456712345678234567893456789a"), b = a;
  Cast128 c;
  for (int i = 0; i < 1000000; ++i) {
    c.SetKey(b.data(), 16);
    c.EncryptBlock(a.data(), a.data());
    c.EncryptBlock(a.data() + 8, a.data() + 8);
    c.SetKey(a.data(), 16);
    c.EncryptBlock(b.data(), b.data());
    c.EncryptBlock(b.data() + 8, b.data() + 8);
  }
  EXPECT_EQ(ToHex(a), "eea9d0a249fd3ba6b3436fb89d6dca92");
  EXPECT_EQ(ToHex(b), "b2c95eb00c31ad7180ac05b8e83d696e");
}

}  // namespace
}  // namespace primtest
