#include "crypt/cipher.h"

#include <cstring>
#include <vector>

#include "crypt/base64.h"

namespace tvcrypt {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes TextToLeBytes(const Text& s) {
  Bytes bytes(2 * s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
  }
  return bytes;
}

Text LeBytesToText(const std::uint8_t* bytes, std::size_t units) {
  Text s(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    s[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return s;
}

void Xor(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
}

}  // namespace

// --- TCrypt_cipher -------------------------------------------------------------------------------

void TCrypt_cipher::CheckKeySize(std::uint32_t size) const {
  const auto max = static_cast<std::uint32_t>(GetMaxKeySize());
  if (size == 0 || size % 4 != 0 || size > max) {
    throw ECrypt_cipher(u"Invalid key size");
  }
}

void TCrypt_cipher::CheckInitialized() const {
  if (!fInitialized) throw ECrypt_cipher(u"Cipher not initialized");
}

void TCrypt_cipher::Init(const void* key, std::uint32_t size, const void* init_vector) {
  if (fInitialized) Burn();
  CheckKeySize(size);
  fInitialized = true;
  // A 4-bit key passes the size check but has no whole byte; it is handed on as one zero byte,
  // which every algorithm's widening treats like an all-zero key, so no algorithm ever sees an
  // empty key.
  static constexpr std::uint8_t kZeroByte = 0;
  if (size / 8 == 0) {
    Keyed(&kZeroByte, 1, init_vector);
  } else {
    Keyed(static_cast<const std::uint8_t*>(key), size / 8, init_vector);
  }
}

std::string TCrypt_cipher::EncryptString(const std::string& plain) {
  std::string data = plain;
  StringEncrypt(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
  return Base64EncodeText(data);
}

std::string TCrypt_cipher::DecryptString(const std::string& cipher_text) {
  std::string data = Base64DecodeText(cipher_text);
  StringDecrypt(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
  return data;
}

Text TCrypt_cipher::EncryptString(const Text& plain) {
  Bytes data = TextToLeBytes(plain);
  StringEncrypt(data.data(), data.size());
  const std::string b64 = Base64EncodeText(std::string(data.begin(), data.end()));
  return Text(b64.begin(), b64.end());
}

Text TCrypt_cipher::DecryptString(const Text& cipher_text) {
  // The body is turned into bytes the way the ANSI side of the system sees it, then decoded.
  std::string data = Base64DecodeText(platform::CurrentOs().WideToAnsi(cipher_text));
  data.resize(data.size() & ~std::size_t{1});
  auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
  StringDecrypt(bytes, data.size());
  return LeBytesToText(bytes, data.size() / 2);
}

// --- TCrypt_blockcipher --------------------------------------------------------------------------

TCrypt_blockcipher::~TCrypt_blockcipher() { WipeChaining(); }

void TCrypt_blockcipher::WipeChaining() {
  IV.fill(0xFF);
  CV.fill(0xFF);
  fInitialized = false;
}

void TCrypt_blockcipher::CheckInitialized() const {
  if (!fInitialized) throw ECrypt_blockcipher(u"Cipher not initialized");
}

void TCrypt_blockcipher::Keyed(const std::uint8_t* key, std::size_t bytes,
                               const void* init_vector) {
  ExpandKey(key, bytes);
  const std::size_t n = BlockBytes();
  if (init_vector != nullptr) {
    std::memcpy(IV.data(), init_vector, n);
  } else {
    std::array<std::uint8_t, kMaxBlockBytes> zero{};
    EncryptBlock(zero.data(), IV.data());
  }
  Reset();
}

void TCrypt_blockcipher::Burn() {
  WipeKey();
  WipeChaining();
}

void TCrypt_blockcipher::Reset() {
  CheckInitialized();
  CV = IV;
}

void TCrypt_blockcipher::SetIV(const void* value) {
  CheckInitialized();
  std::memcpy(IV.data(), value, BlockBytes());
  Reset();
}

void TCrypt_blockcipher::GetIV(void* value) const {
  CheckInitialized();
  std::memcpy(value, CV.data(), BlockBytes());
}

void TCrypt_blockcipher::EncryptECB(const void* in, void* out) const {
  CheckInitialized();
  EncryptBlock(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out));
}

void TCrypt_blockcipher::DecryptECB(const void* in, void* out) const {
  CheckInitialized();
  DecryptBlock(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out));
}

void TCrypt_blockcipher::XorTail(const std::uint8_t* in, std::uint8_t* out, std::size_t r) {
  EncryptBlock(CV.data(), CV.data());
  Xor(in, CV.data(), out, r);
}

void TCrypt_blockcipher::IncrementCounter() {
  // Big-endian: carry from the last byte towards the first; all 0xFF wraps to all zero.
  for (std::size_t i = BlockBytes(); i-- > 0;) {
    if (++CV[i] != 0) break;
  }
}

// Each mode copies a whole input block before writing its output block, so in == out is safe.

void TCrypt_blockcipher::EncryptCBC(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> t{};
  for (; size >= n; size -= n, in += n, out += n) {
    Xor(in, CV.data(), t.data(), n);
    EncryptBlock(t.data(), CV.data());
    std::memcpy(out, CV.data(), n);
  }
  if (size > 0) XorTail(in, out, size);
}

void TCrypt_blockcipher::DecryptCBC(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> x{}, t{};
  for (; size >= n; size -= n, in += n, out += n) {
    std::memcpy(x.data(), in, n);
    DecryptBlock(x.data(), t.data());
    Xor(t.data(), CV.data(), out, n);
    std::memcpy(CV.data(), x.data(), n);
  }
  if (size > 0) XorTail(in, out, size);
}

void TCrypt_blockcipher::EncryptCFB8bit(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> t{};
  for (std::size_t i = 0; i < size; ++i) {
    EncryptBlock(CV.data(), t.data());
    const auto y = static_cast<std::uint8_t>(in[i] ^ t[0]);
    out[i] = y;
    std::memmove(CV.data(), CV.data() + 1, n - 1);
    CV[n - 1] = y;
  }
}

void TCrypt_blockcipher::DecryptCFB8bit(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> t{};
  for (std::size_t i = 0; i < size; ++i) {
    EncryptBlock(CV.data(), t.data());
    const std::uint8_t x = in[i];  // read before the in-place write
    out[i] = static_cast<std::uint8_t>(x ^ t[0]);
    std::memmove(CV.data(), CV.data() + 1, n - 1);
    CV[n - 1] = x;
  }
}

void TCrypt_blockcipher::EncryptCFBblock(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  for (; size >= n; size -= n, in += n, out += n) {
    EncryptBlock(CV.data(), CV.data());
    Xor(in, CV.data(), CV.data(), n);
    std::memcpy(out, CV.data(), n);
  }
  if (size > 0) XorTail(in, out, size);
}

void TCrypt_blockcipher::DecryptCFBblock(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> x{};
  for (; size >= n; size -= n, in += n, out += n) {
    std::memcpy(x.data(), in, n);
    EncryptBlock(CV.data(), CV.data());
    Xor(x.data(), CV.data(), out, n);
    CV = x;
  }
  if (size > 0) XorTail(in, out, size);
}

void TCrypt_blockcipher::EncryptOFB(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  for (; size >= n; size -= n, in += n, out += n) {
    EncryptBlock(CV.data(), CV.data());
    Xor(in, CV.data(), out, n);
  }
  if (size > 0) XorTail(in, out, size);
}

void TCrypt_blockcipher::DecryptOFB(const void* in, void* out, std::size_t size) {
  EncryptOFB(in, out, size);
}

void TCrypt_blockcipher::EncryptCTR(const void* in_, void* out_, std::size_t size) {
  CheckInitialized();
  auto* in = static_cast<const std::uint8_t*>(in_);
  auto* out = static_cast<std::uint8_t*>(out_);
  const std::size_t n = BlockBytes();
  std::array<std::uint8_t, kMaxBlockBytes> t{};
  while (size > 0) {
    const std::size_t chunk = size < n ? size : n;
    EncryptBlock(CV.data(), t.data());
    IncrementCounter();
    Xor(in, t.data(), out, chunk);
    size -= chunk, in += chunk, out += chunk;
  }
}

void TCrypt_blockcipher::DecryptCTR(const void* in, void* out, std::size_t size) {
  EncryptCTR(in, out, size);
}

void TCrypt_blockcipher::Encrypt(const void* in, void* out, std::size_t size) {
  switch (fCipherMode) {
    case cmCBC: EncryptCBC(in, out, size); break;
    case cmCFB8bit: EncryptCFB8bit(in, out, size); break;
    case cmCFBblock: EncryptCFBblock(in, out, size); break;
    case cmOFB: EncryptOFB(in, out, size); break;
    case cmCTR: EncryptCTR(in, out, size); break;
  }
}

void TCrypt_blockcipher::Decrypt(const void* in, void* out, std::size_t size) {
  switch (fCipherMode) {
    case cmCBC: DecryptCBC(in, out, size); break;
    case cmCFB8bit: DecryptCFB8bit(in, out, size); break;
    case cmCFBblock: DecryptCFBblock(in, out, size); break;
    case cmOFB: DecryptOFB(in, out, size); break;
    case cmCTR: DecryptCTR(in, out, size); break;
  }
}

void TCrypt_blockcipher::StringEncrypt(std::uint8_t* data, std::size_t size) {
  EncryptCFB8bit(data, data, size);
}

void TCrypt_blockcipher::StringDecrypt(std::uint8_t* data, std::size_t size) {
  DecryptCFB8bit(data, data, size);
}

}  // namespace tvcrypt
