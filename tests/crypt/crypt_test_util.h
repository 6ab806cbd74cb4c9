// Helpers shared by the cipher framework and envelope tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crypt/catalogue.h"
#include "crypt/cipher.h"
#include "platform/sim/sim_windows.h"

namespace tvcrypt::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Pattern(std::size_t n, std::uint8_t seed = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 3));
  return b;
}

inline std::string Hex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto v : b) s += digits[v >> 4], s += digits[v & 15];
  return s;
}

inline std::unique_ptr<TCrypt_blockcipher> BlockCipher(int number) {
  auto c = CreateCipherById(number);
  auto* block = dynamic_cast<TCrypt_blockcipher*>(c.get());
  if (block == nullptr) return nullptr;
  c.release();
  return std::unique_ptr<TCrypt_blockcipher>(block);
}

// The block ciphers of the catalogue (all numbers but RC4's 6).
inline const std::vector<int> kBlockCipherNumbers = {0, 1, 2, 3, 4, 5, 7, 8};

// Every test here converts through a simulated Windows with an ANSI code page.
class CryptTest : public ::testing::Test {
 protected:
  explicit CryptTest(std::uint32_t code_page = 1252) : os_(code_page), scope_(os_) {}
  platform::SimWindows os_;
  platform::ScopedOs scope_;
};

template <class P>
class CryptParamTest : public ::testing::TestWithParam<P> {
 protected:
  platform::SimWindows os_{1252};
  platform::ScopedOs scope_{os_};
};

}  // namespace tvcrypt::test
