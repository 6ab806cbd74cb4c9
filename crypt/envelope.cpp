#include "crypt/envelope.h"

#include <algorithm>
#include <string>
#include <vector>

#include "crypt/envelope_detail.h"

namespace tvcrypt {

namespace {

// Holds derived key bytes and clears them when it goes.
class KeyBuffer {
 public:
  explicit KeyBuffer(std::size_t size) : bytes_(size) {}
  ~KeyBuffer() { std::fill(bytes_.begin(), bytes_.end(), std::uint8_t{0}); }
  KeyBuffer(const KeyBuffer&) = delete;
  KeyBuffer& operator=(const KeyBuffer&) = delete;
  std::uint8_t* data() { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

namespace envelope_detail {

std::unique_ptr<TCrypt_cipher> KeyedCipher(int cipher, int digest, const Text& header,
                                           const Text& password, const std::string& iv) {
  std::unique_ptr<TCrypt_hash> hash = CreateHashById(digest);
  const int hash_bits = hash->GetHashSize();
  KeyBuffer key(static_cast<std::size_t>(hash_bits) / 8);
  hash->Init();
  hash->UpdateStr(header.substr(0, 8) + password);
  hash->Final(key.data());
  hash.reset();

  std::unique_ptr<TCrypt_cipher> c = CreateCipherById(cipher);
  const auto key_bits = static_cast<std::uint32_t>(std::min(c->GetMaxKeySize(), hash_bits));
  c->Init(key.data(), key_bits, dynamic_cast<TCrypt_blockcipher*>(c.get()) ? iv.data() : nullptr);
  return c;
}

std::size_t IvChars(const TCrypt_cipher& c) {
  const auto* block = dynamic_cast<const TCrypt_blockcipher*>(&c);
  return block ? static_cast<std::size_t>(block->GetBlockSize()) / 8 : 0;
}

}  // namespace envelope_detail

using namespace envelope_detail;

Text DecryptEnvelope(const Text& text, const Text& password) noexcept {
  if (text.size() <= kHeaderChars) return {};
  // Differences of unsigned 16-bit codes; a negative one is out of range.
  const int digest = int{text[4]} - int{text[9]};
  const int cipher = int{text[3]} - int{text[8]};
  if (digest < 0 || digest >= kDigestCount) return {};
  if (cipher < 0 || cipher >= kCipherCount) return {};
  try {
    // The IV length depends only on the class, so it is checked before any key is derived.
    const std::size_t k = IvChars(*CreateCipherById(cipher));
    std::string iv;
    if (k > 0) {
      iv = platform::CurrentOs().WideToAnsi(text.substr(kHeaderChars, k));
      if (iv.size() != k || text.size() < kHeaderChars + k) return {};
    }
    std::unique_ptr<TCrypt_cipher> c = KeyedCipher(cipher, digest, text, password, iv);
    Text plain = c->DecryptString(text.substr(kHeaderChars + k));
    c->Burn();
    return plain;
  } catch (...) {
    // Any failure (cipher, digest, conversion, memory) means the envelope cannot be opened; the
    // objects above are released by their owners on the way out.
    return {};
  }
}

}  // namespace tvcrypt
