#include "crypt/base64.h"

#include <array>

namespace tvcrypt {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kPad = 255;  // the value "=" takes inside a group

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};  // characters outside the alphabet count as 0
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  table['='] = kPad;
  return table;
}
constexpr std::array<std::uint8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::size_t Base64EncodeBytes(const std::uint8_t* in, char* out, std::size_t size) {
  std::size_t o = 0;
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  if (size - i == 1) {
    const std::uint32_t v = in[i] << 16;
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = '=';
    out[o++] = '=';
  } else if (size - i == 2) {
    const std::uint32_t v = (in[i] << 16) | (in[i + 1] << 8);
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = '=';
  }
  return o;
}

std::size_t Base64DecodeBytes(const char* in, std::uint8_t* out, std::size_t size) {
  std::size_t o = 0;
  for (std::size_t g = 0; g + 4 <= size; g += 4) {
    const unsigned s0 = kDecode[static_cast<unsigned char>(in[g])];
    const unsigned s1 = kDecode[static_cast<unsigned char>(in[g + 1])];
    const unsigned s2 = kDecode[static_cast<unsigned char>(in[g + 2])];
    const unsigned s3 = kDecode[static_cast<unsigned char>(in[g + 3])];
    // The first byte is always written, even from a pad marker: the group is never rejected.
    out[o++] = static_cast<std::uint8_t>((s0 << 2) | (s1 >> 4));
    if (s2 == kPad) continue;
    out[o++] = static_cast<std::uint8_t>((s1 << 4) | (s2 >> 2));
    if (s3 == kPad) continue;
    out[o++] = static_cast<std::uint8_t>((s2 << 6) | s3);
  }
  return o;
}

std::string Base64EncodeText(const std::string& bytes) {
  std::string out((bytes.size() + 2) / 3 * 4, '\0');
  Base64EncodeBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), out.data(), bytes.size());
  return out;
}

std::string Base64DecodeText(const std::string& text) {
  std::string out(text.size() / 4 * 3, '\0');
  out.resize(
      Base64DecodeBytes(text.data(), reinterpret_cast<std::uint8_t*>(out.data()), text.size()));
  return out;
}

platform::Text Base64EncodeText(const platform::Text& s) {
  std::string bytes(2 * s.size(), '\0');
  for (std::size_t i = 0; i < s.size(); ++i) {
    bytes[2 * i] = static_cast<char>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  const std::string text = Base64EncodeText(bytes);
  return platform::Text(text.begin(), text.end());
}

platform::Text Base64DecodeText(const platform::Text& text) {
  const std::string bytes = Base64DecodeText(platform::CurrentOs().WideToAnsi(text));
  platform::Text out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                   (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

}  // namespace tvcrypt
