// The cipher catalogue: one class per algorithm, each a thin layer over its primitive.
//
// Keys shorter than an algorithm's own key sizes are widened by the primitive (Blowfish and RC4
// use the key bytes cyclically; CAST-128, CAST-256, DES, IDEA, Rijndael and Twofish zero-extend;
// triple DES zero-extends to 24 bytes and reuses K1 as K3 for keys of at most 128 bits).
#pragma once

#include <cstdint>

#include "crypt/cipher.h"
#include "crypt/primitives/blowfish.h"
#include "crypt/primitives/cast128.h"
#include "crypt/primitives/cast256.h"
#include "crypt/primitives/des.h"
#include "crypt/primitives/idea.h"
#include "crypt/primitives/rc4.h"
#include "crypt/primitives/rijndael.h"
#include "crypt/primitives/triple_des.h"
#include "crypt/primitives/twofish.h"

namespace tvcrypt {

// Binds a block primitive to a block-cipher base (TCrypt_blockcipher64 or 128).
template <class Prim, class Base>
class TCrypt_blockcipher_over : public Base {
  static_assert(Prim::kBlockBytes * 8 == Base::kBlockSize,
                "primitive and base disagree on the block");

 public:
  ~TCrypt_blockcipher_over() override {
    if (this->fInitialized) this->Burn();
  }

 protected:
  void ExpandKey(const std::uint8_t* key, std::size_t bytes) override { prim_.SetKey(key, bytes); }
  void EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const override {
    prim_.EncryptBlock(in, out);
  }
  void DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const override {
    prim_.DecryptBlock(in, out);
  }
  void WipeKey() override { prim_.Wipe(); }

 private:
  Prim prim_;
};

class TCrypt_blowfish : public TCrypt_blockcipher_over<prim::Blowfish, TCrypt_blockcipher64> {
 public:
  static constexpr int kId = 5;
  static constexpr std::u16string_view kAlgorithm = u"Blowfish";
  static constexpr int kMaxKeySize = 448;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_cast128 : public TCrypt_blockcipher_over<prim::Cast128, TCrypt_blockcipher64> {
 public:
  static constexpr int kId = 7;
  static constexpr std::u16string_view kAlgorithm = u"Cast128";
  static constexpr int kMaxKeySize = 128;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_cast256 : public TCrypt_blockcipher_over<prim::Cast256, TCrypt_blockcipher128> {
 public:
  static constexpr int kId = 15;
  static constexpr std::u16string_view kAlgorithm = u"Cast256";
  static constexpr int kMaxKeySize = 256;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

// What DES and triple DES share: 64-bit blocks and the DES family's place in the tree.
class TCrypt_customdes : public TCrypt_blockcipher64 {};

class TCrypt_des : public TCrypt_blockcipher_over<prim::Des, TCrypt_customdes> {
 public:
  static constexpr int kId = 23;
  static constexpr std::u16string_view kAlgorithm = u"DES";
  static constexpr int kMaxKeySize = 64;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_3des : public TCrypt_blockcipher_over<prim::TripleDes, TCrypt_customdes> {
 public:
  static constexpr int kId = 24;
  static constexpr std::u16string_view kAlgorithm = u"3DES";
  static constexpr int kMaxKeySize = 192;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_rijndael : public TCrypt_blockcipher_over<prim::Rijndael, TCrypt_blockcipher128> {
 public:
  static constexpr int kId = 9;
  static constexpr std::u16string_view kAlgorithm = u"Rijndael";
  static constexpr int kMaxKeySize = 256;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_twofish : public TCrypt_blockcipher_over<prim::Twofish, TCrypt_blockcipher128> {
 public:
  static constexpr int kId = 6;
  static constexpr std::u16string_view kAlgorithm = u"Twofish";
  static constexpr int kMaxKeySize = 256;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

class TCrypt_idea : public TCrypt_blockcipher_over<prim::Idea, TCrypt_blockcipher64> {
 public:
  static constexpr int kId = 12;
  static constexpr std::u16string_view kAlgorithm = u"IDEA";
  static constexpr int kMaxKeySize = 128;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;
};

// RC4. After the key schedule the permutation is saved and Reset restores it. Every Encrypt or
// Decrypt call starts with both indices at 0 and continues with the permutation the previous call
// left: one call over a message is standard RC4, a message split over calls is not.
class TCrypt_rc4 : public TCrypt_cipher {
 public:
  static constexpr int kId = 19;
  static constexpr std::u16string_view kAlgorithm = u"RC4";
  static constexpr int kMaxKeySize = 2048;

  ~TCrypt_rc4() override;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetMaxKeySize() const override { return kMaxKeySize; }
  bool SelfTest() const override;

  void Burn() override;
  void Reset() override;
  void Encrypt(const void* in, void* out, std::size_t size) override;
  void Decrypt(const void* in, void* out, std::size_t size) override;

 protected:
  void Keyed(const std::uint8_t* key, std::size_t bytes, const void* init_vector) override;

 private:
  prim::Rc4 prim_;
};

}  // namespace tvcrypt
