// Envelopes: every cipher-digest pair round-trips, the header fields mean what they should, bad
// envelopes give an empty result, and no input makes DecryptEnvelope fail.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include "crypt/envelope.h"

#include <cryptopp/aes.h>
#include <cryptopp/arc4.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "crypt/base64.h"
#include "tests/crypt/crypt_test_util.h"

namespace tvcrypt::test {
namespace {

using EnvelopeTest = CryptTest;

const Text kManifest = u"Destination\tFileName\tCompressed\tSize\r\n0\tDemo.exe\t1234\t5678\r\n";

// Text with characters above U+00FF, NUL and unpaired surrogates.
Text Awkward() {
  Text t = u"\x4E2D\x6587 manifest ";
  t += u'\0';
  t += u'\xD800';
  t += u"x";
  t += u'\xDFFF';
  return t;
}

std::size_t IvChars(int cipher) {
  auto c = BlockCipher(cipher);
  return c ? c->GetBlockSize() / 8 : 0;
}

TEST_F(EnvelopeTest, EveryCipherAndDigestRoundTrips) {
  const Text passwords[] = {u"", u"s3cret \x00E9\x4E2D"};
  const Text texts[] = {u"", kManifest, Awkward()};
  for (int cipher = 0; cipher < kCipherCount; ++cipher) {
    for (int digest = 0; digest < kDigestCount; ++digest) {
      for (const Text& password : passwords) {
        for (const Text& plain : texts) {
          SCOPED_TRACE(testing::Message()
                       << "cipher " << cipher << " digest " << digest << " password "
                       << password.size() << " text " << plain.size());
          const Text env = EncryptEnvelope(plain, cipher, digest, password);
          ASSERT_EQ(env[3] - env[8], cipher);
          ASSERT_EQ(env[4] - env[9], digest);
          for (char16_t ch : env) ASSERT_TRUE(ch >= 0x21 && ch <= 0x7E) << int{ch};
          EXPECT_EQ(env.size(), 10 + IvChars(cipher) + 4 * ((2 * plain.size() + 2) / 3));
          EXPECT_EQ(DecryptEnvelope(env, password), plain);
          if (!plain.empty()) {
            EXPECT_NE(DecryptEnvelope(env, password + u"x"), plain);
          }
        }
      }
    }
  }
}

TEST_F(EnvelopeTest, FixedOptionsGiveTheSameEnvelopeEveryTime) {
  EnvelopeOptions opts;
  opts.salt = u"abcdef";
  opts.cipher_base = u'A';
  opts.digest_base = u'a';
  opts.iv = u"0123456789ABCDEF";
  const Text env = EncryptEnvelope(kManifest, 5, 3, u"", opts);
  EXPECT_EQ(env.substr(0, 26), u"abcFddefAa0123456789ABCDEF");
  EXPECT_EQ(EncryptEnvelope(kManifest, 5, 3, u"", opts), env);
  EXPECT_NE(EncryptEnvelope(kManifest, 5, 3, u""), env) << "random salt and IV";

  // Unusable options are refused rather than producing an envelope that cannot be opened.
  const std::function<void()> bad[] = {
      [&] { EncryptEnvelope(kManifest, 9, 0, u""); },
      [&] { EncryptEnvelope(kManifest, 0, -1, u""); },
      [&] {
        EnvelopeOptions o = opts;
        o.salt = u"short";
        EncryptEnvelope(kManifest, 5, 3, u"", o);
      },
      [&] {
        EnvelopeOptions o = opts;
        o.iv = u"0123";
        EncryptEnvelope(kManifest, 5, 3, u"", o);
      },
      [&] {
        EnvelopeOptions o = opts;
        o.cipher_base = u'\xFFFF';
        EncryptEnvelope(kManifest, 5, 3, u"", o);
      },
  };
  for (const auto& call : bad) EXPECT_THROW(call(), platform::Exception);
}

// The random choices come from one generator per thread, seeded once: every envelope still gets
// its own printable salt and bases, in this thread and in another one.
TEST_F(EnvelopeTest, RandomChoicesDifferBetweenEnvelopesAndThreads) {
  auto headers = [] {
    std::vector<Text> made;
    for (int i = 0; i < 20; ++i)
      made.push_back(EncryptEnvelope(kManifest, 6, 1, u"").substr(0, 10));
    return made;
  };
  std::vector<Text> all = headers();
  std::vector<Text> other;
  std::thread([&] { other = headers(); }).join();
  all.insert(all.end(), other.begin(), other.end());
  for (const Text& header : all) {
    for (char16_t c : header) EXPECT_TRUE(c >= 0x21 && c <= 0x7E) << static_cast<int>(c);
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::unique(all.begin(), all.end()), all.end()) << "a header came twice";
}

// The minimal envelopes, checked against an independent SHA-1, RC4 and AES.
// SHA-1 of the UTF-16LE bytes of header characters 1-8 and the password, computed by Crypto++.
Bytes Sha1Key(const Text& header, const Text& password) {
  Bytes material;
  for (char16_t ch : header.substr(0, 8) + password)
    material.push_back(ch & 0xFF), material.push_back(ch >> 8);
  Bytes key(20);
  CryptoPP::SHA1().CalculateDigest(key.data(), material.data(), material.size());
  return key;
}

// The minimal envelopes, checked against an independent SHA-1, RC4 and AES.
TEST_F(EnvelopeTest, MinimalEnvelopesMatchAnIndependentComputation) {
  // code(4)-code(9) = 'G'-'A' = 6 (RC4), code(5)-code(10) = '1'-'/' = 2 (SHA-1).
  const Text header = u"salG1t+xA/";
  const Text body = u"q83v";                // three bytes AB CD EF
  const Bytes cipher_bytes = {0xAB, 0xCD};  // the odd third byte is dropped
  for (const Text password : {u"", u"pw"}) {
    // A password's UTF-16 bytes follow the salt bytes directly.
    const Bytes key = Sha1Key(header, password);
    Bytes plain(2);
    CryptoPP::Weak::ARC4(key.data(), key.size()).ProcessData(plain.data(), cipher_bytes.data(), 2);
    const Text rc4 = DecryptEnvelope(header + body, password);
    ASSERT_EQ(rc4.size(), 1u);
    EXPECT_EQ(rc4[0], plain[0] | (plain[1] << 8));
  }

  // Rijndael: characters 11-26 are the IV, the 160-bit key becomes AES-192 with four zero bytes.
  Text aes_header = header;
  aes_header[3] = u'F';  // 'F'-'A' = 5; character 4 is key material too
  const Text iv_chars = u"IV:0123456789abc";
  Bytes iv(iv_chars.begin(), iv_chars.end()), aes_key = Sha1Key(aes_header, u"");
  aes_key.resize(24, 0);
  CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption cfb8(aes_key.data(), aes_key.size(), iv.data(), 1);
  const Bytes aes_cipher = {0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03};
  Bytes aes_plain(aes_cipher.size());
  cfb8.ProcessData(aes_plain.data(), aes_cipher.data(), aes_cipher.size());
  const Text aes = DecryptEnvelope(aes_header + iv_chars + u"q83vAQID", u"");
  ASSERT_EQ(aes.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(aes[i], aes_plain[2 * i] | (aes_plain[2 * i + 1] << 8)) << i;
}

TEST_F(EnvelopeTest, EnvelopesThatCannotBeOpenedGiveAnEmptyResult) {
  EnvelopeOptions opts;
  opts.salt = u"abcdef";
  opts.cipher_base = u'A';
  opts.digest_base = u'a';
  const Text aes = EncryptEnvelope(kManifest, 5, 1, u"", opts);  // 16 IV characters
  const Text rc4 = EncryptEnvelope(kManifest, 6, 1, u"", opts);  // no IV
  auto with = [](Text t, std::size_t pos, char16_t ch) {
    t[pos] = ch;
    return t;
  };
  const std::pair<const char*, Text> cases[] = {
      {"empty", u""},
      {"ten characters", rc4.substr(0, 10)},
      {"eleven characters, stream cipher", rc4.substr(0, 11)},
      {"eleven characters, block cipher", aes.substr(0, 11)},
      {"IV cut short", aes.substr(0, 10 + 15)},
      {"body of three characters", aes.substr(0, 26 + 3)},
      {"body of three characters, stream cipher", rc4.substr(0, 10 + 3)},
      {"digest difference -1", with(rc4, 9, static_cast<char16_t>(u'a' + 2))},
      {"digest difference 5", with(rc4, 4, u'a' + 5)},
      {"cipher difference -1", with(rc4, 8, static_cast<char16_t>(u'A' + 7))},
      {"cipher difference 9", with(rc4, 3, u'A' + 9)},
      {"cipher code below its base by 0x10000", with(with(rc4, 3, u'\x0001'), 8, u'\xFFFF')},
  };
  for (const auto& [name, text] : cases) EXPECT_EQ(DecryptEnvelope(text, u""), u"") << name;

  // Equal codes select cipher 0 and digest 0.
  EXPECT_NE(DecryptEnvelope(with(with(rc4, 3, u'Q'), 8, u'Q'), u""), u"");
}

TEST_F(EnvelopeTest, IvCharactersMustBeSingleBytesInTheCodePage) {
  EnvelopeOptions opts;
  opts.iv =
      u"\x00E9\x00E8"
      u"ABCDEF";  // one byte each in 1252
  const Text env = EncryptEnvelope(kManifest, 0, 2, u"", opts);
  EXPECT_EQ(DecryptEnvelope(env, u""), kManifest);
  os_.SetCodePage(936);
  EXPECT_EQ(DecryptEnvelope(env, u""), u"") << "a character written with two bytes in 936";
  opts.iv =
      u"\x4E2D"
      u"ABCDEF";  // 7 characters, 8 bytes in 936
  EXPECT_THROW(EncryptEnvelope(kManifest, 0, 2, u"", opts), platform::Exception);

  // Printable ASCII envelopes read the same under every code page.
  const Text ascii = EncryptEnvelope(kManifest, 7, 4, u"");
  EXPECT_EQ(DecryptEnvelope(ascii, u""), kManifest);
  os_.SetCodePage(1252);
  EXPECT_EQ(DecryptEnvelope(ascii, u""), kManifest);
}

TEST_F(EnvelopeTest, HeaderCharactersAndBodyChangesAffectOnlyWhatTheyShould) {
  EnvelopeOptions opts;
  opts.salt = u"abcdef";
  opts.cipher_base = u'A';
  opts.digest_base = u'a';
  const Text env = EncryptEnvelope(kManifest, 1, 3, u"", opts);
  const Text base_plain = DecryptEnvelope(env, u"");
  ASSERT_EQ(base_plain, kManifest);

  // Same selectors, different key material: other text of the same length.
  Text shifted = env;
  shifted[3] += 1, shifted[8] += 1;
  const Text other = DecryptEnvelope(shifted, u"");
  EXPECT_EQ(other.size(), kManifest.size());
  EXPECT_NE(other, kManifest);

  // Truncating the body at a group boundary gives a prefix; extra padding bytes are dropped.
  const std::size_t body = 10 + 8;
  EXPECT_EQ(DecryptEnvelope(env.substr(0, body + 8), u""), kManifest.substr(0, 3));
  const Text odd = EncryptEnvelope(u"abc", 1, 3, u"", opts) + u"QQ==";  // 6 + 1 bytes
  EXPECT_EQ(DecryptEnvelope(odd, u""), u"abc");
  // A line break inside the body is not removed: it takes a place in a Base64 group.
  Text broken = env;
  broken.insert(body + 4, u"\r\n");
  const Text garbled = DecryptEnvelope(broken, u"");
  EXPECT_EQ(garbled.substr(0, 1), kManifest.substr(0, 1));
  EXPECT_NE(garbled, kManifest);
}

TEST_F(EnvelopeTest, ArbitraryInputNeverFails) {
  std::mt19937 rng(12345);
  const Text seeds[] = {EncryptEnvelope(kManifest, 5, 0, u""),
                        EncryptEnvelope(Awkward(), 6, 4, u""),
                        EncryptEnvelope(kManifest, 0, 1, u"pw")};
  const char16_t alphabet[] = u"AQa0+/=\r\n \x00E9\x4E2D\xD800\xFFFF\0";
  std::size_t opened = 0;
  for (std::uint32_t cp : {1252u, 936u}) {
    os_.SetCodePage(cp);
    for (const Text& seed : seeds) {
      for (std::size_t n = 0; n <= seed.size(); ++n)
        opened += !DecryptEnvelope(seed.substr(0, n), u"").empty();
    }
    for (int round = 0; round < 3000; ++round) {
      Text t = seeds[round % 3];
      const int edits = 1 + static_cast<int>(rng() % 6);
      for (int e = 0; e < edits; ++e) {
        const std::size_t pos = rng() % (t.size() + 1);
        switch (rng() % 4) {
          case 0:
            if (pos < t.size()) t[pos] = static_cast<char16_t>(rng());
            break;
          case 1: t.insert(pos, 1, alphabet[rng() % (std::size(alphabet) - 1)]); break;
          case 2:
            if (pos < t.size()) t.erase(pos, 1 + rng() % 8);
            break;
          case 3: t.resize(pos); break;
        }
      }
      opened += !DecryptEnvelope(t, u"").empty();
    }
    for (int round = 0; round < 1000; ++round) {
      Text t(rng() % 64, u'\0');
      for (auto& ch : t) ch = static_cast<char16_t>(rng() % 3 ? 0x20 + rng() % 0x60 : rng());
      opened += !DecryptEnvelope(t, u"").empty();
    }
  }
  EXPECT_GT(opened, 0u);  // damaged envelopes still open to (other) text, they do not all fail
}

}  // namespace
}  // namespace tvcrypt::test
