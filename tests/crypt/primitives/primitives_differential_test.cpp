// Our primitives against Crypto++ on random keys, blocks and messages. Keys have the lengths the
// envelope produces (64, 128, 160, 192, 256, 448 and 512 bits, cut to each cipher's maximum),
// and the reference gets them widened by the rules our ciphers follow.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/arc4.h>
#include <cryptopp/md5.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "crypt/primitives/md5.h"
#include "crypt/primitives/rc4.h"
#include "crypt/primitives/sha1.h"
#include "crypt/primitives/sha256.h"
#include "crypt/primitives/sha512.h"
#include "test_util.h"

namespace primtest {
namespace {

using namespace tvcrypt::prim;

constexpr size_t kEnvelopeKeyBytes[] = {8, 16, 20, 24, 32, 56, 64};

Bytes ZeroExtend(Bytes key, size_t n) {
  key.resize(std::max(key.size(), n), 0);
  return key;
}

// The key the standard algorithm sees for a key of key.size() bytes given to our cipher.
Bytes Widened(const std::string& algorithm, const Bytes& key) {
  const size_t n = key.size();
  if (algorithm == "Rijndael" || algorithm == "Twofish")
    return ZeroExtend(key, n <= 16 ? 16 : n <= 24 ? 24 : 32);
  if (algorithm == "TripleDES") return ZeroExtend(key, n <= 16 ? 16 : 24);  // 16 bytes: K3 = K1
  if (algorithm == "Cast256") return ZeroExtend(key, 32);
  if (algorithm == "DES") return ZeroExtend(key, 8);
  if (algorithm == "IDEA") return ZeroExtend(key, 16);
  return key;  // Blowfish uses its bytes cyclically; CAST-128 pads and picks its rounds itself
}

class BlockCipherVsCryptopp : public ::testing::TestWithParam<const char*> {};

TEST_P(BlockCipherVsCryptopp, EnvelopeKeyLengthsOverRandomBlocks) {
  const std::string name = GetParam();
  std::mt19937 rng(0x5eed ^ uint32_t(name.size()));
  auto c = MakeBlockCipher(name);
  const size_t bs = c->BlockBytes();
  for (size_t envelopeLen : kEnvelopeKeyBytes) {
    const size_t len = std::min(envelopeLen, c->MaxKeyBytes());
    for (int k = 0; k < 3; ++k) {
      const Bytes key = RandomBytes(rng, len);
      SCOPED_TRACE(name + " key " + ToHex(key));
      c->SetKey(key);
      for (int b = 0; b < 64; ++b) {
        const Bytes in = RandomBytes(rng, bs);
        Bytes ref;
        ASSERT_TRUE(ReferenceEncrypt(name, Widened(name, key), in, ref));
        // In place and at an odd address: the primitives take unaligned, aliased buffers.
        Bytes buf(bs + 1);
        std::copy(in.begin(), in.end(), buf.begin() + 1);
        c->Encrypt(buf.data() + 1, buf.data() + 1);
        ASSERT_EQ(ToHex(Bytes(buf.begin() + 1, buf.end())), ToHex(ref)) << "block " << ToHex(in);
        c->Decrypt(buf.data() + 1, buf.data() + 1);
        ASSERT_EQ(ToHex(Bytes(buf.begin() + 1, buf.end())), ToHex(in));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, BlockCipherVsCryptopp, ::testing::ValuesIn(kBlockCiphers),
                         [](const auto& info) { return std::string(info.param); });

// Shorter keys are the standard's keys of those lengths where the standard defines them, and
// the widening above is really a zero extension: both views must agree with the reference.
TEST(BlockCipherWidening, ShortKeysAreTheStandardsOwnShortKeys) {
  std::mt19937 rng(7);
  struct Case {
    const char* name;
    size_t len;
  } cases[] = {{"Cast256", 16}, {"Cast256", 20}, {"Cast256", 24}, {"Cast128", 5},
               {"Cast128", 10}, {"Cast128", 11}, {"Twofish", 20}, {"Rijndael", 20}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(std::string(tc.name) + " " + std::to_string(tc.len));
    const Bytes key = RandomBytes(rng, tc.len);
    auto c = MakeBlockCipher(tc.name);
    c->SetKey(key);
    for (int b = 0; b < 16; ++b) {
      const Bytes in = RandomBytes(rng, c->BlockBytes());
      Bytes ours(in.size()), natural, widened;
      c->Encrypt(in.data(), ours.data());
      ASSERT_TRUE(ReferenceEncrypt(tc.name, Widened(tc.name, key), in, widened));
      EXPECT_EQ(ToHex(ours), ToHex(widened));
      if (ReferenceEncrypt(tc.name, key, in, natural)) {
        EXPECT_EQ(ToHex(ours), ToHex(natural));
      }
    }
  }
}

// Triple DES with 20 bytes: K3 is key bytes 16-19 followed by four zero bytes.
TEST(BlockCipherWidening, TripleDesTwentyByteKeyPadsK3) {
  std::mt19937 rng(11);
  const Bytes key = RandomBytes(rng, 20);
  Bytes k3 = ZeroExtend(key, 24);
  ASSERT_EQ(k3[20] | k3[21] | k3[22] | k3[23], 0);
  auto c = MakeBlockCipher("TripleDES");
  c->SetKey(key);
  const Bytes in = RandomBytes(rng, 8);
  Bytes ours(8), ref;
  c->Encrypt(in.data(), ours.data());
  ASSERT_TRUE(ReferenceEncrypt("TripleDES", k3, in, ref));
  EXPECT_EQ(ToHex(ours), ToHex(ref));
  // and not two-key triple DES on the first 16 bytes
  ASSERT_TRUE(ReferenceEncrypt("TripleDES", Bytes(key.begin(), key.begin() + 16), in, ref));
  EXPECT_NE(ToHex(ours), ToHex(ref));
}

template <class Ours, class Ref>
void CompareDigest(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {1000u, 4097u, 65539u}) lengths.push_back(n);
  for (size_t n : lengths) {
    const Bytes msg = RandomBytes(rng, n);
    Ref ref;
    Bytes want(ref.DigestSize());
    ref.CalculateDigest(want.data(), msg.data(), msg.size());

    Ours h;
    Bytes got(Ours::kDigestBytes);
    h.Init();
    h.Update(msg.data(), msg.size());
    h.Final(got.data());
    ASSERT_EQ(ToHex(got), ToHex(want)) << "one call, length " << n;

    // The same message fed in up to four pieces split at random points.
    std::vector<size_t> cuts = {0, n};
    for (int i = 0; i < 3; ++i) cuts.push_back(n ? rng() % (n + 1) : 0);
    std::sort(cuts.begin(), cuts.end());
    h.Init();
    for (size_t i = 0; i + 1 < cuts.size(); ++i)
      h.Update(msg.data() + cuts[i], cuts[i + 1] - cuts[i]);
    h.Final(got.data());
    ASSERT_EQ(ToHex(got), ToHex(want)) << "split, length " << n;
  }
}

TEST(DigestVsCryptopp, Md5) { CompareDigest<Md5, CryptoPP::Weak::MD5>(1); }
TEST(DigestVsCryptopp, Sha1) { CompareDigest<Sha1, CryptoPP::SHA1>(2); }
TEST(DigestVsCryptopp, Sha256) { CompareDigest<Sha256, CryptoPP::SHA256>(3); }
TEST(DigestVsCryptopp, Sha512) { CompareDigest<Sha512, CryptoPP::SHA512>(4); }

TEST(Rc4VsCryptopp, OneCallIsStandardRc4AndResetRestarts) {
  std::mt19937 rng(5);
  for (size_t len : {1u, 8u, 16u, 20u, 24u, 32u, 56u, 64u, 255u, 256u}) {
    const Bytes key = RandomBytes(rng, len);
    const Bytes msg = RandomBytes(rng, 1 + rng() % 3000);
    Bytes want(msg.size());
    CryptoPP::Weak::ARC4 ref(key.data(), key.size());
    ref.ProcessData(want.data(), msg.data(), msg.size());

    Rc4 rc4;
    rc4.SetKey(key.data(), key.size());
    Bytes got = msg;
    rc4.Process(got.data(), got.data(), got.size());
    ASSERT_EQ(ToHex(got), ToHex(want)) << "key " << ToHex(key);
    rc4.Reset();
    got = msg;
    rc4.Process(got.data(), got.data(), got.size());
    ASSERT_EQ(ToHex(got), ToHex(want)) << "after Reset, key " << ToHex(key);
  }
}

}  // namespace
}  // namespace primtest
