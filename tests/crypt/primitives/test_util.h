// Helpers shared by the primitive tests: hex, random bytes, the vector-file reader and the
// Crypto++ reference ciphers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace primtest {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& b);
Bytes RandomBytes(std::mt19937& rng, size_t n);

// One entry of a vector file: its fields ("Key", "In", "Out", ...) and where it starts.
struct Vector {
  std::string section;
  int line = 0;
  std::map<std::string, std::string> fields;
  bool Has(const std::string& k) const { return fields.count(k) != 0; }
  const std::string& Get(const std::string& k) const { return fields.at(k); }
};

// Reads a vector file: "# comment" lines, "[Section]" headers, "Name = value" fields, entries
// separated by blank lines. Throws std::runtime_error if the file cannot be read or a line does
// not parse.
std::vector<Vector> ReadVectorFile(const std::string& path);

// Single-block encryption with Crypto++, by our section names; the key is used as given, so the
// caller widens it first. Returns false when Crypto++ does not accept that key length.
bool ReferenceEncrypt(const std::string& algorithm, const Bytes& key, const Bytes& in, Bytes& out);

// Our block ciphers behind one interface, by the same section names.
class BlockCipher {
 public:
  virtual ~BlockCipher() = default;
  virtual size_t BlockBytes() const = 0;
  virtual size_t MaxKeyBytes() const = 0;
  virtual void SetKey(const Bytes& key) = 0;
  // in == out allowed, as for the primitives themselves.
  virtual void Encrypt(const uint8_t* in, uint8_t* out) const = 0;
  virtual void Decrypt(const uint8_t* in, uint8_t* out) const = 0;
};
std::unique_ptr<BlockCipher> MakeBlockCipher(const std::string& algorithm);
extern const char* const kBlockCiphers[8];

}  // namespace primtest
