// A minimal 32-bit Windows image for the builder's tests: headers and one code section.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/little_endian.h"

namespace builder {

inline std::vector<std::uint8_t> MinimalImage(std::uint32_t file_alignment) {
  const std::uint32_t headers = file_alignment < 512 ? 512 : file_alignment;
  std::vector<std::uint8_t> b(headers + file_alignment, 0);
  b[0] = 'M';
  b[1] = 'Z';
  platform::WriteLe32(&b[60], 64);
  platform::WriteLe32(&b[64], 0x00004550);
  platform::WriteLe16(&b[68], 0x14C);
  platform::WriteLe16(&b[70], 1);
  platform::WriteLe16(&b[84], 224);
  platform::WriteLe16(&b[86], 0x0102);
  std::uint8_t* opt = &b[88];
  platform::WriteLe16(opt, 0x10B);
  platform::WriteLe32(opt + 16, 0x1000);
  platform::WriteLe32(opt + 28, 0x400000);
  platform::WriteLe32(opt + 32, 0x1000);
  platform::WriteLe32(opt + 36, file_alignment);
  platform::WriteLe32(opt + 56, 0x2000);
  platform::WriteLe32(opt + 60, headers);
  platform::WriteLe16(opt + 68, 2);
  platform::WriteLe32(opt + 92, 16);
  std::uint8_t* s = &b[88 + 224];
  std::copy_n(".text", 5, s);
  platform::WriteLe32(s + 8, 0x10);
  platform::WriteLe32(s + 12, 0x1000);
  platform::WriteLe32(s + 16, file_alignment);
  platform::WriteLe32(s + 20, headers);
  platform::WriteLe32(s + 36, 0x60000020);
  for (std::uint32_t i = 0; i < 0x10; ++i) b[headers + i] = static_cast<std::uint8_t>(0xC0 + i);
  return b;
}

}  // namespace builder
