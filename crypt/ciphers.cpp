#include "crypt/ciphers.h"

#include <cstring>
#include <initializer_list>
#include <vector>

namespace tvcrypt {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Known-answer check of one block: E(key, plain) == expected and D(key, expected) == plain, on a
// fresh object of the same class.
template <class Cipher>
bool BlockKnownAnswer(Bytes key, Bytes plain, Bytes expected) {
  Cipher c;
  c.Init(key.data(), static_cast<std::uint32_t>(key.size() * 8), nullptr);
  Bytes out(plain.size()), back(plain.size());
  c.EncryptECB(plain.data(), out.data());
  c.DecryptECB(out.data(), back.data());
  return out == expected && back == plain;
}

}  // namespace

// Vectors: Schneier's Blowfish table, RFC 2144 B.1, RFC 2612 C, FIPS 46 worked example,
// FIPS 197 C.1, the Twofish paper's first ECB vector, Lai's IDEA example.
bool TCrypt_blowfish::SelfTest() const {
  return BlockKnownAnswer<TCrypt_blowfish>({0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0},
                                           {0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78});
}

bool TCrypt_cast128::SelfTest() const {
  return BlockKnownAnswer<TCrypt_cast128>({0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78, 0x23,
                                           0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A},
                                          {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
                                          {0x23, 0x8B, 0x4F, 0xE5, 0x84, 0x7E, 0x44, 0xB2});
}

bool TCrypt_cast256::SelfTest() const {
  return BlockKnownAnswer<TCrypt_cast256>({0x23, 0x42, 0xbb, 0x9e, 0xfa, 0x38, 0x54, 0x2c, 0x0a,
                                           0xf7, 0x56, 0x47, 0xf2, 0x9f, 0x61, 0x5d},
                                          Bytes(16, 0),
                                          {0xc8, 0x42, 0xa0, 0x89, 0x72, 0xb4, 0x3d, 0x20, 0x83,
                                           0x6c, 0x91, 0xd1, 0xb7, 0x53, 0x0f, 0x6b});
}

bool TCrypt_des::SelfTest() const {
  return BlockKnownAnswer<TCrypt_des>({0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1},
                                      {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
                                      {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05});
}

bool TCrypt_3des::SelfTest() const {
  // Three equal keys reduce triple DES to single DES.
  const Bytes k = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  Bytes key;
  for (int i = 0; i < 3; ++i) key.insert(key.end(), k.begin(), k.end());
  return BlockKnownAnswer<TCrypt_3des>(key, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
                                       {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05});
}

bool TCrypt_rijndael::SelfTest() const {
  Bytes key(16), plain(16);
  for (int i = 0; i < 16; ++i)
    key[i] = static_cast<std::uint8_t>(i), plain[i] = static_cast<std::uint8_t>(i * 0x11);
  return BlockKnownAnswer<TCrypt_rijndael>(key, plain,
                                           {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8,
                                            0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a});
}

bool TCrypt_twofish::SelfTest() const {
  return BlockKnownAnswer<TCrypt_twofish>(Bytes(16, 0), Bytes(16, 0),
                                          {0x9F, 0x58, 0x9F, 0x5C, 0xF6, 0x12, 0x2C, 0x32, 0xB6,
                                           0xBF, 0xEC, 0x2F, 0x2A, 0xE8, 0xC3, 0x5A});
}

bool TCrypt_idea::SelfTest() const {
  return BlockKnownAnswer<TCrypt_idea>({0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05,
                                        0x00, 0x06, 0x00, 0x07, 0x00, 0x08},
                                       {0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03},
                                       {0x11, 0xFB, 0xED, 0x2B, 0x01, 0x98, 0x6D, 0xE5});
}

// --- RC4 -----------------------------------------------------------------------------------------

TCrypt_rc4::~TCrypt_rc4() {
  if (fInitialized) Burn();
}

void TCrypt_rc4::Keyed(const std::uint8_t* key, std::size_t bytes, const void* /*init_vector*/) {
  prim_.SetKey(key, bytes);
}

void TCrypt_rc4::Burn() {
  prim_.Wipe();
  fInitialized = false;
}

void TCrypt_rc4::Reset() { prim_.Reset(); }

void TCrypt_rc4::Encrypt(const void* in, void* out, std::size_t size) {
  CheckInitialized();
  if (size == 0) return;
  prim_.Process(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out), size);
}

void TCrypt_rc4::Decrypt(const void* in, void* out, std::size_t size) { Encrypt(in, out, size); }

bool TCrypt_rc4::SelfTest() const {
  // The classic "Key" / "Plaintext" example.
  TCrypt_rc4 c;
  const char key[] = "Key";
  const char plain[] = "Plaintext";
  const std::uint8_t expected[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
  std::uint8_t out[9];
  c.Init(key, 24, nullptr);
  c.Encrypt(plain, out, 9);
  return std::memcmp(out, expected, 9) == 0;
}

}  // namespace tvcrypt
