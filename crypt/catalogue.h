// The catalogue of ciphers and digests by the numbers an envelope carries.
//
// Each table row is {number, name, factory}; a row's number is its place in the table. The counts,
// the factories and the names the tools accept and print all come from these two tables, so a new
// algorithm is one row here (and its class).
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "crypt/cipher.h"
#include "crypt/ciphers.h"
#include "crypt/hash.h"
#include "crypt/hashes.h"

namespace tvcrypt {

inline constexpr int kBlowfish = 0;
inline constexpr int kCast128 = 1;
inline constexpr int kCast256 = 2;
inline constexpr int kDes = 3;
inline constexpr int kTripleDes = 4;
inline constexpr int kRijndael = 5;
inline constexpr int kRc4 = 6;
inline constexpr int kTwofish = 7;
inline constexpr int kIdea = 8;

inline constexpr int kHaval = 0;
inline constexpr int kMd5 = 1;
inline constexpr int kSha1 = 2;
inline constexpr int kSha256 = 3;
inline constexpr int kSha512 = 4;

template <class Base>
struct CatalogueEntry {
  int number;
  std::string_view name;  // the short name the tools accept (any letter case) and print
  std::unique_ptr<Base> (*create)();
};

template <class Base, class Algorithm>
std::unique_ptr<Base> NewAlgorithm() {
  return std::make_unique<Algorithm>();
}

inline constexpr CatalogueEntry<TCrypt_cipher> kCiphers[] = {
    {kBlowfish, "Blowfish", NewAlgorithm<TCrypt_cipher, TCrypt_blowfish>},
    {kCast128, "Cast128", NewAlgorithm<TCrypt_cipher, TCrypt_cast128>},
    {kCast256, "Cast256", NewAlgorithm<TCrypt_cipher, TCrypt_cast256>},
    {kDes, "DES", NewAlgorithm<TCrypt_cipher, TCrypt_des>},
    {kTripleDes, "3DES", NewAlgorithm<TCrypt_cipher, TCrypt_3des>},
    {kRijndael, "Rijndael", NewAlgorithm<TCrypt_cipher, TCrypt_rijndael>},
    {kRc4, "RC4", NewAlgorithm<TCrypt_cipher, TCrypt_rc4>},
    {kTwofish, "Twofish", NewAlgorithm<TCrypt_cipher, TCrypt_twofish>},
    {kIdea, "IDEA", NewAlgorithm<TCrypt_cipher, TCrypt_idea>},
};

inline constexpr CatalogueEntry<TCrypt_hash> kDigests[] = {
    {kHaval, "Haval", NewAlgorithm<TCrypt_hash, TCrypt_haval>},
    {kMd5, "MD5", NewAlgorithm<TCrypt_hash, TCrypt_md5>},
    {kSha1, "SHA1", NewAlgorithm<TCrypt_hash, TCrypt_sha1>},
    {kSha256, "SHA256", NewAlgorithm<TCrypt_hash, TCrypt_sha256>},
    {kSha512, "SHA512", NewAlgorithm<TCrypt_hash, TCrypt_sha512>},
};

inline constexpr int kCipherCount = static_cast<int>(std::size(kCiphers));
inline constexpr int kDigestCount = static_cast<int>(std::size(kDigests));

template <class Base, std::size_t N>
constexpr bool NumberedInOrder(const CatalogueEntry<Base> (&table)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (table[i].number != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(NumberedInOrder(kCiphers) && NumberedInOrder(kDigests),
              "a catalogue number is its place in the table");

// The catalogue number of a cipher or digest given by its number ("5") or by its name in any
// letter case ("rijndael"; "AES" too, for Rijndael); -1 when it is neither.
int CipherNumber(std::string_view text);
int DigestNumber(std::string_view text);

// A new, not initialized object; null for a number outside the catalogue.
std::unique_ptr<TCrypt_cipher> CreateCipherById(int number);
std::unique_ptr<TCrypt_hash> CreateHashById(int number);

}  // namespace tvcrypt
