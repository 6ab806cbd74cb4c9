#include "crypt/primitives/triple_des.h"

#include <cstring>

#include "crypt/primitives/bytes.h"

namespace tvcrypt::prim {

void TripleDes::SetKey(const uint8_t* key, size_t len) {
  uint8_t k[24] = {};
  std::memcpy(k, key, len < 24 ? len : 24);
  k1_.Set(k);
  k2_.Set(k + 8);
  k3_.Set(len <= 16 ? k : k + 16);
  SecureWipe(k, sizeof k);
}

// The permutations between the three passes cancel, so they are applied once at each end.
void TripleDes::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  using namespace des_detail;
  uint64_t b = InitialPermutation(LoadBe64(in));
  b = Rounds(k1_, b, false);
  b = Rounds(k2_, b, true);
  b = Rounds(k3_, b, false);
  StoreBe64(out, FinalPermutation(b));
}

void TripleDes::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  using namespace des_detail;
  uint64_t b = InitialPermutation(LoadBe64(in));
  b = Rounds(k3_, b, true);
  b = Rounds(k2_, b, false);
  b = Rounds(k1_, b, true);
  StoreBe64(out, FinalPermutation(b));
}

void TripleDes::Wipe() {
  k1_.Wipe();
  k2_.Wipe();
  k3_.Wipe();
}

}  // namespace tvcrypt::prim
