// The digest catalogue: one class per algorithm, each a thin layer over its primitive.
#pragma once

#include <cstdint>

#include "crypt/hash.h"
#include "crypt/primitives/haval.h"
#include "crypt/primitives/md5.h"
#include "crypt/primitives/sha1.h"
#include "crypt/primitives/sha256.h"
#include "crypt/primitives/sha512.h"

namespace tvcrypt {

// Binds a digest primitive to TCrypt_hash: the initialized check, Final burning the state, and
// burning on destruction.
template <class Prim, class Base = TCrypt_hash>
class TCrypt_hash_over : public Base {
 public:
  ~TCrypt_hash_over() override {
    if (this->fInitialized) Burn();
  }

  void Init() override {
    Burn();
    prim_.Init();
    this->fInitialized = true;
  }
  void Update(const void* buffer, std::size_t size) override {
    CheckInitialized();
    prim_.Update(static_cast<const std::uint8_t*>(buffer), size);
  }
  void Final(void* digest) override {
    CheckInitialized();
    prim_.Final(static_cast<std::uint8_t*>(digest));
    Burn();
  }
  void Burn() override {
    prim_.Wipe();
    this->fInitialized = false;
  }

 protected:
  void CheckInitialized() const {
    if (!this->fInitialized) throw ECrypt_hash(u"Hash not initialized");
  }

 private:
  Prim prim_;
};

class TCrypt_haval : public TCrypt_hash_over<prim::Haval> {
 public:
  static constexpr int kId = 14;
  static constexpr std::u16string_view kAlgorithm = u"Haval (256bit, 5 passes)";
  static constexpr int kHashSize = 256;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetHashSize() const override { return kHashSize; }
  bool SelfTest() const override;
};

class TCrypt_md5 : public TCrypt_hash_over<prim::Md5> {
 public:
  static constexpr int kId = 16;
  static constexpr std::u16string_view kAlgorithm = u"MD5";
  static constexpr int kHashSize = 128;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetHashSize() const override { return kHashSize; }
  bool SelfTest() const override;
};

class TCrypt_sha1 : public TCrypt_hash_over<prim::Sha1> {
 public:
  static constexpr int kId = 2;
  static constexpr std::u16string_view kAlgorithm = u"SHA1";
  static constexpr int kHashSize = 160;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetHashSize() const override { return kHashSize; }
  bool SelfTest() const override;
};

class TCrypt_sha256 : public TCrypt_hash_over<prim::Sha256> {
 public:
  static constexpr int kId = 28;
  static constexpr std::u16string_view kAlgorithm = u"SHA256";
  static constexpr int kHashSize = 256;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetHashSize() const override { return kHashSize; }
  bool SelfTest() const override;
};

// The SHA-512 family: 64-bit words, 128-byte blocks, a 128-bit length count.
class TCrypt_sha512base : public TCrypt_hash_over<prim::Sha512> {};

class TCrypt_sha512 : public TCrypt_sha512base {
 public:
  static constexpr int kId = 30;
  static constexpr std::u16string_view kAlgorithm = u"SHA512";
  static constexpr int kHashSize = 512;
  int GetId() const override { return kId; }
  Text GetAlgorithm() const override { return Text(kAlgorithm); }
  int GetHashSize() const override { return kHashSize; }
  bool SelfTest() const override;
};

static_assert(prim::Haval::kDigestBytes * 8 == TCrypt_haval::kHashSize);
static_assert(prim::Md5::kDigestBytes * 8 == TCrypt_md5::kHashSize);
static_assert(prim::Sha1::kDigestBytes * 8 == TCrypt_sha1::kHashSize);
static_assert(prim::Sha256::kDigestBytes * 8 == TCrypt_sha256::kHashSize);
static_assert(prim::Sha512::kDigestBytes * 8 == TCrypt_sha512::kHashSize);

}  // namespace tvcrypt
