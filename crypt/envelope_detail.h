// Pieces shared by the envelope reader (setup.exe) and the envelope writer (the tools).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "crypt/cipher.h"
#include "platform/os.h"

namespace tvcrypt::envelope_detail {

// Characters 1 to 10: salt, the two algorithm characters and their two bases.
inline constexpr std::size_t kHeaderChars = 10;

// Keys a new cipher from header characters 1-8 followed by the password. iv is one block for
// block ciphers (ignored for RC4). The digest is released before returning.
std::unique_ptr<TCrypt_cipher> KeyedCipher(int cipher, int digest, const platform::Text& header,
                                           const platform::Text& password, const std::string& iv);

// Characters of initialisation vector that the cipher's envelope carries (0 for RC4).
std::size_t IvChars(const TCrypt_cipher& c);

}  // namespace tvcrypt::envelope_detail
