// The cipher framework's own rules: key sizes, IV handling, mode tails, the counter, string
// operations, Base64 and digest life cycle. Agreement with an independent library is in
// framework_differential_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "crypt/base64.h"
#include "crypt/catalogue.h"
#include "crypt/ciphers.h"
#include "crypt/hashes.h"
#include "tests/crypt/crypt_test_util.h"

namespace tvcrypt::test {
namespace {

using FrameworkTest = CryptTest;

// --- Catalogue ----------------------------------------------------------------------------------

struct CipherRow {
  int number, id;
  const char16_t* name;
  int block_bits;  // -1: the stream cipher
  int max_key_bits;
};

TEST_F(FrameworkTest, CipherCatalogueAnswersItsClassValues) {
  const CipherRow rows[] = {
      {0, 5, u"Blowfish", 64, 448}, {1, 7, u"Cast128", 64, 128},  {2, 15, u"Cast256", 128, 256},
      {3, 23, u"DES", 64, 64},      {4, 24, u"3DES", 64, 192},    {5, 9, u"Rijndael", 128, 256},
      {6, 19, u"RC4", -1, 2048},    {7, 6, u"Twofish", 128, 256}, {8, 12, u"IDEA", 64, 128},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.number);
    auto c = CreateCipherById(r.number);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetId(), r.id);
    EXPECT_EQ(c->GetAlgorithm(), r.name);
    EXPECT_EQ(c->GetMaxKeySize(), r.max_key_bits);
    EXPECT_FALSE(c->Initialized());
    auto* block = dynamic_cast<TCrypt_blockcipher*>(c.get());
    EXPECT_EQ(block != nullptr, r.block_bits > 0);
    if (block) {
      EXPECT_EQ(block->GetBlockSize(), r.block_bits);
      EXPECT_EQ(block->CipherMode(), cmCBC);
    }
    EXPECT_TRUE(c->SelfTest()) << "known-answer check failed";
  }
  // Class-level values need no object.
  static_assert(TCrypt_3des::kId == 24 && TCrypt_3des::kMaxKeySize == 192 &&
                TCrypt_3des::kBlockSize == 64);
  static_assert(TCrypt_rc4::kMaxKeySize == 2048 && TCrypt_twofish::kBlockSize == 128);
  for (int bad : {-1, 9, 255, 256 + 6}) EXPECT_EQ(CreateCipherById(bad), nullptr) << bad;
}

TEST_F(FrameworkTest, DigestCatalogueAnswersItsClassValues) {
  struct Row {
    int number, id;
    const char16_t* name;
    int bits;
  } rows[] = {{0, 14, u"Haval (256bit, 5 passes)", 256},
              {1, 16, u"MD5", 128},
              {2, 2, u"SHA1", 160},
              {3, 28, u"SHA256", 256},
              {4, 30, u"SHA512", 512}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.number);
    auto h = CreateHashById(r.number);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->GetId(), r.id);
    EXPECT_EQ(h->GetAlgorithm(), r.name);
    EXPECT_EQ(h->GetHashSize(), r.bits);
    EXPECT_FALSE(h->Initialized());
    EXPECT_TRUE(h->SelfTest());
  }
  static_assert(TCrypt_sha512::kHashSize == 512 && TCrypt_haval::kId == 14);
  for (int bad : {-1, 5, 255}) EXPECT_EQ(CreateHashById(bad), nullptr) << bad;
}

// The spellings a publisher may write in a product description or on stptool's command line.
TEST_F(FrameworkTest, AlgorithmsAreFoundByNumberOrNameInAnyLetterCase) {
  struct Row {
    const char* text;
    int cipher, digest;
  } rows[] = {
      {"5", kRijndael, -1},
      {"rijndael", kRijndael, -1},
      {"AES", kRijndael, -1},
      {"aes", kRijndael, -1},
      {"3des", kTripleDes, -1},
      {"0", kBlowfish, kHaval},
      {"4", kTripleDes, kSha512},
      {"8", kIdea, -1},
      {"sha256", -1, kSha256},
      {"Md5", -1, kMd5},
      {"", -1, -1},
      {"05", -1, -1},
      {"9", -1, -1},
      {"-1", -1, -1},
      {"AES256", -1, -1},
      {" 5", -1, -1},
      {"SHA-256", -1, -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(CipherNumber(r.text), r.cipher);
    EXPECT_EQ(DigestNumber(r.text), r.digest);
  }
}
// --- Key set-up ---------------------------------------------------------------------------------

TEST_F(FrameworkTest, InitChecksTheKeySize) {
  const Bytes key = Pattern(256);
  for (int number = 0; number < kCipherCount; ++number) {
    auto c = CreateCipherById(number);
    const auto max = static_cast<std::uint32_t>(c->GetMaxKeySize());
    SCOPED_TRACE(number);
    for (std::uint32_t bad : {0u, 7u, 13u, max + 1, max + 4, 0xFFFFFFFFu, 0x80000000u}) {
      c->Init(key.data(), 64, nullptr);  // a rejected Init must leave the cipher burned
      try {
        c->Init(key.data(), bad, nullptr);
        ADD_FAILURE() << "size " << bad << " accepted";
      } catch (const ECrypt_cipher& e) {
        EXPECT_EQ(e.Message(), u"Invalid key size") << bad;
      }
      EXPECT_FALSE(c->Initialized()) << bad;
    }
    for (std::uint32_t good : {4u, 12u, 64u, max}) {
      EXPECT_NO_THROW(c->Init(key.data(), good, nullptr)) << good;
      EXPECT_TRUE(c->Initialized());
    }
  }
}

TEST_F(FrameworkTest, FourBitKeyBehavesAsAnAllZeroKey) {
  for (int number = 0; number < kCipherCount; ++number) {
    SCOPED_TRACE(number);
    auto a = CreateCipherById(number), b = CreateCipherById(number);
    const std::uint8_t ignored = 0xAB, zero = 0;
    a->Init(&ignored, 4, nullptr);
    b->Init(&zero, 8, nullptr);
    Bytes x = Pattern(20), y = x;
    a->Encrypt(x.data(), x.data(), x.size());
    b->Encrypt(y.data(), y.data(), y.size());
    EXPECT_EQ(x, y);
  }
}

TEST_F(FrameworkTest, NullIvIsTheEncryptedZeroBlock) {
  const Bytes key = Pattern(32);
  for (int number : kBlockCipherNumbers) {
    SCOPED_TRACE(number);
    auto c = BlockCipher(number);
    c->Init(key.data(), 64, nullptr);
    const std::size_t n = c->GetBlockSize() / 8;
    Bytes zero(n, 0), expected(n), iv(n);
    c->EncryptECB(zero.data(), expected.data());
    c->GetIV(iv.data());
    EXPECT_EQ(iv, expected);
  }
}

TEST_F(FrameworkTest, OperationsBeforeInitOrAfterBurnAreRefused) {
  const Bytes key = Pattern(16);
  Bytes buf(32);
  for (bool burned : {false, true}) {
    auto c = BlockCipher(5);
    if (burned) {
      c->Init(key.data(), 128, nullptr);
      c->Burn();
    }
    const std::function<void()> ops[] = {
        [&] { c->Reset(); },
        [&] { c->SetIV(buf.data()); },
        [&] { c->GetIV(buf.data()); },
        [&] { c->EncryptECB(buf.data(), buf.data()); },
        [&] { c->DecryptECB(buf.data(), buf.data()); },
        [&] { c->EncryptCBC(buf.data(), buf.data(), 0); },
        [&] { c->DecryptCTR(buf.data(), buf.data(), 5); },
        [&] { c->Encrypt(buf.data(), buf.data(), 16); },
        [&] { c->DecryptString(Text(u"QUJD")); },
        [&] { c->EncryptString(std::string("x")); },
    };
    for (std::size_t i = 0; i < std::size(ops); ++i) {
      try {
        ops[i]();
        ADD_FAILURE() << "operation " << i << " ran";
      } catch (const ECrypt_blockcipher& e) {
        EXPECT_EQ(e.Message(), u"Cipher not initialized") << i;
      }
    }
  }
  TCrypt_rc4 rc4;
  try {
    rc4.Encrypt(buf.data(), buf.data(), 1);
    ADD_FAILURE() << "RC4 ran without a key";
  } catch (const ECrypt_blockcipher&) {
    ADD_FAILURE() << "the stream cipher raises the plain cipher error";
  } catch (const ECrypt_cipher& e) {
    EXPECT_EQ(e.Message(), u"Cipher not initialized");
  }
  EXPECT_NO_THROW(rc4.Reset());  // the stream cipher's Reset has no check
}

// --- Modes ---------------------------------------------------------------------------------------

// A 64-bit cipher keyed with a fixed key and IV.
class ModeTest : public FrameworkTest {
 protected:
  void SetUp() override { c_.Init(key_.data(), 128, iv_.data()); }
  Bytes E(Bytes block) const {
    Bytes out(block.size());
    c_.EncryptECB(block.data(), out.data());
    return out;
  }
  Bytes Cv() const {
    Bytes cv(8);
    c_.GetIV(cv.data());
    return cv;
  }
  static Bytes Xor(Bytes a, const Bytes& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
    return a;
  }
  Bytes key_ = Pattern(16, 7);
  Bytes iv_ = Pattern(8, 99);
  TCrypt_blowfish c_;
};

TEST_F(ModeTest, CbcOfThirteenBytesIsOneBlockThenAnEncryptedChainingValue) {
  const Bytes plain = Pattern(13, 3);
  Bytes out(13);
  c_.EncryptCBC(plain.data(), out.data(), 13);

  const Bytes y0 = E(Xor(Bytes(plain.begin(), plain.begin() + 8), iv_));
  const Bytes t = E(y0);
  Bytes expected = y0;
  for (int i = 0; i < 5; ++i) expected.push_back(plain[8 + i] ^ t[i]);
  EXPECT_EQ(Hex(out), Hex(expected));
  EXPECT_EQ(Cv(), t);  // after a tail, CV holds the encrypted value

  c_.Reset();
  c_.DecryptCBC(out.data(), out.data(), 13);  // in place
  EXPECT_EQ(out, plain);
}

TEST_F(ModeTest, EveryModeRoundTripsInPlaceForAllLengths) {
  using Op = void (TCrypt_blockcipher::*)(const void*, void*, std::size_t);
  const std::pair<Op, Op> modes[] = {
      {&TCrypt_blockcipher::EncryptCBC, &TCrypt_blockcipher::DecryptCBC},
      {&TCrypt_blockcipher::EncryptCFB8bit, &TCrypt_blockcipher::DecryptCFB8bit},
      {&TCrypt_blockcipher::EncryptCFBblock, &TCrypt_blockcipher::DecryptCFBblock},
      {&TCrypt_blockcipher::EncryptOFB, &TCrypt_blockcipher::DecryptOFB},
      {&TCrypt_blockcipher::EncryptCTR, &TCrypt_blockcipher::DecryptCTR},
  };
  for (std::size_t m = 0; m < std::size(modes); ++m) {
    for (std::size_t len : {0, 1, 7, 8, 9, 16, 29}) {
      SCOPED_TRACE(testing::Message() << "mode " << m << " length " << len);
      const Bytes plain = Pattern(len, 5);
      Bytes data = plain;
      c_.Reset();
      (c_.*modes[m].first)(data.data(), data.data(), len);
      if (len == 0) {
        EXPECT_EQ(Cv(), iv_) << "an empty call must leave CV alone";
      }
      if (len >= 2) {
        EXPECT_NE(data, plain);
      }
      c_.Reset();
      (c_.*modes[m].second)(data.data(), data.data(), len);
      EXPECT_EQ(data, plain);
    }
  }
}

TEST_F(ModeTest, Cfb8LeavesTheLastCiphertextBytesInTheChainingValue) {
  for (std::size_t len : {8, 11, 40}) {
    c_.Reset();
    Bytes data = Pattern(len);
    c_.EncryptCFB8bit(data.data(), data.data(), len);
    EXPECT_EQ(Cv(), Bytes(data.end() - 8, data.end())) << len;
  }
}

TEST_F(ModeTest, ResetRepeatsTheCiphertextAndContinuingDoesNot) {
  const Bytes plain = Pattern(12);
  Bytes first(12), second(12), again(12);
  c_.EncryptCBC(plain.data(), first.data(), 12);
  c_.EncryptCBC(plain.data(), second.data(), 12);
  c_.Reset();
  c_.EncryptCBC(plain.data(), again.data(), 12);
  EXPECT_NE(first, second);
  EXPECT_EQ(first, again);

  // SetIV replaces the starting value and rewinds to it; GetIV reports CV, not the initial IV.
  const Bytes other_iv = Pattern(8, 42);
  c_.SetIV(other_iv.data());
  EXPECT_EQ(Cv(), other_iv);
}

TEST_F(FrameworkTest, CounterCarriesBigEndianAndWraps) {
  struct Row {
    int cipher;
    Bytes start, next;
  };
  const Row rows[] = {
      {0, {0, 0, 0, 0, 0, 0, 0, 0xFF}, {0, 0, 0, 0, 0, 0, 1, 0}},
      {0, Bytes(8, 0xFF), Bytes(8, 0)},
      {0, {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x13, 0, 0, 0, 0, 0, 0, 0}},
      {5, Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF},
       Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
      {5, Bytes(16, 0xFF), Bytes(16, 0)},
  };
  const Bytes key = Pattern(16);
  for (const auto& r : rows) {
    SCOPED_TRACE(Hex(r.start));
    auto c = BlockCipher(r.cipher);
    c->Init(key.data(), 128, r.start.data());
    const std::size_t n = r.start.size();
    Bytes zeros(2 * n, 0), ks(2 * n), e0(n), e1(n), cv(n);
    c->EncryptCTR(zeros.data(), ks.data(), 2 * n);
    c->EncryptECB(r.start.data(), e0.data());
    c->EncryptECB(r.next.data(), e1.data());
    EXPECT_EQ(Bytes(ks.begin(), ks.begin() + n), e0);
    EXPECT_EQ(Bytes(ks.begin() + n, ks.end()), e1);
    // A tail steps the counter as well.
    c->Reset();
    c->EncryptCTR(zeros.data(), ks.data(), 3);
    c->GetIV(cv.data());
    EXPECT_EQ(cv, r.next);
  }
}

// --- String operations ---------------------------------------------------------------------------

TEST_F(FrameworkTest, StringOperationsIgnoreTheCipherMode) {
  const Bytes key = Pattern(16);
  const Text plain = u"manifest\x4E2D\x6587";
  auto reference = BlockCipher(7);
  reference->Init(key.data(), 128, nullptr);
  const Text expected = reference->EncryptString(plain);
  for (auto mode : {cmCBC, cmCFB8bit, cmCFBblock, cmOFB, cmCTR, TCrypt_ciphermode{9}}) {
    auto c = BlockCipher(7);
    c->SetCipherMode(mode);
    c->Init(key.data(), 128, nullptr);
    EXPECT_EQ(c->EncryptString(plain), expected) << int{mode};
    c->Reset();
    EXPECT_EQ(c->DecryptString(expected), plain) << int{mode};
  }
}

TEST_F(FrameworkTest, WideStringsRoundTripAnyCodeUnit) {
  const Text samples[] = {u"", u"a", Text(u"\0x\0", 3), u"\x4E2D\x6587\x00FF\x0100\xFFFF",
                          Text{u'\xD800'} + u"lone" + Text{u'\xDC00'}};
  const Bytes key = Pattern(32);
  for (int number = 0; number < kCipherCount; ++number) {
    auto c = CreateCipherById(number);
    c->Init(key.data(), 64, nullptr);
    for (const Text& s : samples) {
      c->Reset();
      const Text enc = c->EncryptString(s);
      EXPECT_EQ(enc.size(), 4 * ((2 * s.size() + 2) / 3));
      c->Reset();
      EXPECT_EQ(c->DecryptString(enc), s) << "cipher " << number;
    }
    c->Reset();
    const std::string bytes("\x00\xFF\x80 bytes", 9);
    const std::string enc = c->EncryptString(bytes);
    c->Reset();
    EXPECT_EQ(c->DecryptString(enc), bytes) << "cipher " << number;
  }
}

TEST_F(FrameworkTest, WideDecryptDropsAnOddLastByte) {
  const Bytes key = Pattern(16);
  TCrypt_rijndael a, b;
  a.Init(key.data(), 128, nullptr);
  b.Init(key.data(), 128, nullptr);
  const std::string bytes = b.DecryptString(std::string("QUJD"));  // 3 bytes
  ASSERT_EQ(bytes.size(), 3u);
  const Text one = a.DecryptString(Text(u"QUJD"));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0],
            static_cast<std::uint8_t>(bytes[0]) | (static_cast<std::uint8_t>(bytes[1]) << 8));
  for (const char16_t* short_input : {u"", u"Q", u"QUJ"}) {
    a.Reset();
    EXPECT_EQ(a.DecryptString(Text(short_input)), u"") << "input of " << Text(short_input).size();
  }
}

// --- Base64 --------------------------------------------------------------------------------------

TEST_F(FrameworkTest, Base64DecodesGroupByGroup) {
  struct Row {
    std::string text;
    Bytes bytes;
  } rows[] = {
      {"", {}},
      {"QQ==", {0x41}},
      {"QUI=", {0x41, 0x42}},
      {"QUJD", {0x41, 0x42, 0x43}},
      {"QUJ", {}},
      {"QQ==QUJD", {0x41, 0x41, 0x42, 0x43}},  // a padded group does not end the text
      {"QUJDRA", {0x41, 0x42, 0x43}},          // trailing partial group ignored
      {"QU\nJD", {0x41, 0x40, 0x09}},          // a line break takes a position (as 0)
      {"==AA", {0xFF, 0xF0, 0x00}},            // pad markers take part as 255
      {"+/+/", {0xFB, 0xFF, 0xBF}},
  };
  for (const auto& r : rows) {
    const std::string got = Base64DecodeText(r.text);
    EXPECT_EQ(Hex(Bytes(got.begin(), got.end())), Hex(r.bytes)) << r.text;
  }
  // The wide overload reads the same bytes as code units, an odd last byte dropped.
  EXPECT_EQ(Base64DecodeText(Text(u"QUJD")), Text(u"\x4241"));
  EXPECT_EQ(Base64DecodeText(Text(u"QQ==QUJD")), Text(u"\x4141\x4342"));
}

TEST_F(FrameworkTest, Base64EncodesWithPadding) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},        {"A", "QQ=="},        {"AB", "QUI="},
      {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="}, {std::string("\xFB\xFF\xBF", 3), "+/+/"}};
  for (const auto& [bytes, text] : rows) {
    EXPECT_EQ(Base64EncodeText(bytes), text);
    EXPECT_EQ(Base64DecodeText(text), bytes);
  }
  EXPECT_EQ(Base64EncodeText(Text(u"A")), u"QQA=");  // 41 00
}

// --- Digests -------------------------------------------------------------------------------------

TEST_F(FrameworkTest, DigestsHashTextAsUtf16AndRefuseUseWithoutInit) {
  for (int number = 0; number < kDigestCount; ++number) {
    SCOPED_TRACE(number);
    auto a = CreateHashById(number), b = CreateHashById(number);
    const std::size_t n = a->GetHashSize() / 8;
    Bytes da(n), db(n);
    a->Init();
    a->UpdateStr(u"abc");
    a->Final(da.data());
    b->Init();
    b->Update("a\0b\0c\0", 6);
    b->Final(db.data());
    EXPECT_EQ(da, db);

    // A long text (several internal chunks) equals its bytes fed at once.
    Text long_text(3000, u'\0');
    for (std::size_t i = 0; i < long_text.size(); ++i)
      long_text[i] = static_cast<char16_t>(i * 977);
    Bytes raw;
    for (char16_t ch : long_text) raw.push_back(ch & 0xFF), raw.push_back(ch >> 8);
    a->Init();
    a->UpdateStr(long_text);
    a->Final(da.data());
    b->Init();
    b->Update(raw.data(), raw.size());
    b->Final(db.data());
    EXPECT_EQ(da, db);

    for (auto op : {std::function<void()>([&] { a->Final(da.data()); }),
                    std::function<void()>([&] { a->Update("x", 1); }),
                    std::function<void()>([&] { a->UpdateStr(u""); })}) {
      try {
        op();
        ADD_FAILURE() << "used after Final";
      } catch (const ECrypt_hash& e) {
        EXPECT_EQ(e.Message(), u"Hash not initialized");
      }
    }
  }
}

}  // namespace
}  // namespace tvcrypt::test
