// The CAST S-boxes S1 to S8 (RFC 2144, appendix A). CAST-128 uses all eight; CAST-256 uses
// S1 to S4.
#pragma once

#include <cstdint>

namespace tvcrypt::prim {

extern const uint32_t kCastS[8][256];

}  // namespace tvcrypt::prim
