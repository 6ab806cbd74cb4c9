// The fractional part of pi as 32-bit words, most significant first: the initial P-array and
// S-boxes of Blowfish (all 1042 words) and the initial state and round constants of HAVAL (the
// first 136). One table serves both, as both programs link both algorithms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvcrypt::prim {

inline constexpr std::size_t kPiWordCount = 18 + 4 * 256;
extern const std::uint32_t kPiWords[kPiWordCount];

}  // namespace tvcrypt::prim
