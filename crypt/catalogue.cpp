#include "crypt/catalogue.h"

#include <string>

#include "platform/ascii.h"

namespace tvcrypt {

namespace {

template <class Base, std::size_t N>
int NumberOf(std::string_view text, const CatalogueEntry<Base> (&table)[N]) {
  for (const auto& entry : table) {
    if (text == std::to_string(entry.number) ||
        platform::EqualsIgnoringAsciiCase(text, entry.name)) {
      return entry.number;
    }
  }
  return -1;
}

}  // namespace

int CipherNumber(std::string_view text) {
  if (platform::EqualsIgnoringAsciiCase(text, "AES")) return kRijndael;
  return NumberOf(text, kCiphers);
}

int DigestNumber(std::string_view text) { return NumberOf(text, kDigests); }

std::unique_ptr<TCrypt_cipher> CreateCipherById(int number) {
  if (number < 0 || number >= kCipherCount) return nullptr;
  return kCiphers[number].create();
}

std::unique_ptr<TCrypt_hash> CreateHashById(int number) {
  if (number < 0 || number >= kDigestCount) return nullptr;
  return kDigests[number].create();
}

}  // namespace tvcrypt
