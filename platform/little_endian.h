// Little-endian 16- and 32-bit fields, as the package format and the Windows file formats store
// them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

inline std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline void WriteLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.resize(out.size() + 4);
  WriteLe32(out.data() + out.size() - 4, v);
}

// Text as UTF-16LE bytes, the form registry values and text resources hold it in.
inline std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) AppendLe16(out, c);
  return out;
}

}  // namespace platform
