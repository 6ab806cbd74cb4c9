#include "crypt/catalogue.h"

namespace tvcrypt {

std::unique_ptr<TCrypt_cipher> CreateCipherById(int number) {
  if (number < 0 || number >= kCipherCount) return nullptr;
  return kCiphers[number].create();
}

std::unique_ptr<TCrypt_hash> CreateHashById(int number) {
  if (number < 0 || number >= kDigestCount) return nullptr;
  return kDigests[number].create();
}

}  // namespace tvcrypt
