// A minimal 32-bit Windows image for the builder's tests: headers and one code section.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "builder/bytes.h"

namespace builder {

inline std::vector<std::uint8_t> MinimalImage(std::uint32_t file_alignment) {
  const std::uint32_t headers = file_alignment < 512 ? 512 : file_alignment;
  std::vector<std::uint8_t> b(headers + file_alignment, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(&b[60], 64);
  Put32(&b[64], 0x00004550);
  Put16(&b[68], 0x14C);
  Put16(&b[70], 1);
  Put16(&b[84], 224);
  Put16(&b[86], 0x0102);
  std::uint8_t* opt = &b[88];
  Put16(opt, 0x10B);
  Put32(opt + 16, 0x1000);
  Put32(opt + 28, 0x400000);
  Put32(opt + 32, 0x1000);
  Put32(opt + 36, file_alignment);
  Put32(opt + 56, 0x2000);
  Put32(opt + 60, headers);
  Put16(opt + 68, 2);
  Put32(opt + 92, 16);
  std::uint8_t* s = &b[88 + 224];
  std::copy_n(".text", 5, s);
  Put32(s + 8, 0x10);
  Put32(s + 12, 0x1000);
  Put32(s + 16, file_alignment);
  Put32(s + 20, headers);
  Put32(s + 36, 0x60000020);
  for (std::uint32_t i = 0; i < 0x10; ++i) b[headers + i] = static_cast<std::uint8_t>(0xC0 + i);
  return b;
}

}  // namespace builder
