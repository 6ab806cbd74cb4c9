#include "crypt/crypt_utils.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "crypt/ciphers.h"
#include "crypt/hashes.h"

namespace tvcrypt {

namespace {

constexpr std::size_t kHeaderChars = 10;

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

// Keys a new cipher from the header characters 1-8 and the password. iv is one block for block
// ciphers (ignored for RC4). The digest is released before returning.
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

}  // namespace

std::unique_ptr<TCrypt_cipher> CreateCipherById(int selector) {
  switch (selector) {
    case 0: return std::make_unique<TCrypt_blowfish>();
    case 1: return std::make_unique<TCrypt_cast128>();
    case 2: return std::make_unique<TCrypt_cast256>();
    case 3: return std::make_unique<TCrypt_des>();
    case 4: return std::make_unique<TCrypt_3des>();
    case 5: return std::make_unique<TCrypt_rijndael>();
    case 6: return std::make_unique<TCrypt_rc4>();
    case 7: return std::make_unique<TCrypt_twofish>();
    case 8: return std::make_unique<TCrypt_idea>();
    default: return nullptr;
  }
}

std::unique_ptr<TCrypt_hash> CreateHashById(int selector) {
  switch (selector) {
    case 0: return std::make_unique<TCrypt_haval>();
    case 1: return std::make_unique<TCrypt_md5>();
    case 2: return std::make_unique<TCrypt_sha1>();
    case 3: return std::make_unique<TCrypt_sha256>();
    case 4: return std::make_unique<TCrypt_sha512>();
    default: return nullptr;
  }
}

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

Text EncryptEnvelope(const Text& plain, int cipher, int digest, const Text& password,
                     const EnvelopeOptions& opts) {
  if (cipher < 0 || cipher >= kCipherCount) throw platform::Exception(u"Unknown cipher number");
  if (digest < 0 || digest >= kDigestCount) throw platform::Exception(u"Unknown digest number");

  std::random_device device;
  std::mt19937 rng(device());
  auto printable = [&rng](int lo, int hi) {
    return static_cast<char16_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
  };
  auto random_text = [&](std::size_t n) {
    Text t(n, u'\0');
    for (auto& ch : t) ch = printable(0x21, 0x7E);
    return t;
  };

  const Text salt = opts.salt.value_or(random_text(6));
  if (salt.size() != 6) throw platform::Exception(u"The salt must have 6 characters");
  // Random bases leave room for the largest number so characters 4 and 5 stay printable too.
  const char16_t cipher_base = opts.cipher_base.value_or(printable(0x21, 0x7E - (kCipherCount - 1)));
  const char16_t digest_base = opts.digest_base.value_or(printable(0x21, 0x7E - (kDigestCount - 1)));
  if (cipher_base + cipher > 0xFFFF || digest_base + digest > 0xFFFF) {
    throw platform::Exception(u"A base character leaves no room for the algorithm number");
  }
  Text header = salt.substr(0, 3);
  header += static_cast<char16_t>(cipher_base + cipher);
  header += static_cast<char16_t>(digest_base + digest);
  header += salt.substr(3, 3);
  header += cipher_base;
  header += digest_base;

  const std::size_t k = IvChars(*CreateCipherById(cipher));
  Text iv_chars;
  std::string iv;
  if (k > 0) {
    iv_chars = opts.iv.value_or(random_text(k));
    iv = platform::CurrentOs().WideToAnsi(iv_chars);
    if (iv_chars.size() != k || iv.size() != k) {
      throw platform::Exception(u"The initialisation vector must be one byte per character, one block long");
    }
  }
  std::unique_ptr<TCrypt_cipher> c = KeyedCipher(cipher, digest, header, password, iv);
  Text body = c->EncryptString(plain);
  c->Burn();
  return header + iv_chars + body;
}

}  // namespace tvcrypt
