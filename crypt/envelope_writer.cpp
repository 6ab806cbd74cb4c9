// The envelope writer: used by the package tool and the tests, never by setup.exe, which only
// opens envelopes; kept in its own file so the setup links none of it.
#include <random>
#include <string>

#include "crypt/envelope.h"
#include "crypt/envelope_detail.h"

namespace tvcrypt {

using namespace envelope_detail;

namespace {

// The generator behind the random choices, seeded from the OS's random source the first time a
// thread needs one: opening that source costs far more than the few characters an envelope
// draws, and one stream per thread never repeats a seed between envelopes.
std::mt19937& RandomChoices() {
  thread_local std::mt19937 rng(std::random_device{}());
  return rng;
}

}  // namespace

Text EncryptEnvelope(const Text& plain, int cipher, int digest, const Text& password,
                     const EnvelopeOptions& opts) {
  if (cipher < 0 || cipher >= kCipherCount) throw platform::Exception(u"Unknown cipher number");
  if (digest < 0 || digest >= kDigestCount) throw platform::Exception(u"Unknown digest number");

  // Options given by the caller touch no random source.
  auto printable = [](int lo, int hi) {
    return static_cast<char16_t>(std::uniform_int_distribution<int>(lo, hi)(RandomChoices()));
  };
  auto random_text = [&](std::size_t n) {
    Text t(n, u'\0');
    for (auto& ch : t) ch = printable(0x21, 0x7E);
    return t;
  };

  const Text salt = opts.salt ? *opts.salt : random_text(6);
  if (salt.size() != 6) throw platform::Exception(u"The salt must have 6 characters");
  // Random bases leave room for the largest number so characters 4 and 5 stay printable too.
  const char16_t cipher_base =
      opts.cipher_base ? *opts.cipher_base : printable(0x21, 0x7E - (kCipherCount - 1));
  const char16_t digest_base =
      opts.digest_base ? *opts.digest_base : printable(0x21, 0x7E - (kDigestCount - 1));
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
    iv_chars = opts.iv ? *opts.iv : random_text(k);
    iv = platform::CurrentOs().WideToAnsi(iv_chars);
    if (iv_chars.size() != k || iv.size() != k) {
      throw platform::Exception(
          u"The initialisation vector must be one byte per character, one block long");
    }
  }
  std::unique_ptr<TCrypt_cipher> c = KeyedCipher(cipher, digest, header, password, iv);
  Text body = c->EncryptString(plain);
  c->Burn();
  return header + iv_chars + body;
}

}  // namespace tvcrypt
