#include "crypt/hash.h"

#include <array>

namespace tvcrypt {

void TCrypt_hash::UpdateStr(const Text& s) {
  // Fed in chunks so a long text needs no second copy of itself.
  std::array<std::uint8_t, 512> chunk;
  std::size_t i = 0;
  do {
    std::size_t n = 0;
    for (; i < s.size() && n < chunk.size(); ++i) {
      chunk[n++] = static_cast<std::uint8_t>(s[i] & 0xFF);
      chunk[n++] = static_cast<std::uint8_t>(s[i] >> 8);
    }
    Update(chunk.data(), n);
  } while (i < s.size());
  chunk.fill(0);  // the text may be a password
}

}  // namespace tvcrypt
