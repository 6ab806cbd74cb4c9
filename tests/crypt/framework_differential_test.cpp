// Every cipher and digest of the catalogue, through the framework, against Crypto++: all key
// lengths an envelope can produce, every chaining mode, message lengths around the block size.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/aes.h>
#include <cryptopp/arc4.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/cast.h>
#include <cryptopp/des.h>
#include <cryptopp/idea.h>
#include <cryptopp/md5.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <cryptopp/twofish.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "crypt/ciphers.h"
#include "crypt/hashes.h"
#include "tests/crypt/crypt_test_util.h"

namespace tvcrypt::test {
namespace {

Bytes ZeroExtend(const Bytes& key, std::size_t n) {
  Bytes k = key;
  k.resize(std::max(n, key.size()), 0);
  return k;
}

struct Enc {
  template <class A>
  using Of = typename A::Encryption;
};
struct Dec {
  template <class A>
  using Of = typename A::Decryption;
};

template <class Dir, class Algo>
std::unique_ptr<CryptoPP::BlockCipher> Make(const Bytes& key) {
  return std::make_unique<typename Dir::template Of<Algo>>(key.data(), key.size());
}

// Crypto++'s object for catalogue cipher `number`, keyed the way the catalogue widens a key of
// key.size() bytes.
template <class Dir>
std::unique_ptr<CryptoPP::BlockCipher> Reference(int number, const Bytes& key) {
  using namespace CryptoPP;
  const std::size_t aes_len = key.size() <= 16 ? 16 : key.size() <= 24 ? 24 : 32;
  switch (number) {
    case 0: return Make<Dir, Blowfish>(key);
    case 1: return Make<Dir, CAST128>(key);  // Crypto++ zero-pads and uses 12 rounds up to 80 bits
    case 2: return Make<Dir, CAST256>(ZeroExtend(key, 32));
    case 3: return Make<Dir, DES>(key);
    case 4: {
      const Bytes k = ZeroExtend(key, 24);
      Bytes full(k.begin(), k.begin() + 16);  // K1 K2, then K3 (K1 again for short keys)
      const std::size_t k3 = key.size() <= 16 ? 0 : 16;
      full.insert(full.end(), k.begin() + k3, k.begin() + k3 + 8);
      return Make<Dir, DES_EDE3>(full);
    }
    case 5: return Make<Dir, AES>(ZeroExtend(key, aes_len));
    case 7: return Make<Dir, Twofish>(ZeroExtend(key, aes_len));
    case 8: return Make<Dir, IDEA>(ZeroExtend(key, 16));
  }
  return nullptr;
}

// Key lengths an envelope produces: min(cipher max, digest size) for every digest, plus the
// shorter lengths 64 and 192 that also occur, each capped by the cipher's maximum.
std::set<std::size_t> KeyBits(int max_bits) {
  std::set<std::size_t> bits;
  for (int b : {64, 128, 160, 192, 256, 448, 512})
    bits.insert(static_cast<std::size_t>(std::min(b, max_bits)));
  return bits;
}

enum class Mode { kCBC, kCFBblock, kOFB, kCTR, kCFB8 };

Bytes ReferenceMode(Mode mode, CryptoPP::BlockCipher& e, const Bytes& iv, const Bytes& plain) {
  using namespace CryptoPP;
  std::unique_ptr<StreamTransformation> t;
  switch (mode) {
    case Mode::kCBC: t = std::make_unique<CBC_Mode_ExternalCipher::Encryption>(e, iv.data()); break;
    case Mode::kCFBblock:
      t = std::make_unique<CFB_Mode_ExternalCipher::Encryption>(e, iv.data());
      break;
    case Mode::kOFB: t = std::make_unique<OFB_Mode_ExternalCipher::Encryption>(e, iv.data()); break;
    case Mode::kCTR: t = std::make_unique<CTR_Mode_ExternalCipher::Encryption>(e, iv.data()); break;
    case Mode::kCFB8:
      t = std::make_unique<CFB_Mode_ExternalCipher::Encryption>(e, iv.data(), 1);
      break;
  }
  Bytes out(plain.size());
  if (!plain.empty()) t->ProcessData(out.data(), plain.data(), plain.size());
  return out;
}

class CipherDifferential : public CryptParamTest<int> {};

TEST_P(CipherDifferential, MatchesCryptoppInEveryModeAndKeyLength) {
  const int number = GetParam();
  auto c = BlockCipher(number);
  const std::size_t n = c->GetBlockSize() / 8;
  const Bytes iv = Pattern(n, 77);
  const Mode modes[] = {Mode::kCBC, Mode::kCFBblock, Mode::kOFB, Mode::kCTR, Mode::kCFB8};
  const TCrypt_ciphermode ours[] = {cmCBC, cmCFBblock, cmOFB, cmCTR, cmCFB8bit};

  for (std::size_t bits : KeyBits(c->GetMaxKeySize())) {
    const Bytes key = Pattern(bits / 8, static_cast<std::uint8_t>(bits));
    auto ref = Reference<Enc>(number, key);
    auto ref_dec = Reference<Dec>(number, key);

    // One block both ways.
    const Bytes block = Pattern(n, 3);
    Bytes mine(n), theirs(n);
    c->Init(key.data(), static_cast<std::uint32_t>(bits), iv.data());
    c->EncryptECB(block.data(), mine.data());
    ref->ProcessBlock(block.data(), theirs.data());
    ASSERT_EQ(Hex(mine), Hex(theirs)) << "ECB, key bits " << bits;
    c->DecryptECB(theirs.data(), mine.data());
    ASSERT_EQ(mine, block);
    ref_dec->ProcessBlock(theirs.data(), mine.data());  // keeps the Decryption object honest too
    ASSERT_EQ(mine, block);

    for (std::size_t m = 0; m < std::size(modes); ++m) {
      for (std::size_t len : {std::size_t{0}, std::size_t{1}, n - 1, n, 3 * n + 5}) {
        SCOPED_TRACE(testing::Message()
                     << "key bits " << bits << " mode " << m << " length " << len);
        const Bytes plain = Pattern(len, static_cast<std::uint8_t>(len + m));
        c->SetCipherMode(ours[m]);
        c->SetIV(iv.data());
        Bytes got(len);
        c->Encrypt(plain.data(), got.data(), len);

        Bytes expected;
        if (modes[m] == Mode::kCBC) {
          // Whole blocks are standard CBC; the tail is combined with E(last ciphertext block).
          const std::size_t whole = len / n * n;
          expected = ReferenceMode(modes[m], *ref, iv, Bytes(plain.begin(), plain.begin() + whole));
          if (whole < len) {
            Bytes cv = whole ? Bytes(expected.end() - n, expected.end()) : iv, t(n);
            ref->ProcessBlock(cv.data(), t.data());
            for (std::size_t i = whole; i < len; ++i) expected.push_back(plain[i] ^ t[i - whole]);
          }
        } else {
          // A partial last block of CFB, OFB and CTR takes the first bytes of the next keystream
          // block, which is what the reference does as a stream too.
          expected = ReferenceMode(modes[m], *ref, iv, plain);
        }
        EXPECT_EQ(Hex(got), Hex(expected));
        c->Reset();
        c->Decrypt(got.data(), got.data(), len);
        EXPECT_EQ(got, plain);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CipherDifferential, ::testing::ValuesIn(kBlockCipherNumbers));

using StreamDifferential = CryptTest;

TEST_F(StreamDifferential, Rc4OneCallIsStandardRc4) {
  for (std::size_t bits : {64, 128, 160, 192, 256, 448, 512, 2048}) {
    const Bytes key = Pattern(bits / 8, 9);
    const Bytes plain = Pattern(300, 1);
    TCrypt_rc4 c;
    c.Init(key.data(), static_cast<std::uint32_t>(bits), nullptr);
    Bytes got(plain.size()), expected(plain.size());
    c.Encrypt(plain.data(), got.data(), plain.size());
    CryptoPP::Weak::ARC4 ref(key.data(), key.size());
    ref.ProcessData(expected.data(), plain.data(), plain.size());
    EXPECT_EQ(Hex(got), Hex(expected)) << bits;
  }
}

TEST_F(StreamDifferential, Rc4RestartsItsIndicesAtEveryCall) {
  const Bytes key = Pattern(16);
  const Bytes zeros(2, 0);
  TCrypt_rc4 whole, split;
  whole.Init(key.data(), 128, nullptr);
  split.Init(key.data(), 128, nullptr);
  Bytes a(2), b(2);
  whole.Encrypt(zeros.data(), a.data(), 2);
  split.Encrypt(zeros.data(), b.data(), 1);
  split.Encrypt(zeros.data(), b.data() + 1, 1);
  EXPECT_EQ(a[0], b[0]);
  EXPECT_NE(a[1], b[1]);
  // Reset restores the permutation saved after the key schedule.
  Bytes again(2);
  whole.Reset();
  whole.Encrypt(zeros.data(), again.data(), 2);
  EXPECT_EQ(again, a);
  // The string operations are the same calls: one whole message per call.
  whole.Reset();
  const Text enc = whole.EncryptString(Text(u"stream"));
  whole.Reset();
  EXPECT_EQ(whole.DecryptString(enc), u"stream");
}

using DigestDifferential = CryptTest;

TEST_F(DigestDifferential, MatchesCryptoppForLengthsAroundTheBlockAndSplitFeeding) {
  CryptoPP::Weak::MD5 md5;
  CryptoPP::SHA1 sha1;
  CryptoPP::SHA256 sha256;
  CryptoPP::SHA512 sha512;
  const std::pair<int, CryptoPP::HashTransformation*> rows[] = {
      {1, &md5}, {2, &sha1}, {3, &sha256}, {4, &sha512}};
  for (const auto& [number, ref] : rows) {
    auto h = CreateHashById(number);
    for (std::size_t len : {0, 1, 55, 56, 63, 64, 111, 112, 127, 128, 129, 1000}) {
      SCOPED_TRACE(testing::Message() << "digest " << number << " length " << len);
      const Bytes msg = Pattern(len, 11);
      Bytes got(h->GetHashSize() / 8), split(got.size()), expected(ref->DigestSize());
      h->Init();
      h->Update(msg.data(), msg.size());
      h->Final(got.data());
      h->Init();
      for (std::size_t i = 0; i < len; i += 13)
        h->Update(msg.data() + i, std::min<std::size_t>(13, len - i));
      h->Final(split.data());
      ref->CalculateDigest(expected.data(), msg.data(), msg.size());
      EXPECT_EQ(Hex(got), Hex(expected));
      EXPECT_EQ(split, got);
    }
  }
}

}  // namespace
}  // namespace tvcrypt::test
