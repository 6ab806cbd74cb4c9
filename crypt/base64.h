// Base64 text form of cipher output.
//
// Encoding is the standard one (RFC 4648 alphabet, "=" padding, no line breaks). Decoding is
// lenient and works group by group: every run of four characters gives up to three bytes, a
// trailing run of fewer than four characters is ignored, and nothing is skipped or rejected (a
// line break or space simply takes a position in its group). A padded group does not end the
// text: "QQ==QUJD" decodes to 41 41 42 43. A character outside the alphabet counts as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

namespace tvcrypt {

// Writes ((size + 2) / 3) * 4 characters to out and returns that count.
std::size_t Base64EncodeBytes(const std::uint8_t* in, char* out, std::size_t size);
// Reads size characters; writes and returns at most (size / 4) * 3 bytes.
std::size_t Base64DecodeBytes(const char* in, std::uint8_t* out, std::size_t size);

// Byte strings: encode the string's bytes; decode to as many bytes as the groups produce.
std::string Base64EncodeText(const std::string& bytes);
std::string Base64DecodeText(const std::string& text);

// UTF-16: encodes the 2 * length UTF-16LE bytes of s. Decoding converts the text through the ANSI
// code page of the current OS first, then returns the bytes as UTF-16LE code units (an odd last
// byte is dropped).
platform::Text Base64EncodeText(const platform::Text& s);
platform::Text Base64DecodeText(const platform::Text& text);

}  // namespace tvcrypt
