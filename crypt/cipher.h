// The cipher framework: the abstract cipher, the block-cipher base with its chaining modes, and
// the cipher errors.
//
// Sizes: key and block sizes are in bits, data lengths in bytes. A cipher is created not
// initialized; Init gives it a key (and, for block ciphers, an initialisation vector); Burn wipes
// the key material and makes it not initialized again. Destroying an initialized cipher burns it.
//
// Class-level values (id, algorithm name, key and block sizes) are static members of each
// concrete class (kId, kAlgorithm, kMaxKeySize, kBlockSize) and are also answered by the virtual
// getters, so code holding only a TCrypt_cipher can ask for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/os.h"

namespace tvcrypt {

using platform::Text;

class ECrypt_cipher : public platform::Exception {
 public:
  using Exception::Exception;
};
class ECrypt_blockcipher : public ECrypt_cipher {
 public:
  using ECrypt_cipher::ECrypt_cipher;
};

// The chaining mode that Encrypt and Decrypt of a block cipher use. The string operations always
// use 8-bit CFB, whatever the mode.
enum TCrypt_ciphermode : std::uint8_t {
  cmCBC = 0,
  cmCFB8bit = 1,
  cmCFBblock = 2,
  cmOFB = 3,
  cmCTR = 4,
};

class TCrypt_cipher {
 public:
  static constexpr int kId = -1;
  static constexpr std::u16string_view kAlgorithm = u"";
  static constexpr int kMaxKeySize = -1;

  TCrypt_cipher() = default;
  virtual ~TCrypt_cipher() = default;
  TCrypt_cipher(const TCrypt_cipher&) = delete;
  TCrypt_cipher& operator=(const TCrypt_cipher&) = delete;

  virtual int GetId() const { return kId; }
  virtual Text GetAlgorithm() const { return Text(kAlgorithm); }
  virtual int GetMaxKeySize() const { return kMaxKeySize; }  // bits
  // Known-answer check of the algorithm on a scratch object; this object is left untouched.
  virtual bool SelfTest() const { return false; }

  int Id() const { return GetId(); }
  Text Algorithm() const { return GetAlgorithm(); }
  int MaxKeySize() const { return GetMaxKeySize(); }
  bool Initialized() const { return fInitialized; }

  // Keys the cipher with the first size/8 bytes of key (size in bits: above 0, a multiple of 4,
  // at most GetMaxKeySize, else ECrypt_cipher "Invalid key size" and the object stays burned).
  // init_vector points to one block, or is null: a block cipher then uses E(all-zero block).
  // The stream cipher ignores it. Re-keying an initialized cipher burns it first.
  void Init(const void* key, std::uint32_t size, const void* init_vector);
  virtual void Burn() = 0;
  virtual void Reset() = 0;

  virtual void Encrypt(const void* /*in*/, void* /*out*/, std::size_t /*size*/) {}
  virtual void Decrypt(const void* /*in*/, void* /*out*/, std::size_t /*size*/) {}

  // Byte strings: EncryptString returns the Base64 text of the encrypted bytes; DecryptString
  // decodes Base64 and decrypts the bytes.
  virtual std::string EncryptString(const std::string& plain);
  virtual std::string DecryptString(const std::string& cipher_text);
  // UTF-16 strings travel as their UTF-16LE bytes. DecryptString turns its input into bytes
  // through the ANSI code page, decodes Base64, drops an odd last byte, decrypts, and reads the
  // bytes back as code units (any 16-bit values, NUL and lone surrogates included).
  virtual Text EncryptString(const Text& plain);
  virtual Text DecryptString(const Text& cipher_text);

 protected:
  // The byte transform the string operations use.
  virtual void StringEncrypt(std::uint8_t* data, std::size_t size) { Encrypt(data, data, size); }
  virtual void StringDecrypt(std::uint8_t* data, std::size_t size) { Decrypt(data, data, size); }
  // The cipher's own keying, called by Init once the size is checked and the object marked
  // initialized: `bytes` key bytes, never fewer than one.
  virtual void Keyed(const std::uint8_t* key, std::size_t bytes, const void* init_vector) = 0;
  // Raises ECrypt_cipher "Invalid key size" unless size is usable for this cipher.
  void CheckKeySize(std::uint32_t size) const;
  // Raises ECrypt_cipher "Cipher not initialized" unless the cipher has a key.
  void CheckInitialized() const;

  bool fInitialized = false;
};

// A block cipher over a one-block primitive. The chaining modes are written here once for both
// block sizes; a concrete cipher supplies the key schedule and the one-block transforms.
//
// Modes (n = block bytes, E/D = one block under the key): a call first handles size/n whole
// blocks, then a tail of r = size%n bytes, which is always combined with the first r bytes of
// E(CV) after CV = E(CV) (CTR: T = E(CV), then the counter steps). Output is exactly as long as
// the input; every mode works in place and advances CV, so a following call continues from there.
class TCrypt_blockcipher : public TCrypt_cipher {
 public:
  static constexpr int kBlockSize = -1;

  TCrypt_blockcipher() = default;
  ~TCrypt_blockcipher() override;

  virtual int GetBlockSize() const = 0;  // bits
  int BlockSize() const { return GetBlockSize(); }
  TCrypt_ciphermode CipherMode() const { return fCipherMode; }
  void SetCipherMode(TCrypt_ciphermode mode) { fCipherMode = mode; }

  // Wipes the key schedule, fills IV and CV with 0xFF and clears Initialized.
  void Burn() override;
  // CV = IV.
  void Reset() override;
  // IV = value (one block), then Reset.
  void SetIV(const void* value);
  // Writes the current chaining value CV (not the initial IV).
  void GetIV(void* value) const;

  void EncryptECB(const void* in, void* out) const;
  void DecryptECB(const void* in, void* out) const;

  void EncryptCBC(const void* in, void* out, std::size_t size);
  void DecryptCBC(const void* in, void* out, std::size_t size);
  void EncryptCFB8bit(const void* in, void* out, std::size_t size);
  void DecryptCFB8bit(const void* in, void* out, std::size_t size);
  void EncryptCFBblock(const void* in, void* out, std::size_t size);
  void DecryptCFBblock(const void* in, void* out, std::size_t size);
  void EncryptOFB(const void* in, void* out, std::size_t size);
  void DecryptOFB(const void* in, void* out, std::size_t size);
  void EncryptCTR(const void* in, void* out, std::size_t size);
  void DecryptCTR(const void* in, void* out, std::size_t size);

  // Dispatch on CipherMode; a value outside the enumeration does nothing.
  void Encrypt(const void* in, void* out, std::size_t size) override;
  void Decrypt(const void* in, void* out, std::size_t size) override;

 protected:
  static constexpr std::size_t kMaxBlockBytes = 16;

  // The cipher's own key schedule over `bytes` key bytes (at least one, size already checked).
  virtual void ExpandKey(const std::uint8_t* key, std::size_t bytes) = 0;
  // One block, without the initialized check (the public entry points make it).
  virtual void EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const = 0;
  virtual void DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const = 0;
  // Clears the key schedule only.
  virtual void WipeKey() = 0;

  // The key schedule, then IV = init_vector (or E(all-zero block)) and CV = IV.
  void Keyed(const std::uint8_t* key, std::size_t bytes, const void* init_vector) override;
  void StringEncrypt(std::uint8_t* data, std::size_t size) override;
  void StringDecrypt(std::uint8_t* data, std::size_t size) override;

  std::size_t BlockBytes() const { return static_cast<std::size_t>(GetBlockSize()) / 8; }
  // The block ciphers raise their own class of error: ECrypt_blockcipher.
  void CheckInitialized() const;
  // Handles the final partial block of CBC, CFB-block and OFB: CV = E(CV), out = in ^ CV.
  void XorTail(const std::uint8_t* in, std::uint8_t* out, std::size_t r);
  void IncrementCounter();

  TCrypt_ciphermode fCipherMode = cmCBC;
  std::array<std::uint8_t, kMaxBlockBytes> IV{};
  std::array<std::uint8_t, kMaxBlockBytes> CV{};

 private:
  void WipeChaining();
};

class TCrypt_blockcipher64 : public TCrypt_blockcipher {
 public:
  static constexpr int kBlockSize = 64;
  TCrypt_blockcipher64() { IV.fill(0xFF), CV.fill(0xFF); }
  int GetBlockSize() const override { return kBlockSize; }
};

class TCrypt_blockcipher128 : public TCrypt_blockcipher {
 public:
  static constexpr int kBlockSize = 128;
  TCrypt_blockcipher128() { IV.fill(0xFF), CV.fill(0xFF); }
  int GetBlockSize() const override { return kBlockSize; }
};

}  // namespace tvcrypt
