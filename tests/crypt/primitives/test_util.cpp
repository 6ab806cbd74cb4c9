#include "test_util.h"

#include <cryptopp/aes.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/cast.h>
#include <cryptopp/des.h>
#include <cryptopp/idea.h>
#include <cryptopp/twofish.h>

#include <fstream>
#include <stdexcept>

#include "crypt/primitives/blowfish.h"
#include "crypt/primitives/cast128.h"
#include "crypt/primitives/cast256.h"
#include "crypt/primitives/des.h"
#include "crypt/primitives/idea.h"
#include "crypt/primitives/rijndael.h"
#include "crypt/primitives/triple_des.h"
#include "crypt/primitives/twofish.h"

namespace primtest {

Bytes FromHex(const std::string& hex) {
  if (hex.size() % 2) throw std::runtime_error("odd hex length: " + hex);
  Bytes out;
  for (size_t i = 0; i < hex.size(); i += 2)
    out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t v : b) {
    s += digits[v >> 4];
    s += digits[v & 15];
  }
  return s;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& v : b) v = uint8_t(rng());
  return b;
}

static std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::vector<Vector> ReadVectorFile(const std::string& path) {
  std::ifstream f(path);
  if (!f) throw std::runtime_error("cannot open " + path);
  std::vector<Vector> out;
  std::string section, raw;
  Vector cur;
  int line = 0;
  auto flush = [&] {
    if (!cur.fields.empty()) out.push_back(cur);
    cur = Vector{};
  };
  while (std::getline(f, raw)) {
    ++line;
    const std::string s = Trim(raw);
    if (s.empty()) {
      flush();
    } else if (s[0] == '#') {
      continue;
    } else if (s[0] == '[' && s.back() == ']') {
      flush();
      section = s.substr(1, s.size() - 2);
    } else {
      const size_t eq = s.find('=');
      if (eq == std::string::npos || section.empty())
        throw std::runtime_error(path + ":" + std::to_string(line) + ": cannot parse");
      if (cur.fields.empty()) {
        cur.section = section;
        cur.line = line;
      }
      cur.fields[Trim(s.substr(0, eq))] = Trim(s.substr(eq + 1));
    }
  }
  flush();
  return out;
}

template <class C>
static bool Run(const Bytes& key, const Bytes& in, Bytes& out) {
  if (!typename C::Encryption().IsValidKeyLength(key.size())) return false;
  typename C::Encryption e(key.data(), key.size());
  out.resize(C::BLOCKSIZE);
  e.ProcessBlock(in.data(), out.data());
  return true;
}

bool ReferenceEncrypt(const std::string& algorithm, const Bytes& key, const Bytes& in, Bytes& out) {
  if (algorithm == "Rijndael") return Run<CryptoPP::AES>(key, in, out);
  if (algorithm == "DES") return Run<CryptoPP::DES>(key, in, out);
  if (algorithm == "TripleDES")
    return key.size() == 16 ? Run<CryptoPP::DES_EDE2>(key, in, out)
                            : Run<CryptoPP::DES_EDE3>(key, in, out);
  if (algorithm == "Blowfish") return Run<CryptoPP::Blowfish>(key, in, out);
  if (algorithm == "Cast128") return Run<CryptoPP::CAST128>(key, in, out);
  if (algorithm == "Cast256") return Run<CryptoPP::CAST256>(key, in, out);
  if (algorithm == "Twofish") return Run<CryptoPP::Twofish>(key, in, out);
  if (algorithm == "IDEA") return Run<CryptoPP::IDEA>(key, in, out);
  throw std::runtime_error("no reference for " + algorithm);
}

namespace {

template <class C>
class Ours : public BlockCipher {
 public:
  size_t BlockBytes() const override { return C::kBlockBytes; }
  size_t MaxKeyBytes() const override { return C::kMaxKeyBytes; }
  void SetKey(const Bytes& key) override { c_.SetKey(key.data(), key.size()); }
  void Encrypt(const uint8_t* in, uint8_t* out) const override { c_.EncryptBlock(in, out); }
  void Decrypt(const uint8_t* in, uint8_t* out) const override { c_.DecryptBlock(in, out); }

 private:
  C c_;
};

}  // namespace

const char* const kBlockCiphers[8] = {"Blowfish",  "Cast128",  "Cast256", "DES",
                                      "TripleDES", "Rijndael", "Twofish", "IDEA"};

std::unique_ptr<BlockCipher> MakeBlockCipher(const std::string& algorithm) {
  using namespace tvcrypt::prim;
  if (algorithm == "Blowfish") return std::make_unique<Ours<Blowfish>>();
  if (algorithm == "Cast128") return std::make_unique<Ours<Cast128>>();
  if (algorithm == "Cast256") return std::make_unique<Ours<Cast256>>();
  if (algorithm == "DES") return std::make_unique<Ours<Des>>();
  if (algorithm == "TripleDES") return std::make_unique<Ours<TripleDes>>();
  if (algorithm == "Rijndael") return std::make_unique<Ours<Rijndael>>();
  if (algorithm == "Twofish") return std::make_unique<Ours<Twofish>>();
  if (algorithm == "IDEA") return std::make_unique<Ours<Idea>>();
  throw std::runtime_error("unknown block cipher " + algorithm);
}

}  // namespace primtest
