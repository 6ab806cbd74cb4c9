// Cipher envelopes: the text form that protects a package's manifest.
//
// An envelope is a UTF-16 text (positions 1-based, in code units):
//   1-3, 6-8  salt (any characters)
//   4         cipher code: cipher number = code(4) - code(9) (crypt/catalogue.h)
//   5         digest code: digest number = code(5) - code(10)
//   9, 10     cipher base, digest base (not key material)
//   11..10+k  initialisation vector, block ciphers only: k = block bits / 8 characters, each one
//             byte in the ANSI code page
//   then      the Base64 body, as TCrypt_cipher::EncryptString (UTF-16) writes it.
// The key is the first min(cipher max key bits, digest bits) / 8 bytes of the digest of the
// UTF-16LE bytes of characters 1-8 followed directly by those of the password. The body is
// encrypted in 8-bit CFB (block ciphers) or with RC4. There is no checksum: a wrong password
// gives other text, not an error.
#pragma once

#include <optional>

#include "crypt/catalogue.h"
#include "platform/os.h"

namespace tvcrypt {

// Opens an envelope. Returns the plain text, or an empty text when the envelope cannot be opened
// (too short, a number outside the catalogue, an initialisation vector cut short or not one byte
// per character, a body of fewer than four characters). Never throws; every object it creates is
// released (ciphers burned) before it returns.
Text DecryptEnvelope(const Text& text, const Text& password) noexcept;

// What EncryptEnvelope takes from the caller instead of choosing it at random. Random choices
// are printable ASCII (0x21..0x7E), so an envelope made with them reads the same under every
// ANSI code page.
struct EnvelopeOptions {
  // The six free salt characters: positions 1-3 and 6-8, in that order.
  std::optional<Text> salt;
  // Characters 9 and 10. Characters 4 and 5 become base + cipher number and base + digest
  // number, which must stay within 16 bits.
  std::optional<char16_t> cipher_base;
  std::optional<char16_t> digest_base;
  // Block ciphers: exactly block bits / 8 characters, each one byte in the ANSI code page of the
  // current OS. Ignored for RC4.
  std::optional<Text> iv;
};

// Builds an envelope that DecryptEnvelope(result, password) opens to plain. Throws
// platform::Exception for a cipher or digest number outside the catalogue or unusable options.
Text EncryptEnvelope(const Text& plain, int cipher, int digest, const Text& password,
                     const EnvelopeOptions& opts = {});

}  // namespace tvcrypt
